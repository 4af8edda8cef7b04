#include "installer_shell.h"

#include "install_session.h"
#include "program_group.h"

namespace {

typedef BOOL(WINAPI* Ctl3dFunction)(HINSTANCE);

Ctl3dFunction FindCtl3dFunction(HMODULE library, const char* name)
{
    // Through the generic function pointer type, which converts to any other.
    return reinterpret_cast<Ctl3dFunction>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

Ctl3dFunction ctl3dRegister = nullptr;
Ctl3dFunction ctl3dAutoSubclass = nullptr;
Ctl3dFunction ctl3dUnregister = nullptr;

}  // namespace

int CreateMainWindow(HINSTANCE instance, int showCommand)
{
    WNDCLASSA windowClass;
    windowClass.style = CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = MAIN_WINDOW_NAME;
    if (!RegisterClassA(&windowClass))
        return 0;

    session.mainWindow = CreateWindowExA(0, MAIN_WINDOW_NAME, MAIN_WINDOW_NAME, WS_OVERLAPPEDWINDOW, -100, -100,
                                         0, 0, nullptr, nullptr, instance, nullptr);
    if (!session.mainWindow)
        return 0;
    ShowWindow(session.mainWindow, showCommand);
    UpdateWindow(session.mainWindow);
    return 1;
}

int NewShellFromVersion(DWORD version)
{
    unsigned major = LOBYTE(LOWORD(version));
    unsigned minor = HIBYTE(LOWORD(version));
    return major == 4 || minor >= 95 ? 1 : 0;
}

void LoadCtl3d()
{
    // Without the library the installer runs on in plain controls; the
    // system must not stop it with a box asking for the missing file.
    SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA("Ctl3d32.dll");
    if (!library)
        return;
    ctl3dRegister = FindCtl3dFunction(library, "Ctl3dRegister");
    ctl3dUnregister = FindCtl3dFunction(library, "Ctl3dUnregister");
    ctl3dAutoSubclass = FindCtl3dFunction(library, "Ctl3dAutoSubclass");
    if (!ctl3dRegister || !ctl3dUnregister || !ctl3dAutoSubclass) {
        FreeLibrary(library);
        session.ctl3dLibrary = nullptr;
        return;
    }
    ctl3dRegister(session.appInstance);
    ctl3dAutoSubclass(session.appInstance);
    session.ctl3dLibrary = library;
}

void ReleaseCtl3d()
{
    if (!session.ctl3dLibrary)
        return;
    ctl3dUnregister(session.appInstance);
    FreeLibrary(session.ctl3dLibrary);
    session.ctl3dLibrary = nullptr;
}
