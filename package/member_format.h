// The compressed member's format, one definition for the decoder and the
// encoder: an LZSS stream over a history ring, literals and match lengths
// coded with an adaptive Huffman tree that both sides change in exact step.
#pragma once

enum {
    RING_SIZE = 4096,                               // history ring; offsets are taken modulo it
    MIN_MATCH = 3,                                  // shortest match
    MAX_MATCH = 60,                                 // longest match
    SPACE_FILLED = RING_SIZE - MAX_MATCH,           // ring positions holding spaces when a member starts
    SYMBOL_COUNT = 256 + MAX_MATCH - MIN_MATCH + 1, // literals, then match lengths: 314
    NODE_COUNT = 2 * SYMBOL_COUNT - 1,              // 627
    ROOT_NODE = NODE_COUNT - 1,                     // 626
    MAX_FREQ = 0x8000                               // root count at which the tree is rebuilt
};
