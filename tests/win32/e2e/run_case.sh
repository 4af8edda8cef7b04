#!/bin/sh
# Runs one end-to-end case on the end-to-end Wine prefix, then ends every
# process of that prefix: the shell's windows outlive the installer and hold
# the test's output open.
# Usage: run_case.sh PREFIX DRIVER.exe ARGS...
# WINELOADER and WINESERVER, if set, are the loader and server to use; the
# build's WINEARCH says which kind of prefix it needs.
prefix=$1; driver=$2; shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=${WINELOADER:-wine} wineserver=${WINESERVER:-wineserver}
if ! grep -qsx "#arch=${WINEARCH:-win32}" "$prefix/system.reg"; then
    # Made (anew where it is of the other kind) like the shared prefix.
    sh "$(dirname "$0")/../common/prepare_prefix.sh" "$prefix" || exit 1
    "$wineserver" -w
fi
"$wine" "$driver" "$@" </dev/null
status=$?
"$wineserver" -k 2>/dev/null
exit $status
