#include "member_encoder.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "code_tree.h"

using namespace codec;

const uint8_t kPackageMarker[4] = {'A', 'R', 'N', 'I'};

namespace {

enum {
    HASH_BITS = 15,
    HASH_SIZE = 1 << HASH_BITS,
    CHAIN_SLOTS = 2 * RING_SIZE, // a chain link outlives the window it can be used in
    MAX_ATTEMPTS = 256,     // re-encodings tried to steer the stream off the marker
    // The priced parse: how far it looks along a hash chain (and then along
    // the chain of positions sharing eight bytes), how many positions it
    // plans at once with one set of code lengths, and the match length it
    // takes at once without weighing alternatives.
    PRICED_CHAIN = 192,
    PRICED_DEEP_CHAIN = 256,
    PRICED_BLOCK = 8192,
    PRICE_REFRESH = 512,
    NICE_LENGTH = MAX_MATCH
};

constexpr size_t NONE = SIZE_MAX;

struct SymbolRecord {
    uint64_t firstBit; // where the symbol's code starts in the bit stream
    size_t position;   // input position it encodes
    int length;        // 1 for a literal, else the match length
};

// Parse positions where the encoder must not take a match longer than the
// given length (below MIN_MATCH: a literal).
using ParseLimits = std::map<size_t, int>;

struct MatchCandidate {
    int length;
    int offset;
};

// Finds matches over the data preceded by the spaces the decoder's ring holds
// when a member starts, so the first bytes can refer back into them.
class MatchFinder {
public:
    MatchFinder(const uint8_t* data, size_t size)
        : text_(SPACE_FILLED + size, ' '), head_(HASH_SIZE, NONE), chain_(CHAIN_SLOTS, NONE)
    {
        std::memcpy(text_.data() + SPACE_FILLED, data, size);
        // Space runs deeper in the ring add nothing the last MAX_MATCH + 1 of
        // them do not already offer, at a shorter distance.
        for (size_t p = SPACE_FILLED - MAX_MATCH - 1; p < SPACE_FILLED && p + MIN_MATCH <= text_.size(); p++)
            Insert(p);
    }

    // Longest match at input position pos, at most maxLength bytes; length
    // below MIN_MATCH when there is none. offset = distance - 1.
    int Find(size_t pos, int maxLength, int& offset) const
    {
        size_t at = SPACE_FILLED + pos;
        int best = 0;
        if (maxLength < MIN_MATCH)
            return best;
        const uint8_t* current = text_.data() + at;
        for (size_t candidate = head_[Hash(at)]; candidate != NONE && at - candidate <= RING_SIZE;
             candidate = chain_[candidate % CHAIN_SLOTS]) {
            const uint8_t* earlier = text_.data() + candidate;
            if (earlier[best] != current[best] || earlier[0] != current[0])
                continue;
            int length = 0;
            while (length < maxLength && earlier[length] == current[length])
                length++;
            if (length > best) {
                best = length;
                offset = static_cast<int>(at - candidate - 1);
                if (best == maxLength)
                    break;
            }
        }
        return best;
    }

    void InsertInput(size_t pos)
    {
        if (SPACE_FILLED + pos + MIN_MATCH <= text_.size())
            Insert(SPACE_FILLED + pos);
    }

private:
    uint32_t Hash(size_t at) const
    {
        uint32_t key = text_[at] | (text_[at + 1] << 8) | (text_[at + 2] << 16);
        return (key * 2654435761u) >> (32 - HASH_BITS);
    }

    void Insert(size_t at)
    {
        uint32_t h = Hash(at);
        chain_[at % CHAIN_SLOTS] = head_[h];
        head_[h] = at;
    }

