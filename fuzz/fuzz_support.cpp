#include "fuzz_support.h"

#include <sys/types.h>

FILE* InputStream(const uint8_t* data, size_t size)
{
    // Opened for reading only: the bytes are never written through it.
    static const uint8_t none = 0;
    return fmemopen(const_cast<uint8_t*>(size ? data : &none), size, "rb");
}

static ssize_t SinkWrite(void* cookie, const char*, size_t size)
{
    size_t* accepted = static_cast<size_t*>(cookie);
    if (*accepted > OUTPUT_LIMIT)
        return 0;   // a failed write, as on a full disk
    *accepted += size;
    return static_cast<ssize_t>(size);
}

// Only tells the position (what was accepted): the checked decoder asks it.
static int SinkSeek(void* cookie, off64_t* offset, int whence)
{
    if (whence != SEEK_CUR || *offset != 0)
        return -1;
    *offset = static_cast<off64_t>(*static_cast<size_t*>(cookie));
    return 0;
}

FILE* BoundedSink(size_t* accepted)
{
    *accepted = 0;
    cookie_io_functions_t functions = {};
    functions.write = SinkWrite;
    functions.seek = SinkSeek;
    return fopencookie(accepted, "wb", functions);
}
