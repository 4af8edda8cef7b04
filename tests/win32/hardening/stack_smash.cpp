// A program that starts and is built the way the installer is, through the
// runtime's entry point, with stack canaries and the runtime's guard:
// "guard" prints the guard value, "smash" overruns a stack buffer and should
// never get to say it returned.
#include <windows.h>

#include <cstdint>

#include "stack_guard.h"
#include "text.h"

namespace {

volatile size_t overrunLength = 64;

__attribute__((noinline)) void CopyIntoSmallBuffer(const char* text, size_t length)
{
    char buffer[8];
    for (size_t i = 0; i < length; i++)
        buffer[i] = text[i];
    __asm__ volatile("" : : "r"(buffer) : "memory");
}

void Print(const char* text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(TextLength(text)), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // The runtime hands WinMain no arguments: they are read here.
    const char* arguments = GetCommandLineA();
    if (const char* last = FindText(arguments, "\" "))
        arguments = last + 2;
    if (SameText(arguments, "guard")) {
        char line[32];
        uint64_t guard = __stack_chk_guard;
        wsprintfA(line, "%08lx%08lx\n", static_cast<unsigned long>(guard >> 32), static_cast<unsigned long>(guard));
        Print(sizeof __stack_chk_guard == 4 ? line + 8 : line);
        return 0;
    }
    if (SameText(arguments, "smash")) {
        char text[64];
        for (char& c : text)
            c = 'x';
        CopyIntoSmallBuffer(text, overrunLength);
        Print("returned\n");
        return 0;
    }
    return 2;
}
