#!/usr/bin/env bash
# The main job: installs what is missing, builds everything and runs
# setup32.exe on Wine. With a display the real dialog opens for you; without
# one it runs under Xvfb, installs into build/demo/vexa through the
# end-to-end driver, prints what was installed and the program group's
# shortcuts, and saves screenshots in build/demo/screenshots.
# DEMO_HEADLESS=1 forces the second way even with a display.
# On a machine that runs no 32-bit code the same setup32.exe runs under
# qemu-user (scripts/emulate-i386.sh) on a 64-bit prefix, the same ways.
set -euo pipefail
. "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"
build_all "$@"   # e.g. -DSETUP32_PAYLOAD_DIR=DIR for the release payload

demo=$ROOT/build/demo
installer=$WIN32_BUILD/bin/setup32.exe
if runs_32bit_code; then
    export WINEPREFIX=$demo/wineprefix; arch=win32
else
    export WINEPREFIX=$demo/wineprefix-emulated; arch=win64
    echo "This machine runs no 32-bit code: setup32.exe runs under qemu-user (scripts/emulate-i386.sh),"
    echo "on a 64-bit prefix where only the i686 programs are emulated; expect it to be slower."
fi
# Wine started as the i686 programs need it here (run_i686): directly, or
# in the emulation's namespace with the 64-bit loader, which hands i686
# programs to the emulated 32-bit one.
wine_i686() { run_i686 sh -c '"${WINELOADER:-wine}" "$@"' wine "$@"; }
wineserver_i686() { run_i686 sh -c '"${WINESERVER:-wineserver}" "$@"' wineserver "$@"; }
mkdir -p "$demo"
if ! grep -qsx "#arch=$arch" "$WINEPREFIX/system.reg"; then
    # Made where the programs will run: a 64-bit prefix made outside the
    # emulation's namespace lacks its 32-bit half.
    run_i686 sh "$ROOT/tests/win32/support/prepare_prefix.sh" "$WINEPREFIX"
    # A Wine desktop of its own: windows get their frames and captions
    # without a window manager, in the screenshots too.
    wine_i686 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine_i686 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    wineserver_i686 -w
fi

if [ -n "${DISPLAY:-}" ] && [ -z "${DEMO_HEADLESS:-}" ]; then
    echo "Running $installer on Wine (prefix $WINEPREFIX)"
    wine_i686 "$installer"
    wineserver_i686 -k 2>/dev/null || true
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
run_i686 xvfb-run -a -s "-screen 0 1024x768x24" \
    sh -c '"${WINELOADER:-wine}" "$@"' wine "$WIN32_BUILD/bin/demo_install.exe" "$(winpath "$installer")" \
         "$(winpath "$demo/vexa")" "$(winpath "$demo/screenshots")" </dev/null 2> >(quiet) || status=$?
# The shell's group window outlives the installer.
wineserver_i686 -k 2>/dev/null || true

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
