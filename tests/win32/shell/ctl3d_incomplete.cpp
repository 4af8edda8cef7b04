// A 3-D controls library that lacks Ctl3dAutoSubclass. Every call, and the
// loading itself, is noted in the process environment, which outlives the
// library: "L" loaded, "R" Ctl3dRegister, "U" Ctl3dUnregister.
#include <windows.h>

namespace {

void Note(const char* call)
{
    char calls[64] = "";
    GetEnvironmentVariableA("CTL3D_FIXTURE_CALLS", calls, sizeof calls);
    lstrcatA(calls, call);
    SetEnvironmentVariableA("CTL3D_FIXTURE_CALLS", calls);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        Note("L");
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI Ctl3dRegister(HINSTANCE)
{
    Note("R");
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI Ctl3dUnregister(HINSTANCE)
{
    Note("U");
    return TRUE;
}
