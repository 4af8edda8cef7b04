// The stack protector's guard and failure routine, seeded from what every
// processor and every Windows since the first 32-bit ones have: the tick
// count, the process and thread identifiers, the system time and the
// performance counter where there is one, and the addresses of the stack
// and of the image, which differ from run to run under ASLR.
#include "stack_guard.h"

#include <windows.h>

extern "C" {

// Never zero: a guard of 0 would be restored by any string terminator.
uintptr_t __stack_chk_guard = 0x2B992DDF;

// The stack is not to be trusted any more: end the process at once, running
// none of its code. The fast-fail interrupt does so with the status Windows
// reports for an overrun stack buffer; where it is unknown, the trap that
// follows ends the process as a crash.
__attribute__((noreturn)) void __stack_chk_fail(void)
{
    __asm__ volatile("int $0x29" : : "c"(2));   // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
    __builtin_trap();
}

}  // extern "C"

__attribute__((no_stack_protector)) void SeedStackGuard()
{
    uintptr_t local = 0;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    counter.LowPart = 0;
    counter.HighPart = 0;
    QueryPerformanceCounter(&counter);   // false, and counter untouched, where there is none

    uintptr_t seed = GetTickCount();
    seed ^= static_cast<uintptr_t>(GetCurrentProcessId()) << 16;
    seed ^= GetCurrentThreadId();
    seed ^= now.dwLowDateTime ^ now.dwHighDateTime;
    seed ^= counter.LowPart ^ static_cast<uintptr_t>(counter.HighPart);
    seed ^= reinterpret_cast<uintptr_t>(&local) << 12;
    seed ^= reinterpret_cast<uintptr_t>(&__stack_chk_guard);
    seed *= 0x9E3779B1u;
    if (seed != 0)
        __stack_chk_guard = seed;
}
