#!/bin/sh
# Runs a command where every i386 Linux program it starts, Wine's 32-bit
# loader included, runs under qemu-user: for machines whose kernel runs
# 64-bit programs only. The command runs in a user and mount namespace of
# its own, with a binfmt_misc of that namespace (Linux 6.7 and later) that
# hands i386 ELF programs to qemu-i386-static; nothing outside it changes.
#   emulate-i386.sh COMMAND [ARGS...]
set -eu
qemu=/usr/bin/qemu-i386-static
if [ -z "${SETUP32_I386_EMULATED:-}" ]; then
    [ -x "$qemu" ] || { echo "emulate-i386.sh: $qemu is missing (package qemu-user-static)" >&2; exit 1; }
    export SETUP32_I386_EMULATED=1
    exec unshare --user --map-root-user --mount --fork sh "$0" "$@"
fi

binfmt=/proc/sys/fs/binfmt_misc
mount -t binfmt_misc binfmt_misc "$binfmt"
# qemu's own entry for i386 ELF executables and shared objects (the loader is
# one); F opens the interpreter now, so it is found from any mount namespace.
printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
    > "$binfmt/register"
# A guest address space just above 2 GiB: with none, qemu 7.2 turns Wine's
# reservation of the space above 2 GiB into tens of thousands of mappings
# (about 50 s of CPU for each 32-bit process); with exactly 2 GiB Wine cannot
# map its shared user data.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x81000000}
exec "$@"
