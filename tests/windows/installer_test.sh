#!/usr/bin/env bash
# The Windows packages under Wine: the installer installs silently into Program Files\Korvane,
# the installed programs answer --version, the Start-menu shortcut and the entry under the
# installed programs exist, and the silent uninstall leaves no file, shortcut or entry behind;
# the zip holds the same programs, which run from where they were unpacked.
#
#   installer_test.sh INSTALLER ZIP VERSION WORK_DIR [PROGRAMS]
#
# PROGRAMS: the programs the packages hold, without .exe; "korvane korvane-cli" unless given.
#
# The Wine prefix is $WINEPREFIX (the build's, which the harness names), else WORK_DIR/wine-prefix;
# its wineserver is left running for the other tests, and ends on its own when it is not kept.
set -uo pipefail
installer=$(realpath "$1")
zip=$(realpath "$2")
version=$3
work=$(realpath -m "$4")
read -r -a programs <<<"${5:-korvane korvane-cli}"
mkdir -p "$work"
export WINEPREFIX=${WINEPREFIX:-$work/wine-prefix} WINEDEBUG=-all DISPLAY= \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
"$(dirname "$0")/wine-prefix" "$WINEPREFIX" create
folder="$WINEPREFIX/drive_c/Program Files/Korvane"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvane'
shortcuts() { find "$WINEPREFIX/drive_c" -path '*Start Menu*' -iname 'Korvane.lnk' 2>/dev/null; }

# A run before this one may have left an installation behind.
rm -rf "$folder"
wine reg delete "$uninstall_key" /f >/dev/null 2>&1

wine "$installer" /S >/dev/null 2>&1 || fail "the installer exited with status $?"
docs=(windows-guide.txt json.md korvane-cli.schema.json LICENSE.txt)
for file in "${programs[@]/%/.exe}" "${docs[@]}" Uninstall.exe; do
    [ -f "$folder/$file" ] || fail "no $file in Program Files\\Korvane"
done
for program in "${programs[@]}"; do
    said=$(wine "C:\\Program Files\\Korvane\\$program.exe" --version 2>/dev/null | tr -d '\r')
    [ "$(head -n 1 <<<"$said")" = "$program $version" ] ||
        fail "installed $program --version says \"$said\""
    grep -q "MIT licence" <<<"$said" || fail "installed $program --version names no licence"
done
[ -n "$(shortcuts)" ] || fail "no Korvane shortcut in the Start menu"
wine reg query "$uninstall_key" /v DisplayName 2>/dev/null | grep -q Korvane ||
    fail "no Korvane entry under the installed programs"

wine "C:\\Program Files\\Korvane\\Uninstall.exe" /S >/dev/null 2>&1
# The uninstaller copies itself away and returns at once; its copy does the work.
for _ in $(seq 300); do
    [ -e "$folder" ] || break
    sleep 0.1
done
[ -e "$folder" ] && fail "left behind: $(find "$folder" | tr '\n' ' ')"
[ -z "$(shortcuts)" ] || fail "the shortcut stays: $(shortcuts)"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the installed programs still list Korvane"

rm -rf "$work/unzipped"
mkdir -p "$work/unzipped"
unzip -q "$zip" -d "$work/unzipped" || fail "the zip does not unpack"
top="$work/unzipped/$(basename "$zip" .zip)"
for file in "${docs[@]}"; do
    [ -f "$top/$file" ] || fail "no $file in the zip's $(basename "$top") folder"
done
for program in "${programs[@]}"; do
    [ -f "$top/$program.exe" ] || {
        fail "no $program.exe in the zip's $(basename "$top") folder"
        continue
    }
    got=$(wine "$top/$program.exe" --version 2>/dev/null | tr -d '\r' | head -n 1)
    [ "$got" = "$program $version" ] || fail "$program.exe from the zip says \"$got\""
done
echo "installer_test: $failures failure(s)"
exit $((failures > 0))
