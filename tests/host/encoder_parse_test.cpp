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
        uint8_t lengths[SYMBOL_COUNT];
        c.tree.CodeLengths(lengths);
        uint8_t path[NODE_COUNT];
        for (int s = 0; s < SYMBOL_COUNT; s++)
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

namespace {

TEST(EncoderParse, FindsLongMatchesBehindCrowdedChains)
{
    // Programs are full of the same few four-byte groups (padding, tables),
    // so the nearest hundreds of positions sharing a match's first bytes can
    // all fall short of it. Four 60-byte runs of such groups lie at the far
    // end of the window behind about 900 shuffled ones; written again, each
    // must cost about one match (its length code and 14 offset bits), not a
    // chain of shorter matches pieced together from the nearer groups.
    const uint8_t groups[4][4] = {{0, 0, 0, 1}, {0, 0, 0, 2}, {0, 0, 0, 3}, {0, 0, 0, 4}};
    uint32_t seed = 11;
    auto putGroups = [&](Bytes& out, int count) {
        for (int i = 0; i < count; i++) {
            seed = seed * 1103515245u + 12345u;
            const uint8_t* group = groups[(seed >> 16) % 4];
            out.insert(out.end(), group, group + 4);
        }
    };
    Bytes runs[4];
    Bytes before;
    for (Bytes& run : runs) {
        putGroups(run, 15);
        before.insert(before.end(), run.begin(), run.end());
    }
    putGroups(before, 880);
    Bytes after = before;
    for (int k : {2, 0, 3, 1})
        after.insert(after.end(), runs[k].begin(), runs[k].end());
    ASSERT_LT(after.size(), 4096u + 60u); // every run still inside the window

    Bytes memberBefore = EncodeMember(before.data(), before.size());
    Bytes memberAfter = EncodeMember(after.data(), after.size());
    EXPECT_LE(memberAfter.size(), memberBefore.size() + 4 * 4);
    EXPECT_TRUE(DecodeBytes(memberAfter).output == after);
}

} // namespace
