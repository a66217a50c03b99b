#!/bin/sh
# sim-at-link.sh LINK READY SIMULATOR ARGS...
# Started by a Windows test under Wine: runs the printer simulator on a new pseudo-terminal,
# points LINK (the Unix side of a Wine COM port) at it, then creates READY. The simulator is
# given a bounded life, since Wine cannot wait for or end a Unix process it started, and none of
# Wine's standard streams: whoever reads those (CTest) would wait for the simulator to end.
# The test ends it early by creating READY.done, and learns that it is gone when READY goes.
link=$1
ready=$2
shift 2
pathfile=$ready.path
rm -f "$pathfile" "$ready" "$ready.done"
exec </dev/null >/dev/null 2>"$ready.log"
# timeout leads a process group of its own and passes a TERM on to the simulator.
timeout 120 "$@" --path-file "$pathfile" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim; rm -f "$ready"' EXIT
looks=0
while [ ! -s "$pathfile" ]; do
    looks=$((looks + 1))
    if [ $looks -gt 1000 ] || ! kill -0 $sim 2>/dev/null; then
        echo "sim-at-link: the simulator did not start" >&2
        exit 2
    fi
    sleep 0.01
done
ln -sfn "$(head -n 1 "$pathfile")" "$link"
touch "$ready"
while kill -0 $sim 2>/dev/null && [ ! -e "$ready.done" ]; do
    sleep 0.05
done
