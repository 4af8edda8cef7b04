#!/bin/sh
# Fails when IMAGE's code holds an instruction that a 386 does not have:
# those of the 486 (bswap, cmpxchg, xadd, invd, wbinvd, invlpg), the
# Pentium (cmpxchg8b, cpuid, rdtsc, rdmsr, wrmsr, rsm), the Pentium Pro and
# later (cmov, fcmov, fcomi, rdpmc, sysenter, the long nop), MMX, SSE and
# their successors (any mm, xmm, ymm, zmm register). ud2 is let through:
# it stands only where the program must stop, and on a 386 its opcode is
# just as invalid, which is all it is there for. Bytes objdump cannot
# decode, "(bad)", are the data the linker puts between functions.
# Usage: check_instructions.sh OBJDUMP IMAGE
set -eu
objdump=$1 image=$2
"$objdump" -d --no-show-raw-insn "$image" | awk '
    BEGIN { failed = 0; count = 0 }
    /^ *[0-9a-f]+:\t/ {
        split($0, part, "\t"); text = part[2]
        n = split(text, w, " "); op = w[1]; count++
        # A prefix (lock cmpxchg, rep stos) stands before the instruction.
        for (i = 2; i <= n && op ~ /^(lock|rep|repe|repz|repne|repnz|data16|data32|addr16|addr32|[c-gs]s|notrack|bnd)$/; i++)
            op = w[i]
        bad = op ~ /^(bswap|cmpxchg|xadd|invd|wbinvd|invlpg|cpuid|rdtsc|rdtscp|rdmsr|wrmsr|rsm|rdpmc)/ ||
              op ~ /^(cmov|fcmov|fcomi|fucomi|sysenter|sysexit|syscall|sysret|nopw|nopl|pause)/ ||
              op ~ /^(emms|femms|movd|movq|movnti|[lsm]fence|prefetch|clflush|popcnt|lzcnt|tzcnt|movbe|crc32|endbr|ldmxcsr|stmxcsr|fxsave|fxrstor|xgetbv|rdrand|rdseed)/ ||
              text ~ /%[xyz]?mm[0-9]/
        if (bad) { print "not a 386 instruction: " $0; failed++ }
    }
    END {
        if (count == 0) { print "no code found"; exit 1 }
        if (failed) { print failed " instructions a 386 lacks"; exit 1 }
        print count " instructions, all of the 386"
    }'
