// A 32-bit digest of a file's contents, taken as its bytes are written and
// again when the file is read back: it tells whether a file is still the
// one that was written. Not a guard against anyone forging a file: a check
// that a program or a person has not changed it since.
//
// The bytes are taken four at a time (a multiply per word, cheap on a 386);
// every part but the last must therefore hold a multiple of four bytes,
// which the streams' buffers do.
#pragma once

#include <cstdint>

enum : uint32_t { DIGEST_START = 0x811C9DC5u };

inline uint32_t DigestBytes(uint32_t digest, const uint8_t* bytes, uint32_t count)
{
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        uint32_t word = bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) | (static_cast<uint32_t>(bytes[i + 3]) << 24);
        digest = (digest ^ word) * 0x01000193u;
    }
    for (; i < count; i++)
        digest = (digest ^ bytes[i]) * 0x01000193u;
    return digest;
}

// The digest of a file of length bytes whose parts went through DigestBytes.
inline uint32_t DigestEnd(uint32_t digest, uint32_t length)
{
    return (digest ^ length) * 0x01000193u;
}
