#!/bin/sh
# Mounts (or unmounts) two small tmpfs file systems and gives them to the
# fault matrix's Wine prefix as drives: T: (a destination that fills up in
# its second member) and U: (a temporary directory that fills up in the
# first). Needs root.
# Usage: small_disks.sh mount|unmount PREFIX MOUNTS
action=$1; prefix=$2; mounts=$3
here=$(cd "$(dirname "$0")" && pwd)
set -e
case $action in
mount)
    # The end-to-end runner sets up the prefix as its cases need it (made
    # anew where it is of the other kind, so before the drives go in).
    sh "$here/../support/run_case.sh" "$prefix" cmd.exe /c exit
    for disk in t:160k u:16k; do
        letter=${disk%%:*} size=${disk#*:}
        mkdir -p "$mounts/$letter"
        mountpoint -q "$mounts/$letter" && umount "$mounts/$letter"
        mount -t tmpfs -o size=$size tmpfs "$mounts/$letter"
        ln -sfn "$mounts/$letter" "$prefix/dosdevices/$letter:"
    done
    ;;
unmount)
    for letter in t u; do
        rm -f "$prefix/dosdevices/$letter:"
        if mountpoint -q "$mounts/$letter"; then umount "$mounts/$letter"; fi
    done
    ;;
*)
    echo "usage: small_disks.sh mount|unmount PREFIX MOUNTS" >&2
    exit 2
    ;;
esac
