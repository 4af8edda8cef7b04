// Drives a real setup32.exe in its own process the way a user would: finds
// its windows by class and caption, reads control texts and states, sets
// the destination, presses buttons and answers message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "box_answer.h"

#define INSTALLER_CAPTION "Vexa v5.6 32bit Installation"

struct SeenBox {
    std::string caption;
    std::string text;
    UINT buttons;   // MB_OK, MB_YESNO, ...
    int answer;     // the button pressed
};

class InstallerRun {
public:
    // Starts the installer with extra command-line text after its name.
    bool Start(const std::string& exe, const std::string& arguments);
    ~InstallerRun();

    // The installation dialog once it is shown; null on time-out.
    HWND WaitForDialog();
    // The main window (class and caption "Vexa v5.6 32bit Installation").
    HWND MainWindow();
    // A shown dialog of the process with this caption; null on time-out.
    HWND WaitForDialogNamed(const char* caption);

    std::string ControlText(int id);
    bool IsChecked(int id);
    bool IsShown(int id);
    bool IsEnabled(int id);
    void SetControlText(int id, const std::string& text);
    void SetChecked(int id, bool checked);
    // Presses an enabled button as a click does.
    bool Press(int id);

    // Answers every message box of the installer until the process ends:
    // the queued answers in order, then OK (or No). Returns the boxes seen.
    std::vector<SeenBox> AnswerBoxesUntilExit(std::vector<int> answers);
    // Answers box with the next queued answer (box_answer.h) and returns
    // what it showed.
    SeenBox AnswerNext(HWND box, std::vector<int>& answers);
    // Waits for the next box and returns it unanswered (null on exit).
    HWND WaitForBox();
    // A box of the installer shown now, or null; does not wait.
    HWND FindBox();
    static SeenBox ReadBox(HWND box);
    void Answer(HWND box, int button);

    // The process's exit code, or -1 when it does not end in time.
    int WaitForExit();
    // Ends the process from outside, as a kill or a power cut would, and
    // waits for it to be gone; false when it could not be ended.
    bool Kill();
    // Whether the process has ended; does not wait.
    bool Exited();
    DWORD ProcessId() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_ = {};
    HWND dialog_ = nullptr;
};

// Waits up to ms for the handle (or just the time, without one) while
// serving this thread's messages: a thread that owns windows must answer
// the broadcasts of others, such as the installer's DDE initiates. True
// when the handle was signalled.
bool WaitServing(HANDLE handle, DWORD ms);

// Wine's per-application Windows version: processes of that executable
// name are told version ("win95", "nt40", "winxp", ...) by GetVersion and
// the like; null takes the setting away, so they get the prefix's own. The
// driver itself keeps the prefix's version. True when the setting is made.
bool ActAsWindows(const char* executableName, const char* version);

// Wine's per-application load order for one library: with prefer, processes
// of that executable name take a library file found on the search path
// before Wine's builtin one, as Windows takes any file it finds; without,
// the setting is taken away. True when the setting is made.
bool PreferNativeLibrary(const char* executableName, const char* library, bool prefer);

// Paths.
std::string WinePathOf(const std::string& unixPath);   // /a/b -> z:\a\b
bool RemoveTree(const std::string& path);              // true when nothing is left
bool FilesEqual(const std::string& a, const std::string& b);
// Names in directory that match pattern, sorted ("." and ".." left out).
std::vector<std::string> ListFiles(const std::string& directory, const char* pattern = "*");

// A shortcut read back through the shell's link object.
struct Shortcut {
    std::string name;               // file name without ".lnk"
    std::string target;
    std::string workingDirectory;
};
std::vector<Shortcut> ReadShortcuts(const std::string& directory);
// Start Menu\Programs of the current user.
std::string ProgramsFolder();

// The screen as a 24-bit BMP file.
bool SaveScreenshot(const std::string& path);
