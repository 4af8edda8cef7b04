#include "member_decoder.h"

// The ring and the code tree are fixed process-wide arrays, set up again for
// every member; the tree and the bit reader work in 16-bit units.

enum {
    LEAF_BASE = NODE_COUNT,                  // nodeChild values from here on are leaves
    RING_MASK = RING_SIZE - 1,
    SENTINELS = 4
};

// One record, so that a single base address reaches every table.
static struct {
    // Entry NODE_COUNT is the 0xFFFF sentinel that ends every upward search;
    // the copies after it let the search stride four entries at a time.
    uint16_t freq[NODE_COUNT + SENTINELS];
    uint16_t child[NODE_COUNT];
    uint16_t parent[NODE_COUNT + SYMBOL_COUNT]; // after the nodes: the leaf of each symbol
    uint8_t ring[RING_SIZE];
} decoderState;

static uint8_t (&ringBuffer)[RING_SIZE] = decoderState.ring;
static uint16_t (&nodeFreq)[NODE_COUNT + SENTINELS] = decoderState.freq;
static uint16_t (&nodeChild)[NODE_COUNT] = decoderState.child;
static uint16_t (&nodeParent)[NODE_COUNT + SYMBOL_COUNT] = decoderState.parent;

// Decode tables of the fixed prefix code of the upper six offset bits, indexed
// by the next eight bits of the stream. Values 0..63 take codes of 3 to 8 bits
// in increasing order; each value fills 2^(8 - length) consecutive entries.
// Filled when a member starts: the loop is smaller in the file than the tables.
static uint8_t offsetCodeTable[256];
static uint8_t offsetLengthTable[256];

static void InitOffsetTables()
{
    int entry = 0;
    for (int value = 0; value < 64; value++) {
        int length = value < 1 ? 3 : value < 4 ? 4 : value < 12 ? 5 : value < 24 ? 6 : value < 48 ? 7 : 8;
        for (int span = 1 << (8 - length); span > 0; span--, entry++) {
            offsetCodeTable[entry] = static_cast<uint8_t>(value);
            offsetLengthTable[entry] = static_cast<uint8_t>(length);
        }
    }
}

// The bit reader and the ring position live in registers while a member is
// decoded; nothing of them outlasts the member. bits holds the unread bits
// left-aligned at bit 31, then a single 1 bit that marks where they end,
// then zeros: the count of valid bits (0 to 31) is where that mark stands,
// and a shift drops the bits read without a separate count to keep.
struct BitReader {
    ByteStream* input;
    uint32_t bits;
};

enum : uint32_t {
    NO_BITS = 0x80000000u,   // the mark alone: no valid bits
    BYTE_BELOW_MARK = 0xFFu  // a mark in these bits: 24 or more valid bits
};

// Keeps 24 to 31 bits in hand, enough for any code of the tree and for a
// whole offset, so that reading them needs no test. The end of the input,
// or a read error, supplies zero bytes: the last symbols of a member need
// bits beyond its final byte.
static inline void RefillBits(BitReader& reader)
{
    while ((reader.bits & BYTE_BELOW_MARK) == 0) {
        int byte = StreamGetByte(reader.input);
        if (byte == STREAM_EOF)
            byte = 0;
        uint32_t mark = static_cast<uint32_t>(__builtin_ctz(reader.bits));
        reader.bits ^= (1u << mark) ^ (1u << (mark - 8));
        reader.bits |= static_cast<uint32_t>(byte) << (mark - 7);
    }
}

// One bit of those in hand.
static inline uint32_t TakeBit(BitReader& reader)
{
    // Doubling the buffer carries its top bit out: the bit read.
    return __builtin_add_overflow(reader.bits, reader.bits, &reader.bits);
}

static void InitCodeTree()
{
    for (int s = 0; s < SYMBOL_COUNT; s++) {
        nodeFreq[s] = 1;
        nodeChild[s] = static_cast<uint16_t>(LEAF_BASE + s);
        nodeParent[LEAF_BASE + s] = static_cast<uint16_t>(s);
    }
    int i = 0;
    for (int j = SYMBOL_COUNT; j < NODE_COUNT; j++, i += 2) {
        nodeFreq[j] = static_cast<uint16_t>(nodeFreq[i] + nodeFreq[i + 1]);
        nodeChild[j] = static_cast<uint16_t>(i);
        nodeParent[i] = nodeParent[i + 1] = static_cast<uint16_t>(j);
    }
    for (int i = NODE_COUNT; i < NODE_COUNT + SENTINELS; i++)
        nodeFreq[i] = 0xFFFF;
    nodeParent[ROOT_NODE] = 0;
}

