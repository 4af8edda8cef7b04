// Helpers shared by the codec tests on Linux and on Windows: scratch
// streams, decoding through the real FILE* interface, recorded progress
// calls and the sample data shapes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "byte_stream.h"

using Bytes = std::vector<uint8_t>;

// A read-write binary stream on a scratch file that disappears when closed.
FILE* ScratchStream();
FILE* StreamHolding(const Bytes& bytes); // positioned at its start
Bytes StreamContents(FILE* stream);      // from its start
// A new file with a unique name in the temporary directory; its path.
std::string ScratchFileHolding(const Bytes& bytes);

// Streams as the decoder takes them (the C library's on the host, the
// runtime's own in the Windows build), on scratch files of their own.
ByteStream* DecoderInputHolding(const Bytes& bytes);   // positioned at its start
ByteStream* DecoderReadOnlyStream();                   // open for reading only
void CloseDecoderStream(ByteStream* stream);

struct DecodeOutcome {
    bool ok;
    Bytes output;
};
DecodeOutcome DecodeBytes(const Bytes& member);

// The progress hooks of the test programs record what the decoder reports.
struct ProgressLog {
    uint32_t width = 400;                  // the bar's width the decoder is given
    std::vector<uint32_t> steps;           // produced counts of each progress step
    std::vector<uint32_t> sizes;           // size passed with each
    int done = 0;                          // members reported complete
    void Clear() { steps.clear(); sizes.clear(); done = 0; }
};
extern ProgressLog progressLog;

// Deterministic sample data.
Bytes RandomBytes(size_t size, uint32_t seed);
Bytes EnglishLikeText(size_t size, uint32_t seed);
Bytes RunOf(size_t size, uint8_t value);
// Segments of text, random bytes, zero runs, repeated blocks at distances
// near the ring size and structured records, like an executable's image.
Bytes MixedBinary(size_t size, uint32_t seed);

struct Shape {
    const char* name;
    Bytes data;
};
// The round-trip shapes: 1 byte, short inputs, runs, random bytes, text,
// data with repeats at the edge of the window, and a binary over 1 MB.
std::vector<Shape> RoundTripShapes();

std::string Hex(const Bytes& bytes);
Bytes FromHex(const std::string& hex);
