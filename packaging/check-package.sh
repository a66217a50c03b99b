#!/usr/bin/env bash
# Packs a built tree with CPack and checks the two .debs (korvane-cli: the command line and the
# simulator, without Qt or X; korvane: the window, on top of korvane-cli): their files and
# modes, their dependencies, that each installs and removes cleanly (in a private dpkg root),
# stripped programs, icon sizes, the desktop entry and metainfo, every manual page renders,
# every option that a --help prints is in that program's page, --version is the package's
# version, and the completion answers.
#   packaging/check-package.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$(realpath -m "$2")
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
cli_debs=("$work"/korvane-cli_*.deb)
window_debs=("$work"/korvane_*.deb)
cli_deb=${cli_debs[0]}
deb=${window_debs[0]}
[ -f "$cli_deb" ] && [ -f "$deb" ] || { fail "not two packages: $(ls "$work")"; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
for pair in "korvane-cli:$cli_deb" "korvane:$deb"; do
    name=${pair%%:*}
    file=${pair#*:}
    [ "$(basename "$file")" = "${name}_${version}_${arch}.deb" ] || fail "package named $(basename "$file")"
    [ "$(dpkg-deb -f "$file" Package)" = "$name" ] || fail "$(basename "$file") is not $name"
    [ -n "$(dpkg-deb -f "$file" Depends)" ] || fail "$name: no Depends computed from the programs"
done
# A headless station installs korvane-cli without any graphical library; the window pulls
# everything it needs, korvane-cli of the same version included.
cli_depends=$(dpkg-deb -f "$cli_deb" Depends)
if grep -qiE '(^|[ ,])(libqt|qt6|libx|libgl|libegl|libxcb|libfontconfig|libfreetype)' <<<"$cli_depends"; then
    fail "korvane-cli depends on graphical libraries: $cli_depends"
fi
window_depends=$(dpkg-deb -f "$deb" Depends)
for need in "korvane-cli (= $version)" libqt6widgets6 libqt6gui6 libqt6core6; do
    [[ "$window_depends" == *"$need"* ]] || fail "korvane does not depend on $need: $window_depends"
done

# The files and their modes, exactly: nothing missing, nothing extra, all owned by root.
icons=/usr/share/icons/hicolor
expected_cli=$(sort <<LIST
-rwxr-xr-x /usr/bin/korvane-cli
-rwxr-xr-x /usr/bin/korvane-printer-sim
-rw-r--r-- /usr/share/bash-completion/completions/korvane-cli
-rw-r--r-- /usr/share/doc/korvane-cli/README.md.gz
-rw-r--r-- /usr/share/doc/korvane-cli/changelog.gz
-rw-r--r-- /usr/share/doc/korvane-cli/copyright
-rw-r--r-- /usr/share/doc/korvane-cli/korvane-cli.schema.json
-rw-r--r-- /usr/share/man/man1/korvane-cli.1.gz
-rw-r--r-- /usr/share/man/man1/korvane-printer-sim.1.gz
LIST
)
expected_window=$(sort <<LIST
-rwxr-xr-x /usr/bin/korvane
-rw-r--r-- /usr/share/applications/korvane.desktop
-rw-r--r-- /usr/share/doc/korvane/README.md.gz
-rw-r--r-- /usr/share/doc/korvane/changelog.gz
-rw-r--r-- /usr/share/doc/korvane/copyright
-rw-r--r-- $icons/16x16/apps/korvane.png
-rw-r--r-- $icons/32x32/apps/korvane.png
-rw-r--r-- $icons/48x48/apps/korvane.png
-rw-r--r-- $icons/64x64/apps/korvane.png
-rw-r--r-- $icons/128x128/apps/korvane.png
-rw-r--r-- $icons/256x256/apps/korvane.png
-rw-r--r-- $icons/scalable/apps/korvane.svg
-rw-r--r-- /usr/share/man/man1/korvane.1.gz
-rw-r--r-- /usr/share/metainfo/org.korvane.korvane.metainfo.xml
LIST
)
root=$work/root
for pair in "cli:$cli_deb" "window:$deb"; do
    part=${pair%%:*}
    file=${pair#*:}
    expected_name=expected_$part
    dpkg-deb -c "$file" >"$work/contents-$part"
    actual=$(awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $1, $6 }' "$work/contents-$part" | sort)
    if [ "$actual" != "${!expected_name}" ]; then
        fail "$(basename "$file"): files differ from the list (< expected, > in the package):"
        diff <(echo "${!expected_name}") <(echo "$actual") >&2 || true
    fi
    awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print "directory mode", $1, $6 }
         $2 != "root/root" { print "owner", $2, $6 }' "$work/contents-$part" >"$work/odd"
    [ ! -s "$work/odd" ] || fail "$(cat "$work/odd")"
    dpkg-deb -x "$file" "$root"
done

# Each package installs and removes cleanly, in a dpkg root of its own that knows what this
# system has installed: the window refuses to go in without korvane-cli, both go in together,
# and each removal takes exactly its own files.
dpkg_root=$work/dpkg-root
mkdir -p "$dpkg_root/var/lib/dpkg/info" "$dpkg_root/var/lib/dpkg/updates"
cp /var/lib/dpkg/status "$dpkg_root/var/lib/dpkg/status"
: >"$dpkg_root/var/lib/dpkg/available"
in_root() { dpkg --root="$dpkg_root" --force-not-root --force-script-chrootless "$@" >>"$work/dpkg.log" 2>&1; }
files_in_root() { (cd "$dpkg_root" && find usr -type f 2>/dev/null | sed 's|^|/|' | sort); }
listed() { sed 's/^[^ ]* //' <<<"$1" | sort; }
if in_root --install "$deb"; then
    fail "korvane installed without korvane-cli"
fi
in_root --remove korvane || true
[ -z "$(files_in_root)" ] || fail "a refused korvane left files: $(files_in_root | tr '\n' ' ')"
if in_root --install "$cli_deb" "$deb"; then
    [ "$(files_in_root)" = "$(listed "$expected_cli"$'\n'"$expected_window" | sort)" ] ||
        fail "the installed files are not the packages' files"
    in_root --remove korvane || fail "korvane does not remove cleanly: $(tail -3 "$work/dpkg.log")"
    [ "$(files_in_root)" = "$(listed "$expected_cli")" ] ||
        fail "removing korvane did not leave exactly korvane-cli's files"
    in_root --purge korvane-cli || fail "korvane-cli does not remove cleanly: $(tail -3 "$work/dpkg.log")"
    [ -z "$(files_in_root)" ] || fail "files left after both removals: $(files_in_root | tr '\n' ' ')"
else
    fail "korvane-cli and korvane do not install: $(tail -5 "$work/dpkg.log")"
fi
for program in korvane korvane-cli korvane-printer-sim; do
    file -b "$root/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
done
for size in 16 32 48 64 128 256; do
    file -b "$root$icons/${size}x$size/apps/korvane.png" | grep -q "PNG image data, $size x $size," ||
        fail "the ${size}x$size icon is not a $size pixel PNG"
done
desktop-file-validate "$root/usr/share/applications/korvane.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.xml >"$work/appstream" ||
    fail "metainfo: $(cat "$work/appstream")"

# Pages render without a warning; the help of each program (and of each korvane-cli command)
# names only options that its page describes. Options are harvested, so new ones are checked
# as soon as --help prints them.
options_in() { grep -oE '(^|[^[:alnum:]-])--?[[:alpha:]][[:alnum:]-]*' | sed 's/^[^-]*//' | sort -u; }
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
while read -r page help; do
    text=$work/$page.txt
    LC_ALL=C MANWIDTH=80 man --nh --nj --warnings -l "$root/usr/share/man/man1/$page.1.gz" \
        >"$text" 2>"$work/$page.warnings" || fail "man -l $page.1.gz"
    [ ! -s "$work/$page.warnings" ] || fail "$page.1 renders with: $(cat "$work/$page.warnings")"
    grep -q '^NAME' "$text" || fail "$page.1 has no NAME section"
    read -r -a words <<<"$help"
    # A command that does not know --help yet answers with the usage status, 2; any other
    # failure, or silence, is a fault.
    status=0
    "${nodisplay[@]}" "$root/usr/bin/${words[@]}" >"$work/help" 2>/dev/null || status=$?
    if [ $status -ne 2 ] && { [ $status -ne 0 ] || [ ! -s "$work/help" ]; }; then
        fail "'${words[*]}' exits $status with $(wc -c <"$work/help") bytes of help"
    fi
    for option in $(options_in <"$work/help"); do
        grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|\$)" "$text" ||
            fail "'${words[*]}' prints $option, which $page(1) does not describe"
    done
done <<ROWS
korvane             korvane --help
korvane-cli         korvane-cli --help
korvane-cli         korvane-cli send --help
korvane-cli         korvane-cli check --help
korvane-printer-sim korvane-printer-sim --help
ROWS

for program in korvane korvane-cli korvane-printer-sim; do
    said=$("${nodisplay[@]}" "$root/usr/bin/$program" --version 2>&1) || true
    [ "$(head -n 1 <<<"$said")" = "$program $version" ] ||
        fail "$program --version says '$said', package is $version"
    grep -q "MIT licence" <<<"$said" || fail "$program --version names no licence: '$said'"
done

# Without a display the window says so in one line that points to korvane-cli.
status=0
"${nodisplay[@]}" "$root/usr/bin/korvane" >/dev/null 2>"$work/nodisplay" || status=$?
if [ $status -ne 1 ] || [ "$(wc -l <"$work/nodisplay")" -ne 1 ] ||
    ! grep -q korvane-cli "$work/nodisplay"; then
    fail "korvane without a display exits $status with: $(cat "$work/nodisplay")"
fi

# Completion: the line typed so far, and words the answer must hold (or "-" for none).
completion=/usr/share/bash-completion/bash_completion
if [ ! -r "$completion" ]; then
    fail "bash-completion is not installed"
else
    mkdir -p "$work/files/sub"
    touch "$work/files/a.DPX" "$work/files/b.dpx" "$work/files/c.txt"
    while IFS='|' read -r line want; do
        got=$(cd "$work/files" && PATH="$root/usr/bin:$PATH" bash -c '
            source "$1"; source "$2"
            read -r -a COMP_WORDS <<<"$3"; [[ $3 == *" " ]] && COMP_WORDS+=("")
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE=$3; COMP_POINT=${#3}
            _korvane_cli korvane-cli; printf "%s\n" "${COMPREPLY[@]}"' _ \
            "$completion" "$root/usr/share/bash-completion/completions/korvane-cli" "$line" |
            sort | tr '\n' ' ')
        for w in $want; do
            [ "$w" = - ] && { [ -z "${got// /}" ] || fail "completing '$line' gave '$got'"; continue; }
            [[ " $got" == *" $w "* ]] || fail "completing '$line' gave '$got', not $w"
        done
        [[ " $got" != *" c.txt "* ]] || fail "completing '$line' offered c.txt"
    done <<ROWS
korvane-cli s|send
korvane-cli |check send help
korvane-cli --v|--version
korvane-cli send --|--serial --parallel --baud --quiet
korvane-cli send --serial |COM1 COM4
korvane-cli send --serial=CO|COM1 COM2
korvane-cli send --parallel |LPT1 LPT2
korvane-cli send --baud |4800 9600 19200 38400
korvane-cli send --serial COM1 |a.DPX b.dpx sub
korvane-cli check |a.DPX b.dpx sub
ROWS
fi

if [ $failures -ne 0 ]; then
    echo "check-package: $failures failure(s) in $deb" >&2
    exit 1
fi
echo "check-package: $deb ($version) is complete"
