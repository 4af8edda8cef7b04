// The installer shell: start-up, the zero-size main window that carries the
// run sequence, and the teardown.
#pragma once

#include <windows.h>

enum { CLOSE_DELAY_MS = 50 };

// The main window: runs the dialog on WM_START_INSTALL, then the program
// group step and the final message, then closes itself through a timer.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the window class and creates the main window into
// session.mainWindow, shown with the given show command. 0 when either fails.
int CreateMainWindow(HINSTANCE instance, int showCommand);

// 1 for the newer shell: major version exactly 4, or a minor version of 95
// and up (3.95 counts as new; 5.x with a small minor does not).
int NewShellFromVersion(DWORD version);

// Takes the installer's own directory and the current directory out of the
// search for every later library loaded by bare name, where the system
// offers the means; before anything else can load a library.
void RestrictLibrarySearch();

// The full path of a file in the system directory; 0 when it does not fit.
int SystemLibraryPath(const char* fileName, char* path, size_t size);

// The 3-D controls of the older shell: loads the system's Ctl3d32.dll, by
// its full path, and registers them when all three entry points are there;
// otherwise leaves no library loaded.
void LoadCtl3d();
// The same with the library at path.
void LoadCtl3dLibrary(const char* path);
void ReleaseCtl3d();

// Runs the program group step with its retry prompt and then shows the
// success message; for a dialog result of 1.
void FinishInstallation();
