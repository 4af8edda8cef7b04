#!/bin/sh
# Reads Wine's call trace of CreateFileA (with the loaded-module channel)
# and fails on any call made by an installer's own code that Windows 95, 98
# and Me refuse: opening a directory (FILE_FLAG_BACKUP_SEMANTICS), the flags
# that only Windows NT knows (delete on close, POSIX semantics, reparse
# points, no recall), shared deletion (FILE_SHARE_DELETE), and access other
# than generic reading and writing. A call is the installer's when its
# thread loaded a setup32*.exe and it returns into that image. A trace
# without any such call fails too: then nothing was traced.
# Usage: check_win9x_requests.sh TRACE
# Lines read:
#   0024:trace:loaddll:build_module Loaded L"C:\\setup32.exe" at 0000000140000000: native
#   0024:Call KERNEL32.CreateFileA(14000e160 "c:\\w95\\vexa.lck",40000000,00000000,00000000,
#       100000004,200000002,00000000) ret=140003cd4
# Arguments are shown as wide as a register: only their low 32 bits count.
awk '
    function hex(s,    i, v) {
        v = 0; s = tolower(s)
        for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
        return v
    }
    function low32(s) { return hex(length(s) > 8 ? substr(s, length(s) - 7) : s) }
    function has(value, bit) { return int(value / bit) % 2 == 1 }
    BEGIN { calls = 0; failed = 0 }
    /:loaddll:.*Loaded L".*setup32[^"]*\.exe" at / {
        thread = $0; sub(/:.*/, "", thread)
        base = $0; sub(/.*" at /, "", base); sub(/:.*/, "", base)
        imageBase[thread] = hex(base)
        next
    }
    /:Call [A-Za-z0-9]+\.CreateFileA\(/ {
        thread = $0; sub(/:.*/, "", thread)
        if (!(thread in imageBase)) next
        ret = $0; sub(/.* ret=/, "", ret)
        at = hex(ret) - imageBase[thread]
        if (at < 0 || at >= 16777216) next   # a call from the system library it went through
        line = $0
        sub(/.*CreateFileA\(/, "", line)
        path = line; sub(/^[0-9a-f]+ /, "", path); sub(/",[^"]*$/, "\"", path)
        rest = line; sub(/.*",/, "", rest); sub(/\).*/, "", rest)
        split(rest, a, ",")
        access = low32(a[1]); share = low32(a[2]); flags = low32(a[5])
        calls++
        why = ""
        if (has(flags, 33554432)) why = why " FILE_FLAG_BACKUP_SEMANTICS (a directory handle)"
        if (has(flags, 67108864)) why = why " FILE_FLAG_DELETE_ON_CLOSE"
        if (has(flags, 16777216)) why = why " FILE_FLAG_POSIX_SEMANTICS"
        if (has(flags, 2097152)) why = why " FILE_FLAG_OPEN_REPARSE_POINT"
        if (has(flags, 1048576)) why = why " FILE_FLAG_OPEN_NO_RECALL"
        if (has(share, 4)) why = why " FILE_SHARE_DELETE"
        if (access != 0 && access != 2147483648 && access != 1073741824 && access != 3221225472)
            why = why sprintf(" access %08x (only GENERIC_READ and GENERIC_WRITE)", access)
        if (why != "") { print "Windows 9x refuses CreateFileA(" path "):" why; failed++ }
    }
    END {
        if (calls == 0) { print "no CreateFileA call of the installer was traced"; exit 1 }
        if (failed) { print failed " of " calls " CreateFileA calls refused by Windows 9x"; exit 1 }
        print calls " CreateFileA calls of the installer, all granted by Windows 9x"
    }' "$1"
