#!/bin/sh
# Runs one end-to-end case on the end-to-end Wine prefix, then ends every
# process of that prefix: the shell's windows outlive the installer and hold
# the test's output open.
# Usage: run_case.sh PREFIX DRIVER.exe ARGS...
# WINELOADER and WINESERVER, if set, are the loader and server to use; the
# build's WINEARCH says which kind of prefix it needs. With RELAY_TRACE=FILE
# the case runs under Wine's call trace of the functions in RELAY_FUNCTIONS
# and its record of loaded modules, written to FILE.
prefix=$1; driver=$2; shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=${WINELOADER:-wine} wineserver=${WINESERVER:-wineserver}
if ! grep -qsx "#arch=${WINEARCH:-win32}" "$prefix/system.reg"; then
    # Made (anew where it is of the other kind) like the shared prefix.
    sh "$(dirname "$0")/prepare_prefix.sh" "$prefix" || exit 1
    "$wineserver" -w
fi
debug='HKCU\Software\Wine\Debug'
if [ -n "${RELAY_TRACE:-}" ]; then
    "$wine" reg add "$debug" /v RelayInclude /d "$RELAY_FUNCTIONS" /f >/dev/null 2>&1 || exit 1
    WINEDEBUG=+relay,+loaddll "$wine" "$driver" "$@" </dev/null 2>"$RELAY_TRACE"
    status=$?
    "$wine" reg delete "$debug" /f >/dev/null 2>&1
else
    "$wine" "$driver" "$@" </dev/null
    status=$?
fi
"$wineserver" -k 2>/dev/null
exit $status
