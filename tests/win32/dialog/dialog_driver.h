// Drives the real installation dialog from a second thread: the dialog runs
// modally on the test's thread, as in the installer, while a script on a
// worker thread finds its windows, reads texts and states, presses buttons
// and waits for the effects.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class DialogDriver {
public:
    explicit DialogDriver(DWORD uiThread) : uiThread_(uiThread) {}

    HWND Dialog() const;
    HWND Item(int id) const { return GetDlgItem(Dialog(), id); }
    std::string Text(int id) const;
    std::string Caption() const;
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != 0; }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != 0; }
    bool Checked(int id) const;
    HWND Focus() const;

    // Presses a button as a click does: the dialog gets WM_COMMAND from it.
    void Press(int id) const;
    void PressIn(HWND window, int id) const;
    void SetText(int id, const std::string& text) const;

    // Polls until the condition holds; false after timeoutMs.
    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000);

    // A top-level window of the UI thread with this caption, or null.
    HWND FindThreadWindow(const char* caption) const;

    // Rectangle of a control in the dialog's client coordinates.
    RECT ClientRectOf(int id) const;
    COLORREF Pixel(int x, int y) const;

private:
    DWORD uiThread_;
};

// Runs InstallDlgProc modally from the INSTALL_DLG template of module on
// this thread while script runs on a worker thread; returns the dialog's
// result. If the script leaves the dialog open, it is cancelled.
INT_PTR RunInstallDialog(HINSTANCE module, const std::function<void(DialogDriver&)>& script);

// Writes the whole window (frame included) as a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const std::string& path);

// Helpers for files of the tests.
std::string TempDirectory();  // the system's temporary directory, with a trailing backslash
std::string UniqueName(const char* stem);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);
void RemoveTree(const std::string& path);
std::string ModuleDirectory();  // directory of the test program, with a trailing backslash
