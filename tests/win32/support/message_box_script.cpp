#include "message_box_script.h"

#include <cstring>

namespace {
MessageBoxScript* active = nullptr;

const int kTextId = 0xFFFF;  // static text control of a message box
const int kIconId = 0x0440;  // icon control of a message box

UINT IconOf(HWND box)
{
    HICON shown = reinterpret_cast<HICON>(SendDlgItemMessageA(box, kIconId, STM_GETICON, 0, 0));
    if (!shown)
        return 0;
    struct { LPCSTR id; UINT style; } icons[] = {
        {IDI_HAND, MB_ICONERROR}, {IDI_QUESTION, MB_ICONQUESTION},
        {IDI_ASTERISK, MB_ICONINFORMATION}, {IDI_EXCLAMATION, MB_ICONWARNING}};
    for (auto& i : icons)
        if (LoadIconA(nullptr, i.id) == shown)
            return i.style;
    return 0xFFFF;  // an icon, but not a system one
}

UINT ButtonsOf(HWND box)
{
    bool ok = GetDlgItem(box, IDOK), cancel = GetDlgItem(box, IDCANCEL);
    bool yes = GetDlgItem(box, IDYES), no = GetDlgItem(box, IDNO);
    if (yes && no)
        return cancel ? MB_YESNOCANCEL : MB_YESNO;
    if (ok && cancel)
        return MB_OKCANCEL;
    return MB_OK;
}
}  // namespace

bool IsInstallerMessageBox(HWND window)
{
    char className[16] = "", caption[64] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    return std::strcmp(className, "#32770") == 0 &&
           (std::strncmp(caption, "Vexa Installation", 17) == 0 || std::strcmp(caption, "System Error") == 0);
}

MessageBoxScript::MessageBoxScript()
{
    active = this;
    hook_ = SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

MessageBoxScript::~MessageBoxScript()
{
    UnhookWindowsHookEx(hook_);
    active = nullptr;
}

LRESULT CALLBACK MessageBoxScript::Hook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && active && IsInstallerMessageBox(reinterpret_cast<HWND>(wParam)))
        active->Handle(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void MessageBoxScript::Handle(HWND box)
{
    // A box is activated again whenever it regains focus; answer it once.
    if (box == answered_ && IsWindow(box))
        return;
    answered_ = box;
    char caption[256] = "", text[2048] = "";
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, kTextId, text, sizeof text);
    RecordedBox rec{caption, text, ButtonsOf(box), IconOf(box), 0, GetWindow(box, GW_OWNER)};
    if (onShow_)
        onShow_(box, rec);
    rec.answer = TakeAnswer(box, answers_);
    boxes_.push_back(rec);
    PostMessageA(box, WM_COMMAND, rec.answer, 0);
}
