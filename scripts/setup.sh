#!/usr/bin/env bash
# Brings a Debian 12 machine (as root) to a state that builds and tests setup32.
# Idempotent: it installs only what is missing.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libbenchmark-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
          wine wine32:i386 wine64 xvfb xauth imagemagick
          clang libclang-rt-14-dev valgrind locales osslsigncode openssl python3)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Where this machine runs no 32-bit code, the i686 programs run under
# qemu-user (scripts/emulate-i386.sh). Without its recommendations: they
# would register qemu for the whole machine, which the emulation never needs.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 || [ -n "${SETUP32_PRETEND_NO_32BIT:-}" ]; then
    if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed'; then
        SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
        $SUDO apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
    fi
fi

# Locales whose ANSI code pages are double-byte, for the code-page rows: Wine
# takes its code page from the locale it starts in (ja_JP 932, zh_CN 936,
# ko_KR 949, zh_TW 950).
missing=()
for l in ja_JP zh_CN ko_KR zh_TW; do
    locale -a 2>/dev/null | grep -qx "$l.utf8" || missing+=("$l")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    for l in "${missing[@]}"; do
        grep -qx "$l.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null || echo "$l.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    done
    $SUDO locale-gen >/dev/null
fi
