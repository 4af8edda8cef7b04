#!/bin/sh
# Fails unless the crash-point hook (its environment variable, and the
# process-ending call it makes) is in the test image and not in the
# installer: a hook that only a test can set must never ship.
# Usage: check_crash_points.sh OBJDUMP INSTALLER TEST_IMAGE
set -eu
objdump=$1 installer=$2 test_image=$3
has_hook() {
    grep -q -a SETUP32_CRASH_AT "$1" || "$objdump" -p "$1" | grep -q -w TerminateProcess
}
if ! has_hook "$test_image"; then
    echo "the test image $test_image has no crash-point hook: the check would prove nothing"
    exit 1
fi
if has_hook "$installer"; then
    echo "$installer carries the crash-point hook"
    exit 1
fi
echo "no crash-point hook in $installer"