    std::vector<uint8_t> text_;
    std::vector<size_t> head_;
    std::vector<size_t> chain_;
};

// Eight bytes at a time; both texts must have eight bytes of slack at limit.
int CommonLength(const uint8_t* a, const uint8_t* b, int limit)
{
    int length = 0;
    while (length < limit) {
        uint64_t x, y;
        std::memcpy(&x, a + length, sizeof x);
        std::memcpy(&y, b + length, sizeof y);
        uint64_t differ = x ^ y;
        if (differ != 0) {
            length += __builtin_ctzll(differ) / 8;
            break;
        }
        length += 8;
    }
    return length < limit ? length : limit;
}

// The match finder of the priced parse. A three-byte match is worth little
// unless it is near, so the nearest one is kept in a table of its own; the
// chains link positions that share four bytes, which keeps them short enough
// to follow for the longer matches. In data full of repeated four-byte
// groups (padding, tables in programs) those chains outrun their limit long
// before the window ends; the search then goes on along the sparser chain of
// positions that share eight bytes, where the longer matches lie.
class PricedMatchFinder {
public:
    PricedMatchFinder(const uint8_t* data, size_t size)
        : text_(SPACE_FILLED + size + sizeof(uint64_t), ' '), size_(SPACE_FILLED + size),
          nearest3_(HASH_SIZE, NONE), head4_(HASH_SIZE, NONE), chain4_(CHAIN_SLOTS, NONE), head8_(HASH_SIZE, NONE),
          chain8_(CHAIN_SLOTS, NONE)
    {
        std::memcpy(text_.data() + SPACE_FILLED, data, size);
        for (size_t p = SPACE_FILLED - MAX_MATCH - 1; p < SPACE_FILLED && p + MIN_MATCH <= size_; p++)
            Insert(p);
    }

    // The matches at pos worth pricing: each longer than the one before, at
    // the nearest distance found for it, following at most chainLimit links.
    // Returns how many were written to found (at most MAX_MATCH).
    int FindAll(size_t pos, int maxLength, int chainLimit, int deepLimit, MatchCandidate* found) const
    {
        size_t at = SPACE_FILLED + pos;
        int count = 0;
        if (maxLength < MIN_MATCH)
            return count;
        const uint8_t* current = text_.data() + at;
        int best = MIN_MATCH - 1;
        size_t near = nearest3_[Hash3(at)];
        if (near != NONE && near < at && at - near <= RING_SIZE) {
            int length = CommonLength(text_.data() + near, current, maxLength);
            if (length >= MIN_MATCH) {
                best = length;
                found[count++] = {length, static_cast<int>(at - near - 1)};
                if (best == maxLength)
                    return count;
            }
        }
        if (maxLength < 4)
            return count;
        size_t candidate = head4_[Hash4(at)];
        // Positions at or after pos are already in the chains when a plan is
        // made again over its own tail.
        while (candidate != NONE && candidate >= at)
            candidate = chain4_[candidate % CHAIN_SLOTS];
        for (; candidate != NONE && at - candidate <= RING_SIZE && chainLimit > 0;
             candidate = chain4_[candidate % CHAIN_SLOTS], chainLimit--) {
            const uint8_t* earlier = text_.data() + candidate;
            if (earlier[best] != current[best])
                continue;
            int length = CommonLength(earlier, current, maxLength);
            if (length > best) {
                best = length;
                found[count++] = {length, static_cast<int>(at - candidate - 1)};
                if (best == maxLength)
                    return count;
            }
        }
        if (chainLimit > 0 || candidate == NONE || at - candidate > RING_SIZE || maxLength < 8)
            return count;
        // Every position nearer than the one the four-byte chain stopped at
        // has been seen, so only farther ones, each longer than the best, count.
        size_t stoppedAt = candidate;
        candidate = head8_[Hash8(at)];
        while (candidate != NONE && candidate > stoppedAt)
            candidate = chain8_[candidate % CHAIN_SLOTS];
        for (; candidate != NONE && at - candidate <= RING_SIZE && deepLimit > 0;
             candidate = chain8_[candidate % CHAIN_SLOTS], deepLimit--) {
            const uint8_t* earlier = text_.data() + candidate;
            if (earlier[best] != current[best])
                continue;
            int length = CommonLength(earlier, current, maxLength);
            if (length > best) {
                best = length;
                found[count++] = {length, static_cast<int>(at - candidate - 1)};
                if (best == maxLength)
                    break;
            }
        }
        return count;
    }

    void InsertInput(size_t pos) { Insert(SPACE_FILLED + pos); }

private:
    uint32_t Hash3(size_t at) const
    {
        uint32_t key = text_[at] | (text_[at + 1] << 8) | (text_[at + 2] << 16);
        return (key * 2654435761u) >> (32 - HASH_BITS);
    }

    uint32_t Hash4(size_t at) const
    {
        uint32_t key;
        std::memcpy(&key, text_.data() + at, sizeof key);
        return (key * 2654435761u) >> (32 - HASH_BITS);
    }

