#include "error_box.h"

#include "install_session.h"

void ShowInstallError(int number, const char* text)
{
    char caption[48];
    wsprintfA(caption, "Vexa Installation Error [%d]", number);
    MessageBoxA(session.dialogWindow, text, caption, MB_ICONERROR | MB_OK);
}

int AskInstallWarning(const char* text)
{
    return MessageBoxA(session.dialogWindow, text, "Vexa Installation Warning", MB_ICONQUESTION | MB_YESNO);
}
