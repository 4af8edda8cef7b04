# Cross build for 64-bit Windows with mingw-w64: a test build of the same
# sources (build/win64) that runs where only 64-bit code runs. Its test
# programs run through Wine's 64-bit loader, called directly: the `wine`
# wrapper picks the 32-bit loader whenever that is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
# What every Wine process of this build's prefixes needs: a 64-bit prefix,
# the 64-bit loader (Wine starts helpers through WINELOADER) and the 64-bit
# server (scripts end and wait for the prefix through WINESERVER).
set(WINE_ARCH_ENVIRONMENT WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64)