    uint32_t Hash8(size_t at) const
    {
        uint64_t key;
        std::memcpy(&key, text_.data() + at, sizeof key);
        return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - HASH_BITS));
    }

    void Insert(size_t at)
    {
        if (at + MIN_MATCH <= size_)
            nearest3_[Hash3(at)] = at;
        if (at + 8 <= size_) {
            uint32_t h = Hash8(at);
            chain8_[at % CHAIN_SLOTS] = head8_[h];
            head8_[h] = at;
        }
        if (at + 4 <= size_) {
            uint32_t h = Hash4(at);
            chain4_[at % CHAIN_SLOTS] = head4_[h];
            head4_[h] = at;
        }
    }

    std::vector<uint8_t> text_;
    size_t size_; // the spaces and the data, without the slack
    std::vector<size_t> nearest3_;
    std::vector<size_t> head4_;
    std::vector<size_t> chain4_;
    std::vector<size_t> head8_;
    std::vector<size_t> chain8_;
};

// Writes symbols through the adaptive tree and keeps, on request, where each
// one starts in the bit stream.
struct SymbolWriter {
    CodeTree tree;
    BitWriter out;
    std::vector<SymbolRecord>* symbols;

    explicit SymbolWriter(std::vector<SymbolRecord>* records) : symbols(records) { tree.Init(); }

    void Literal(size_t pos, uint8_t byte)
    {
        if (symbols)
            symbols->push_back({out.bitCount, pos, 1});
        tree.Emit(out, byte);
    }

    void Match(size_t pos, int length, int offset)
    {
        if (symbols)
            symbols->push_back({out.bitCount, pos, length});
        tree.Emit(out, 256 + length - MIN_MATCH);
        EmitOffset(out, offset);
    }
};

// The longest match the parse may take at pos, by the data's end and the limits.
class LengthCap {
public:
    LengthCap(size_t size, const ParseLimits& limits) : size_(size), limits_(limits) {}

    // Any order: the priced parse plans the end of each block again.
    int At(size_t pos) const
    {
        int cap = static_cast<int>(std::min<size_t>(MAX_MATCH, size_ - pos));
        if (!limits_.empty()) {
            auto limit = limits_.find(pos);
            if (limit != limits_.end())
                cap = std::min(cap, limit->second);
        }
        return cap;
    }

private:
    size_t size_;
    const ParseLimits& limits_;
};

// Greedy parse: the longest match at each position, else a literal.
BitWriter EncodeGreedy(const uint8_t* data, size_t size, const ParseLimits& limits,
                       std::vector<SymbolRecord>* symbols)
{
    MatchFinder finder(data, size);
    SymbolWriter writer(symbols);
    LengthCap cap(size, limits);
    size_t pos = 0;
    while (pos < size) {
        int offset = 0;
        int length = finder.Find(pos, cap.At(pos), offset);
        if (length >= MIN_MATCH) {
            writer.Match(pos, length, offset);
        } else {
            length = 1;
            writer.Literal(pos, data[pos]);
        }
        for (int k = 0; k < length; k++)
            finder.InsertInput(pos + k);
        pos += static_cast<size_t>(length);
    }
    return writer.out;
}

