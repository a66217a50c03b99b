#!/usr/bin/env bash
# korvane.exe as a technician uses it, under Wine on a virtual X display, driven by xdotool:
# the window's places (at 96 and 144 dots per inch), its start state, File > Open, a download
# to the simulated printer on COM1, a time-out, LPT Port, File > Exit during a download and a
# file named on the command line. Screenshots of what must be seen go to WORK/screenshots.
#
#   window_test.sh KORVANE_EXE WINDOW_PROBE_EXE PRINTER_SIM SAMPLES_DIR WORK_DIR [CASE...]
#
# The Wine prefix is $WINEPREFIX (the build's, which the harness names), else WORK_DIR/wine-prefix.
# The test restarts that prefix's wineserver, so nothing else may run in it meanwhile; COM1 is
# one of the prefix's mapped ports, COM23, through KORVANE_COM1. Exit 0 when every case passes.
set -uo pipefail
exe=$(realpath "$1")
probe=$(realpath "$2")
sim=$(realpath "$3")
samples=$(realpath "$4")
work=$(realpath -m "$5")
shift 5
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(layout_96 start_state person_path command_line tooltips timeout
    lpt_port exit_during_download layout_144)

mkdir -p "$work/screenshots"
export WINEPREFIX=${WINEPREFIX:-$work/wine-prefix} WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
title='Firmware Korvane V1.0'
failures=0
pids=()

fail() {
    echo "FAIL [$case]: $*" >&2
    failures=$((failures + 1))
}

cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    wineserver -k 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT

# --- the display and the prefix -------------------------------------------------------------
Xvfb -displayfd 4 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 4>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

"$(dirname "$0")/wine-prefix" "$WINEPREFIX" create
wineserver -k 2>/dev/null
# COM1 is a link that each case points at its own printer.
com1=$("$(dirname "$0")/wine-prefix" "$WINEPREFIX" link 23)
export KORVANE_COM1=COM23
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
"$(dirname "$0")/wine-prefix" "$WINEPREFIX" version
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
wineserver -p 2>/dev/null  # kept warm for the cases

# --- helpers --------------------------------------------------------------------------------
winpath() { echo "Z:${1//\//\\}"; }

# The window's client origin on the screen, where the layout report says it is.
origin_x=217
origin_y=276

start_window() {
    wine "$exe" "$@" >/dev/null 2>&1 &
    window_pid=$!
    pids+=("$window_pid")
    window=$(timeout 30 xdotool search --sync --name "^$title\$" | head -1)
    [ -n "$window" ] || { fail "the window titled \"$title\" did not come up"; return 1; }
    # The window's first paint is queued behind its showing.
    sleep 0.5
}

end_window() {
    xdotool windowfocus --sync "$window" key alt+f 2>/dev/null
    sleep 0.3
    xdotool key x
    wait_gone "$window_pid" || kill "$window_pid" 2>/dev/null
}

