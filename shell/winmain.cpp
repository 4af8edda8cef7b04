#include <windows.h>

#include "installer_shell.h"
#include "install_dialog.h"
#include "install_session.h"
#include "program_group.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    RestrictLibrarySearch();
    session.appInstance = instance;
    if (!CreateMainWindow(instance, showCommand))
        return 0;

    // The dialog and every box must be created after the 3-D controls are
    // registered, and DDE must exist before the program group step: both
    // are set up before the start message is posted.
    session.newShell = NewShellFromVersion(GetVersion());
    if (!session.newShell)
        LoadCtl3d();
    DdeInitializeA(&session.ddeInstance, DdeCallback, 0, 0);

    PostMessageA(session.mainWindow, WM_START_INSTALL, 0, 0);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    if (session.ddeInstance)
        DdeUninitialize(session.ddeInstance);
    ReleaseCtl3d();
    return 0;
}