// Priced parse: plans a block of positions at a time for the fewest bits,
// pricing literals and match lengths with the code lengths the adaptive tree
// has at the block's start and offsets with their fixed code. The plan
// reaches MAX_MATCH past the block, so the symbols written, those that start
// in the block, may end beyond it. A match of NICE_LENGTH is taken at once
// and ends the block early.
BitWriter EncodePriced(const uint8_t* data, size_t size, const ParseLimits& limits,
                       std::vector<SymbolRecord>* symbols)
{
    struct Step {
        uint32_t bits;   // cheapest known cost of reaching this position from the block's start
        uint16_t length; // of the symbol that reaches it: 1 a literal, else a match
        uint16_t offset;
    };
    const uint32_t UNREACHED = UINT32_MAX;

    uint8_t offsetBits[64];
    for (int upper = 0; upper < 64; upper++)
        offsetBits[upper] = static_cast<uint8_t>(OffsetCodeLength(upper) + 6);

    PricedMatchFinder finder(data, size);
    SymbolWriter writer(symbols);
    LengthCap cap(size, limits);
    std::vector<Step> plan(PRICED_BLOCK + MAX_MATCH + 1);
    std::vector<Step> path;
    std::vector<uint32_t> firstMatch; // per planned position, its first entry in matches
    std::vector<MatchCandidate> matches;
    MatchCandidate found[MAX_MATCH];
    uint8_t codeBits[SYMBOL_COUNT];
    size_t pricedAt = 0;
    bool priced = false;

    size_t blockStart = 0;
    size_t inserted = 0; // positions below this are in the hash chains
    while (blockStart < size) {
        size_t blockLength = std::min<size_t>(PRICED_BLOCK, size - blockStart);
        size_t planLength = std::min<size_t>(blockLength + MAX_MATCH, size - blockStart);

        // The matches at every planned position, up to one of NICE_LENGTH.
        size_t end = planLength; // where the planned symbols stop
        MatchCandidate nice = {0, 0};
        firstMatch.clear();
        matches.clear();
        for (size_t i = 0; i < planLength; i++) {
            size_t pos = blockStart + i;
            int maxLength = std::min<int>(cap.At(pos), static_cast<int>(planLength - i));
            int count = finder.FindAll(pos, maxLength, PRICED_CHAIN, PRICED_DEEP_CHAIN, found);
            if (pos >= inserted) {
                finder.InsertInput(pos);
                inserted = pos + 1;
            }
            if (i < blockLength && count > 0 && found[count - 1].length >= NICE_LENGTH) {
                end = i;
                nice = found[count - 1];
                break;
            }
            firstMatch.push_back(static_cast<uint32_t>(matches.size()));
            matches.insert(matches.end(), found, found + count);
        }
        firstMatch.push_back(static_cast<uint32_t>(matches.size()));

        // Blocks cut short by long matches share the code lengths for a while.
        if (!priced || blockStart - pricedAt >= PRICE_REFRESH) {
            writer.tree.CodeLengths(codeBits);
            pricedAt = blockStart;
            priced = true;
        }

        plan[0].bits = 0;
        for (size_t i = 1; i <= end; i++)
            plan[i].bits = UNREACHED;
        for (size_t i = 0; i < end; i++) {
            uint32_t here = plan[i].bits;
            uint32_t literal = here + codeBits[data[blockStart + i]];
            if (literal < plan[i + 1].bits)
                plan[i + 1] = {literal, 1, 0};
            int length = MIN_MATCH;
            for (uint32_t c = firstMatch[i]; c < firstMatch[i + 1]; c++) {
                const MatchCandidate& match = matches[c];
                uint32_t base = here + offsetBits[match.offset >> 6];
                for (; length <= match.length; length++) {
                    uint32_t bits = base + codeBits[256 + length - MIN_MATCH];
                    Step& target = plan[i + static_cast<size_t>(length)];
                    if (bits <= target.bits)
                        target = {bits, static_cast<uint16_t>(length), static_cast<uint16_t>(match.offset)};
                }
            }
        }

        // Follow the plan back from its end, then write it forward.
        path.clear();
        for (size_t i = end; i > 0; i -= plan[i].length)
            path.push_back(plan[i]);
        size_t pos = blockStart;
        for (auto step = path.rbegin(); step != path.rend() && pos < blockStart + blockLength; ++step) {
            if (step->length == 1)
                writer.Literal(pos, data[pos]);
            else
                writer.Match(pos, step->length, step->offset);
            pos += step->length;
        }
        if (nice.length > 0) {
            writer.Match(pos, nice.length, nice.offset);
            pos += static_cast<size_t>(nice.length);
            for (; inserted < pos; inserted++)
                finder.InsertInput(inserted);
        }
        blockStart = pos;
    }
    return writer.out;
}

bool FitsSizeField(uint64_t size) { return size <= UINT32_MAX; }

void PutSizeField(std::vector<uint8_t>& member, size_t size)
{
    for (int i = 0; i < 4; i++)
        member.push_back(static_cast<uint8_t>(size >> (8 * i)));
}

size_t FindMarker(const std::vector<uint8_t>& member, const uint8_t* marker, size_t markerLength)
{
    auto at = std::search(member.begin(), member.end(), marker, marker + markerLength);
    return at == member.end() ? NONE : static_cast<size_t>(at - member.begin());
}

bool EndsInMarkerPrefix(const std::vector<uint8_t>& member, const uint8_t* marker, size_t markerLength)
{
    for (size_t k = 1; k < markerLength && k <= member.size(); k++)
        if (std::memcmp(member.data() + member.size() - k, marker, k) == 0)
            return true;
    return false;
}

