#!/usr/bin/env bash
# Traces the system calls of an unattended installation over an earlier one
# (Make Backups off, settings replaced) and shows, in order, every flush,
# rename, deletion and journal record in the destination; then says whether
# every new file reached the disk (fsync) before the commit record did.
# Runs the x86-64 test build's setup32.exe on wine64 (build it first:
# scripts/test.sh, or build_all and build_win64 from scripts/env.sh).
# Usage: scripts/trace-durability.sh [DESTINATION_DIR]   (default /tmp/vexa-trace)
set -euo pipefail
. "$(dirname "$0")/env.sh"
use_wine64
command -v strace >/dev/null || { apt-get install -y -qq strace >/dev/null; }
export WINEPREFIX=$WIN64_BUILD/wineprefix-trace
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
ensure_wineprefix
dest=${1:-/tmp/vexa-trace}
rm -rf "$dest"; mkdir -p "$(dirname "$dest")"
windows_dest="Z:$(echo "$dest" | tr / '\\')"
trace=$(mktemp)
xvfb-run -a "$WINELOADER" "$WIN64_BUILD/bin/setup32.exe" /S /ICONS=0 "/D=$windows_dest"
xvfb-run -a strace -f -y -xx -o "$trace" -e trace=write,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat \
    "$WINELOADER" "$WIN64_BUILD/bin/setup32.exe" /S /ICONS=0 /BACKUPS=0 /KEEPSETTINGS=0 "/D=$windows_dest"
python3 - "$trace" "$dest" <<'PY'
import re, sys
trace, dest = sys.argv[1], sys.argv[2]
kinds = {1: "open", 2: "backup directory", 3: "set aside", 4: "kept", 5: "begun", 6: "done", 7: "commit", 8: "moved on"}
def text(escaped):
    return re.sub(r"\\x([0-9a-f]{2})", lambda m: chr(int(m.group(1), 16)), escaped)
def short(path):
    path = text(path)
    at = path.find(dest)
    return path[at + len(dest) + 1:] if at >= 0 else None
written, flushed, events, verdict = set(), set(), [], None
for line in open(trace):
    m = re.search(r'(write|fsync|fdatasync)\(\d+<([^>]*)>(?:, "([^"]*)", (\d+))?', line)
    if m:
        name = short(m.group(2))
        if name is None:
            continue
        if m.group(1) == "write" and name.endswith(".jnl") and m.group(4) == "8":
            record = bytes(int(b, 16) for b in re.findall(r"\\x([0-9a-f]{2})", m.group(3)))
            events.append(f"record {kinds.get(record[0], record[0])}, slot {record[1]}")
            if record[0] == 7 and verdict is None:
                unflushed = sorted(written - flushed)
                verdict = "every new file was on the disk before the commit record" if not unflushed else \
                          "NOT on the disk before the commit record: " + ", ".join(unflushed)
        elif m.group(1) == "write":
            written.add(name)
        elif not name.endswith(".jnl"):
            flushed.add(name)
            events.append(f"fsync {name}")
        continue
    m = re.search(r'rename(?:at2?)?\((?:\w+, )?"([^"]*)", (?:\w+, )?"([^"]*)"', line)
    if m and short(m.group(1)) is not None:
        events.append(f"rename {short(m.group(1))} -> {short(m.group(2))}")
        continue
    m = re.search(r'unlink(?:at)?\((?:\w+, )?"([^"]*)"', line)
    if m and short(m.group(1)) is not None:
        events.append(f"delete {short(m.group(1))}")
print("\n".join(events))
print(f"{len(written)} files written in the destination, {len(flushed)} flushed; {verdict}")
sys.exit(0 if verdict and verdict.startswith("every") else 1)
PY
status=$?
rm -f "$trace"
exit $status
