# Sourced by the build and test scripts: where things are, and the Wine
# settings that keep a headless prefix from waiting on dialogs.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
HOST_BUILD=$ROOT/build/host
WIN32_BUILD=$ROOT/build/win32
WIN64_BUILD=$ROOT/build/win64
export WINEPREFIX=${WINEPREFIX:-$WIN32_BUILD/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
# The i686 build's prefixes are 32-bit ones, as with wine32 alone: with
# wine64 installed too, Wine would make new prefixes 64-bit.
export WINEARCH=win32
JOBS=${JOBS:-$(nproc)}

# Whether this machine runs 32-bit code, which the i686 build's Wine needs:
# on some x86-64 machines the kernel runs 64-bit programs only. There the
# i686 programs run under qemu-user instead (run_i686, on 64-bit prefixes).
# SETUP32_PRETEND_NO_32BIT=1 answers no, to try the other way anywhere.
runs_32bit_code() {
    [ -z "${SETUP32_PRETEND_NO_32BIT:-}" ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Runs a command whose Wine starts i686 programs: as it is where 32-bit code
# runs, else under qemu-user in a namespace of its own, with the 64-bit
# loader and server for the prefix (64-bit prefixes, so that only the i686
# programs are emulated: see use_wine64).
run_i686() {
    if runs_32bit_code; then
        "$@"
    else
        (use_wine64; bash "$ROOT/scripts/emulate-i386.sh" "$@")
    fi
}

# Wine for the x86-64 test build: the 64-bit loader and server, called
# directly (the `wine` wrapper picks the 32-bit loader whenever wine32 is
# installed), on 64-bit prefixes.
use_wine64() {
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
}
run_wine() { "${WINELOADER:-wine}" "$@"; }
run_wineserver() { "${WINESERVER:-wineserver}" "$@"; }

# The finished image's size line, for the build tree given: the whole file,
# its package, and the stub (the file minus its package) against its budget
# (scripts/image_sizes.py).
print_image_sizes() { # build tree
    python3 "$ROOT/scripts/image_sizes.py" "$1/bin/setup32.exe" --line
}

configure_and_build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

# The i686 build's tests use 64-bit prefixes where they run emulated.
i686_prefix_option() {
    if runs_32bit_code; then echo -DSETUP32_WIN64_PREFIXES=OFF; else echo -DSETUP32_WIN64_PREFIXES=ON; fi
}

build_all() {
    configure_and_build "$HOST_BUILD"
    configure_and_build "$WIN32_BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
        -DVEXAPACK="$HOST_BUILD/bin/vexapack" "$(i686_prefix_option)" "$@"
}

# The x86-64 test build of the same sources; after build_all, whose staged
# payload it packs, so both installers carry the same package.
build_win64() {
    configure_and_build "$WIN64_BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" \
        -DVEXAPACK="$HOST_BUILD/bin/vexapack" -DSETUP32_PAYLOAD_DIR="$WIN32_BUILD/payload-stage"
}

# The prefix made ready as the tests make theirs: created where missing,
# made anew where it is of the other kind (Wine does not start on one), no
# window left to a window manager.
ensure_wineprefix() {
    sh "$ROOT/tests/win32/support/prepare_prefix.sh" "$WINEPREFIX"
    run_wineserver -w || true
}
