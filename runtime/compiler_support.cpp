// What the compiler itself calls: block copies, fills and compares that it
// emits for structure assignments, initialisers and recognised loops. Plain
// byte loops; the compiler is kept from turning them back into calls to
// themselves (this file is built without loop pattern recognition).
#include <cstddef>

extern "C" {

void* memcpy(void* to, const void* from, size_t count)
{
    unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    while (count--)
        *out++ = *in++;
    return to;
}

void* memmove(void* to, const void* from, size_t count)
{
    unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    if (out < in) {
        while (count--)
            *out++ = *in++;
    } else {
        while (count--)
            out[count] = in[count];
    }
    return to;
}

void* memset(void* to, int value, size_t count)
{
    unsigned char* out = static_cast<unsigned char*>(to);
    while (count--)
        *out++ = static_cast<unsigned char>(value);
    return to;
}

int memcmp(const void* a, const void* b, size_t count)
{
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (; count; count--, x++, y++)
        if (*x != *y)
            return *x < *y ? -1 : 1;
    return 0;
}

}  // extern "C"
