#!/bin/sh
# Runs one end-to-end case on the end-to-end Wine prefix, then ends every
# process of that prefix: the shell's windows outlive the installer and hold
# the test's output open.
# Usage: run_case.sh PREFIX DRIVER.exe ARGS...
# WINELOADER and WINESERVER, if set, are the loader and server to use (the
# build's WINEARCH decides the kind of a new prefix).
prefix=$1; driver=$2; shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=${WINELOADER:-wine} wineserver=${WINESERVER:-wineserver}
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    "$wine" wineboot -i >/dev/null 2>&1
    # Unmanaged windows: without a window manager, Wine otherwise waits two
    # seconds for every window it hides (each message box) to be withdrawn.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    "$wineserver" -w
fi
"$wine" "$driver" "$@" </dev/null
status=$?
"$wineserver" -k 2>/dev/null
exit $status
