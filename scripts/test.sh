#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# host tests, host tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the Windows tests on Wine under a virtual X display: those of the i686
# build (setup32.exe itself) and those of the x86-64 test build on wine64.
# Where this machine runs no 32-bit code, the i686 programs run under
# qemu-user (scripts/emulate-i386.sh), and only the part of the i686 suite
# that starts the shipped image on every path where the builds differ
# (docs/emulation.md); SETUP32_EMULATE_ALL=1 runs all of it there. The last
# lines give the shipped image's size, the times, and how each suite ran
# and its counts.
set -euo pipefail
. "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"

build_all
build_win64
configure_and_build "$ROOT/build/host-sanitize" -DSETUP32_SANITIZE=ON

status=0
times=("set-up and builds $SECONDS s")
timed() { # name, command...
    local name=$1 started=$SECONDS; shift
    "$@" || status=1
    times+=("$name $((SECONDS - started)) s")
}
echo "== host tests"
timed host ctest --test-dir "$HOST_BUILD" --output-on-failure -j "$JOBS"
echo "== host tests under ASan and UBSan"
timed sanitizers ctest --test-dir "$ROOT/build/host-sanitize" --output-on-failure -j "$JOBS"

# One build's Windows tests (or those that ctest's extra arguments select) on
# a display of their own, and its part of the closing line, counted from
# ctest's own closing line ("N% tests passed, F tests failed out of T").
# With RUN_WITH set, ctest runs through that command (the emulation).
suites=()
windows_suite() { # build, name, ctest arguments...
    local build=$1 name=$2 log=$1/windows-tests.log counts started=$SECONDS
    shift 2
    echo "== Windows tests: $name"
    ${RUN_WITH:-} xvfb-run -a -s "-screen 0 1024x768x24" \
        ctest --test-dir "$build" --output-on-failure -j "$JOBS" "$@" 2>&1 | tee "$log" || status=1
    WINEPREFIX=$build/wineprefix run_wineserver -k 2>/dev/null || true
    times+=("$name $((SECONDS - started)) s")
    counts=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' "$log")
    if [ -z "$counts" ]; then
        status=1
        suites+=("$name (did not finish)")
    elif [ "${counts% *}" -eq 0 ]; then
        suites+=("$name (${counts#* } passed)")
    else
        suites+=("$name ($((${counts#* } - ${counts% *})) passed, ${counts% *} failed)")
    fi
}

# The part of the i686 suite that runs under emulation: the shipped image
# started on every path where the i686 and x86-64 builds differ (the
# entry point and stack guard, 386 code, the 32-bit scaling arithmetic,
# stdcall call-backs, the 76-byte OPENFILENAME, PE32): a whole installation
# with the shell's program group, the Windows 95 row under the call trace, a
# double-byte code page through the chooser, the older-shell path beside a
# planted library, an abort, a kill, the hardening checks, and the
# unattended runs (silent with the shell's group, passive, killed and run
# again). Each costs about 10 to 25 s there (docs/emulation.md).
EMULATED_PART=(installer_image e2e.DefaultInstallWithTheShellsProgramGroup e2e.Win95 e2e.cp932 e2e.PlantedLibraryOlderShell
               faults.Middle faults.InTheFirstMember hardening
               unattended.SilentDefaultWithTheShellsProgramGroup unattended.PassiveOverAnEarlierOne
               unattended.KilledAndRunAgain)
# Under qemu-user 7.2 the fast-fail interrupt of an overrun stack guard
# reaches Wine as an unknown trap (docs/emulation.md): that one case runs
# where 32-bit code runs and in the x86-64 suite only.
EMULATION_CANNOT_RUN=Hardening.StackOverrunEndsTheProcess

emulated_i686_suite() {
    local selection=() name
    if [ -z "${SETUP32_EMULATE_ALL:-}" ]; then
        # A row renamed away would leave the part smaller without a word.
        local known
        known=$(ctest --test-dir "$WIN32_BUILD" -N | sed -n 's/^ *Test *#[0-9]*: //p')
        for name in "${EMULATED_PART[@]}"; do
            grep -qxF "$name" <<<"$known" || { echo "no i686 test named $name" >&2; status=1; }
        done
        selection=(-R "^($(IFS='|'; echo "${EMULATED_PART[*]}" | sed 's/\./\\./g'))\$")
        name="i686 under qemu-user, the emulated part"
    else
        name="i686 under qemu-user, all of it"
    fi
    GTEST_FILTER=-$EMULATION_CANNOT_RUN RUN_WITH=run_i686 windows_suite "$WIN32_BUILD" "$name" "${selection[@]}"
}

if runs_32bit_code; then
    windows_suite "$WIN32_BUILD" "i686 on Wine"
else
    if [ -z "${SETUP32_EMULATE_ALL:-}" ]; then
        # What needs no Wine checks the shipped image as a file: its
        # imports, its instructions, its reproducibility.
        echo "== i686 image checks (no Wine)"
        started=$SECONDS
        ctest --test-dir "$WIN32_BUILD" -L static --output-on-failure 2>&1 | tee "$WIN32_BUILD/static-tests.log" || status=1
        times+=("i686 image checks $((SECONDS - started)) s")
        static=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\2/p' "$WIN32_BUILD/static-tests.log")
        suites+=("i686 image checks (${static:-0} run)")
    fi
    emulated_i686_suite
fi
use_wine64
windows_suite "$WIN64_BUILD" "x86-64 on wine64"
summary=$(printf ', %s' "${times[@]}")
print_image_sizes "$WIN32_BUILD"
echo "Times: ${summary#, }, whole command $SECONDS s"
summary=$(printf ', %s' "${suites[@]}")
echo "Windows tests: ${summary#, }"
exit $status
