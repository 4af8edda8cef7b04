#!/bin/sh
# Runs one case (run_case.sh) under Wine's call trace of the installer's
# file requests and fails on any request that Windows 95, 98 and Me refuse,
# although Wine, acting as one of them, grants it.
# Usage: trace_case.sh PREFIX DRIVER.exe ARGS...
here=$(dirname "$0")
trace=$(mktemp)
RELAY_TRACE=$trace RELAY_FUNCTIONS='kernel32.CreateFileA;kernelbase.CreateFileA' \
    sh "$here/run_case.sh" "$@"
status=$?
sh "$here/check_win9x_requests.sh" "$trace" || status=1
rm -f "$trace"
exit $status
