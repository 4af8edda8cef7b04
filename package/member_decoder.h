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

// Per-file progress, supplied by the program that links the decoder: the
// installer paints its per-file bar, vexapack reports or stays silent.
uint32_t FileProgressWidth();                              // pixels of the bar; 0 when there is none
void FileProgressStep(uint32_t produced, uint32_t size);   // a progress step has passed
void FileProgressDone();                                   // the member is complete: wipe the bar
