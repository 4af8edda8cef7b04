# Sourced by the build and test scripts: where things are, and the Wine
# settings that keep a headless prefix from waiting on dialogs.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
HOST_BUILD=$ROOT/build/host
WIN32_BUILD=$ROOT/build/win32
export WINEPREFIX=${WINEPREFIX:-$WIN32_BUILD/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
JOBS=${JOBS:-$(nproc)}

configure_and_build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

build_all() {
    configure_and_build "$HOST_BUILD"
    configure_and_build "$WIN32_BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
        -DVEXAPACK="$HOST_BUILD/bin/vexapack" "$@"
}

ensure_wineprefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w || true
    fi
}
