#!/usr/bin/env bash
# Checks the source rules, builds everything with warnings as errors and runs every test: unit,
# integration against the printer simulator, the window, the parallel port in a QEMU guest, and
# short fuzzing runs. Then everything but the window, the QEMU guest and the fuzzers again under
# AddressSanitizer and UndefinedBehaviorSanitizer. Then the Windows build under Wine.
# Every suite runs even when an earlier one failed; one summary closes the run, and the exit
# status is 0 only when every step passed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
started=$(date +%s)
failed=0

# The tests' temporary files, and each Wine prefix's server socket (Wine keeps it under TMPDIR),
# stay in the clone; every program of the run sees the same folder, so Wine's clients find
# their server.
export TMPDIR=$root/build-tmp
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"
summary=()

note() { summary+=("$*"); }

elapsed() {  # SECONDS as "M min S s"
    printf '%d min %02d s' $(($1 / 60)) $(($1 % 60))
}

# One build's totals from CTest's JUnit report: passed, failed, skipped, and each skip's reason
# (the line after gtest's "Skipped", else the test's last line of output).
totals() {  # NAME REPORT
    python3 - "$@" <<'EOF'
import sys
import xml.etree.ElementTree as ET

name, report = sys.argv[1:3]
passed, failed, skipped = 0, [], []
for case in ET.parse(report).getroot().iter("testcase"):
    skip = case.find("skipped")
    out = [line.strip() for line in (case.findtext("system-out") or "").splitlines()]
    out = [line for line in out if line and not line.startswith("[")]
    if case.get("status") == "run":
        passed += 1
    elif skip is not None and skip.get("message", "").startswith("SKIP_"):
        marks = [i for i, line in enumerate(out) if line.endswith(": Skipped")]
        reason = out[marks[0] + 1] if marks and marks[0] + 1 < len(out) else (out or ["?"])[-1]
        skipped.append(f"{case.get('name')}: {reason[:110]}")
    else:
        why = f"not run: {skip.get('message')}" if skip is not None else "failed"
        failed.append(f"{case.get('name')} ({why})")
print(f"{name}: {passed} passed, {len(failed)} failed, {len(skipped)} skipped")
for line in failed:
    print(f"    failed:  {line}")
for line in skipped:
    print(f"    skipped: {line}")
EOF
}

# Builds with BUILD_COMMAND, then runs CTest with CTEST_ARGS in BUILD_DIR.
suite() {  # NAME BUILD_DIR BUILD_COMMAND... -- CTEST_ARGS...
    local name=$1 build=$2 begun status=0
    shift 2
    local command=()
    while [ "$1" != -- ]; do
        command+=("$1")
        shift
    done
    shift
    begun=$(date +%s)
    if ! "${command[@]}"; then
        failed=1
        note "$name: the build failed; no test ran"
        return
    fi
    rm -f "$build/test-results.xml"
    ctest --test-dir "$build" --output-on-failure -j2 --output-junit "$build/test-results.xml" \
        "$@" || status=$?
    [ "$status" = 0 ] || failed=1
    if [ -s "$build/test-results.xml" ]; then
        note "$(totals "$name" "$build/test-results.xml")"
    else
        note "$name: CTest ended with status $status and no report"
    fi
    note "    took $(elapsed $(($(date +%s) - begun))) (build and tests)"
}

"$root/scripts/setup-debian.sh"
if ! "$root/scripts/check-source.sh"; then
    failed=1
    note "Source rules: broken (scripts/check-source.sh above says where)"
fi

suite Linux "$root/build" "$root/scripts/build.sh" "$root/build" -DKORVANE_WERROR=ON --

suite Sanitizer "$root/build-asan" "$root/scripts/build.sh" "$root/build-asan" -DKORVANE_WERROR=ON \
    -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON -DKORVANE_BUILD_UI=OFF \
    -DKORVANE_BUILD_BENCH=OFF -- -LE "qemu|fuzz"
note "    (the window, the QEMU guest and the fuzzers run in the Linux build only)"

# Windows: every program and test cross-built with mingw-w64, the tests run under Wine.
suite Windows "$root/build-windows" "$root/scripts/build-windows.sh" "$root/build-windows" -- \
    -L windows
# Once more with Wine saying it is Windows 7 SP1, the oldest system the programs are for.
KORVANE_WINE_VERSION=win7 suite "Windows as Windows 7" "$root/build-windows" true -- -L windows

echo
echo "==== Summary ===="
printf '%s\n' "${summary[@]}"
echo "Wall time: $(elapsed $(($(date +%s) - started)))"
if [ "$failed" != 0 ]; then
    echo "Result: FAILED"
    exit 1
fi
echo "Result: every suite passed"