wait_gone() {
    for _ in $(seq 200); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

controls() { wine "$probe" "$title" 2>/dev/null | tr -d '\r'; }
# Field F (1-based, '|' apart) of the control at keyboard position N (1-based).
control_field() { controls | sed -n "${1}p" | cut -d'|' -f"$2"; }

shot() {
    import -window root "$work/screenshots/$1.png"
}

pixel() {  # client x, y in the last screenshot NAME
    convert "$work/screenshots/$1.png" -format \
        "%[fx:int(255*p{$((origin_x + $2)),$((origin_y + $3))}.r)],%[fx:int(255*p{$((origin_x + $2)),$((origin_y + $3))}.g)],%[fx:int(255*p{$((origin_x + $2)),$((origin_y + $3))}.b)]" info:
}

# Whether the start button's caption is drawn in dark (enabled) ink: any pixel of its face,
# inside the raised edge, darker than a quarter of full brightness.
dark_caption() {
    local mean
    mean=$(convert "$work/screenshots/$1.png" -crop "121x89+$((origin_x + 404))+$((origin_y + 20))" \
        +repage -colorspace gray -threshold 25% -format '%[fx:minima]' info:)
    [ "$mean" = 0 ]
}

wait_box() {  # the message box titled Korvane; prints its text
    local box
    box=$(timeout 60 xdotool search --sync --name '^Korvane$' | head -1)
    [ -n "$box" ] || return 1
    sleep 0.3
    wine "$probe" --box Korvane 2>/dev/null | tr -d '\r'
}

close_box() {
    xdotool search --name '^Korvane$' windowfocus --sync key Return 2>/dev/null
    sleep 0.3
}

start_printer() {  # IMAGE [sim options]: a printer behind COM1
    local image=$1
    shift
    rm -f "$work/sim.path" "$work/sim.summary"
    "$sim" --image "$image" --path-file "$work/sim.path" --summary "$work/sim.summary" "$@" \
        >/dev/null 2>&1 &
    sim_pid=$!
    pids+=("$sim_pid")
    for _ in $(seq 100); do [ -s "$work/sim.path" ] && break; sleep 0.05; done
    ln -sfn "$(cat "$work/sim.path")" "$com1"
}

summary() { sed -n "s/^$1=//p" "$work/sim.summary" 2>/dev/null; }

choose_file() {  # PATH through Ctrl+O
    xdotool windowfocus --sync "$window" key ctrl+o
    local dialog
    dialog=$(timeout 30 xdotool search --sync --name '^Open$' | head -1)
    [ -n "$dialog" ] || { fail "Ctrl+O brought up no dialog titled \"Open\""; return 1; }
    sleep 0.3
    xdotool type --delay 5 "$(winpath "$1")"
    # The file name box remembers earlier names: a first Return may only close its suggestions.
    local attempt
    for attempt in 1 2 3; do
        xdotool key Return
        for _ in $(seq 20); do
            xdotool search --name '^Open$' >/dev/null 2>&1 || break 2
            sleep 0.1
        done
    done
    sleep 0.3
}

click_client() { xdotool mousemove $((origin_x + $1)) $((origin_y + $2)) click 1; }
click_start() { click_client 464 64; }

# Pixels of a twips edge at a resolution, rounded half up.
px() { echo $((($1 * $2 + 720) / 1440)); }

check_layout() {  # DPI per-monitor|system: the resolution and how the window learns it
    local dpi=$1 path=$2 report=$work/layout-$1-$2.txt
    local seam=()
    # Windows 7 and 8.1 have no per-monitor calls; the switch takes that path here.
    [ "$path" = system ] && seam=(--system-dpi)
    rm -f "$report"
    wine "$exe" "${seam[@]}" --layout-report "$(winpath "$report")" >/dev/null 2>&1
    [ -s "$report" ] || { fail "no layout report at $dpi dpi"; return; }
    tr -d '\r' <"$report" >"$report.txt"
    # The window reports each control's place in client twips as its table gives it ("design
    # NAME left top width height"); its pixels are those edges, rounded half up.
    local name tl tt tw th want got count=0
    while read -r _ name tl tt tw th; do
        count=$((count + 1))
        want="$name $(px "$tl" "$dpi") $(px "$tt" "$dpi") \
$(($(px $((tl + tw)) "$dpi") - $(px "$tl" "$dpi"))) $(($(px $((tt + th)) "$dpi") - $(px "$tt" "$dpi")))"
        got=$(grep "^$name " "$report.txt")
        [ "$got" = "$want" ] || fail "$dpi dpi: $name at \"$got\", the design says \"$want\""
    done < <(grep '^design ' "$report.txt")
    [ "$count" = 11 ] || fail "$dpi dpi: $count controls in the layout report, not 11"
    want="client $(px 3255 "$dpi") $(px 4140 "$dpi") $(px 8055 "$dpi") $(px 2700 "$dpi")"
    got=$(grep '^client ' "$report.txt")
    [ "$got" = "$want" ] || fail "$dpi dpi: client area \"$got\", the design says \"$want\""
    got=$(grep '^dpi ' "$report.txt")
    [ "$got" = "dpi $dpi $path" ] || fail "the window runs at \"$got\", not $dpi $path"
    # Fixedsys 9 pt, MS Gothic and Tahoma 12 pt: the cell heights the point sizes give.
    local font points weight cell
    for font in "fixedFont 9 400" "buttonFont 12 700" "windowFont 12 700"; do
        read -r name points weight <<<"$font"
        read -r _ cell got <<<"$(grep "^$name " "$report.txt" | awk '{print $1, $(NF-1), $NF}')"
        [ "$got" = "$weight" ] || fail "$dpi dpi: $name weight $got, not $weight"
        # The em is points * dpi / 72; a face's cell is at least that and less than half again.
        local em=$(((points * dpi + 36) / 72))
        [ "$cell" -ge "$em" ] && [ "$cell" -lt $((em * 3 / 2)) ] ||
            fail "$dpi dpi: $name cell $cell pixels for an em of $em"
    done
    # The first focus is "COM Port"; the tab stops walk COM Port, cboPORT, cboSPEED (start is
    # disabled until a file is chosen).
    got=$(grep '^focus ' "$report.txt")
    [ "$got" = "focus 1" ] || fail "$dpi dpi: first focus on control \"$got\", not COM Port (1)"
    got=$(grep '^tabs ' "$report.txt")
    [ "$got" = "tabs 1 3 6" ] || fail "$dpi dpi: tab stops \"$got\", not \"tabs 1 3 6\""
}

# --- the cases ------------------------------------------------------------------------------
case_layout_96() {
    check_layout 96 per-monitor
    check_layout 96 system
}

case_layout_144() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
    wineserver -k
    wineserver -w
    check_layout 144 per-monitor
    check_layout 144 system
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
    wineserver -k
    wineserver -w
}

