// The encoder's parse and the code lengths it prices symbols with.
#include <gtest/gtest.h>

#include <string>

#include "code_tree.h"
#include "codec_test_support.h"
#include "member_encoder.h"

namespace {

using codec::CodeTree;

TEST(EncoderParse, CodeLengthsAgreeWithTheCodesWritten)
{
    // A fresh tree, one skewed by many updates, and one rebuilt past the
    // count limit: every symbol's priced length is its code's length.
    CodeTree fresh;
    fresh.Init();
    CodeTree skewed = fresh;
    Bytes text = EnglishLikeText(20000, 3);
    for (size_t i = 0; i < text.size(); i++)
        skewed.Update(i % 11 == 0 ? 256 + static_cast<int>(i % 7) : text[i]);
    CodeTree rebuilt = skewed;
    for (int i = 0; i < 0x8000; i++)
        rebuilt.Update(i % 5 == 0 ? 313 : 'e');
    struct Case {
        const char* what;
        const CodeTree& tree;
    } cases[] = {{"fresh", fresh}, {"skewed", skewed}, {"rebuilt", rebuilt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        uint8_t lengths[codec::SYMBOLS];
        c.tree.CodeLengths(lengths);
        uint8_t path[codec::NODES];
        for (int s = 0; s < codec::SYMBOLS; s++)
            ASSERT_EQ(lengths[s], c.tree.Code(s, path)) << "symbol " << s;
    }
}

TEST(EncoderParse, PricedParseBeatsGreedyAndBothDecode)
{
    struct Case {
        const char* what;
        Bytes data;
    };
    const Case cases[] = {
        {"text", EnglishLikeText(150000, 8)},
        {"binary", MixedBinary(300000, 9)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes greedy = EncodeMemberGreedy(c.data.data(), c.data.size());
        Bytes priced = EncodeMember(c.data.data(), c.data.size());
        EXPECT_LT(priced.size(), greedy.size());
        EXPECT_TRUE(DecodeBytes(greedy).output == c.data);
        EXPECT_TRUE(DecodeBytes(priced).output == c.data);
    }
}

} // namespace

TEST(EncoderParse, MarkersNearPlanBoundariesAreSteeredAround)
{
    // The parse plans a stretch of input at a time and plans the last few
    // positions of each stretch again with the next; a marker spelled by
    // symbols there must still be steered around. Markers are taken from
    // every member byte around where input position 2048 is encoded.
    Bytes data = EnglishLikeText(8000, 12);
    Bytes plain = EncodeMemberPlain(data.data(), data.size());
    size_t around = 4 + (plain.size() - 4) * 2048 / data.size();
    for (size_t at = around - 48; at < around + 48; at++) {
        SCOPED_TRACE("marker from member byte " + std::to_string(at));
        Bytes marker(plain.begin() + at, plain.begin() + at + 4);
        Bytes member;
        std::string error;
        ASSERT_TRUE(EncodeMemberAvoiding(data.data(), data.size(), marker.data(), marker.size(), member, error))
            << error;
        EXPECT_TRUE(MemberAvoidsMarker(member.data(), member.size(), marker.data(), marker.size()));
        EXPECT_TRUE(DecodeBytes(member).output == data);
    }
}
