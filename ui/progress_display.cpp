#include <windows.h>

#include <cstdint>

#include "install_dialog.h"
#include "install_session.h"
#include "member_decoder.h"
#include "scale.h"

namespace {

const COLORREF kOverallFill = RGB(0, 100, 200);
const COLORREF kFileFill = RGB(0, 200, 100);
const COLORREF kPercentText = RGB(255, 0, 0);
const COLORREF kPercentBack = RGB(255, 255, 255);

// A placeholder control's rectangle in the dialog's client coordinates.
RECT BarRect(int controlId)
{
    RECT rect = {0, 0, 0, 0};
    HWND placeholder = GetDlgItem(session.dialogWindow, controlId);
    if (!placeholder || !GetWindowRect(placeholder, &rect))
        return RECT{0, 0, 0, 0};
    POINT topLeft = {rect.left, rect.top}, bottomRight = {rect.right, rect.bottom};
    ScreenToClient(session.dialogWindow, &topLeft);
    ScreenToClient(session.dialogWindow, &bottomRight);
    return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

HDC DialogDC()
{
    // Never the screen's: without a dialog there is nothing to paint on.
    return session.dialogWindow ? GetDC(session.dialogWindow) : nullptr;
}

// Frame, filled part and white remainder; the overall bar also shows its
// percentage in the white part.
void DrawBar(HDC dc, RECT bar, int32_t fill, COLORREF fillColour, bool withText)
{
    FrameRect(dc, &bar, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    int top = bar.top + 1, bottom = bar.bottom - 1;
    int innerRight = bar.right - 1;

    RECT filled = {bar.left + 1, top, bar.left + 1, bottom};
    RECT white = {bar.left + 1, top, innerRight, bottom};
    bool hasWhite = true;
    if (fill > 0) {
        int64_t fillEnd = static_cast<int64_t>(bar.left) + fill;
        if (fillEnd < innerRight) {
            filled.right = static_cast<int>(fillEnd);
            white.left = static_cast<int>(fillEnd);
        } else {
            filled.right = innerRight;
            hasWhite = false;
        }
    }

    if (filled.right > filled.left) {
        HBRUSH brush = CreateSolidBrush(fillColour);
        FillRect(dc, &filled, brush);
        DeleteObject(brush);
    }
    if (!hasWhite)
        return;
    FillRect(dc, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (!withText)
        return;

    COLORREF oldText = SetTextColor(dc, kPercentText);
    COLORREF oldBack = SetBkColor(dc, kPercentBack);
    int width = bar.right - bar.left;
    char percent[8];
    if (session.overallFill > 0 && width > 0)
        wsprintfA(percent, "%d%%",
                  static_cast<int>(ScaleDown(static_cast<uint32_t>(session.overallFill), 100, static_cast<uint32_t>(width))));
    else
        wsprintfA(percent, "0%%");
    int x = white.left + 4;
    int y = top + (bottom - top) / 5;
    RECT clip = {x, top, white.right, bottom};
    ExtTextOutA(dc, x, y, ETO_CLIPPED, &clip, percent, static_cast<UINT>(TextLength(percent)), nullptr);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
}

}  // namespace

void PaintOverallProgress(HDC dc, ByteStream* packageStream)
{
    if (packageStream && session.packageLength == 0)
        session.packageLength = static_cast<int32_t>(StreamLength(packageStream));

    RECT bar = BarRect(IDC_OVERALL_BAR);
    LONG width = bar.right - bar.left;
    if (packageStream && session.packageLength > 0 && width > 0) {
        // 64-bit product: large images would overflow 32 bits.
        uint32_t length = static_cast<uint32_t>(session.packageLength);
        uint32_t position = StreamTell(packageStream);
        session.overallFill =
            static_cast<int32_t>(ScaleDown(position < length ? position : length, static_cast<uint32_t>(width), length));
    }

    HDC paintDC = dc ? dc : DialogDC();
    if (!paintDC)
        return;
    DrawBar(paintDC, bar, session.overallFill, kOverallFill, true);
    if (!dc)
        ReleaseDC(session.dialogWindow, paintDC);
}

void PaintFileProgress(HDC dc, uint32_t bytesDone, uint32_t bytesTotal)
{
    HDC paintDC = dc ? dc : DialogDC();
    if (!paintDC)
        return;
    RECT bar = BarRect(IDC_FILE_BAR);
    LONG width = bar.right - bar.left;
    // A last match may run past the stated size; the bar is full then.
    uint32_t done = bytesDone < bytesTotal ? bytesDone : bytesTotal;
    uint32_t fill = bytesTotal && width > 0 ? ScaleDown(done, static_cast<uint32_t>(width), bytesTotal) : 0;
    DrawBar(paintDC, bar, static_cast<int32_t>(fill), kFileFill, false);
    if (!dc)
        ReleaseDC(session.dialogWindow, paintDC);
}

uint32_t FileProgressWidth()
{
    RECT client = {0, 0, 0, 0};
    HWND placeholder = GetDlgItem(session.dialogWindow, IDC_FILE_BAR);
    if (!placeholder || !GetClientRect(placeholder, &client) || client.right <= 0)
        return 0;
    return static_cast<uint32_t>(client.right);
}

void FileProgressStep(uint32_t produced, uint32_t size)
{
    PaintFileProgress(nullptr, produced, size);
}

void EraseBarArea(HWND dialog, int controlId)
{
    HWND placeholder = GetDlgItem(dialog, controlId);
    if (!placeholder)
        return;
    RECT rect;
    GetWindowRect(placeholder, &rect);
    POINT topLeft = {rect.left, rect.top};
    ScreenToClient(dialog, &topLeft);
    RECT area = {topLeft.x, topLeft.y, topLeft.x + (rect.right - rect.left), topLeft.y + (rect.bottom - rect.top)};
    InvalidateRect(dialog, &area, TRUE);
}

void FileProgressDone()
{
    // The dialog's own paint draws only the overall bar, so erasing the
    // placeholder's area and repainting now wipes the per-file bar.
    EraseBarArea(session.dialogWindow, IDC_FILE_BAR);
    UpdateWindow(session.dialogWindow);
}

const FileProgress kDialogFileProgress = {FileProgressWidth, FileProgressStep, FileProgressDone};
