#!/usr/bin/env bash
# The whole installation on Wine: builds setup32.exe with the bench payload
# in a tree of its own, installs it with the end-to-end driver (Add Icons off)
# and prints the wall time beside the floor of slices x 25 ms, then the
# stub's size (setup32.exe without its package).
# Usage: bench/install-bench.sh PAYLOAD_DIR VEXAPACK [RUNS]
set -euo pipefail
. "$(dirname "$0")/../scripts/env.sh"
payload=$(cd "${1:?usage: install-bench.sh PAYLOAD_DIR VEXAPACK [RUNS]}" && pwd)
vexapack=${2:?usage: install-bench.sh PAYLOAD_DIR VEXAPACK [RUNS]}
runs=${3:-5}
tree=$ROOT/build/bench-win32

cmake -S "$ROOT" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
      -DVEXAPACK="$vexapack" -DSETUP32_PAYLOAD_DIR="$payload" >/dev/null
cmake --build "$tree" -j "$JOBS" --target setup32 install_timing >/dev/null

export WINEPREFIX=$tree/wineprefix
# Unmanaged windows: with no window manager Wine otherwise waits for each
# hidden window to be withdrawn, which would be timed as the installer's.
ensure_wineprefix
winpath() { echo "z:$1" | tr / '\\'; }
status=0
xvfb-run -a -s "-screen 0 1024x768x24" \
    wine "$tree/bin/install_timing.exe" "$(winpath "$tree/bin/setup32.exe")" \
         "$(winpath "$tree/bench-install")" "$runs" </dev/null || status=$?
wineserver -k 2>/dev/null || true

exe=$(stat -c %s "$tree/bin/setup32.exe")
package=$(stat -c %s "$tree/setup32-package/vexaall.pkg")
echo "setup32.exe: $exe bytes, package $package bytes, stub $((exe - package)) bytes" \
     "($(awk -v s=$((exe - package)) 'BEGIN { printf "%.1f", s / 1024 }') KiB)"
exit $status
