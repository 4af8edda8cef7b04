// Decoder of one package member: a four-byte little-endian decoded size,
// then an LZSS bit stream whose literals and match lengths are coded with an
// adaptive Huffman tree and whose offsets use a fixed prefix code.
#pragma once

#include <cstdint>

#include "byte_stream.h"
#include "member_format.h"

// Decodes one member from input (positioned at its size field) to output.
// True when the stated size has been reached. Neither opens nor closes the
// streams.
bool DecodeMember(ByteStream* input, ByteStream* output);

// Per-file progress, as the program that runs the decoder shows it: the
// installer through its report (the dialog's per-file bar), a host tool or
// test as it likes.
struct FileProgress {
    uint32_t (*width)();                              // pixels of the bar; 0 when there is none
    void (*step)(uint32_t produced, uint32_t size);   // a progress step has passed
    void (*done)();                                   // the member is complete: wipe the bar
};

// The progress the next members report to; null: none.
void UseFileProgress(const FileProgress* progress);
