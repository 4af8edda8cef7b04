// Run-time hooks of the Windows build, kept small on purpose.
//
// The stack protector's guard value, which protected functions put below
// their locals, and the routine they call when they find it overwritten:
// here rather than from the compiler's support library, which would add a
// cryptography DLL import and console error reporting.
//
// The C library's math error hook: the installer does no floating-point
// math, and the start-up code's default hook would bring its console
// messages along.
#include <cstdint>

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

struct _exception;

// Not handled here: the C library's usual treatment applies.
int __cdecl _matherr(struct _exception*)
{
    return 0;
}

}  // extern "C"

namespace {

// Runs before WinMain, while no protected function is active. The time stamp
// counter differs from run to run, and under ASLR so do the addresses of the
// stack and of the image.
__attribute__((constructor, no_stack_protector)) void SeedStackGuard()
{
    uintptr_t local = 0;
    uint64_t ticks = __builtin_ia32_rdtsc();
    uintptr_t seed = static_cast<uintptr_t>(ticks) ^ static_cast<uintptr_t>(ticks >> 32);
    seed ^= reinterpret_cast<uintptr_t>(&local) << 12;
    seed ^= reinterpret_cast<uintptr_t>(&__stack_chk_guard);
    seed *= 0x9E3779B1u;
    if (seed != 0)
        __stack_chk_guard = seed;
}

}  // namespace
