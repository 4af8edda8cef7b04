#!/usr/bin/env bash
# The main job: installs what is missing, builds everything and runs
# setup32.exe on Wine. With a display the real dialog opens for you; without
# one it runs under Xvfb, installs into build/demo/vexa through the
# end-to-end driver, prints what was installed and the program group's
# shortcuts, and saves screenshots in build/demo/screenshots.
# DEMO_HEADLESS=1 forces the second way even with a display.
# On a machine that runs no 32-bit code it runs the x86-64 test build of
# setup32.exe (same payload, same package) on wine64 instead, the same ways.
set -euo pipefail
. "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"
build_all "$@"   # e.g. -DSETUP32_PAYLOAD_DIR=DIR for the release payload

demo=$ROOT/build/demo
if runs_32bit_code; then
    build=$WIN32_BUILD wine_name=Wine
    export WINEPREFIX=$demo/wineprefix
else
    build_win64
    use_wine64
    build=$WIN64_BUILD wine_name=wine64
    export WINEPREFIX=$demo/wineprefix-win64
    echo "This machine runs no 32-bit code: the demo runs the x86-64 test build of setup32.exe"
    echo "($build/bin/setup32.exe, the same payload and package as $WIN32_BUILD/bin/setup32.exe) on wine64."
fi
installer=$build/bin/setup32.exe
mkdir -p "$demo"
if ! grep -qsx "#arch=$WINEARCH" "$WINEPREFIX/system.reg"; then
    ensure_wineprefix
    # A Wine desktop of its own: windows get their frames and captions
    # without a window manager, in the screenshots too.
    run_wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    run_wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    run_wineserver -w
fi

if [ -n "${DISPLAY:-}" ] && [ -z "${DEMO_HEADLESS:-}" ]; then
    echo "Running $installer on $wine_name (prefix $WINEPREFIX)"
    run_wine "$installer"
    run_wineserver -k 2>/dev/null || true
    exit 0
fi

winpath() { echo "z:$1" | tr / '\\'; }
rm -rf "$demo/vexa" "$demo/screenshots"
mkdir -p "$demo/screenshots"
status=0
# Wine's notes about the Z: drive's volume label, and the shell windows'
# farewells (X connection and XIO lines) when the prefix ends, are noise here.
quiet() { grep -v -e 'FS volume label and serial are not available' -e '^X connection to' \
                 -e '^XIO:  fatal IO error' -e '^ *after [0-9]* requests' >&2 || true; }
xvfb-run -a -s "-screen 0 1024x768x24" \
    "${WINELOADER:-wine}" "$build/bin/demo_install.exe" "$(winpath "$installer")" \
         "$(winpath "$demo/vexa")" "$(winpath "$demo/screenshots")" </dev/null 2> >(quiet) || status=$?
# The shell's group window outlives the installer.
run_wineserver -k 2>/dev/null || true

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