// Halves every count (rounding up, so none drops to 0) and builds the tree
// again from the leaves, keeping the nodes in non-decreasing count order.
static void __attribute__((noinline)) RebuildCodeTree()
{
    int j = 0;
    for (int i = 0; i < NODE_COUNT; i++) {
        if (nodeChild[i] >= LEAF_BASE) {
            nodeFreq[j] = static_cast<uint16_t>((nodeFreq[i] + 1) / 2);
            nodeChild[j] = nodeChild[i];
            j++;
        }
    }
    int i = 0;
    for (j = SYMBOL_COUNT; j < NODE_COUNT; j++, i += 2) {
        uint16_t f = static_cast<uint16_t>(nodeFreq[i] + nodeFreq[i + 1]);
        int k = j - 1;
        while (f < nodeFreq[k])
            k--;
        k++;
        for (int m = j; m > k; m--) {
            nodeFreq[m] = nodeFreq[m - 1];
            nodeChild[m] = nodeChild[m - 1];
        }
        nodeFreq[k] = f;
        nodeChild[k] = static_cast<uint16_t>(i);
    }
    for (i = 0; i < NODE_COUNT; i++) {
        int k = nodeChild[i];
        if (k >= LEAF_BASE) {
            nodeParent[k] = static_cast<uint16_t>(i);
        } else {
            nodeParent[k] = nodeParent[k + 1] = static_cast<uint16_t>(i);
        }
    }
}

// Moves node n, whose count has just become k and now exceeds its right
// neighbour's, past every node with a smaller count: it exchanges places
// with the last of them, l, taking its children along. Returns l.
static inline uint32_t MoveNodeUp(uint32_t n, uint16_t k)
{
    // The counts are in order: when the fourth next is below k, so is every
    // count before it.
    uint32_t l = n + 1;
    while (k > nodeFreq[l + 4])
        l += 4;
    while (k > nodeFreq[l + 1])
        l++;
    nodeFreq[n] = nodeFreq[l];
    nodeFreq[l] = k;

    uint32_t i = nodeChild[n];
    nodeParent[i] = static_cast<uint16_t>(l);
    if (i < LEAF_BASE)
        nodeParent[i + 1] = static_cast<uint16_t>(l);

    uint32_t j = nodeChild[l];
    nodeChild[l] = static_cast<uint16_t>(i);
    nodeParent[j] = static_cast<uint16_t>(n);
    if (j < LEAF_BASE)
        nodeParent[j + 1] = static_cast<uint16_t>(n);
    nodeChild[n] = static_cast<uint16_t>(j);
    return l;
}

// Counts the symbol on its path to the root, moving each node that now
// outweighs its right neighbours past them so the counts stay ordered.
static inline void UpdateCodeTree(uint32_t leaf)   // LEAF_BASE + the symbol
{
    if (nodeFreq[ROOT_NODE] == MAX_FREQ)
        RebuildCodeTree();
    size_t n = nodeParent[leaf];   // as wide as an address: no widening per level
    do {
        uint16_t* freq = &nodeFreq[n];
        uint16_t k = static_cast<uint16_t>(freq[0] + 1);
        freq[0] = k;
        if (k > freq[1])
            n = MoveNodeUp(static_cast<uint32_t>(n), k);
        n = nodeParent[n];
    } while (n != 0);
}

// A code is at most 21 bits long. The tree is always a Huffman tree of the
// counts (every update keeps the nodes in count order with siblings side by
// side; a rebuild pairs the two smallest), every count is at least 1 and
// the root's at most MAX_FREQ, 32,768: a leaf at depth d needs a root count
// of at least the Fibonacci number F(d + 2), and F(24) is 46,368.
static inline int DecodeSymbol(BitReader& reader)
{
    RefillBits(reader);
    uint32_t n = nodeChild[ROOT_NODE];
    while (n < LEAF_BASE)
        n = nodeChild[n + TakeBit(reader)];
    UpdateCodeTree(n);
    return static_cast<int>(n - LEAF_BASE);
}