# Start-up as the user first sees it, control by control in keyboard order:
# enabled|visible|checked|text|entries
start_rows=(
    "1|1|0|Communication Interface Choice|"
    "1|1|1|COM Port|"
    "1|1|0|LPT Port|"
    "1|1|0|COM1|*COM1;COM2;COM3;COM4"
    "1|1|0|Port List :|"
    "1|1|0|COM Speed :|"
    "1|1|0|38400|4800;9600;19200;*38400"
    "0|1|0|Download Start|"
    "1|1|0||0..100=0"
    "1|1|0||"
    "1|1|0||"
)

case_start_state() {
    start_window || return
    local i=1 row got
    for row in "${start_rows[@]}"; do
        got=$(controls | sed -n "${i}p" | cut -d'|' -f6-)
        [ "$got" = "$row" ] || fail "control $i at start-up: \"$got\", expected \"$row\""
        i=$((i + 1))
    done
    shot start
    [ "$(pixel start 410 26)" = "255,128,128" ] ||
        fail "the start button is $(pixel start 410 26) at start-up, not light red 255,128,128"
    dark_caption start && fail "the start button's caption is drawn as if it were enabled"
    # The bar's top border is whole: under Label3 as far from it.
    [ "$(pixel start 464 144)" = "$(pixel start 40 144)" ] ||
        fail "the bar's top border under Label3 is $(pixel start 464 144), not $(pixel start 40 144)"
    end_window
}

case_person_path() {
    local image=$samples/demo.DPX n
    n=$(stat -c %s "$image")
    start_printer "$image"
    start_window || return
    shot before-open
    [ "$(pixel before-open 410 26)" = "255,128,128" ] || fail "the start button is not light red"
    choose_file "$image"
    shot file-chosen
    [ "$(pixel file-chosen 410 26)" = "128,255,128" ] ||
        fail "after File > Open the start button is $(pixel file-chosen 410 26), not 128,255,128"
    dark_caption file-chosen || fail "after File > Open the start button's caption looks disabled"
    [ "$(control_field 8 6)" = 1 ] || fail "after File > Open the start button is disabled"
    click_start
    local text
    text=$(wait_box) || { fail "no message box titled \"Korvane\" after the download"; return; }
    shot success
    [ "$text" = "Firmware Download Success." ] || fail "the message says \"$text\""
    close_box
    [ "$(control_field 10 9)" = "$n/$n" ] || fail "Label3 reads \"$(control_field 10 9)\", not $n/$n"
    [ "$(control_field 9 10)" = "1..$n=$n" ] || fail "the bar is \"$(control_field 9 10)\""
    shot after-download
    wait_gone "$sim_pid"
    [ "$(summary ended)" = completed ] && [ "$(summary mismatches)" = 0 ] &&
        [ "$(summary bytes)" = "$(summary expected_bytes)" ] &&
        [ "$(summary extra_bytes)" = 0 ] ||
        fail "the printer's tally: $(tr '\n' ' ' <"$work/sim.summary" 2>/dev/null)"
    # The README's picture: the window after a download.
    convert "$work/screenshots/after-download.png" \
        -crop "$((537 + 8))x$((180 + 50))+$((origin_x - 4))+$((origin_y - 46))" +repage \
        "$work/screenshots/window.png"
    end_window
}

case_command_line() {
    start_window "$(winpath "$samples/demo.DPX")" || return
    shot command-line
    [ "$(pixel command-line 410 26)" = "128,255,128" ] ||
        fail "started with a file, the start button is $(pixel command-line 410 26)"
    [ "$(control_field 8 6)" = 1 ] || fail "started with a file, the start button is disabled"
    end_window
}

