// Encoder to decoder round trips over varied shapes of data.
#include <gtest/gtest.h>

#include <cstring>

#include "codec_test_support.h"
#include "member_encoder.h"

namespace {

uint32_t StatedSize(const Bytes& member)
{
    return member[0] | member[1] << 8 | member[2] << 16 | static_cast<uint32_t>(member[3]) << 24;
}

TEST(CodecRoundTrip, VariedShapesDecodeToTheirOriginal)
{
    for (const Shape& shape : RoundTripShapes()) {
        SCOPED_TRACE(shape.name);
        Bytes member = EncodeMember(shape.data.data(), shape.data.size());
        ASSERT_GE(member.size(), 5u);
        EXPECT_EQ(StatedSize(member), shape.data.size());
        EXPECT_TRUE(MemberAvoidsMarker(member.data(), member.size(), kPackageMarker, sizeof kPackageMarker));

        progressLog = ProgressLog();
        DecodeOutcome outcome = DecodeBytes(member);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.output.size(), shape.data.size());
        EXPECT_TRUE(outcome.output == shape.data);
        EXPECT_EQ(progressLog.done, 1);
    }
}

TEST(CodecRoundTrip, MatchesAreFoundAcrossTheWholeWindow)
{
    // Compression shows whether the match finder works: runs shrink to about
    // ten bits per 60 bytes, text to well under half, data repeating exactly one
    // ring length back to little more than its first period.
    struct Case {
        const char* what;
        Bytes data;
        double atMost; // compressed bytes per input byte
    };
    Bytes period;
    Bytes block = RandomBytes(4096, 9);
    for (int i = 0; i < 10; i++)
        period.insert(period.end(), block.begin(), block.end());
    const Case cases[] = {
        {"run", RunOf(100000, 'a'), 0.025},
        {"spaces only, matched from the ring's start", RunOf(100000, ' '), 0.025},
        {"text", EnglishLikeText(200000, 6), 0.45},
        {"random block repeated 4096 bytes back", period, 0.15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes member = EncodeMember(c.data.data(), c.data.size());
        EXPECT_LE(member.size(), c.atMost * c.data.size());
        EXPECT_TRUE(DecodeBytes(member).output == c.data);
    }
    Bytes random = RandomBytes(50000, 10);
    EXPECT_LE(EncodeMember(random.data(), random.size()).size(), random.size() * 1.02 + 16);
}

// A member made once and kept: the decoder, here and in the Windows build,
// must read exactly these bytes back to the text, whatever the encoder of
// the day makes of it.
const char kGoldenText[] =
    "Vexa v5.6 32bit\r\nThe settings files are kept when you say so.\r\n"
    "The settings files are kept when you say so.\r\n    indented    line\r\n"
    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n";
const char kGoldenMember[] =
    "cb000000f17c413dbac02e0eeb8583bfdf7bbea0199cb783e98967ff62e2b5cfebe75b67e553f1629d185fe9e8fbcffc"
    "af401da4f59402fec0614e44c46097befa8b6ca58547df09e43cd739205d2b0d32deda5788017c002f5c";

TEST(CodecRoundTrip, GoldenMember)
{
    Bytes text(kGoldenText, kGoldenText + std::strlen(kGoldenText));
    DecodeOutcome outcome = DecodeBytes(FromHex(kGoldenMember));
    EXPECT_TRUE(outcome.ok);
    EXPECT_TRUE(outcome.output == text);
}

} // namespace