// Eight bits index the tables: a code of length L and the first 8 - L of
// the six lower bits; the other L - 2 follow. 14 bits at most.
static inline uint32_t DecodeOffset(BitReader& reader)
{
    RefillBits(reader);
    uint32_t b = reader.bits >> 24;
    reader.bits <<= 8;
    uint32_t upper = static_cast<uint32_t>(offsetCodeTable[b]) << 6;
    for (int n = offsetLengthTable[b] - 2; n > 0; n--)
        b = (b << 1) + TakeBit(reader);
    return upper | (b & 0x3F);
}

namespace {

uint32_t NoBar() { return 0; }
void NoStep(uint32_t, uint32_t) {}
void NoWipe() {}
const FileProgress kNoProgress = {NoBar, NoStep, NoWipe};
const FileProgress* fileProgress = &kNoProgress;

}  // namespace

void UseFileProgress(const FileProgress* progress)
{
    fileProgress = progress ? progress : &kNoProgress;
}

bool DecodeMember(ByteStream* input, ByteStream* output)
{
    // A size field cut short by the end of the input would otherwise read as
    // a size of nearly 4 GiB and decode zero bits until then.
    uint32_t size = 0;
    for (int i = 0; i < 4; i++) {
        int byte = StreamGetByte(input);
        if (byte == STREAM_EOF)
            return false;
        size |= static_cast<uint32_t>(byte) << (8 * i);
    }
    if (StreamError(input) || size == 0)
        return false;

    InitCodeTree();
    InitOffsetTables();
    // Spaces, then zeros where the first bytes will go: a damaged member that
    // reaches back past the spaces reads zeros, never what the member before
    // it left in the ring.
    for (int i = 0; i < RING_SIZE; i++)
        ringBuffer[i] = i < SPACE_FILLED ? ' ' : 0;

    const FileProgress* progress = fileProgress;
    uint32_t width = progress->width();
    if (width == 0)
        width = 1;
    uint32_t step = size / width;
    if (step == 0)
        step = 1;

    BitReader reader = {input, NO_BITS};
    uint32_t pos = SPACE_FILLED;   // the next write position in the ring, always masked
    bool written = true;
    uint32_t produced = 0;
    // Progress calls fall after the symbols that leave produced at a multiple
    // of step. Symbols are decoded in runs that stop at the next multiple (or
    // the size), so the run itself makes no calls and tests no remainders.
    uint64_t nextStep = step;
    while (produced < size && written) {
        uint32_t stop = nextStep < size ? static_cast<uint32_t>(nextStep) : size;
        do {
            int symbol = DecodeSymbol(reader);
            uint32_t count;
            if (symbol < 256) {
                if (StreamPutByte(symbol, output) == STREAM_EOF) {
                    written = false;
                    break;
                }
                ringBuffer[pos] = static_cast<uint8_t>(symbol);
                pos = (pos + 1) & RING_MASK;
                count = 1;
            } else {
                uint32_t from = (pos - DecodeOffset(reader) - 1) & RING_MASK;
                count = static_cast<uint32_t>(symbol - 256 + MIN_MATCH);
                // Byte by byte, as the copy may read what it has just written.
                // Where neither run reaches the ring's end, without masking.
                if (from + count <= RING_SIZE && pos + count <= RING_SIZE) {
                    const uint8_t* source = ringBuffer + from;
                    uint8_t* target = ringBuffer + pos;
                    for (uint32_t k = 0; k < count; k++) {
                        uint8_t byte = source[k];
                        if (StreamPutByte(byte, output) == STREAM_EOF) {
                            written = false;
                            break;
                        }
                        target[k] = byte;
                    }
                    pos = (pos + count) & RING_MASK;
                } else {
                    for (uint32_t k = 0; k < count; k++) {
                        uint8_t byte = ringBuffer[from];
                        from = (from + 1) & RING_MASK;
                        if (StreamPutByte(byte, output) == STREAM_EOF) {
                            written = false;
                            break;
                        }
                        ringBuffer[pos] = byte;
                        pos = (pos + 1) & RING_MASK;
                    }
                }
                if (!written)
                    break;
            }
            // A final match may run past the stated size; near 4 GiB the
            // count would wrap round and the loop would never end.
            uint32_t before = produced;
            produced += count;
            if (produced < before) {
                progress->done();
                return true;
            }
        } while (produced < stop);
        if (!written)
            break;
        uint32_t sinceStep = produced % step;
        if (sinceStep == 0)
            progress->step(produced, size);
        nextStep = static_cast<uint64_t>(produced - sinceStep) + step;
    }
    if (!written)
        return false;
    progress->done();
    return true;
}