case_timeout() {
    local image=$samples/demo.DPX
    start_printer "$image" --silent-from 2
    start_window || return
    choose_file "$image"
    click_start
    local text
    text=$(wait_box) || {
        shot timeout-missing
        fail "no message box after the printer fell silent (screenshot timeout-missing)"
        return
    }
    shot timeout
    [ "$text" = "Communication Error.(5 Sec Time out)" ] || fail "the message says \"$text\""
    close_box
    # The controls are usable again.
    local i
    for i in 2 3 4 7 8; do
        [ "$(control_field $i 6)" = 1 ] || fail "control $i stays disabled after the time-out"
    done
    end_window
    kill "$sim_pid" 2>/dev/null
}

case_lpt_port() {
    start_window || return
    click_client 40 96
    sleep 0.5
    [ "$(control_field 3 8)" = 1 ] || fail "LPT Port is not selected after a click on it"
    [ "$(control_field 2 8)" = 0 ] || fail "COM Port stays selected beside LPT Port"
    [ "$(control_field 4 10)" = "*LPT1;LPT2" ] || fail "port list \"$(control_field 4 10)\""
    [ "$(control_field 7 6)" = 0 ] || fail "the speed list is enabled with LPT Port"
    [ "$(control_field 7 10)" = "4800;9600;19200;*38400" ] ||
        fail "the speed list changed: \"$(control_field 7 10)\""
    shot lpt-port
    end_window
}

# How a user can end the program in the middle of a download; each must end it, and the
# printer must get no further record. (Wine ends a process itself once the session's end has
# been announced, so that row holds the outcome but not which code brought it about.)
end_ways=(
    "menu|xdotool windowfocus --sync \$window key alt+f; sleep 0.3; xdotool key x"
    "close|wine \"\$probe\" --close \"\$title\""
    "session|wine wineboot --end-session"
)

case_exit_during_download() {
    local image=$samples/demo.DPX row way action
    for row in "${end_ways[@]}"; do
        way=${row%%|*}
        action=${row#*|}
        # A slow printer, so that the download is surely in its middle.
        start_printer "$image" --process-ms 40
        start_window || return
        choose_file "$image"
        click_start
        local label=""
        for _ in $(seq 100); do
            label=$(control_field 10 9)
            [[ $label == [1-9]*/* ]] && break
            sleep 0.1
        done
        [[ $label == [1-9]*/* ]] || fail "$way: no progress to interrupt: Label3 \"$label\""
        eval "$action" >/dev/null 2>&1
        wait_gone "$window_pid" || {
            fail "$way: ending during a download did not end the program"
            kill "$window_pid" 2>/dev/null
        }
        wait_gone "$sim_pid"
        local records
        records=$(summary records)
        [ "$(summary ended)" = sender-left ] ||
            fail "$way: the printer saw the download end as \"$(summary ended)\", not sender-left"
        [ -n "$records" ] && [ "$records" -lt "$(summary expected_records)" ] ||
            fail "$way: the printer got $records of $(summary expected_records) records"
    done
}

case_tooltips() {
    local image=$samples/demo.DPX tip
    start_window || return
    choose_file "$image"
    xdotool mousemove $((origin_x + 464)) $((origin_y + 64))
    for _ in $(seq 50); do
        tip=$(wine "$probe" --tip 2>/dev/null | tr -d '\r')
        [ -n "$tip" ] && break
        sleep 0.1
    done
    [ "$tip" = "$(winpath "$image") ($(stat -c %s "$image") bytes)" ] ||
        fail "the start button's tooltip says \"$tip\""
    shot tooltip-start
    xdotool mousemove $((origin_x + 300)) $((origin_y + 52))
    for _ in $(seq 50); do
        tip=$(wine "$probe" --tip 2>/dev/null | tr -d '\r')
        [[ $tip == COM1* ]] && break
        sleep 0.1
    done
    [[ $tip == COM1* ]] || fail "the port list's tooltip says \"$tip\", not COM1's device"
    end_window
}

for case in "${cases[@]}"; do
    before=$failures
    started=$(date +%s.%N)
    "case_$case"
    printf '%-22s %s %.1f s\n' "$case" "$([ "$failures" = "$before" ] && echo ok || echo FAILED)" \
        "$(echo "$(date +%s.%N) - $started" | bc)"
done
exit $((failures > 0))
