#!/usr/bin/env bash
# Makes the bench payload: eleven files with the decoded sizes of the real
# product's package, cut from real Windows binaries (Wine's i386 programs)
# and real text (Debian's license texts), so that compression figures mean
# something. Reproducible for a given wine and base-files package.
# Usage: bench/make-payload.sh OUTDIR
set -euo pipefail
out=${1:?usage: make-payload.sh OUTDIR}
bin=/usr/lib/i386-linux-gnu/wine/i386-windows
licenses=/usr/share/common-licenses
mkdir -p "$out"

# All license texts end to end, in a fixed order, twice (forward, then
# backward: the second pass lies far outside the 4 KiB history), as one long text.
text=$(mktemp)
trap 'rm -f "$text"' EXIT
names="Apache-2.0 Artistic BSD CC0-1.0 GFDL-1.2 GFDL-1.3 GPL-1 GPL-2 GPL-3 LGPL-2 LGPL-2.1 LGPL-3 MPL-1.1 MPL-2.0"
for f in $names $(echo $names | tr ' ' '\n' | tac); do
    cat "$licenses/$f" >> "$text"
done

cut_from() { # source, offset, size, destination
    dd if="$1" of="$4" iflag=skip_bytes,count_bytes skip="$2" count="$3" status=none
    [ "$(stat -c %s "$4")" -eq "$3" ] || { echo "make-payload: $1 is too short for $4" >&2; exit 1; }
}

cut_from "$bin/winecfg.exe"  0      1172480 "$out/vexa32.exe"
cut_from "$bin/write.exe"    0      77824   "$out/vlink32.exe"
cut_from "$bin/winhlp32.exe" 0      176817  "$out/vexa.hlp"
cut_from "$bin/regedit.exe"  0      68862   "$out/ircintro.hlp"
cut_from "$text"             0      4029    "$out/readme.txt"
cut_from "$text"             12000  286769  "$out/versions.txt"
cut_from "$text"             40000  1530    "$out/vexa.ini"
cut_from "$text"             60000  293     "$out/aliases.ini"
cut_from "$text"             80000  2411    "$out/popups.ini"
cut_from "$text"             100000 32110   "$out/servers.ini"
cut_from "$text"             200000 799     "$out/urls.ini"
