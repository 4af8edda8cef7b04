// The destination directory chooser: the old-style Open dialog with our own
// template, whose hook keeps an edit field filled with the directory the
// dialog is showing plus "vexa" (in chooserDir) and takes that field's text
// into destinationDir at OK. Also the
// window centring shared with the installation dialog.
#include <windows.h>
#include <commdlg.h>

#include "install_dialog.h"
#include "install_session.h"

namespace {

// Identifiers of the old-style Open dialog's own controls in template 1537.
enum {
    ID_CURRENT_DIR = 1088, // edit holding the dialog's current directory
    ID_FILE_NAME = 1152,   // the hidden file-name edit
    ID_DIRECTORY_LIST = 1121,
    ID_DRIVE_LIST = 1137
};

// The first Browse opens at the root of the destination's drive.
int firstBrowse = 1;

}  // namespace

int ChooseDirectory(HWND owner)
{
    // OK ends the dialog through its own processing, which needs a buffer
    // for the chosen file: the hidden file name, which nothing reads.
    char chosenFile[PATH_BUFFER_SIZE] = "";
    OPENFILENAMEA dialog = {};
    // The old-style dialog's structure, without the later fields (76 bytes
    // on i386; the headers give the size for each architecture).
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = owner;
    dialog.hInstance = session.appInstance;
    dialog.lpstrFile = chosenFile;
    dialog.nMaxFile = sizeof chosenFile;
    JoinText(session.chooserDir, sizeof session.chooserDir, session.destinationDir);
    dialog.lpstrInitialDir = session.chooserDir;
    dialog.lpstrTitle = "Destination Directory";
    // Unvalidated: the file name given at OK (see FileHook) is one that no
    // file or directory can have.
    dialog.Flags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_NOVALIDATE;
    dialog.lpfnHook = FileHook;
    dialog.lpTemplateName = MAKEINTRESOURCEA(IDD_CHOOSER);

    if (firstBrowse) {
        session.chooserDir[3] = '\0';
        firstBrowse = 0;
    }
    return GetOpenFileNameA(&dialog) ? 1 : 0;
}

UINT_PTR CALLBACK FileHook(HWND chooser, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_SHOWWINDOW) {
        RefreshDirectoryEdit(chooser);
        SetFocus(GetDlgItem(chooser, IDC_CHOOSER_DIR));
        SendDlgItemMessageA(chooser, IDC_CHOOSER_DIR, EM_SETSEL, 0, -1);
        SendDlgItemMessageA(chooser, IDC_CHOOSER_DIR, EM_SETSEL, static_cast<WPARAM>(-1), -1);
        SendDlgItemMessageA(chooser, IDC_CHOOSER_DIR, EM_SCROLLCARET, 0, 0);
        CenterOnDesktop(chooser);
    } else if (message == WM_COMMAND) {
        int control = LOWORD(wParam);
        int code = HIWORD(wParam);
        if (control == IDOK) {
            // The directory is taken now, and the dialog's own OK ends it as
            // confirmed. It would open a directory named in the hidden file
            // name instead, and its change notice would then overwrite the
            // text just taken: the name given it has a character no
            // directory name can have, which it accepts unvalidated.
            SendDlgItemMessageA(chooser, IDC_CHOOSER_DIR, WM_GETTEXT, PATH_BUFFER_SIZE,
                                reinterpret_cast<LPARAM>(session.destinationDir));
            SetDlgItemTextA(chooser, ID_FILE_NAME, "vexa|");
            return 0;
        } else if ((control == ID_CURRENT_DIR && code == EN_CHANGE) ||
                   (control == ID_DIRECTORY_LIST && (code == LBN_SELCHANGE || code == LBN_DBLCLK)) ||
                   (control == ID_DRIVE_LIST && (code == CBN_SELCHANGE || code == CBN_DBLCLK))) {
            RefreshDirectoryEdit(chooser);
        }
    }
    return 0;
}

void RefreshDirectoryEdit(HWND chooser)
{
    char* text = session.chooserDir;
    LRESULT fullLength = SendDlgItemMessageA(chooser, ID_CURRENT_DIR, WM_GETTEXTLENGTH, 0, 0);
    SendDlgItemMessageA(chooser, ID_CURRENT_DIR, WM_GETTEXT, PATH_BUFFER_SIZE, reinterpret_cast<LPARAM>(text));
    size_t length = TextLength(text);
    LowerAscii(text);

    if (fullLength >= PATH_BUFFER_SIZE) {
        // A cut-off directory would name some other place: offer nothing.
        text[0] = '\0';
    } else if (length <= 1) {
        char module[PATH_BUFFER_SIZE];
        DWORD got = GetModuleFileNameA(session.appInstance, module, PATH_BUFFER_SIZE - 1);
        module[got < PATH_BUFFER_SIZE ? got : PATH_BUFFER_SIZE - 1] = '\0';
        if (SplitPathParts(module, &session.pathParts))
            wsprintfA(text, "%s%svexa", session.pathParts.drive, session.pathParts.dir);
        else
            text[0] = '\0';
    } else if (!FindText(text, "\\vexa")) {
        const char* suffix = EndsWithBackslash(text) ? "vexa" : "\\vexa";
        JoinText(text, PATH_BUFFER_SIZE, text, suffix);   // empty when it does not fit
    }
    SendDlgItemMessageA(chooser, IDC_CHOOSER_DIR, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

POINT CenteredPosition(const RECT& desktop, const RECT& window)
{
    LONG width = window.right - window.left;
    LONG height = window.bottom - window.top;
    POINT at;
    at.x = desktop.left + (desktop.right - desktop.left) / 2 - width / 2;
    at.y = desktop.top + (desktop.bottom - desktop.top) / 2 - height / 2;
    if (at.y + height > desktop.bottom - 10)
        at.y = desktop.bottom - 10 - height;
    if (at.x + width > desktop.right - 10)
        at.x = desktop.right - 10 - width;
    if (at.y < 0)
        at.y = 1;
    if (at.x < 0)
        at.x = 1;
    return at;
}

void CenterOnDesktop(HWND window)
{
    RECT desktop, own;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &own);
    POINT at = CenteredPosition(desktop, own);
    SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
