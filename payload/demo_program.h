// The demo payload's two programs: one window that says what it is.
#pragma once

#include <windows.h>

int RunDemoProgram(HINSTANCE instance, int showCommand, const char* className, const char* caption,
                   const char* text);
