#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# host tests, host tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the Windows tests on Wine under a virtual X display.
set -euo pipefail
. "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"

build_all
configure_and_build "$ROOT/build/host-sanitize" -DSETUP32_SANITIZE=ON

status=0
echo "== host tests"
ctest --test-dir "$HOST_BUILD" --output-on-failure -j "$JOBS" || status=1
echo "== host tests under ASan and UBSan"
ctest --test-dir "$ROOT/build/host-sanitize" --output-on-failure -j "$JOBS" || status=1
echo "== Windows tests on Wine"
xvfb-run -a -s "-screen 0 1024x768x24" \
    ctest --test-dir "$WIN32_BUILD" --output-on-failure -j "$JOBS" || status=1
wineserver -k 2>/dev/null || true
exit $status
