// Process start-up and shutdown of the installer's image: the entry point
// the system calls. It seeds the stack guard, calls WinMain and ends the
// process with WinMain's result. Nothing else runs before or after: the
// installer has no static constructors and no atexit work, and reads its
// command line itself (GetCommandLineA), so WinMain is given none.
#include <windows.h>

#include "stack_guard.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

extern "C" __attribute__((noreturn, no_stack_protector, force_align_arg_pointer)) void ProcessStart()
{
    SeedStackGuard();
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    static char noArguments[] = "";
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, noArguments, showCommand)));
}
