#!/bin/sh
# Builds setup32.exe a second time, from scratch, in a build directory of
# another path, and compares it and its package and checksum file byte for
# byte with the first build's. On a difference image_compare names what
# lies at the first differing byte.
# Usage: rebuild_and_compare.sh SOURCE FIRST_BUILD SECOND_BUILD IMAGE_COMPARE EPOCH CMAKE_ARGS...
#   EPOCH: the SOURCE_DATE_EPOCH the first build was configured with, or empty.
set -eu
source_dir=$1 first=$2 second=$3 compare=$4 epoch=$5
shift 5
if [ -n "$epoch" ]; then export SOURCE_DATE_EPOCH="$epoch"; else unset SOURCE_DATE_EPOCH; fi

rm -rf "$second"
mkdir -p "$second"
log=$second/build.log
start=$(date +%s)
if ! { cmake -S "$source_dir" -B "$second" "$@" && cmake --build "$second" --target setup32 -j 2; } >"$log" 2>&1; then
    cat "$log"
    echo "the second build failed" >&2
    exit 1
fi
echo "second build in $second: $(($(date +%s) - start)) s"

status=0
for file in bin/setup32.exe setup32-package/vexaall.pkg setup32-package/vexaall.checksum; do
    "$compare" "$first/$file" "$second/$file" || status=1
done
exit $status
