#!/usr/bin/env bash
# The Windows programs under Wine against the printer simulator, as scripts/demo.sh shows the
# Linux ones. Builds korvane.exe, korvane-cli.exe and the simulator when needed (into
# build-windows/), makes a Wine prefix of its own once (build-windows/demo/wine-prefix) with
# COM1 mapped to a link that points at the simulator's pseudo-terminal. With a display it opens
# korvane.exe: File > Open, choose samples\demo.DPX (on drive Z:), keep COM Port / COM1, press
# "Download Start". Without one, or with --cli, korvane-cli.exe sends samples/demo.DPX to COM1.
#   scripts/windows-demo.sh [--cli]
# Ends the simulator and the prefix's wineserver when it ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-windows
demo=$build/demo
image=$root/samples/demo.DPX
window=0
if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--cli" ]; then
    window=1
fi

"$root/scripts/build-windows.sh" "$build" --target korvane-cli --target korvane
sim=$build/host/tools/korvane-printer-sim
cli=$build/src/cli/korvane-cli.exe
exe=$build/src/ui/win32/korvane.exe

# The demo's own files and its Wine server's socket (Wine keeps it under TMPDIR) stay in its folder.
export TMPDIR=$demo/tmp
mkdir -p "$TMPDIR"
export WINEPREFIX=$demo/wine-prefix WINEDEBUG=-all
# No Mono or Gecko, and no menu entries or file types written into the desktop's folders.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
work=$(mktemp -d)
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

if [ ! -e "$WINEPREFIX/.korvane-demo-ready" ]; then
    echo "Making the demo's Wine prefix in $WINEPREFIX (once; about a minute)."
    rm -rf "$WINEPREFIX"
    # Made as the tests' prefixes are, then given back to the desktop's window manager.
    "$root/tests/windows/wine-prefix" "$WINEPREFIX" create
    wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
    # COM1 is a link that each run points at its simulator; Wine reads the mapping when its
    # server starts.
    ln -sfn /dev/null "$demo/com1"
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$demo/com1" /f >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    wineserver -w
    touch "$WINEPREFIX/.korvane-demo-ready"
fi
# The server, started here with no terminal, so that its farewell when the demo ends it goes
# nowhere; it stays until then.
wineserver -p </dev/null >/dev/null 2>&1

# The simulator takes each record at the pace of a 38400 baud line, as a real printer would;
# for the window, download after download.
repeat=()
[ "$window" = 1 ] && repeat=(--repeat)
"$sim" --image "$image" "${repeat[@]}" --baud 38400 --path-file "$work/pty" \
    --summary "$work/summary" >/dev/null &
sim_pid=$!
for _ in $(seq 50); do
    [ -s "$work/pty" ] && break
    sleep 0.1
done
if [ ! -s "$work/pty" ]; then
    echo "windows-demo: the printer simulator did not start." >&2
    exit 2
fi
ln -sfn "$(head -n 1 "$work/pty")" "$demo/com1"
windows_image="Z:${image//\//\\}"
echo "Printer simulator on $(head -n 1 "$work/pty"), which the Wine prefix maps to COM1."

if [ "$window" = 1 ]; then
    echo "In the window: File > Open, choose $windows_image, keep COM Port / COM1, press Download Start."
    wine "$exe"
    exit 0
fi

echo "Sending $(basename "$image") ($(stat -c %s "$image") bytes)."
echo "+ wine korvane-cli.exe send --serial COM1 $windows_image"
status=0
wine "$cli" send --serial COM1 "$windows_image" || status=$?
wait "$sim_pid" || true
sim_pid=
echo "The printer received: $(tr '\n' ' ' <"$work/summary")"
exit "$status"
