// Which family of Windows runs the installer, where the two differ in what
// the API grants (Windows 95, 98 and Me set the platform bit of GetVersion;
// Windows NT does not).
#pragma once

#include <windows.h>

inline int RunsOnWindows9x()
{
    return (GetVersion() & 0x80000000u) != 0;
}
