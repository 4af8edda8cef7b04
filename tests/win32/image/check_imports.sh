#!/bin/sh
# Fails unless every function IMAGE imports comes from one of KERNEL32,
# USER32, GDI32 and COMDLG32 and is listed in TABLE as present in Windows 95
# and Windows NT 3.51.
# Usage: check_imports.sh OBJDUMP IMAGE TABLE
set -eu
objdump=$1 image=$2 table=$3
"$objdump" -p "$image" | awk -v table="$table" '
    BEGIN {
        FS = "\t"
        while ((getline line < table) > 0) {
            if (line ~ /^#/ || line == "") continue
            split(line, f, "\t")
            key = toupper(f[1]) ":" f[2]
            nine[key] = f[3]; nt[key] = f[4]
        }
        oldest9x["95"] = 1
        oldestNt["3.1"] = 1; oldestNt["3.5"] = 1; oldestNt["3.51"] = 1
        allowed["KERNEL32.DLL"] = allowed["USER32.DLL"] = allowed["GDI32.DLL"] = allowed["COMDLG32.DLL"] = 1
        failed = 0; count = 0
    }
    /DLL Name:/ {
        dll = toupper($0); sub(/.*DLL NAME: */, "", dll)
        if (!(dll in allowed)) { print "imports " dll ", which not every 32-bit Windows has"; failed = 1 }
        inNames = 0; next
    }
    /Hint\/Ord/ { inNames = 1; next }
    inNames && /^[ \t]*[0-9a-f]+[ \t]+[0-9]+[ \t]+[^ \t]+/ {
        n = split($0, w, /[ \t]+/); name = w[n]
        key = dll ":" name; count++
        if (!(key in nine)) { print dll " " name ": not in the table of system functions"; failed = 1 }
        else if (!(nine[key] in oldest9x) || !(nt[key] in oldestNt)) {
            print dll " " name ": needs Windows " nine[key] " / NT " nt[key]; failed = 1
        }
        next
    }
    /^[ \t]*$/ { inNames = 0 }
    END {
        if (count == 0) { print "no imports found"; failed = 1 }
        if (!failed) print count " imports, all in Windows 95 and NT 3.51"
        exit failed
    }'
