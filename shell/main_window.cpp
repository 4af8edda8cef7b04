#include "installer_shell.h"

#include "destination.h"
#include "install_dialog.h"
#include "install_report.h"
#include "install_session.h"
#include "program_group.h"
#include "unattended.h"

void FinishInstallation()
{
    if (session.addIcons)
        while (!CreateProgramGroup() && AskRetry(ERROR_PROGRAM_GROUP)) {
        }
    ReportSuccess();
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_START_INSTALL: {
        // In an unattended run the dialog installs at once with the
        // command line's choices.
        INT_PTR result = DialogBoxParamA(session.appInstance, "INSTALL_DLG", session.mainWindow, InstallDlgProc,
                                         IsUnattended() ? DIALOG_INSTALL_AT_ONCE : 0);
        if (result == 1)
            FinishInstallation();
        else if (result == -1 && IsUnattended())
            LogMissingDialog("System Error", "Unable to display dialog");
        else if (result == -1)
            MessageBoxA(nullptr, "Unable to display dialog", "System Error", MB_OK | MB_ICONHAND | MB_SYSTEMMODAL);
        // Held until the success has been reported: another installer
        // started meanwhile must not work in the directory before that.
        ReleaseDestination();
        // Closing through a timer lets the last box go away before the
        // window does.
        SetTimer(window, IDT_INSTALL, CLOSE_DELAY_MS, nullptr);
        return 0;
    }
    case WM_TIMER:
        // Any timer closes the window: only the closing timer is ever set.
        KillTimer(window, IDT_INSTALL);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
