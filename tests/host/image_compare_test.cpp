// image_compare as the reproducibility check runs it: on a small PE32 and
// PE32+ image with a package resource, one flipped byte at a time must be
// named by the header field, section, resource and package member it lies in.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "codec_test_support.h"
#include "package_writer.h"

namespace {

void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// Where the test image keeps its parts.
struct Layout {
    size_t optional;        // optional header
    size_t sectionTable;
    size_t text = 0x200;    // .text, 0x200 bytes
    size_t rsrc = 0x400;    // .rsrc: directory, then the package
    size_t package = 0x400 + 0x80;
    size_t packageSize;
    size_t member3;         // first byte of member 3 in the file
};

// DOS header, PE signature, file header, optional header with 16 data
// directories, .text and .rsrc; the resource tree holds RCDATA "VEXAALL"
// (language 1033) = a package of eleven small members.
Bytes MakeImage(bool plus, Layout& layout)
{
    Bytes members[PACKAGE_MEMBERS];
    for (int i = 0; i < PACKAGE_MEMBERS; i++)
        members[i] = Bytes(20 + i, static_cast<uint8_t>('a' + i));
    Bytes package = AssemblePackage(members);
    layout.packageSize = package.size();
    layout.member3 = layout.package + 4 + (20 + 4) + (21 + 4) + (22 + 4);

    Bytes image(layout.package + package.size(), 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 60, 64);
    std::memcpy(&image[64], "PE\0\0", 4);
    size_t file = 68;
    uint32_t optionalSize = plus ? 240 : 224;
    Put16(image, file, plus ? 0x8664 : 0x14C);
    Put16(image, file + 2, 2);
    Put16(image, file + 16, optionalSize);
    layout.optional = file + 20;
    Put16(image, layout.optional, plus ? 0x20B : 0x10B);
    Put32(image, layout.optional + 60, 0x200);   // SizeOfHeaders
    size_t directories = layout.optional + (plus ? 112 : 96);
    Put32(image, directories - 4, 16);
    Put32(image, directories + 2 * 8, 0x2000);   // resource directory
    Put32(image, directories + 2 * 8 + 4, static_cast<uint32_t>(image.size() - layout.rsrc));
    layout.sectionTable = layout.optional + optionalSize;
    const struct {
        const char* name;
        uint32_t rva, size, raw;
    } sections[] = {{".text", 0x1000, 0x200, static_cast<uint32_t>(layout.text)},
                    {".rsrc", 0x2000, static_cast<uint32_t>(image.size() - layout.rsrc),
                     static_cast<uint32_t>(layout.rsrc)}};
    for (int i = 0; i < 2; i++) {
        size_t header = layout.sectionTable + 40 * i;
        std::memcpy(&image[header], sections[i].name, std::strlen(sections[i].name));
        Put32(image, header + 12, sections[i].rva);
        Put32(image, header + 16, sections[i].size);
        Put32(image, header + 20, sections[i].raw);
    }
    for (size_t i = layout.text; i < layout.rsrc; i++)
        image[i] = 0x90;

    // Resource tree, offsets from the start of .rsrc: type directory at 0,
    // name directory at 0x18, language directory at 0x30, data entry at
    // 0x48, the name "VEXAALL" at 0x58.
    size_t r = layout.rsrc;
    Put16(image, r + 14, 1);
    Put32(image, r + 16, 10);                        // RCDATA
    Put32(image, r + 20, 0x80000000u | 0x18);
    Put16(image, r + 0x18 + 12, 1);
    Put32(image, r + 0x18 + 16, 0x80000000u | 0x58);
    Put32(image, r + 0x18 + 20, 0x80000000u | 0x30);
    Put16(image, r + 0x30 + 14, 1);
    Put32(image, r + 0x30 + 16, 1033);
    Put32(image, r + 0x30 + 20, 0x48);
    Put32(image, r + 0x48, static_cast<uint32_t>(0x2000 + (layout.package - layout.rsrc)));
    Put32(image, r + 0x48 + 4, static_cast<uint32_t>(package.size()));
    Put16(image, r + 0x58, 7);
    for (int i = 0; i < 7; i++)
        Put16(image, r + 0x5A + 2 * i, static_cast<uint8_t>("VEXAALL"[i]));
    std::copy(package.begin(), package.end(), image.begin() + static_cast<long>(layout.package));
    return image;
}

struct Outcome {
    int status;
    std::string out;
};

Outcome Compare(const Bytes& first, const Bytes& second)
{
    std::string a = ScratchFileHolding(first), b = ScratchFileHolding(second);
    std::string outPath = a + ".out";
    int raw = std::system((std::string(IMAGE_COMPARE) + " " + a + " " + b + " >" + outPath + " 2>&1").c_str());
    std::ifstream in(outPath);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(a.c_str());
    std::remove(b.c_str());
    std::remove(outPath.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text.str()};
}

class ImageCompare : public ::testing::TestWithParam<bool> {};

TEST_P(ImageCompare, NamesWhereTheFirstDifferenceLies)
{
    const bool plus = GetParam();
    Layout l;
    const Bytes image = MakeImage(plus, l);

    Outcome same = Compare(image, image);
    EXPECT_EQ(0, same.status);
    EXPECT_EQ("identical: " + std::to_string(image.size()) + " bytes\n", same.out);

    const struct {
        size_t at;
        std::string named;
    } rows[] = {
        {62, "DOS header, field e_lfanew"},
        {66, "PE signature"},
        {68 + 5, "COFF file header, field TimeDateStamp"},
        {l.optional + 65, "field CheckSum"},
        // PE32+ widens the image base and the stack and heap sizes.
        {l.optional + 80, plus ? "optional header (PE32+), field SizeOfStackCommit"
                               : "optional header (PE32), field SizeOfHeapReserve"},
        {l.optional + (plus ? 112 : 96) + 2 * 8 + 5, "data directory 2 (resource), size"},
        {l.sectionTable + 40 + 20, "section header 1 (.rsrc)"},
        {l.text + 10, "section .text, byte 10 of 512"},
        {l.rsrc + 0x30 + 16, "section .rsrc, byte 64 of"},
        {l.member3 + 2, "resource RCDATA VEXAALL (language 1033), byte " + std::to_string(l.member3 + 2 - l.package) +
                            " of " + std::to_string(l.packageSize) + ", the package: member 3 (ircintro.hlp)"},
        {l.member3 - 1, "the package: marker 4"},
        {l.package + l.packageSize - 1, "the package: after the last member"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("byte " + std::to_string(row.at));
        Bytes changed = image;
        changed[row.at] ^= 0x40;
        Outcome diff = Compare(image, changed);
        EXPECT_EQ(1, diff.status);
        EXPECT_NE(std::string::npos, diff.out.find("differ: 1 of " + std::to_string(image.size()) + " bytes"))
            << diff.out;
        EXPECT_NE(std::string::npos, diff.out.find("first difference at byte " + std::to_string(row.at) + " "))
            << diff.out;
        EXPECT_NE(std::string::npos, diff.out.find(row.named)) << diff.out;
    }

    Bytes shorter(image.begin(), image.end() - 7);
    Outcome cut = Compare(image, shorter);
    EXPECT_EQ(1, cut.status);
    EXPECT_NE(std::string::npos, cut.out.find("one file ends there")) << cut.out;
}

INSTANTIATE_TEST_SUITE_P(Pe, ImageCompare, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Pe32Plus" : "Pe32"; });

}  // namespace
