#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# host tests, host tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the Windows tests on Wine under a virtual X display: those of the i686
# build (setup32.exe itself) where this machine runs 32-bit code, those of the
# x86-64 test build on wine64 always. The last line says which ran.
set -euo pipefail
. "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"

build_all
build_win64
configure_and_build "$ROOT/build/host-sanitize" -DSETUP32_SANITIZE=ON

status=0
echo "== host tests"
ctest --test-dir "$HOST_BUILD" --output-on-failure -j "$JOBS" || status=1
echo "== host tests under ASan and UBSan"
ctest --test-dir "$ROOT/build/host-sanitize" --output-on-failure -j "$JOBS" || status=1

# One build's Windows tests on a display of their own, and its part of the
# closing line, counted from ctest's own closing line
# ("N% tests passed, F tests failed out of T").
suites=()
windows_suite() { # build, name
    local log=$1/windows-tests.log counts
    echo "== Windows tests: $2"
    xvfb-run -a -s "-screen 0 1024x768x24" \
        ctest --test-dir "$1" --output-on-failure -j "$JOBS" 2>&1 | tee "$log" || status=1
    WINEPREFIX=$1/wineprefix run_wineserver -k 2>/dev/null || true
    counts=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' "$log")
    if [ -z "$counts" ]; then
        status=1
        suites+=("$2 (did not finish)")
    elif [ "${counts% *}" -eq 0 ]; then
        suites+=("$2 (${counts#* } passed)")
    else
        suites+=("$2 ($((${counts#* } - ${counts% *})) passed, ${counts% *} failed)")
    fi
}

# Asked once: the i686 suite needs 32-bit code to run, the x86-64 one runs
# on every x86-64 machine. A machine without 32-bit code is no failure.
if runs_32bit_code; then
    windows_suite "$WIN32_BUILD" "i686 on Wine"
    use_wine64
    windows_suite "$WIN64_BUILD" "x86-64 on wine64"
else
    # What needs no Wine still checks the shipped i686 image: its imports
    # and its instructions.
    echo "== i686 image checks (no Wine)"
    ctest --test-dir "$WIN32_BUILD" -L static --output-on-failure 2>&1 | tee "$WIN32_BUILD/static-tests.log" || status=1
    static=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\2/p' "$WIN32_BUILD/static-tests.log")
    use_wine64
    windows_suite "$WIN64_BUILD" "x86-64 on wine64"
    suites+=("i686 image checks (${static:-0} run), i686 suite not run: this machine runs no 32-bit code")
fi
summary=$(printf ', %s' "${suites[@]}")
echo "Windows tests: ${summary#, }"
exit $status
