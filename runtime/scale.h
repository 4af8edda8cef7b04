// value * numerator / denominator, rounded down, for value <= denominator:
// the product may need 64 bits, the quotient never more than 32. On i386 one
// multiply and one divide, as the 386 has them (a 64-bit division in C would
// call a compiler support routine).
#pragma once

#include <cstdint>

inline uint32_t ScaleDown(uint32_t value, uint32_t numerator, uint32_t denominator)
{
#if defined(__i386__)
    uint32_t quotient, remainder;
    __asm__("mull %%ecx\n\tdivl %%esi"
            : "=a"(quotient), "=&d"(remainder)
            : "a"(value), "c"(numerator), "S"(denominator)
            : "cc");
    return quotient;
#else
    return static_cast<uint32_t>(static_cast<uint64_t>(value) * numerator / denominator);
#endif
}
