/* A module that holds only the installer's resources; the dialog tests
   append a package to copies of it and load them as the installer image. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
