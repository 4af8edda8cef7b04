#include "installer_shell.h"

#include "install_session.h"
#include "installer_names.h"
#include "program_group.h"
#include "text.h"

namespace {

// A function of a loaded library, of the given type, or null; through the
// generic function pointer type, which converts to any other.
template <typename Function>
Function FindFunction(HMODULE library, const char* name)
{
    return library ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)))
                   : nullptr;
}

typedef BOOL(WINAPI* Ctl3dFunction)(HINSTANCE);
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryFunction)(LPCSTR);
// LOAD_LIBRARY_SEARCH_SYSTEM32, which older headers lack.
const DWORD kSearchSystem32Only = 0x00000800;

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
    windowClass.lpszClassName = kInstallerCaption;
    if (!RegisterClassA(&windowClass))
        return 0;

    session.mainWindow = CreateWindowExA(0, kInstallerCaption, kInstallerCaption, WS_OVERLAPPEDWINDOW, -100,
                                         -100, 0, 0, nullptr, nullptr, instance, nullptr);
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

void RestrictLibrarySearch()
{
    // Where the system offers it, every later load by bare name searches
    // the system directory only; else at least the current directory is
    // left out. Both come and go with the system's updates, so neither is
    // imported.
    HMODULE kernel = GetModuleHandleA("KERNEL32");
    SetDefaultDllDirectoriesFunction setDefaultDllDirectories =
        FindFunction<SetDefaultDllDirectoriesFunction>(kernel, "SetDefaultDllDirectories");
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(kSearchSystem32Only);
    SetDllDirectoryFunction setDllDirectory = FindFunction<SetDllDirectoryFunction>(kernel, "SetDllDirectoryA");
    if (setDllDirectory)
        setDllDirectory("");
}

int SystemLibraryPath(const char* fileName, char* path, size_t size)
{
    UINT length = GetSystemDirectoryA(path, static_cast<UINT>(size));
    if (length == 0 || length >= size)
        return 0;
    return JoinText(path, size, path, EndsWithBackslash(path) ? "" : "\\", fileName) ? 1 : 0;
}

void LoadCtl3d()
{
    // Only the system's own copy: one beside the installer may have been
    // put there by anybody who could save a file into that folder.
    char path[PATH_BUFFER_SIZE];
    if (SystemLibraryPath("Ctl3d32.dll", path, sizeof path))
        LoadCtl3dLibrary(path);
}

void LoadCtl3dLibrary(const char* path)
{
    // Without the library the installer runs on in plain controls; the
    // system must not stop it with a box asking for the missing file.
    SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(path);
    if (!library)
        return;
    ctl3dRegister = FindFunction<Ctl3dFunction>(library, "Ctl3dRegister");
    ctl3dUnregister = FindFunction<Ctl3dFunction>(library, "Ctl3dUnregister");
    ctl3dAutoSubclass = FindFunction<Ctl3dFunction>(library, "Ctl3dAutoSubclass");
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
