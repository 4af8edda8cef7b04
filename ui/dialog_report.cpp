// The installation as the dialog shows it: the status line, the overall
// bar, and modal boxes owned by the dialog for errors and questions; the
// program group's retry question and the success by the main window.
#include <windows.h>

#include "install_dialog.h"
#include "install_report.h"
#include "install_session.h"

namespace {

void ShowStatus(const char* text)
{
    SetDlgItemTextA(session.dialogWindow, IDC_STATUS, text);
}

void ShowOverallProgress(ByteStream* package)
{
    PaintOverallProgress(nullptr, package);
}

void ShowError(InstallError number, const char* text)
{
    char caption[32];
    ErrorCaption(number, caption);
    MessageBoxA(session.dialogWindow, text, caption, MB_ICONERROR | MB_OK);
}

bool AskInDialog(InstallQuestion, const char* text)
{
    return MessageBoxA(session.dialogWindow, text, kWarningCaption, MB_ICONQUESTION | MB_YESNO) != IDNO;
}

// The retry question and the success belong to the main window: the dialog
// has gone by then.
bool AskRetryInMainWindow(InstallError number, const char* text)
{
    char caption[32];
    ErrorCaption(number, caption);
    return MessageBoxA(session.mainWindow, text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowSuccess(const char* text)
{
    MessageBoxA(session.mainWindow, text, kSuccessCaption, MB_OK | MB_ICONINFORMATION);
}

const InstallReport kDialogReport = {ShowStatus,           ShowOverallProgress, ShowError,
                                     AskInDialog,          AskRetryInMainWindow, ShowSuccess,
                                     &kDialogFileProgress};

}  // namespace

const InstallReport* DefaultInstallReport()
{
    return &kDialogReport;
}