bool EndIsClean(const std::vector<uint8_t>& member, const uint8_t* marker, size_t markerLength)
{
    if (EndsInMarkerPrefix(member, marker, markerLength))
        return false;
    size_t tail = std::min(member.size(), markerLength);
    std::vector<uint8_t> last(member.end() - tail, member.end());
    return FindMarker(last, marker, markerLength) == NONE;
}

// The bits after the last symbol are free. Picks pad bits for the last byte
// so that the member's end is clean, else appends a byte the marker lacks.
void ChooseEnding(std::vector<uint8_t>& member, uint64_t streamBits, const uint8_t* marker,
                  size_t markerLength)
{
    int freeBits = static_cast<int>((8 - streamBits % 8) % 8);
    uint8_t fixed = member.back();
    for (uint32_t pad = 0; pad < (1u << freeBits); pad++) {
        member.back() = static_cast<uint8_t>(fixed | pad);
        if (EndIsClean(member, marker, markerLength))
            return;
    }
    member.back() = fixed;
    for (int filler = 0; filler < 256; filler++) {
        if (std::memchr(marker, filler, markerLength))
            continue;
        member.push_back(static_cast<uint8_t>(filler));
        return;
    }
}

} // namespace

std::vector<uint8_t> EncodeMemberPlain(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> member;
    PutSizeField(member, size);
    BitWriter stream = EncodePriced(data, size, ParseLimits(), nullptr);
    member.insert(member.end(), stream.bytes.begin(), stream.bytes.end());
    return member;
}

std::vector<uint8_t> EncodeMemberGreedy(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> member;
    PutSizeField(member, size);
    BitWriter stream = EncodeGreedy(data, size, ParseLimits(), nullptr);
    member.insert(member.end(), stream.bytes.begin(), stream.bytes.end());
    return member;
}

bool MemberAvoidsMarker(const uint8_t* member, size_t size, const uint8_t* marker, size_t markerLength)
{
    std::vector<uint8_t> bytes(member, member + size);
    return FindMarker(bytes, marker, markerLength) == NONE &&
           !EndsInMarkerPrefix(bytes, marker, markerLength);
}

bool EncodeMemberAvoiding(const uint8_t* data, size_t size, const uint8_t* marker, size_t markerLength,
                          std::vector<uint8_t>& member, std::string& error)
{
    member.clear();
    if (size == 0) {
        error = "the file is empty (a size of 0 cannot be decoded)";
        return false;
    }
    if (!FitsSizeField(size)) {
        error = "the file is larger than 4 GiB - 1 bytes";
        return false;
    }

    ParseLimits limits;
    for (int attempt = 0; attempt < MAX_ATTEMPTS; attempt++) {
        std::vector<SymbolRecord> symbols;
        BitWriter stream = EncodePriced(data, size, limits, &symbols);
        member.clear();
        PutSizeField(member, size);
        member.insert(member.end(), stream.bytes.begin(), stream.bytes.end());
        ChooseEnding(member, stream.bitCount, marker, markerLength);

        size_t hit = FindMarker(member, marker, markerLength);
        if (hit == NONE && !EndsInMarkerPrefix(member, marker, markerLength))
            return true;
        if (hit == NONE) {
            error = "no clean end for the member";
            return false;
        }
        size_t lastByte = hit + markerLength - 1;
        if (lastByte < 4) {
            error = "the size field itself contains the package marker";
            return false;
        }
        // Any change to the parse at or before the colliding bytes changes
        // every bit from there on. Take the latest match that starts no later
        // than the collision's last bit and make it one byte shorter (a match
        // of the minimum length becomes a literal).
        uint64_t lastBit = (static_cast<uint64_t>(lastByte) - 4) * 8 + 7;
        auto after = std::upper_bound(symbols.begin(), symbols.end(), lastBit,
                                      [](uint64_t bit, const SymbolRecord& s) { return bit < s.firstBit; });
        auto chosen = symbols.end();
        for (auto s = after; s != symbols.begin();) {
            --s;
            if (s->length >= MIN_MATCH) {
                chosen = s;
                break;
            }
        }
        if (chosen == symbols.end()) {
            error = "the bit stream spells the package marker and the data offers no other parse before it";
            return false;
        }
        limits[chosen->position] = chosen->length - 1;
    }
    error = "the bit stream keeps spelling the package marker";
    return false;
}

std::vector<uint8_t> EncodeMember(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> member;
    std::string error;
    if (EncodeMemberAvoiding(data, size, kPackageMarker, sizeof kPackageMarker, member, error))
        return member;
    return EncodeMemberPlain(data, size);
}
