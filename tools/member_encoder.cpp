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
    CHAIN_SLOTS = 2 * RING, // a chain link outlives the window it can be used in
    MAX_ATTEMPTS = 256      // re-encodings tried to steer the stream off the marker
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
        for (size_t candidate = head_[Hash(at)]; candidate != NONE && at - candidate <= RING;
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

// Greedy parse: the longest match at each position, else a literal.
BitWriter EncodeStream(const uint8_t* data, size_t size, const ParseLimits& limits,
                       std::vector<SymbolRecord>* symbols)
{
    MatchFinder finder(data, size);
    CodeTree tree;
    tree.Init();
    BitWriter out;
    auto limit = limits.begin();
    size_t pos = 0;
    while (pos < size) {
        int maxLength = static_cast<int>(std::min<size_t>(MAX_MATCH, size - pos));
        while (limit != limits.end() && limit->first < pos)
            ++limit;
        if (limit != limits.end() && limit->first == pos)
            maxLength = std::min(maxLength, limit->second);
        int offset = 0;
        int length = finder.Find(pos, maxLength, offset);
        if (symbols)
            symbols->push_back({out.bitCount, pos, length >= MIN_MATCH ? length : 1});
        if (length >= MIN_MATCH) {
            tree.Emit(out, 256 + length - MIN_MATCH);
            EmitOffset(out, offset);
        } else {
            length = 1;
            tree.Emit(out, data[pos]);
        }
        for (int k = 0; k < length; k++)
            finder.InsertInput(pos + k);
        pos += static_cast<size_t>(length);
    }
    return out;
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
    BitWriter stream = EncodeStream(data, size, ParseLimits(), nullptr);
    member.insert(member.end(), stream.bytes.begin(), stream.bytes.end());
    return member;
}

std::vector<uint8_t> EncodeMemberGreedy(const uint8_t* data, size_t size)
{
    return EncodeMemberPlain(data, size);
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
        BitWriter stream = EncodeStream(data, size, limits, &symbols);
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
