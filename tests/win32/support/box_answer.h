// How a test answers the installer's next message box: the next queued
// answer, else OK where the box has it, else No.
#pragma once

#include <windows.h>

#include <vector>

inline int TakeAnswer(HWND box, std::vector<int>& answers)
{
    if (answers.empty())
        return GetDlgItem(box, IDOK) ? IDOK : IDNO;
    int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}
