#!/usr/bin/env bash
# What building for the 386 costs the decoder: instructions per output byte
# of DecodeMember, built for i386 Linux as the installer's code is built
# (-Oz, no exceptions), once for the 386 and once for the Pentium Pro (the
# compiler's default before), counted under qemu-i386 from its trace of
# executed blocks (only blocks inside the decoder's own functions count).
# Runs where no 32-bit code runs, too. Needs qemu-user and g++-multilib.
# Usage: bench/decoder_386.sh VEXAPACK FILE   (FILE: the data to decode, say
#        the first 64 KiB of a program)
set -euo pipefail
vexapack=${1:?usage: decoder_386.sh VEXAPACK FILE}
input=${2:?usage: decoder_386.sh VEXAPACK FILE}
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$vexapack" encode "$input" "$scratch/member" >/dev/null
cat > "$scratch/probe.cpp" <<'PROBE'
#include <cstdio>
#include "member_decoder.h"
uint32_t FileProgressWidth() { return 300; }
void FileProgressStep(uint32_t, uint32_t) {}
void FileProgressDone() {}
int main(int, char** argv)
{
    FILE* input = std::fopen(argv[1], "rb");
    FILE* sink = std::fopen("/dev/null", "wb");
    return input && sink && DecodeMember(input, sink) ? 0 : 1;
}
PROBE
bytes=$(stat -c %s "$input")
for arch in i386 i686; do
    probe=$scratch/probe-$arch
    g++ -m32 -static -Oz -mpreferred-stack-boundary=2 -march=$arch -mtune=pentium -fno-exceptions -fno-rtti \
        -I"$root/package" -I"$root/runtime" "$scratch/probe.cpp" "$root/package/member_decoder.cpp" -o "$probe"
    # The decoder's functions: from the first to the end of the last.
    nm -S -C "$probe" | awk '/ (InitOffsetTables|InitCodeTree|RebuildCodeTree|RefillBits|DecodeMember)\(/ {print $1, $2}' \
        > "$scratch/range"
    qemu-i386 -d in_asm,exec,nochain -D "$scratch/log" "$probe" "$scratch/member"
    instructions=$(awk -v range="$scratch/range" '
        function hex(s,  i, v) { v = 0; s = tolower(s); sub(/^0x/, "", s)
            for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
            return v }
        BEGIN { while ((getline l < range) > 0) { split(l, f, " "); s = hex(f[1]); e = s + hex(f[2])
                    if (lo == "" || s < lo) lo = s; if (e > hi) hi = e } }
        /^IN:/ { inBlock = 1; first = ""; next }
        inBlock && /^0x[0-9a-f]+:/ { pc = $1; sub(/:$/, "", pc)
                                     if (first == "") { first = hex(pc); count[first] = 0 } count[first]++; next }
        inBlock && /^$/ { inBlock = 0; next }
        /^Trace [0-9]+: / { m = $0; sub(/.*\[/, "", m); split(m, p, "/"); pc = hex(p[2])
                             if (pc >= lo && pc < hi) total += count[pc] }
        END { printf "%d", total }' "$scratch/log")
    rm -f "$scratch/log"
    printf 'decoder built for %s: %d instructions, %.1f per output byte (%d bytes)\n' \
           "$arch" "$instructions" "$(awk -v a="$instructions" -v b="$bytes" 'BEGIN { print a / b }')" "$bytes"
done
