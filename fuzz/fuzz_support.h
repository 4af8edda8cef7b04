// Shared pieces of the fuzz targets: streams over the input bytes and a
// bounded output sink, so that a trusted stated size of up to 4 GiB ends
// through the decoder's own write-failure path instead of stalling a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Bytes a sink accepts before its writes fail.
enum { OUTPUT_LIMIT = 40 * 1024 };

// A read stream over the bytes (an empty stream for none).
FILE* InputStream(const uint8_t* data, size_t size);

// A buffered write stream that counts what reaches it and fails every write
// once more than OUTPUT_LIMIT bytes have reached it. *accepted counts the
// bytes it took; it must outlive the stream.
FILE* BoundedSink(size_t* accepted);

// Stops the run with a message when an expectation does not hold: libFuzzer
// keeps the input that did it.
#define FUZZ_EXPECT(condition)                                                             \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: expectation failed: %s\n", __FILE__, __LINE__, #condition); \
            __builtin_trap();                                                              \
        }                                                                                  \
    } while (0)
