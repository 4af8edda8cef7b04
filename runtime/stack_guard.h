// The stack protector's guard value, which protected functions put below
// their locals, and the routine they call when they find it overwritten.
#pragma once

#include <cstdint>

extern "C" uintptr_t __stack_chk_guard;

// Gives the guard a value of this process. Called once at start-up, before
// any protected function is active, and never from one.
void SeedStackGuard();
