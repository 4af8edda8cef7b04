// The package checksum: weights +1, +2, +3, -4 over the summed range, as the
// writer computes it and as the reader (the installer's byte rule) sums it.
#include <gtest/gtest.h>

#include <string>

#include "codec_test_support.h"
#include "package_reader.h"
#include "package_writer.h"

namespace {

uint32_t ReaderChecksum(const Bytes& file, size_t* members = nullptr)
{
    std::string path = ScratchFileHolding(file);
    ReadPackageResult read;
    std::string error;
    EXPECT_TRUE(ReadPackageFile(path, read, error)) << error;
    std::remove(path.c_str());
    if (members)
        *members = read.members.size();
    return read.checksum;
}

Bytes PackageOf(const Bytes& eachMember)
{
    std::vector<uint8_t> members[PACKAGE_MEMBERS];
    for (auto& m : members)
        m = eachMember;
    return AssemblePackage(members);
}

TEST(PackageChecksum, KnownSums)
{
    // Members of four bytes keep every marker on the same weights: "ARNI"
    // adds 65 + 2 * 82 + 3 * 78 - 4 * 73 = 171, eleven closing markers 1881.
    struct Case {
        const char* what;
        Bytes member;
        uint32_t checksum;
    };
    const Case cases[] = {
        {"only the closing markers count", Bytes{0, 0, 0, 0}, 1881},
        {"weights 1, 2, 3, -4", Bytes{1, 1, 1, 1}, 1881 + 11 * 2},
        {"third weight", Bytes{0, 0, 5, 0}, 1881 + 11 * 15},
        {"a negative sum wraps to the top of 32 bits", Bytes{0, 0, 0, 255}, 0xFFFFDB85u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes package = PackageOf(c.member);
        EXPECT_EQ(PackageChecksum(package.data(), package.size()), c.checksum);
        EXPECT_EQ(ReaderChecksum(package), c.checksum);
    }
}

TEST(PackageChecksum, WhatIsAndIsNotSummed)
{
    std::vector<uint8_t> members[PACKAGE_MEMBERS];
    for (int i = 0; i < PACKAGE_MEMBERS; i++)
        members[i] = RandomBytes(1 + 13 * i, 70 + i); // lengths shift the weights across markers
    for (auto& m : members)
        for (uint8_t& b : m)
            if (b == 'A')
                b = 'B'; // no marker prefix inside
    Bytes package = AssemblePackage(members);
    uint32_t sum = PackageChecksum(package.data(), package.size());
    EXPECT_EQ(ReaderChecksum(package), sum);

    // Outside the summed range: anything before the package (an installer's
    // own code), the opening marker's position, the trailing marker, CR LF
    // and whatever follows.
    Bytes installer = RandomBytes(5000, 80);
    for (uint8_t& b : installer)
        if (b == 'A')
            b = 'a';
    installer.insert(installer.end(), package.begin(), package.end());
    Bytes tail = RandomBytes(3000, 81);
    installer.insert(installer.end(), tail.begin(), tail.end());
    size_t count = 0;
    EXPECT_EQ(ReaderChecksum(installer, &count), sum);
    EXPECT_EQ(count, static_cast<size_t>(PACKAGE_MEMBERS));

    Bytes changedTrailer = package;
    changedTrailer[changedTrailer.size() - 1] = 'x';
    changedTrailer[changedTrailer.size() - 4] = 'x';
    EXPECT_EQ(PackageChecksum(changedTrailer.data(), changedTrailer.size()), sum);
    EXPECT_EQ(ReaderChecksum(changedTrailer), sum);

    // Inside it: any one byte, and an exchange of different bytes whose weights differ.
    for (size_t at : {size_t(4), size_t(5), package.size() / 2, package.size() - 11}) {
        SCOPED_TRACE(at);
        Bytes changed = package;
        changed[at] ^= 0x01;
        EXPECT_NE(PackageChecksum(changed.data(), changed.size()), sum);
        EXPECT_NE(ReaderChecksum(changed), sum);
    }
    Bytes swapped = package;
    size_t first = 4 + 20, second = first + 1; // weights differ
    ASSERT_NE(swapped[first], swapped[second]);
    std::swap(swapped[first], swapped[second]);
    EXPECT_NE(PackageChecksum(swapped.data(), swapped.size()), sum);
    EXPECT_NE(ReaderChecksum(swapped), sum);
}

} // namespace
