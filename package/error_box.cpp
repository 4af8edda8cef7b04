#include "error_box.h"

#include "install_session.h"

const char kInstallFileUnreadableText[] =
    "There seems to be a problem reading the installation file.\n\n"
    "Please try running the installation program again!";
const char kInstallFileCorruptText[] =
    "The installation file seems to be corrupt!\n\n"
    "Please try running the installation program again or download a new version!";

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
