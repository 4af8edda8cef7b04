#include <windows.h>

#include "installer_shell.h"
#include "install_dialog.h"
#include "install_session.h"
#include "program_group.h"
#include "unattended.h"

namespace {

// The installation in its windows: the main window, the dialog it runs
// and every box, until the main window is gone.
void RunInWindows(int showCommand)
{
    if (!CreateMainWindow(session.appInstance, showCommand))
        return;

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
}

}  // namespace

// An interactive installation ends with 0 whatever became of it; an
// unattended one with the code that says (unattended.h).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    RestrictLibrarySearch();
    session.appInstance = instance;
    switch (ReadInstallerCommandLine()) {
    case RUN_INTERACTIVE:
        RunInWindows(showCommand);
        return 0;
    case RUN_SILENT:
        if (StartUnattended())
            InstallSilently();
        return EndUnattended();
    case RUN_PASSIVE:
        if (StartUnattended())
            RunInWindows(showCommand);
        return EndUnattended();
    }
    return 0;
}
