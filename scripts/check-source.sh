#!/usr/bin/env bash
# Source rules that the compiler cannot see, checked over the tracked files:
#   - src/image, src/download and the window's behaviour (src/ui/form) include the C++ standard
#     library and the layers below them only (no Qt, no POSIX, no Win32), and src/download
#     nothing from ports, ui or cli;
#   - nothing outside the window (src/ui) includes ui; its tests and benchmark may, and the
#     behaviour's tests may include ui/form;
#   - no tracked file over 1 MiB, no ELF binary or core dump tracked;
#   - clang-format clean;
#   - no file speaks of the requirements document the code was written from.
# Prints every breach with its file and line; exit 0 when there is none, 1 otherwise.
#
# Usage: scripts/check-source.sh [ROOT]   (ROOT defaults to this checkout)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
self=scripts/check-source.sh
failed=0

breach() {
    echo "check-source: $*" >&2
    failed=1
}

# The C++20 standard library headers, and the C library as the C++ library offers it.
std_headers=" algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat
charconv chrono cinttypes climits clocale cmath codecvt compare complex concepts
condition_variable coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring
ctime cuchar cwchar cwctype deque exception execution expected filesystem format forward_list
fstream functional future initializer_list iomanip ios iosfwd iostream istream iterator latch
limits list locale map memory memory_resource mutex new numbers numeric optional ostream queue
random ranges ratio regex scoped_allocator semaphore set shared_mutex source_location span
sstream stack stdexcept stop_token streambuf string string_view syncstream system_error thread
tuple type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant
vector version "
std_headers=" $(echo $std_headers) "  # one space between names

# check_layer DIR ALLOWED...: the quoted includes of DIR lie in one of the ALLOWED folders
# (a layer, or a folder inside one), and its angle includes are standard library headers.
check_layer() {
    local dir=$1
    shift
    local allowed="$*"
    local file line header
    while IFS=: read -r file line header; do
        case $header in
            \<*\>)
                header=${header#<}
                header=${header%>}
                [[ $std_headers == *" $header "* ]] ||
                    breach "$file:$line: <$header> is not the C++ standard library; $dir" \
                        "uses the standard library only"
                ;;
            \"*\")
                header=${header#\"}
                header=${header%\"}
                local folder inside=0
                for folder in $allowed; do
                    [[ $header == "$folder"/* ]] && inside=1
                done
                [ $inside -eq 1 ] ||
                    breach "$file:$line: \"$header\" is outside what $dir may include" \
                        "($allowed)"
                ;;
        esac
    done < <(git grep -nE '^[[:space:]]*#[[:space:]]*include' -- "$dir" |
        sed -E 's/^([^:]*):([0-9]*):[[:space:]]*#[[:space:]]*include[[:space:]]*([<"][^>"]*[>"]).*/\1:\2:\3/')
}

check_layer src/image image
check_layer src/download download image
check_layer src/ui/form ui/form download image

# Stated on its own so that the message names the arrow that was crossed.
while IFS= read -r hit; do
    breach "$hit: the engine includes nothing from ports, ui or cli"
done < <(git grep -nE '#[[:space:]]*include[[:space:]]*"(ports|ui|cli)/' -- src/download || true)

while IFS= read -r hit; do
    breach "$hit: only the window (src/ui) includes ui"
done < <(git grep -nE '#[[:space:]]*include[[:space:]]*"ui/' -- . ':!src/ui/' ':!tests/ui/' \
    ':!bench/ui_bench.cpp' | grep -vE '^tests/form/[^:]*:[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*"ui/form/' || true)

# Size, binaries and core dumps.
while IFS= read -r -d '' file; do
    [ -f "$file" ] || continue
    size=$(stat -c %s -- "$file")
    [ "$size" -le 1048576 ] || breach "$file: $size bytes; no tracked file is over 1 MiB"
    case ${file##*/} in
        core | core.* | vgcore.*) breach "$file: a core dump is tracked; git rm it" ;;
    esac
    [ "$(head -c 4 -- "$file" | od -An -tx1 | tr -d ' \n')" != 7f454c46 ] ||
        breach "$file: an ELF binary is tracked; git rm it"
done < <(git ls-files -z)

# Formatting.
mapfile -d '' sources < <(git ls-files -z -- '*.cpp' '*.h')
if ! command -v clang-format >/dev/null; then
    breach "clang-format not found (scripts/setup-debian.sh installs it)"
elif [ ${#sources[@]} -gt 0 ] && ! clang-format --dry-run --Werror "${sources[@]}" 2>/dev/null; then
    for file in "${sources[@]}"; do
        clang-format --dry-run --Werror "$file" 2>/dev/null ||
            breach "$file: not clang-format clean; run clang-format -i $file"
    done
fi

# The code speaks for itself, not of a document it came from.
while IFS= read -r hit; do
    breach "$hit: names the requirements document; say what the code does instead"
done < <(git grep -nIiE '\bspec(s|ification)?\b|spec\.md|\bPart [0-9]\.[0-9]' -- . \
    ":!$self" || true)

if [ $failed -ne 0 ]; then
    exit 1
fi
echo "check-source: all rules hold"
