#!/usr/bin/env bash
# Instructions per byte under callgrind, which counts the same on a busy
# machine as on an idle one:
#   decoder          per output byte, on the vexa32.exe and vexa.hlp members
#                    (C library byte calls included)
#   encoder          per input byte, over the whole payload (real encoder)
#   greedy baseline  per input byte, over the whole payload
# Usage: bench/callgrind.sh PROBE PAYLOAD_DIR
#   PROBE: the host build's codec_probe
set -euo pipefail
probe=${1:?usage: callgrind.sh PROBE PAYLOAD_DIR}
payload=${2:?usage: callgrind.sh PROBE PAYLOAD_DIR}
members="vexa32.exe vlink32.exe vexa.hlp ircintro.hlp readme.txt versions.txt
         vexa.ini aliases.ini popups.ini servers.ini urls.ini"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

count() { # operation, file -> "instructions bytes member_bytes"
    local out="$scratch/cg.out"
    local sizes
    sizes=$(valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$out" \
                     "$probe" "$1" "$2" 2>/dev/null)
    local instructions
    instructions=$(sed -n 's/^totals: *//p' "$out")
    echo "$instructions $sizes"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }

# vexa32.exe is the figure; the help file, less compressible, shows how the
# count grows with the share of literals.
for m in vexa32.exe vexa.hlp; do
    read -r ir bytes member < <(count decode "$payload/$m")
    printf 'decoder          %7.1f instructions per output byte (%s, %d bytes, member %d)\n' \
           "$(ratio "$ir" "$bytes")" "$m" "$bytes" "$member"
done

for operation in encode encode-greedy; do
    total_ir=0 total_bytes=0 total_member=0
    for m in $members; do
        read -r ir bytes member < <(count $operation "$payload/$m")
        total_ir=$((total_ir + ir)); total_bytes=$((total_bytes + bytes)); total_member=$((total_member + member))
    done
    label=$([ $operation = encode ] && echo "encoder         " || echo "greedy baseline ")
    printf '%s %7.1f instructions per input byte (payload, %d bytes -> %d member bytes)\n' \
           "$label" "$(ratio "$total_ir" "$total_bytes")" "$total_bytes" "$total_member"
done
