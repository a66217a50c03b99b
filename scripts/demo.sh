#!/usr/bin/env bash
# Builds the tool and shows its main job against the bundled printer simulator: with a display,
# the window with COM1 wired to the simulator (pick samples/demo.DPX with File > Open and press
# "Download Start"); without one, the same download from the command line.
#   scripts/demo.sh [--cli]               the Linux programs
#   scripts/demo.sh --windows [--cli]     the Windows programs under Wine (scripts/windows-demo.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = --windows ]; then
    shift
    exec "$root/scripts/windows-demo.sh" "$@"
fi
build=$root/build
# Only the programs the demo runs: the tests are built by scripts/test.sh.
window=0
if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--cli" ] && [ -x "$root/scripts/window-demo.sh" ]; then
    window=1
fi
targets=(--target korvane-cli --target korvane-printer-sim)
[ "$window" = 1 ] && targets+=(--target korvane)
"$root/scripts/build.sh" "$build" "${targets[@]}"

if [ "$window" = 1 ]; then
    if "$root/scripts/window-demo.sh" "$build"; then
        exit 0
    fi
    echo "The window could not start; running the command-line demo instead." >&2
fi

image=$root/samples/demo.DPX
work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT

# The simulator takes each record at the speed of a 38400 baud line, as a real printer would.
"$build/tools/korvane-printer-sim" --image "$image" --baud 38400 \
    --path-file "$work/pty" --summary "$work/summary" >/dev/null &
sim=$!
for _ in $(seq 50); do [ -s "$work/pty" ] && break; sleep 0.1; done
device=$(cat "$work/pty")

echo "Printer simulator on $device; sending $(basename "$image") ($(stat -c %s "$image") bytes)."
echo "+ korvane-cli send --serial $device $image"
status=0
"$build/src/cli/korvane-cli" send --serial "$device" "$image" || status=$?
wait "$sim" || true
echo "The printer received: $(tr '\n' ' ' < "$work/summary")"
exit "$status"
