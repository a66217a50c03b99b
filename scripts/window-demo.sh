#!/usr/bin/env bash
# Starts the window with COM1 wired to the printer simulator, which takes samples/demo.DPX as
# often as it is sent. In the window: File > Open, pick samples/demo.DPX, keep "COM Port" and
# COM1, press "Download Start".
#   scripts/window-demo.sh [BUILD_DIR]      (default: build)
# Without a display it says so and exits 3, so that the caller can run the command-line demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
image=$root/samples/demo.DPX

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "window-demo: no display (DISPLAY is not set); the window cannot open." >&2
    echo "window-demo: run the command-line demo instead: scripts/demo.sh --cli" >&2
    exit 3
fi

window=$build/src/ui/qt/korvane
sim=$build/tools/korvane-printer-sim
for program in "$window" "$sim"; do
    if [ ! -x "$program" ]; then
        echo "window-demo: $program is not built; run scripts/build.sh $build first." >&2
        exit 2
    fi
done

work=$(mktemp -d)
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# The simulator takes each record at the pace of a 38400 baud line, as a real printer would.
"$sim" --image "$image" --repeat --baud 38400 --path-file "$work/pty" >/dev/null &
sim_pid=$!
for _ in $(seq 50); do
    [ -s "$work/pty" ] && break
    sleep 0.1
done
if [ ! -s "$work/pty" ]; then
    echo "window-demo: the printer simulator did not start." >&2
    exit 2
fi
KORVANE_COM1=$(head -n 1 "$work/pty")
export KORVANE_COM1

echo "Printer simulator on $KORVANE_COM1, reached as COM1."
echo "In the window: File > Open, choose $image, keep COM Port / COM1, press Download Start."
"$window"
