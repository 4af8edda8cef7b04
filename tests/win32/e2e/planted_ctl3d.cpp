// A Ctl3d32.dll of the kind a web page can leave in a Downloads folder: it
// exports what the installer looks up and, when any process loads it,
// leaves a file beside itself (its own name with ".loaded" added), which
// outlives the process that loaded it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char record[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(self, record, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcatA(record, ".loaded");
    HANDLE file = CreateFileA(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI Ctl3dRegister(HINSTANCE) { return TRUE; }
extern "C" __declspec(dllexport) BOOL WINAPI Ctl3dAutoSubclass(HINSTANCE) { return TRUE; }
extern "C" __declspec(dllexport) BOOL WINAPI Ctl3dUnregister(HINSTANCE) { return TRUE; }
