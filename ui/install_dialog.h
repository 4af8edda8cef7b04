// The installation dialog, the destination directory chooser and the
// progress display: the user's one window and what it paints.
#pragma once

#include <windows.h>

#include <cstdint>

#include "byte_stream.h"
#include "member_decoder.h"
#include "resource_ids.h"

enum {
    WM_START_INSTALL = WM_USER + 100,    // 1124, posted once to the main window
    WM_CONTINUE_INSTALL = WM_USER + 102, // 1126, the dialog runs the next slice
    IDT_INSTALL = 1125                   // slice timer (dialog) and closing timer (main window)
};

// Installation dialog. Started with DIALOG_INSTALL_AT_ONCE as its parameter
// (DialogBoxParam's), it installs at once into the session's destinationDir
// with its makeBackups and addIcons, and ends where it would go back to its
// options; started with 0, the user chooses.
enum { DIALOG_INSTALL_AT_ONCE = 1 };
INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitInstallDialog(HWND dialog);
void SetDialogMode(HWND dialog, int progress);
// The root of the installer's drive when it is fixed, else the Windows
// directory's drive (which becomes the current drive), followed by "vexa"
// (PATH_BUFFER_SIZE characters).
void BuildDefaultDestination(char* out);

// Destination directory chooser and window centring.
int ChooseDirectory(HWND owner);
UINT_PTR CALLBACK FileHook(HWND chooser, UINT message, WPARAM wParam, LPARAM lParam);
void RefreshDirectoryEdit(HWND chooser);
void CenterOnDesktop(HWND window);
// Where CenterOnDesktop puts a window of the given rectangle: centred, kept
// 10 pixels off the right and bottom edges, never at a negative coordinate.
POINT CenteredPosition(const RECT& desktop, const RECT& window);

// Progress display: the overall bar over control 115, the per-file bar over
// control 116. Without a device context a paint uses the dialog's own.
void PaintOverallProgress(HDC dc, ByteStream* packageStream);
void PaintFileProgress(HDC dc, uint32_t bytesDone, uint32_t bytesTotal);
// Invalidates, with erasing, the area of a bar's placeholder control, so
// that the next paint of the dialog wipes the bar.
void EraseBarArea(HWND dialog, int controlId);
// The per-file bar as the decoder's progress: its width in pixels, a step
// painted, the bar wiped once the member is complete.
uint32_t FileProgressWidth();
void FileProgressStep(uint32_t produced, uint32_t size);
void FileProgressDone();
extern const FileProgress kDialogFileProgress;
