// Answers the real message boxes of the code under test, from outside it:
// a thread-local CBT hook sees each box as it is activated, records its
// caption, text, buttons and icon, and presses the scripted button.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "box_answer.h"

struct RecordedBox {
    std::string caption;
    std::string text;
    UINT buttons;   // MB_OK, MB_YESNO, ... as far as the box's buttons tell
    UINT icon;      // MB_ICONERROR, MB_ICONQUESTION, MB_ICONINFORMATION, or 0
    int answer;     // the button the script pressed
    HWND owner;
};

class MessageBoxScript {
public:
    MessageBoxScript();
    ~MessageBoxScript();
    MessageBoxScript(const MessageBoxScript&) = delete;
    MessageBoxScript& operator=(const MessageBoxScript&) = delete;

    // Queue the answers, in order, for the next boxes. A box met with an
    // empty queue is answered IDOK when it has OK, else IDNO.
    void Answer(int button) { answers_.push_back(button); }
    // Runs while a box is open, before it is answered.
    void OnShow(std::function<void(HWND box, const RecordedBox&)> f) { onShow_ = std::move(f); }

    const std::vector<RecordedBox>& Boxes() const { return boxes_; }
    void Clear() { boxes_.clear(); answers_.clear(); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    void Handle(HWND box);

    HHOOK hook_;
    HWND answered_ = nullptr;
    std::vector<int> answers_;
    std::vector<RecordedBox> boxes_;
    std::function<void(HWND, const RecordedBox&)> onShow_;
};

// True for the message boxes of the installer: their captions start with
// "Vexa Installation" or are "System Error".
bool IsInstallerMessageBox(HWND window);
