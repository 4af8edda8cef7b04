#!/bin/sh
# Makes the Wine prefix that the Windows tests share ready for them:
# created if missing, and no window left to a window manager (there is none
# on the virtual display). Without that, Wine waits about two seconds for
# every managed top-level window that goes away, each message box included.
#   prepare_prefix.sh PREFIX
# WINELOADER, if set, is the loader to use (the build's WINEARCH decides the
# kind of a new prefix).
set -eu
export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=${WINELOADER:-wine}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1 || true
fi
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
