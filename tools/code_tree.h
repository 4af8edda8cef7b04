// The adaptive code of literals and match lengths, as the encoder keeps it,
// and the bit writer. The tree must change in exact step with the decoder's:
// same initial shape, same node exchange, same rebuild at the same moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "member_format.h"

namespace codec {


// Most significant bit first, as the decoder reads.
struct BitWriter {
    std::vector<uint8_t> bytes;
    uint64_t bitCount = 0;

    // The low count bits of bits (count up to 64), the highest first.
    void Put(uint64_t bits, int count)
    {
        while (count > 0) {
            int used = static_cast<int>(bitCount % 8);
            if (used == 0)
                bytes.push_back(0);
            int take = count < 8 - used ? count : 8 - used;
            uint32_t chunk = static_cast<uint32_t>(bits >> (count - take)) & ((1u << take) - 1);
            bytes.back() |= static_cast<uint8_t>(chunk << (8 - used - take));
            bitCount += static_cast<uint64_t>(take);
            count -= take;
        }
    }
};

struct CodeTree {
    uint16_t freq[NODE_COUNT + 1];
    uint16_t child[NODE_COUNT];
    uint16_t parent[NODE_COUNT + SYMBOL_COUNT];

    void Init();
    void Rebuild();
    void Update(int symbol);
    // The symbol's code with the tree as it stands (root first): length in
    // bits, written to path[0..length).
    int Code(int symbol, uint8_t* path) const;
    // Writes the symbol's code, then counts it, exactly as the decoder does.
    void Emit(BitWriter& out, int symbol);
    // The code length in bits of every symbol with the tree as it stands.
    void CodeLengths(uint8_t (&lengths)[SYMBOL_COUNT]) const;
};

// The fixed prefix code of the upper six offset bits.
int OffsetCodeLength(int upper);
uint32_t OffsetCode(int upper);
// Offset 0..4095 (distance 1..4096): code of its upper six bits, then six plain bits.
void EmitOffset(BitWriter& out, int offset);

} // namespace codec
