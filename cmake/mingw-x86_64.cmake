# Cross build for 64-bit Windows with mingw-w64: a test build of the same
# sources (build/win64) that runs where only 64-bit code runs. Its test
# programs run through Wine's 64-bit loader, called directly: the `wine`
# wrapper picks the 32-bit loader whenever that is installed.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
# What every Wine process of this build's prefixes needs: a 64-bit prefix,
# the 64-bit loader (Wine starts helpers through WINELOADER) and the 64-bit
# server (scripts end and wait for the prefix through WINESERVER).
set(WINE_ARCH_ENVIRONMENT WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64)
