# Cross build for 32-bit Windows with mingw-w64; test programs run through Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# A 32-bit prefix, as on a machine with wine32 only: where wine64 is
# installed too, Wine would otherwise make new prefixes 64-bit ones.
set(WINE_ARCH_ENVIRONMENT WINEARCH=win32)
