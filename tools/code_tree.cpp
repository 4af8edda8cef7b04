#include "code_tree.h"

namespace codec {

void CodeTree::Init()
{
    for (int s = 0; s < SYMBOL_COUNT; s++) {
        freq[s] = 1;
        child[s] = static_cast<uint16_t>(NODE_COUNT + s);
        parent[NODE_COUNT + s] = static_cast<uint16_t>(s);
    }
    for (int i = 0, j = SYMBOL_COUNT; j < NODE_COUNT; j++, i += 2) {
        freq[j] = static_cast<uint16_t>(freq[i] + freq[i + 1]);
        child[j] = static_cast<uint16_t>(i);
        parent[i] = parent[i + 1] = static_cast<uint16_t>(j);
    }
    freq[NODE_COUNT] = 0xFFFF;
    parent[ROOT_NODE] = 0;
}

void CodeTree::Rebuild()
{
    int j = 0;
    for (int i = 0; i < NODE_COUNT; i++) {
        if (child[i] >= NODE_COUNT) {
            freq[j] = static_cast<uint16_t>((freq[i] + 1) / 2);
            child[j] = child[i];
            j++;
        }
    }
    for (int i = 0, n = SYMBOL_COUNT; n < NODE_COUNT; n++, i += 2) {
        uint16_t f = static_cast<uint16_t>(freq[i] + freq[i + 1]);
        int k = n - 1;
        while (f < freq[k])
            k--;
        k++;
        for (int m = n; m > k; m--) {
            freq[m] = freq[m - 1];
            child[m] = child[m - 1];
        }
        freq[k] = f;
        child[k] = static_cast<uint16_t>(i);
    }
    for (int i = 0; i < NODE_COUNT; i++) {
        int k = child[i];
        parent[k] = static_cast<uint16_t>(i);
        if (k < NODE_COUNT)
            parent[k + 1] = static_cast<uint16_t>(i);
    }
}

void CodeTree::Update(int symbol)
{
    if (freq[ROOT_NODE] == MAX_FREQ)
        Rebuild();
    int n = parent[NODE_COUNT + symbol];
    do {
        uint16_t count = ++freq[n];
        if (count > freq[n + 1]) {
            int l = n + 1;
            while (count > freq[l + 1])
                l++;
            freq[n] = freq[l];
            freq[l] = count;
            int i = child[n];
            int j = child[l];
            child[l] = static_cast<uint16_t>(i);
            child[n] = static_cast<uint16_t>(j);
            parent[i] = static_cast<uint16_t>(l);
            if (i < NODE_COUNT)
                parent[i + 1] = static_cast<uint16_t>(l);
            parent[j] = static_cast<uint16_t>(n);
            if (j < NODE_COUNT)
                parent[j + 1] = static_cast<uint16_t>(n);
            n = l;
        }
        n = parent[n];
    } while (n != 0);
}

int CodeTree::Code(int symbol, uint8_t* path) const
{
    // Walk from the leaf up, then reverse: the decoder walks down from the root.
    uint8_t reversed[NODE_COUNT];
    int length = 0;
    for (int n = parent[NODE_COUNT + symbol]; n != ROOT_NODE; n = parent[n])
        reversed[length++] = static_cast<uint8_t>(n - child[parent[n]]);
    for (int i = 0; i < length; i++)
        path[i] = reversed[length - 1 - i];
    return length;
}

void CodeTree::Emit(BitWriter& out, int symbol)
{
    // Collected from the leaf up, so the root's choice lands in the highest bit.
    uint64_t code = 0;
    int length = 0;
    for (int n = parent[NODE_COUNT + symbol]; n != ROOT_NODE; n = parent[n]) {
        if (length == 64) {
            // Deeper than any count below the rebuild limit allows; kept correct anyway.
            uint8_t path[NODE_COUNT];
            length = Code(symbol, path);
            for (int i = 0; i < length; i++)
                out.Put(path[i], 1);
            Update(symbol);
            return;
        }
        code |= static_cast<uint64_t>(n - child[parent[n]]) << length;
        length++;
    }
    out.Put(code, length);
    Update(symbol);
}

void CodeTree::CodeLengths(uint8_t (&lengths)[SYMBOL_COUNT]) const
{
    // A parent always outweighs each child (the sibling's count is at least
    // 1), so it sits at a higher index: one pass from the root down.
    uint8_t depth[NODE_COUNT];
    depth[ROOT_NODE] = 0;
    for (int n = ROOT_NODE; n >= 0; n--) {
        int c = child[n];
        uint8_t below = static_cast<uint8_t>(depth[n] < 255 ? depth[n] + 1 : 255);
        if (c >= NODE_COUNT) {
            lengths[c - NODE_COUNT] = depth[n];
        } else {
            depth[c] = below;
            depth[c + 1] = below;
        }
    }
}

// Value 0 has a 3-bit code, 1..3 4 bits, 4..11 5 bits, 12..23 6 bits, 24..47
// 7 bits and 48..63 8 bits; codes are assigned in increasing value order.
int OffsetCodeLength(int upper)
{
    return upper < 1 ? 3 : upper < 4 ? 4 : upper < 12 ? 5 : upper < 24 ? 6 : upper < 48 ? 7 : 8;
}

uint32_t OffsetCode(int upper)
{
    // Canonical code: count the 8-bit prefixes taken by the smaller values.
    uint32_t first = 0;
    for (int v = 0; v < upper; v++)
        first += 1u << (8 - OffsetCodeLength(v));
    return first >> (8 - OffsetCodeLength(upper));
}

void EmitOffset(BitWriter& out, int offset)
{
    static struct Table {
        uint32_t code[64];
        int length[64];
        Table()
        {
            for (int v = 0; v < 64; v++) {
                code[v] = OffsetCode(v);
                length[v] = OffsetCodeLength(v);
            }
        }
    } table;
    int upper = offset >> 6;
    out.Put(table.code[upper], table.length[upper]);
    out.Put(static_cast<uint32_t>(offset & 0x3F), 6);
}

} // namespace codec
