#!/usr/bin/env bash
# The main job: installs what is missing, builds everything and runs
# setup32.exe on Wine. With a display the real dialog opens for you; without
# one it runs under Xvfb, installs into build/demo/vexa through the
# end-to-end driver, prints what was installed and the program group's
# shortcuts, and saves screenshots in build/demo/screenshots.
# DEMO_HEADLESS=1 forces the second way even with a display.
set -euo pipefail
. "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"
build_all "$@"   # e.g. -DSETUP32_PAYLOAD_DIR=DIR for the release payload

demo=$ROOT/build/demo
export WINEPREFIX=$demo/wineprefix
installer=$WIN32_BUILD/bin/setup32.exe
mkdir -p "$demo"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    ensure_wineprefix
    # A Wine desktop of its own: windows get their frames and captions
    # without a window manager, in the screenshots too.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    wineserver -w
fi

if [ -n "${DISPLAY:-}" ] && [ -z "${DEMO_HEADLESS:-}" ]; then
    echo "Running $installer on Wine (prefix $WINEPREFIX)"
    wine "$installer"
    wineserver -k 2>/dev/null || true
    exit 0
fi

winpath() { echo "z:$1" | tr / '\\'; }
rm -rf "$demo/vexa" "$demo/screenshots"
mkdir -p "$demo/screenshots"
status=0
# Wine's notes about the Z: drive's volume label, and the shell windows'
# farewells when the prefix ends, are noise here.
quiet() { grep -v -e 'FS volume label and serial are not available' -e '^X connection to' >&2 || true; }
xvfb-run -a -s "-screen 0 1024x768x24" \
    wine "$WIN32_BUILD/bin/demo_install.exe" "$(winpath "$installer")" \
         "$(winpath "$demo/vexa")" "$(winpath "$demo/screenshots")" </dev/null 2> >(quiet) || status=$?
# The shell's group window outlives the installer.
wineserver -k 2>/dev/null || true

for bmp in "$demo"/screenshots/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo
echo "Screenshots: $demo/screenshots"
ls "$demo/screenshots"
if [ $status -ne 0 ]; then
    echo "The demo installation did not succeed (status $status)" >&2
fi
exit $status
