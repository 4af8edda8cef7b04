#!/bin/sh
# Settings of the Wine prefix that the dialog tests need.
#   wine_prefix.sh cdrom-setup PREFIX DIRECTORY MODULE
#       Drive D: of type CD-ROM, holding a copy of MODULE.
#   wine_prefix.sh cdrom-cleanup PREFIX
#       Drive D: removed again.
# Wine's mount manager reads drive types when the prefix starts, so the
# prefix is stopped after each drive change. WINELOADER and WINESERVER, if
# set, are the loader and server to use.
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
    "$wine" reg add "$drives" /v d: /d cdrom /f >/dev/null
    ;;
cdrom-cleanup)
    rm -f "$WINEPREFIX/dosdevices/d:"
    "$wine" reg delete "$drives" /v d: /f >/dev/null 2>&1 || true
    ;;
esac
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
