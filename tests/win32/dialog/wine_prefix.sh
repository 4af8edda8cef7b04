#!/bin/sh
# Settings of the Wine prefix that the dialog tests need.
#   wine_prefix.sh cdrom-setup PREFIX DIRECTORY MODULE
#       Drive D: of type CD-ROM, holding a copy of MODULE.
#   wine_prefix.sh cdrom-cleanup PREFIX
#       Drive D: removed again.
# Wine's mount manager reads drive types when the prefix starts, so the
# prefix is stopped after each drive change. It reads the registry's 64-bit
# view in a 64-bit prefix, which a 32-bit reg.exe reaches only when told so:
# /reg:64, a no-op in a 32-bit prefix. WINELOADER and WINESERVER, if set,
# are the loader and server to use.
set -eu
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=${WINELOADER:-wine} wineserver=${WINESERVER:-wineserver}
drives='HKLM\Software\Wine\Drives'
case $action in
cdrom-setup)
    mkdir -p "$3"
    cp "$4" "$3/"
    ln -sfn "$3" "$WINEPREFIX/dosdevices/d:"
    "$wine" reg add "$drives" /v d: /d cdrom /f /reg:64 >/dev/null
    ;;
cdrom-cleanup)
    rm -f "$WINEPREFIX/dosdevices/d:"
    "$wine" reg delete "$drives" /v d: /f /reg:64 >/dev/null 2>&1 || true
    ;;
esac
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
