#include "installer_driver.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const DWORD kPollMs = 20;
const DWORD kWaitMs = 60000;   // a safety net only: every wait ends on an event first

struct WindowSearch {
    DWORD processId;
    bool (*matches)(HWND);
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && (!search->visibleOnly || IsWindowVisible(window)) &&
        search->matches(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindProcessWindow(DWORD processId, bool (*matches)(HWND), bool visibleOnly = true)
{
    WindowSearch search{processId, matches, visibleOnly, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool IsInstallDialog(HWND window)
{
    return ClassOf(window) == "#32770" && TextOf(window) == INSTALLER_CAPTION && GetDlgItem(window, 105);
}

bool IsMainWindow(HWND window)
{
    return ClassOf(window) == INSTALLER_CAPTION && TextOf(window) == INSTALLER_CAPTION;
}

bool IsInstallerBox(HWND window)
{
    std::string caption = TextOf(window);
    return ClassOf(window) == "#32770" && GetDlgItem(window, 0xFFFF) &&
           (caption.compare(0, 17, "Vexa Installation") == 0 || caption == "System Error");
}

}  // namespace

bool WaitServing(HANDLE handle, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        DWORD woken = MsgWaitForMultipleObjects(handle ? 1 : 0, handle ? &handle : nullptr, FALSE, ms - elapsed,
                                                QS_ALLINPUT);
        if (handle && woken == WAIT_OBJECT_0)
            return true;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

bool InstallerRun::Start(const std::string& exe, const std::string& arguments)
{
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    return CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info_) != 0;
}

InstallerRun::~InstallerRun()
{
    if (info_.hProcess) {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info_.hProcess, 1);
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

HWND InstallerRun::WaitForDialog()
{
    for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
        if ((dialog_ = FindProcessWindow(info_.dwProcessId, IsInstallDialog)))
            return dialog_;
        if (WaitServing(info_.hProcess, kPollMs))
            return nullptr;
    }
    return nullptr;
}

HWND InstallerRun::WaitForDialogNamed(const char* caption)
{
    static std::string wanted;
    wanted = caption;
    for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
        HWND found = FindProcessWindow(info_.dwProcessId,
                                       [](HWND w) { return ClassOf(w) == "#32770" && TextOf(w) == wanted; });
        if (found)
            return found;
        if (WaitServing(info_.hProcess, kPollMs))
            return nullptr;
    }
    return nullptr;
}

HWND InstallerRun::MainWindow()
{
    // The main window is shown but has no size of its own: any top-level
    // window of the process counts, visible or not.
    return FindProcessWindow(info_.dwProcessId, IsMainWindow, false);
}

std::string InstallerRun::ControlText(int id)
{
    return TextOf(GetDlgItem(dialog_, id));
}

bool InstallerRun::IsChecked(int id)
{
    return SendMessageA(GetDlgItem(dialog_, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool InstallerRun::IsShown(int id)
{
    return IsWindowVisible(GetDlgItem(dialog_, id)) != 0;
}

bool InstallerRun::IsEnabled(int id)
{
    return IsWindowEnabled(GetDlgItem(dialog_, id)) != 0;
}

void InstallerRun::SetControlText(int id, const std::string& text)
{
    SendMessageA(GetDlgItem(dialog_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void InstallerRun::SetChecked(int id, bool checked)
{
    SendMessageA(GetDlgItem(dialog_, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool InstallerRun::Press(int id)
{
    HWND button = GetDlgItem(dialog_, id);
    if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button))
        return false;
    return PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != 0;
}

HWND InstallerRun::WaitForBox()
{
    for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
        if (HWND box = FindProcessWindow(info_.dwProcessId, IsInstallerBox))
            return box;
        if (WaitServing(info_.hProcess, kPollMs))
            return nullptr;
    }
    return nullptr;
}

HWND InstallerRun::FindBox()
{
    return FindProcessWindow(info_.dwProcessId, IsInstallerBox);
}

SeenBox InstallerRun::ReadBox(HWND box)
{
    SeenBox seen;
    seen.caption = TextOf(box);
    char text[2048] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    seen.text = text;
    bool yes = GetDlgItem(box, IDYES), no = GetDlgItem(box, IDNO);
    bool ok = GetDlgItem(box, IDOK), cancel = GetDlgItem(box, IDCANCEL);
    seen.buttons = yes && no ? (cancel ? MB_YESNOCANCEL : MB_YESNO) : ok && cancel ? MB_OKCANCEL : MB_OK;
    seen.answer = 0;
    return seen;
}

void InstallerRun::Answer(HWND box, int button)
{
    PostMessageA(box, WM_COMMAND, button, 0);
    // The next box can only be told apart once this one is gone.
    for (DWORD waited = 0; waited < kWaitMs && IsWindow(box); waited += kPollMs)
        WaitServing(nullptr, kPollMs);
}

std::vector<SeenBox> InstallerRun::AnswerBoxesUntilExit(std::vector<int> answers)
{
    std::vector<SeenBox> seen;
    while (HWND box = WaitForBox())
        seen.push_back(AnswerNext(box, answers));
    return seen;
}

SeenBox InstallerRun::AnswerNext(HWND box, std::vector<int>& answers)
{
    SeenBox record = ReadBox(box);
    record.answer = TakeAnswer(box, answers);
    Answer(box, record.answer);
    return record;
}

int InstallerRun::WaitForExit()
{
    if (WaitForSingleObject(info_.hProcess, kWaitMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<int>(code);
}

bool InstallerRun::Kill()
{
    return TerminateProcess(info_.hProcess, 1) && WaitForSingleObject(info_.hProcess, 10000) == WAIT_OBJECT_0;
}

bool InstallerRun::Exited()
{
    return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0;
}

bool ActAsWindows(const char* executableName, const char* version)
{
    std::string path = std::string("Software\\Wine\\AppDefaults\\") + executableName;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG result = version ? RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                           static_cast<DWORD>(std::strlen(version) + 1))
                          : RegDeleteValueA(key, "Version");
    RegCloseKey(key);
    return result == ERROR_SUCCESS || (!version && result == ERROR_FILE_NOT_FOUND);
}

bool PreferNativeLibrary(const char* executableName, const char* library, bool prefer)
{
    std::string path = std::string("Software\\Wine\\AppDefaults\\") + executableName + "\\DllOverrides";
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const char order[] = "native,builtin";
    LONG result = prefer ? RegSetValueExA(key, library, 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order)
                         : RegDeleteValueA(key, library);
    RegCloseKey(key);
    return result == ERROR_SUCCESS || (!prefer && result == ERROR_FILE_NOT_FOUND);
}

std::string WinePathOf(const std::string& unixPath)
{
    std::string path = "z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool RemoveTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (std::strcmp(entry.cFileName, ".") && std::strcmp(entry.cFileName, ".."))
                    RemoveTree(path + "\\" + entry.cFileName);
            } while (FindNextFileA(find, &entry));
            FindClose(find);
        }
        RemoveDirectoryA(path.c_str());
    } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool FilesEqual(const std::string& a, const std::string& b)
{
    FILE* fa = std::fopen(a.c_str(), "rb");
    FILE* fb = std::fopen(b.c_str(), "rb");
    bool equal = fa && fb;
    while (equal) {
        int ca = std::fgetc(fa), cb = std::fgetc(fb);
        equal = ca == cb;
        if (ca == EOF)
            break;
    }
    if (fa)
        std::fclose(fa);
    if (fb)
        std::fclose(fb);
    return equal;
}

std::vector<std::string> ListFiles(const std::string& directory, const char* pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((directory + "\\" + pattern).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::strcmp(entry.cFileName, ".") && std::strcmp(entry.cFileName, ".."))
            names.push_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Shortcut> ReadShortcuts(const std::string& directory)
{
    std::vector<Shortcut> shortcuts;
    CoInitialize(nullptr);
    for (const std::string& name : ListFiles(directory)) {
        if (name.size() < 4 || _stricmp(name.c_str() + name.size() - 4, ".lnk") != 0)
            continue;
        Shortcut shortcut;
        shortcut.name = name.substr(0, name.size() - 4);
        IShellLinkA* link = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                       reinterpret_cast<void**>(&link)))) {
            IPersistFile* file = nullptr;
            if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
                std::string full = directory + "\\" + name;
                wchar_t wide[MAX_PATH];
                MultiByteToWideChar(CP_ACP, 0, full.c_str(), -1, wide, MAX_PATH);
                if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                    char text[MAX_PATH] = "";
                    if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
                        shortcut.target = text;
                    text[0] = '\0';
                    if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH)))
                        shortcut.workingDirectory = text;
                }
                file->Release();
            }
            link->Release();
        }
        shortcuts.push_back(shortcut);
    }
    CoUninitialize();
    return shortcuts;
}

std::string ProgramsFolder()
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, path);
    return path;
}

bool SaveScreenshot(const std::string& path)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    DWORD rowBytes = (width * 3 + 3) & ~3u;
    std::vector<unsigned char> pixels(rowBytes * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
    fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool ok = std::fwrite(&fileHeader, sizeof fileHeader, 1, out) == 1 &&
              std::fwrite(&header, sizeof header, 1, out) == 1 &&
              std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return std::fclose(out) == 0 && ok;
}
