#include "dialog_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "install_dialog.h"
#include "install_session.h"

HWND DialogDriver::Dialog() const
{
    return session.dialogWindow;
}

std::string DialogDriver::Text(int id) const
{
    char text[1024] = "";
    SendMessageA(Item(id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string DialogDriver::Caption() const
{
    char text[256] = "";
    SendMessageA(Dialog(), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

bool DialogDriver::Checked(int id) const
{
    return SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND DialogDriver::Focus() const
{
    GUITHREADINFO info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    GetGUIThreadInfo(uiThread_, &info);
    return info.hwndFocus;
}

void DialogDriver::Press(int id) const
{
    PressIn(Dialog(), id);
}

void DialogDriver::PressIn(HWND window, int id) const
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

void DialogDriver::SetText(int id, const std::string& text) const
{
    SendMessageA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool DialogDriver::WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (condition())
            return true;
        Sleep(5);
    }
    return condition();
}

namespace {
struct FindRequest {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM param)
{
    auto* request = reinterpret_cast<FindRequest*>(param);
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    if (std::strcmp(text, request->caption) == 0 && IsWindowVisible(window)) {
        request->found = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND DialogDriver::FindThreadWindow(const char* caption) const
{
    FindRequest request = {caption, nullptr};
    EnumThreadWindows(uiThread_, MatchCaption, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

RECT DialogDriver::ClientRectOf(int id) const
{
    RECT rect;
    GetWindowRect(Item(id), &rect);
    POINT topLeft = {rect.left, rect.top}, bottomRight = {rect.right, rect.bottom};
    ScreenToClient(Dialog(), &topLeft);
    ScreenToClient(Dialog(), &bottomRight);
    return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

COLORREF DialogDriver::Pixel(int x, int y) const
{
    HDC dc = GetDC(Dialog());
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(Dialog(), dc);
    return colour;
}

namespace {
struct ScriptRun {
    const std::function<void(DialogDriver&)>* script;
    DWORD uiThread;
};

DWORD WINAPI RunScript(LPVOID param)
{
    auto* run = static_cast<ScriptRun*>(param);
    DialogDriver driver(run->uiThread);
    if (DialogDriver::WaitFor([&] { return driver.Dialog() && IsWindowVisible(driver.Dialog()); }))
        (*run->script)(driver);
    // The dialog may still be installing; if it never ends, it is cancelled
    // so that the test fails instead of hanging.
    HWND dialog = driver.Dialog();
    if (dialog && !DialogDriver::WaitFor([&] { return !IsWindow(dialog); }, 60000)) {
        ADD_FAILURE() << "the dialog did not end";
        while (IsWindow(dialog)) {
            driver.Press(IDCANCEL);
            Sleep(500);
        }
    }
    return 0;
}
}  // namespace

INT_PTR RunInstallDialog(HINSTANCE module, const std::function<void(DialogDriver&)>& script)
{
    session.appInstance = module;
    session.dialogWindow = nullptr;
    ScriptRun run = {&script, GetCurrentThreadId()};
    HANDLE worker = CreateThread(nullptr, 0, RunScript, &run, 0, nullptr);
    INT_PTR result = DialogBoxParamA(module, "INSTALL_DLG", nullptr, InstallDlgProc, 0);
    session.dialogWindow = nullptr;
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    return result;
}

bool SaveWindowBitmap(HWND window, const std::string& path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int stride = (width * 3 + 3) & ~3;

    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;

    HDC windowDc = GetWindowDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memoryDc, bitmap);
    BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();

    BITMAPFILEHEADER file;
    std::memset(&file, 0, sizeof file);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * height;
    bool written = false;
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                  std::fwrite(bits, stride * height, 1, out) == 1;
        written = std::fclose(out) == 0 && written;
    }
    SelectObject(memoryDc, old);
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    return written;
}

std::string TempDirectory()
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    return dir;
}

std::string UniqueName(const char* stem)
{
    static int counter = 0;
    char name[128];
    wsprintfA(name, "%s%lu_%d", stem, GetCurrentProcessId(), ++counter);
    return name;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), bytes.size(), 1, out) == 1;
    return std::fclose(out) == 0 && ok;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return false;
    for (int c; (c = std::fgetc(in)) != EOF;)
        bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(in);
    return true;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

std::string ModuleDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of('\\') + 1);
}
