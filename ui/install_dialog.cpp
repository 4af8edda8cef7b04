// The installation dialog: options mode, progress mode and the slice chain
// that runs the package scanner one slice per posted message.
#include <windows.h>

#include <initializer_list>

#include "install_dialog.h"
#include "install_report.h"
#include "install_session.h"
#include "installer_names.h"
#include "package_scanner.h"
#include "transaction.h"

namespace {

const char kWelcome[] = "Welcome to the Vexa Installation program!";
const char kIntro[] = "This program will install Vexa v5.6 32bit edition to the following directory.";
const char kNotice[] = "Vexa Installation program\nCopyright (c) the Vexa developers.\nAll rights reserved.";
const char kLicense[] = "Please refer to the Vexa help file for the license terms and use restrictions.";

const UINT kSliceDelayMs = 25;

// Message boxes shown from inside a slice or from the Install sequence run
// their own message loops, which can deliver a stale continue message or a
// queued Cancel. A slice must never start inside another, and the Cancel
// sequence (whose Yes rolls back, whose end in options mode ends the dialog)
// must not run under their feet: it is held until they have returned.
int busy = 0;
int cancelDeferred = 0;
// A second Cancel queued behind the first must not open a second question.
int abortQuestionOpen = 0;
// Started with the choices of an unattended installation: it installs at
// once and never goes back to its options.
int startedWithChoices = 0;

void SetItemText(HWND dialog, int id, const char* text)
{
    SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void ShowItem(HWND dialog, int id, int show)
{
    ShowWindow(GetDlgItem(dialog, id), show ? SW_SHOW : SW_HIDE);
}

void EnableItem(HWND dialog, int id, int enable)
{
    EnableWindow(GetDlgItem(dialog, id), enable);
}

}  // namespace

void BuildDefaultDestination(char* out)
{
    DWORD got = GetModuleFileNameA(session.appInstance, out, PATH_BUFFER_SIZE - 1);
    out[got < PATH_BUFFER_SIZE ? got : PATH_BUFFER_SIZE - 1] = '\0';
    LowerAscii(out);
    out[3] = '\0';
    if (GetDriveTypeA(out) != DRIVE_FIXED) {
        char windowsDir[PATH_BUFFER_SIZE];
        UINT length = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
        if (length > 0 && length < sizeof windowsDir) {
            SplitPathParts(windowsDir, &session.pathParts);
            wsprintfA(out, "%s\\", session.pathParts.drive);
            LowerAscii(out);
            // The drive's own current directory stays as it is.
            if (out[0] >= 'a' && out[0] <= 'z' && out[1] == ':') {
                char drive[3] = {out[0], ':', '\0'};
                SetCurrentDirectoryA(drive);
            }
        }
    }
    JoinText(out, PATH_BUFFER_SIZE, out, "vexa");
}

namespace {

// Where the interactive dialog goes back to its options after a failure
// or an abort, one started with its choices ends.
void BackToOptions(HWND dialog)
{
    if (startedWithChoices)
        EndDialog(dialog, 0);
    else
        SetDialogMode(dialog, 0);
}

void InstallSequence(HWND dialog)
{
    // Install is disabled while an installation runs; a stray command must
    // not start a second one over the open package.
    if (session.packageStream)
        return;
    SendDlgItemMessageA(dialog, IDC_DEST_DIR, WM_GETTEXT, PATH_BUFFER_SIZE,
                        reinterpret_cast<LPARAM>(session.destinationDir));
    if (FindChar(session.destinationDir, ' ') && !AskYes(QUESTION_SPACES_IN_PATH)) {
        if (startedWithChoices)
            EndDialog(dialog, 0);
        return;
    }
    session.makeBackups = IsDlgButtonChecked(dialog, IDC_MAKE_BACKUPS) == BST_CHECKED ? 1 : 0;
    session.addIcons = IsDlgButtonChecked(dialog, IDC_ADD_ICONS) == BST_CHECKED ? 1 : 0;

    SetDialogMode(dialog, 1);
    ResetSession();
    ShowScanningStatus();
    PaintOverallProgress(nullptr, nullptr);
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    switch (BeginInstallation()) {
    case MEMBER_DONE:
        PostMessageA(dialog, WM_CONTINUE_INSTALL, 0, 0);
        return;
    case MEMBER_CHOOSE_AGAIN:
        BackToOptions(dialog);
        return;
    default:
        EndDialog(dialog, 0);
        return;
    }
}

// A Cancel held back while the dialog was busy is taken up now.
void TakeUpDeferredCancel(HWND dialog)
{
    if (cancelDeferred) {
        cancelDeferred = 0;
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

void CancelSequence(HWND dialog)
{
    if (busy) {
        cancelDeferred = 1;
        return;
    }
    if (abortQuestionOpen)
        return;
    session.abortPending = 1;
    // A slice timer armed now would otherwise outlive the question.
    KillTimer(dialog, IDT_INSTALL);
    if (!session.packageStream) {
        EndDialog(dialog, 0);
        return;
    }
    abortQuestionOpen = 1;
    bool abort = AskYes(QUESTION_ABORT);
    abortQuestionOpen = 0;
    if (!abort) {
        session.abortPending = 0;
        PostMessageA(dialog, WM_CONTINUE_INSTALL, 0, 0);
        return;
    }
    EndTransaction(ROLL_BACK_TRANSACTION);
    ResetSession();
    BackToOptions(dialog);
}

void BrowseSequence(HWND dialog)
{
    SendDlgItemMessageA(dialog, IDC_DEST_DIR, WM_GETTEXT, PATH_BUFFER_SIZE,
                        reinterpret_cast<LPARAM>(session.destinationDir));
    LowerAscii(session.destinationDir);
    if (ChooseDirectory(dialog)) {
        LowerAscii(session.destinationDir);
        SetItemText(dialog, IDC_DEST_DIR, session.destinationDir);
    }
}

INT_PTR ContinueInstall(HWND dialog)
{
    if (session.abortPending || !session.packageStream || busy)
        return 0;
    busy = 1;
    int result = ScanSlice();
    busy = 0;

    switch (result) {
    case SLICE_MORE:
        // A held Cancel stands in for the next slice: its question decides.
        if (cancelDeferred)
            TakeUpDeferredCancel(dialog);
        else
            SetTimer(dialog, IDT_INSTALL, kSliceDelayMs, nullptr);
        return 0;
    default:
        cancelDeferred = 0;
        switch (EndInstallation(static_cast<SliceResult>(result))) {
        case MEMBER_DONE:
            EndDialog(dialog, 1);
            break;
        case MEMBER_CHOOSE_AGAIN:
            BackToOptions(dialog);
            break;
        default:
            EndDialog(dialog, 0);
            break;
        }
        return 1;
    }
}

void PaintDialog(HWND dialog)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    RECT place;
    GetWindowRect(GetDlgItem(session.dialogWindow, IDC_ICON_PLACE), &place);
    POINT at = {place.left, place.top};
    ScreenToClient(dialog, &at);
    // A shared icon from LoadIcon: the system owns it, nothing to release.
    HICON icon = LoadIconA(session.appInstance, MAKEINTRESOURCEA(IDI_DIALOG));
    DrawIcon(dc, at.x, at.y, icon);
    if (IsWindowVisible(GetDlgItem(dialog, IDC_STATUS)))
        PaintOverallProgress(dc, nullptr);
    EndPaint(dialog, &paint);
}

}  // namespace

void InitInstallDialog(HWND dialog)
{
    SetWindowTextA(dialog, kInstallerCaption);
    SetItemText(dialog, IDC_WELCOME, kWelcome);
    SetItemText(dialog, IDC_INTRO, kIntro);
    SetItemText(dialog, IDC_NOTICE, kNotice);
    SetItemText(dialog, IDC_LICENSE, kLicense);
    char destination[PATH_BUFFER_SIZE];
    BuildDefaultDestination(destination);
    SetItemText(dialog, IDC_DEST_DIR, destination);
}

void SetDialogMode(HWND dialog, int progress)
{
    if (progress) {
        EnableItem(dialog, IDOK, 0);
        EnableItem(dialog, IDC_BROWSE, 0);
        SetItemText(dialog, IDCANCEL, "Abort!");
        SetItemText(dialog, IDC_STATUS, kScanningFilesStatus);
        for (int id = IDC_BROWSE_HINT; id <= IDC_CONTINUE_HINT; ++id)
            ShowItem(dialog, id, 0);
        for (int id : {IDC_STATUS, IDC_OVERALL_LABEL, IDC_LICENSE, IDC_NOTICE})
            EnableItem(dialog, id, 1);
        for (int id : {IDC_STATUS, IDC_OVERALL_LABEL, IDC_LICENSE, IDC_NOTICE})
            ShowItem(dialog, id, 1);
        for (int id = IDC_BROWSE_HINT; id <= IDC_CONTINUE_HINT; ++id)
            EnableItem(dialog, id, 0);
        SetFocus(GetDlgItem(dialog, IDCANCEL));
    } else {
        session.overallFill = 0;
        EnableItem(dialog, IDOK, 1);
        EnableItem(dialog, IDC_BROWSE, 1);
        SetItemText(dialog, IDCANCEL, "Cancel");
        SetItemText(dialog, IDC_STATUS, kScanningFilesStatus);
        for (int id : {IDC_STATUS, IDC_OVERALL_LABEL, IDC_LICENSE, IDC_NOTICE})
            ShowItem(dialog, id, 0);
        for (int id = IDC_BROWSE_HINT; id <= IDC_CONTINUE_HINT; ++id)
            EnableItem(dialog, id, 1);
        for (int id = IDC_BROWSE_HINT; id <= IDC_CONTINUE_HINT; ++id)
            ShowItem(dialog, id, 1);
        for (int id : {IDC_STATUS, IDC_OVERALL_LABEL, IDC_LICENSE, IDC_NOTICE})
            EnableItem(dialog, id, 0);
        EraseBarArea(dialog, IDC_OVERALL_BAR);
        EraseBarArea(dialog, IDC_FILE_BAR);
        SetFocus(GetDlgItem(dialog, IDOK));
    }
    UpdateWindow(dialog);
}

INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        session.dialogWindow = dialog;
        CheckDlgButton(dialog, IDC_MAKE_BACKUPS, BST_CHECKED);
        CheckDlgButton(dialog, IDC_ADD_ICONS, BST_CHECKED);
        InitInstallDialog(dialog);
        startedWithChoices = lParam == DIALOG_INSTALL_AT_ONCE;
        if (startedWithChoices) {
            SetItemText(dialog, IDC_DEST_DIR, session.destinationDir);
            CheckDlgButton(dialog, IDC_MAKE_BACKUPS, session.makeBackups ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(dialog, IDC_ADD_ICONS, session.addIcons ? BST_CHECKED : BST_UNCHECKED);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        }
        return 0;
    }
    case WM_SHOWWINDOW:
        CenterOnDesktop(dialog);
        SetFocus(GetDlgItem(dialog, IDOK));
        return 0;
    case WM_PAINT:
        PaintDialog(dialog);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (busy)
                return 1;
            busy = 1;
            InstallSequence(dialog);
            busy = 0;
            TakeUpDeferredCancel(dialog);
            return 1;
        case IDCANCEL:
            CancelSequence(dialog);
            return 1;
        case IDC_BROWSE:
            BrowseSequence(dialog);
            return 0;
        default:
            return 0;
        }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return 1;
        }
        return 0;
    case WM_TIMER:
        if (wParam == IDT_INSTALL) {
            KillTimer(dialog, IDT_INSTALL);
            PostMessageA(dialog, WM_CONTINUE_INSTALL, 0, 0);
        }
        return 0;
    case WM_CONTINUE_INSTALL:
        return ContinueInstall(dialog);
    default:
        return 0;
    }
}
