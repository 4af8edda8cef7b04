#!/usr/bin/env bash
# The whole installation on Wine: builds setup32.exe with the bench payload
# in a tree of its own, installs it with the end-to-end driver (Add Icons off)
# and prints the wall time beside the floor of slices x 25 ms, then the
# stub's size (setup32.exe without its package). It times the build that runs
# the test suite here: the shipped i686 image where 32-bit code runs, else the
# x86-64 test build on wine64 (the same sources; the i686 image would run
# under qemu-user, whose times say nothing of the installer's).
# BENCH_BUILD=i686 times the i686 image all the same (emulated where no
# 32-bit code runs), BENCH_BUILD=x86_64 the x86-64 build.
# Usage: bench/install-bench.sh PAYLOAD_DIR VEXAPACK [RUNS]
set -euo pipefail
. "$(dirname "$0")/../scripts/env.sh"
payload=$(cd "${1:?usage: install-bench.sh PAYLOAD_DIR VEXAPACK [RUNS]}" && pwd)
vexapack=${2:?usage: install-bench.sh PAYLOAD_DIR VEXAPACK [RUNS]}
runs=${3:-5}
build=${BENCH_BUILD:-$(runs_32bit_code && echo i686 || echo x86_64)}
case $build in
    i686) tree=$ROOT/build/bench-win32 ;;
    x86_64) tree=$ROOT/build/bench-win64 ;;
    *) echo "BENCH_BUILD must be i686 or x86_64" >&2; exit 2 ;;
esac

cmake -S "$ROOT" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$build.cmake" \
      -DVEXAPACK="$vexapack" -DSETUP32_PAYLOAD_DIR="$payload" >/dev/null
cmake --build "$tree" -j "$JOBS" --target setup32 install_timing >/dev/null

if [ "$build" = x86_64 ]; then
    use_wine64
    export WINEPREFIX=$tree/wineprefix
    echo "The x86-64 test build on wine64 (BENCH_BUILD=i686 for the shipped image)."
    run=()
elif runs_32bit_code; then
    export WINEPREFIX=$tree/wineprefix
    run=()
else
    # The i686 programs run under qemu-user on a 64-bit prefix (run_i686):
    # the figure is then the emulator's.
    export WINEPREFIX=$tree/wineprefix-emulated
    echo "This machine runs no 32-bit code: setup32.exe and the driver run under qemu-user."
    run=(run_i686)
fi
# Unmanaged windows: with no window manager Wine otherwise waits for each
# hidden window to be withdrawn, which would be timed as the installer's.
"${run[@]}" sh -c 'sh "$1" "$WINEPREFIX" && "${WINESERVER:-wineserver}" -w' sh "$ROOT/tests/win32/support/prepare_prefix.sh"
winpath() { echo "z:$1" | tr / '\\'; }
status=0
"${run[@]}" xvfb-run -a -s "-screen 0 1024x768x24" \
    sh -c '"${WINELOADER:-wine}" "$@"' wine "$tree/bin/install_timing.exe" "$(winpath "$tree/bin/setup32.exe")" \
         "$(winpath "$tree/bench-install")" "$runs" </dev/null || status=$?
"${run[@]}" sh -c '"${WINESERVER:-wineserver}" -k' 2>/dev/null || true
if [ ${#run[@]} -gt 0 ]; then
    echo "These times are emulated (qemu-user): not comparable with the floor, nor with figures"
    echo "from a machine that runs 32-bit code; the stub's size below is the same everywhere."
fi

print_image_sizes "$tree"
exit $status
