// The encoder's parse and the code lengths it prices symbols with.
#include <gtest/gtest.h>

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
