#!/bin/sh
# Makes the Wine prefix that the Windows tests share ready for them:
# created if missing, and no window left to a window manager (there is none
# on the virtual display). Without that, Wine waits about two seconds for
# every managed top-level window that goes away, each message box included.
#   prepare_prefix.sh PREFIX
# WINELOADER and WINESERVER, if set, are the loader and server to use; the
# build's WINEARCH says which kind of prefix it needs.
set -eu
export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=${WINELOADER:-wine} wineserver=${WINESERVER:-wineserver}
# Wine does not start on a prefix of the other kind (one made before the
# build said which, when Wine chose): it is made anew.
if [ -n "${WINEARCH:-}" ] && [ -f "$WINEPREFIX/system.reg" ] &&
   ! grep -qx "#arch=$WINEARCH" "$WINEPREFIX/system.reg"; then
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1 || true
fi
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
