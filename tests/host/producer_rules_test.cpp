// The producer rules of packages: no member contains the marker, none ends in
// a proper prefix of it. Markers made from the bytes a plain encoding happens
// to contain provoke the collisions that the package's own marker makes rare.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "codec_test_support.h"
#include "member_encoder.h"
#include "package_reader.h"
#include "package_writer.h"

namespace {

bool Contains(const Bytes& haystack, const Bytes& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

void ExpectCleanAndDecodes(const Bytes& data, const Bytes& marker)
{
    Bytes member;
    std::string error;
    ASSERT_TRUE(EncodeMemberAvoiding(data.data(), data.size(), marker.data(), marker.size(), member, error))
        << error;
    EXPECT_FALSE(Contains(member, marker));
    for (size_t k = 1; k < marker.size(); k++)
        EXPECT_FALSE(std::equal(marker.begin(), marker.begin() + k, member.end() - k)) << "ends in " << k;
    EXPECT_TRUE(MemberAvoidsMarker(member.data(), member.size(), marker.data(), marker.size()));
    DecodeOutcome outcome = DecodeBytes(member);
    EXPECT_TRUE(outcome.ok);
    EXPECT_TRUE(outcome.output == data);
}

TEST(ProducerRules, MarkerSpelledByTheBitStreamIsSteeredAround)
{
    struct Case {
        const char* what;
        Bytes data;
        size_t markerLength;
        double where; // of the plain member, where the marker is taken from
    };
    const Case cases[] = {
        {"four bytes late in a text member", EnglishLikeText(60000, 40), 4, 0.8},
        {"four bytes early in a text member", EnglishLikeText(60000, 41), 4, 0.05},
        {"four bytes in a binary member", MixedBinary(200000, 42), 4, 0.5},
        {"two bytes: many collisions in one member", MixedBinary(200000, 43), 2, 0.3},
        {"three bytes in a long run", RunOf(30000, 'z'), 3, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes plain = EncodeMemberPlain(c.data.data(), c.data.size());
        size_t at = std::max<size_t>(4, static_cast<size_t>(c.where * plain.size()));
        Bytes marker(plain.begin() + at, plain.begin() + at + c.markerLength);
        ASSERT_TRUE(Contains(plain, marker));
        ExpectCleanAndDecodes(c.data, marker);
    }
}

TEST(ProducerRules, MemberEndIsNeverAMarkerPrefix)
{
    // Markers that begin with the last one, two or three bytes of the plain
    // member: the end must change, through its free pad bits or, when the
    // last byte has none, an extra byte the decoder never reads.
    int paddedInPlace = 0;
    int extended = 0;
    for (uint32_t seed = 0; seed < 48; seed++) {
        Bytes data = EnglishLikeText(20 + seed * 37, 100 + seed);
        Bytes plain = EncodeMemberPlain(data.data(), data.size());
        for (size_t prefix = 1; prefix <= 3; prefix++) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", prefix " + std::to_string(prefix));
            Bytes marker(plain.end() - prefix, plain.end());
            marker.push_back(0x01); // completes a marker the data never finishes
            ExpectCleanAndDecodes(data, marker);
            Bytes member;
            std::string error;
            ASSERT_TRUE(EncodeMemberAvoiding(data.data(), data.size(), marker.data(), marker.size(), member, error));
            if (member.size() == plain.size())
                paddedInPlace++;
            else if (member.size() == plain.size() + 1)
                extended++;
        }
    }
    EXPECT_GT(paddedInPlace, 0);
    EXPECT_GT(extended, 0);
}

TEST(ProducerRules, ImpossibleEncodingsAreRefused)
{
    struct Case {
        const char* what;
        Bytes data;
        bool markerFromSizeField;
        const char* error;
    };
    const Case cases[] = {
        {"size field spells the marker", RandomBytes(5, 50), true, "size field"},
        {"collision before any possible match", RandomBytes(3000, 51), false, "no other parse"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes plain = EncodeMemberPlain(c.data.data(), c.data.size());
        Bytes marker(plain.begin() + (c.markerFromSizeField ? 0 : 4), plain.begin() + (c.markerFromSizeField ? 4 : 8));
        Bytes member;
        std::string error;
        EXPECT_FALSE(EncodeMemberAvoiding(c.data.data(), c.data.size(), marker.data(), marker.size(), member, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    Bytes member;
    std::string error;
    uint8_t none = 0;
    EXPECT_FALSE(EncodeMemberAvoiding(&none, 0, kPackageMarker, 4, member, error));
    EXPECT_NE(error.find("empty"), std::string::npos) << error;
}

#ifndef _WIN32   // vexapack's reader is a host tool
TEST(ProducerRules, PackageReadsBackAsElevenMembers)
{
    // Payload files full of the marker and its prefixes, and one-byte files
    // that are the marker's first letter.
    std::vector<uint8_t> files[PACKAGE_MEMBERS];
    for (int i = 0; i < PACKAGE_MEMBERS; i++)
        files[i] = i % 3 == 0 ? Bytes{'A'} : MixedBinary(3000 + 7000 * i, 60 + i);
    std::vector<uint8_t> package;
    uint32_t checksum = 0;
    std::string error;
    ASSERT_TRUE(BuildPackage(files, package, checksum, error)) << error;
    EXPECT_TRUE(std::equal(package.end() - 10, package.end(), reinterpret_cast<const uint8_t*>("ARNIARNI\r\n")));

    // Read it through a real file, the way the installer reads its image.
    std::string file = ScratchFileHolding(package);
    ReadPackageResult read;
    ASSERT_TRUE(ReadPackageFile(file, read, error)) << error;
    std::remove(file.c_str());
    EXPECT_TRUE(PackageLayoutProblems(read).empty());
    ASSERT_EQ(read.members.size(), static_cast<size_t>(PACKAGE_MEMBERS));
    EXPECT_FALSE(read.lastUnclosed);
    EXPECT_EQ(read.checksum, checksum);
    EXPECT_EQ(read.packageOffset, 0);
    for (int i = 0; i < PACKAGE_MEMBERS; i++) {
        SCOPED_TRACE(i);
        FILE* decoded = ScratchStream();
        long long size = 0;
        EXPECT_TRUE(DecodeMemberChecked(read.members[i].data, read.members[i].bytes, decoded, size, error)) << error;
        EXPECT_TRUE(StreamContents(decoded) == files[i]);
        std::fclose(decoded);
    }

    files[4].clear();
    EXPECT_FALSE(BuildPackage(files, package, checksum, error));
    EXPECT_NE(error.find("readme.txt"), std::string::npos) << error;
    EXPECT_NE(error.find("empty"), std::string::npos) << error;
}

#endif

} // namespace
