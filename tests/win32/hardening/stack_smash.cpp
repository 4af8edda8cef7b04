// A program built the way the installer's code is, with stack canaries and
// the installer's guard: "guard" prints the guard value, "smash" overruns a
// stack buffer and should never get to say it returned.
#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" uintptr_t __stack_chk_guard;

namespace {

volatile size_t overrunLength = 64;

__attribute__((noinline)) void CopyIntoSmallBuffer(const char* text, size_t length)
{
    char buffer[8];
    std::memcpy(buffer, text, length);
    __asm__ volatile("" : : "r"(buffer) : "memory");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "guard") == 0) {
        std::printf("%08llx\n", static_cast<unsigned long long>(__stack_chk_guard));
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "smash") == 0) {
        char text[64];
        std::memset(text, 'x', sizeof text);
        CopyIntoSmallBuffer(text, overrunLength);
        std::printf("returned\n");
        return 0;
    }
    return 2;
}
