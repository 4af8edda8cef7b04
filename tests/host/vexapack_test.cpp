// vexapack as its users run it: commands, exit status, messages, and the
// files it leaves behind (none on failure).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "code_tree.h"
#include "codec_test_support.h"
#include "member_encoder.h"
#include "package_format.h"
#include "package_writer.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Bytes ReadBytes(const fs::path& path)
{
    std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
}

void WriteBytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A member whose bits were written symbol by symbol: a literal, then a match.
Bytes HandMadeMember(uint32_t statedSize, int matchLength)
{
    codec::CodeTree tree;
    tree.Init();
    codec::BitWriter bits;
    tree.Emit(bits, 'a');
    tree.Emit(bits, 253 + matchLength);
    codec::EmitOffset(bits, 0);
    Bytes member;
    for (int i = 0; i < 4; i++)
        member.push_back(static_cast<uint8_t>(statedSize >> (8 * i)));
    member.insert(member.end(), bits.bytes.begin(), bits.bytes.end());
    return member;
}

class Vexapack : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vexapack-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        payload_ = root_ / "payload";
        fs::create_directory(payload_);
        for (int i = 0; i < MEMBER_COUNT; i++) {
            files_[i] = i < 2 ? MixedBinary(20000 + 5000 * i, 200 + i) : EnglishLikeText(500 + 900 * i, 300 + i);
            WriteBytes(payload_ / MemberTable[i], files_[i]);
        }
    }
    void TearDown() override { fs::remove_all(root_); }

    Outcome Run(const std::string& args)
    {
        fs::path out = root_ / "stdout.txt";
        fs::path err = root_ / "stderr.txt";
        std::string command = std::string(VEXAPACK) + " " + args + " >" + out.string() + " 2>" + err.string();
        int raw = std::system(command.c_str());
        Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
        fs::remove(out);
        fs::remove(err);
        return outcome;
    }

    std::string Path(const char* name) const { return (root_ / name).string(); }

    // Files in root_ other than the payload directory.
    std::vector<std::string> Leftovers() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root_))
            if (entry.path() != payload_)
                names.push_back(entry.path().filename().string());
        return names;
    }

    Bytes PackageWithMember(int index, const Bytes& member)
    {
        std::vector<uint8_t> members[PACKAGE_MEMBERS];
        for (int i = 0; i < PACKAGE_MEMBERS; i++)
            members[i] = EncodeMember(files_[i].data(), files_[i].size());
        members[index] = member;
        return AssemblePackage(members);
    }

    fs::path root_;
    fs::path payload_;
    Bytes files_[MEMBER_COUNT];
};

TEST_F(Vexapack, PackVerifyListExtract)
{
    Outcome pack = Run("pack " + payload_.string() + " " + Path("pkg.bin") + " --checksum-file " + Path("sum.txt"));
    ASSERT_EQ(pack.status, 0) << pack.err;
    ASSERT_EQ(pack.out.size(), 11u);
    EXPECT_EQ(pack.out.substr(0, 2), "0x");
    EXPECT_EQ(pack.out.find_first_not_of("0123456789ABCDEF", 2), 10u);
    EXPECT_EQ(ReadText(Path("sum.txt")), pack.out);
    std::string checksum = pack.out.substr(0, 10);

    Bytes package = ReadBytes(Path("pkg.bin"));
    EXPECT_EQ(PackageChecksum(package.data(), package.size()), std::stoul(checksum, nullptr, 16));

    // Reproducible: packed again, and from a copy whose files were made in
    // the opposite order (another directory order), the same bytes.
    fs::create_directory(root_ / "copy");
    for (int i = MEMBER_COUNT - 1; i >= 0; i--)
        WriteBytes(root_ / "copy" / MemberTable[i], files_[i]);
    ASSERT_EQ(Run("pack " + payload_.string() + " " + Path("again.bin") + " --checksum-file " + Path("again.txt")).status,
              0);
    ASSERT_EQ(Run("pack " + (root_ / "copy").string() + " " + Path("copy.bin")).status, 0);
    EXPECT_TRUE(ReadBytes(Path("again.bin")) == package);
    EXPECT_TRUE(ReadBytes(Path("copy.bin")) == package);
    EXPECT_EQ(ReadText(Path("again.txt")), pack.out);

    Outcome verify = Run("verify " + Path("pkg.bin") + " --checksum " + checksum);
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_NE(verify.out.find("checksum " + checksum), std::string::npos) << verify.out;
    for (int i = 0; i < MEMBER_COUNT; i++) {
        std::string row = std::string(MemberTable[i]);
        size_t at = verify.out.find(row);
        ASSERT_NE(at, std::string::npos) << row;
        std::string line = verify.out.substr(at, verify.out.find('\n', at) - at);
        EXPECT_EQ(line.substr(line.rfind(' ') + 1), std::to_string(files_[i].size())) << line;
    }
    EXPECT_EQ(verify.out.find("vexa32.exe  "), verify.out.find("vexa32.exe"));
    EXPECT_NE(verify.out.find("           4"), std::string::npos) << "member 0 at offset 4";

    Outcome list = Run("list " + Path("pkg.bin"));
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("urls.ini"), std::string::npos);
    EXPECT_NE(list.out.find("checksum " + checksum), std::string::npos);

    fs::create_directory(root_ / "out");
    Outcome extract = Run("extract " + Path("pkg.bin") + " " + Path("out"));
    EXPECT_EQ(extract.status, 0) << extract.err;
    for (int i = 0; i < MEMBER_COUNT; i++)
        EXPECT_TRUE(ReadBytes(root_ / "out" / MemberTable[i]) == files_[i]) << MemberTable[i];
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "out"), fs::directory_iterator()), MEMBER_COUNT);

    // Existing files are kept unless forced.
    WriteBytes(root_ / "out" / "vexa.ini", Bytes{'m', 'i', 'n', 'e'});
    extract = Run("extract " + Path("pkg.bin") + " " + Path("out"));
    EXPECT_EQ(extract.status, 1);
    EXPECT_NE(extract.err.find("vexa.ini: exists already"), std::string::npos) << extract.err;
    EXPECT_TRUE(ReadBytes(root_ / "out" / "vexa.ini") == (Bytes{'m', 'i', 'n', 'e'}));
    extract = Run("extract --force " + Path("pkg.bin") + " " + Path("out"));
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_TRUE(ReadBytes(root_ / "out" / "vexa.ini") == files_[6]);
}

TEST_F(Vexapack, VerifyFindsThePackageInsideAnInstaller)
{
    ASSERT_EQ(Run("pack " + payload_.string() + " " + Path("pkg.bin")).status, 0);
    Bytes package = ReadBytes(Path("pkg.bin"));
    Bytes installer = RandomBytes(7777, 5);
    for (uint8_t& b : installer)
        if (b == 'A')
            b = 'B';
    installer.insert(installer.end(), package.begin(), package.end());
    Bytes after = RandomBytes(1000, 6);
    installer.insert(installer.end(), after.begin(), after.end());
    WriteBytes(Path("setup.exe"), installer);

    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "0x%08X", PackageChecksum(package.data(), package.size()));
    Outcome verify = Run("verify " + Path("setup.exe") + " --checksum " + checksum);
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_NE(verify.out.find("package at byte 7777"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("        7781"), std::string::npos) << verify.out;
}

// A signed installer: a PE32 header whose security directory names the
// certificate table appended after the package; the table holds the marker.
TEST_F(Vexapack, VerifyReportsTheSignatureOfASignedInstaller)
{
    ASSERT_EQ(Run("pack " + payload_.string() + " " + Path("pkg.bin")).status, 0);
    Bytes package = ReadBytes(Path("pkg.bin"));
    Bytes installer(4096, 0);
    const size_t pe = 0x80, optional = pe + 24, security = optional + 96 + 4 * 8;
    auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; i++)
            installer[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    installer[0] = 'M';
    installer[1] = 'Z';
    put32(0x3C, pe);
    put32(pe, 0x00004550);               // "PE\0\0"
    installer[optional] = 0x0B;          // PE32
    installer[optional + 1] = 0x01;
    put32(optional + 92, 16);            // data directories
    installer.insert(installer.end(), package.begin(), package.end());
    const std::string table = "certificate of ARNI Test Publisher: ARNIARNI";
    const uint32_t tableAt = static_cast<uint32_t>(installer.size());
    for (char c : table)
        installer.push_back(static_cast<uint8_t>(c));

    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "0x%08X", PackageChecksum(package.data(), package.size()));
    struct Case {
        const char* what;
        uint32_t offset;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"after the package", tableAt, 0, "sound"},
        {"inside the package", 4096 + 100, 1, "the certificate table starts inside the package"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        put32(security, c.offset);
        put32(security + 4, static_cast<uint32_t>(table.size()));
        WriteBytes(Path("signed.exe"), installer);
        Outcome verify = Run("verify " + Path("signed.exe") + " --checksum " + checksum);
        EXPECT_EQ(verify.status, c.status) << verify.err;
        EXPECT_NE(verify.out.find("signature: certificate table of " + std::to_string(table.size()) + " bytes at offset " +
                                  std::to_string(c.offset)),
                  std::string::npos)
            << verify.out;
        EXPECT_NE((verify.out + verify.err).find(c.says), std::string::npos) << verify.out << verify.err;
    }
}

TEST_F(Vexapack, VerifyReportsBadPackages)
{
    ASSERT_EQ(Run("pack " + payload_.string() + " " + Path("pkg.bin")).status, 0);
    Bytes package = ReadBytes(Path("pkg.bin"));

    Bytes truncated(package.begin(), package.begin() + package.size() / 2);
    Bytes noMarker = files_[3];
    // A member ending in "A" joins the next one; the trailing marker then
    // closes an empty eleventh member.
    Bytes swallowing = PackageWithMember(4, Bytes{3, 0, 0, 0, 0x12, 'A'});
    Bytes runsOut = PackageWithMember(5, HandMadeMember(5000, 3));       // bits for 4 of 5000 bytes
    Bytes pastSize = PackageWithMember(2, HandMadeMember(2, 3));         // decodes to 4 bytes, not 2
    Bytes cutSize = PackageWithMember(7, Bytes{7, 0});
    struct Case {
        const char* what;
        Bytes file;
        std::string extra;
        const char* message;
    };
    const Case cases[] = {
        {"wrong checksum", package, " --checksum 0x00000001", "checksum 0x"},
        {"no marker", noMarker, "", "no package marker found"},
        {"truncated package", truncated, "", "truncated package"},
        {"member ending in A swallows the next marker", swallowing, "", "member 10 (urls.ini): shorter than its four-byte size field"},
        {"member whose bits run out", runsOut, "", "member 5 (versions.txt): its bit stream runs out"},
        {"member decoding past its size", pastSize, "", "member 2 (vexa.hlp): decodes to 4 bytes instead of its stated size of 2"},
        {"size field cut short", cutSize, "", "member 7 (aliases.ini): shorter than its four-byte size field"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(Path("bad.bin"), c.file);
        Outcome verify = Run("verify " + Path("bad.bin") + c.extra);
        EXPECT_EQ(verify.status, 1);
        EXPECT_NE(verify.err.find(Path("bad.bin") + ": "), std::string::npos) << verify.err;
        EXPECT_NE(verify.err.find(c.message), std::string::npos) << verify.err;

        fs::create_directory(root_ / "out");
        Outcome extract = Run("extract " + Path("bad.bin") + " " + Path("out"));
        EXPECT_EQ(extract.status, c.extra.empty() ? 1 : 0) << "the checksum is not extract's business";
        if (c.extra.empty()) {
            EXPECT_TRUE(fs::is_empty(root_ / "out")) << "nothing is left behind";
        }
        fs::remove_all(root_ / "out");
    }

    Outcome missing = Run("verify " + Path("nothing.bin"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nothing.bin: cannot open"), std::string::npos) << missing.err;
}

TEST_F(Vexapack, PackRefusesAnyWrongPayload)
{
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> spoil;
        const char* message;
    };
    const Case cases[] = {
        {"missing file", [](const fs::path& d) { fs::remove(d / "servers.ini"); }, "servers.ini: no such file"},
        {"extra file", [](const fs::path& d) { WriteBytes(d / "notes.txt", Bytes{1}); }, "notes.txt: not one of the eleven"},
        {"empty file", [](const fs::path& d) { WriteBytes(d / "popups.ini", Bytes{}); }, "popups.ini: the file is empty"},
        {"file over 4 GiB - 1", [](const fs::path& d) { fs::resize_file(d / "vexa.hlp", 0x100000000ull); },
         "vexa.hlp: the file is larger than 4 GiB - 1 bytes"},
        {"directory in a file's place",
         [](const fs::path& d) { fs::remove(d / "aliases.ini"); fs::create_directory(d / "aliases.ini"); },
         "aliases.ini: not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path dir = root_ / "spoiled";
        fs::copy(payload_, dir);
        c.spoil(dir);
        Outcome pack = Run("pack " + dir.string() + " " + Path("pkg.bin") + " --checksum-file " + Path("sum.txt"));
        EXPECT_EQ(pack.status, 1);
        EXPECT_NE(pack.err.find(c.message), std::string::npos) << pack.err;
        EXPECT_TRUE(pack.out.empty());
        fs::remove_all(dir);
        EXPECT_EQ(Leftovers(), std::vector<std::string>()) << "no package, checksum or partial file";
    }
    Outcome noDir = Run("pack " + Path("absent") + " " + Path("pkg.bin"));
    EXPECT_EQ(noDir.status, 1);
    EXPECT_NE(noDir.err.find("absent: not a directory"), std::string::npos) << noDir.err;
}

TEST_F(Vexapack, EncodeAndDecodeOneMember)
{
    std::string text = payload_.string() + "/versions.txt";
    Outcome encode = Run("encode " + text + " " + Path("m.bin"));
    ASSERT_EQ(encode.status, 0) << encode.err;
    Bytes member = ReadBytes(Path("m.bin"));
    EXPECT_TRUE(MemberAvoidsMarker(member.data(), member.size(), kPackageMarker, 4));
    Outcome decode = Run("decode " + Path("m.bin") + " " + Path("back.txt"));
    ASSERT_EQ(decode.status, 0) << decode.err;
    EXPECT_TRUE(ReadBytes(Path("back.txt")) == files_[5]);
    fs::remove(Path("m.bin"));
    fs::remove(Path("back.txt"));

    struct Case {
        const char* what;
        Bytes member;
        const char* message;
    };
    const Case cases[] = {
        {"size field cut short", Bytes{5, 0, 0}, "shorter than its four-byte size field"},
        {"stated size 0", Bytes{0, 0, 0, 0, 0x55}, "cannot be decoded"},
        {"bits run out", HandMadeMember(100, 3), "its bit stream runs out before the stated size of 100 bytes"},
        // Two bytes of bits cannot make 2 GiB: refused without decoding.
        {"size far beyond its bits", Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0x12, 0x34},
         "its bit stream runs out before the stated size of 2147483647 bytes"},
        {"decodes past its size", HandMadeMember(3, 10), "decodes to 11 bytes instead of its stated size of 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(Path("m.bin"), c.member);
        Outcome bad = Run("decode " + Path("m.bin") + " " + Path("out.bin"));
        EXPECT_EQ(bad.status, 1);
        EXPECT_NE(bad.err.find(Path("m.bin") + ": " + c.message), std::string::npos) << bad.err;
        EXPECT_FALSE(fs::exists(Path("out.bin")));
        EXPECT_FALSE(fs::exists(Path("out.bin.partial")));
    }

    WriteBytes(Path("empty"), Bytes{});
    Outcome empty = Run("encode " + Path("empty") + " " + Path("e.bin"));
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("empty: the file is empty"), std::string::npos) << empty.err;
    EXPECT_FALSE(fs::exists(Path("e.bin")));
}

TEST_F(Vexapack, UsageErrorsAndHelp)
{
    const char* usageErrors[] = {
        "", "frobnicate x", "encode onlyone", "decode a b c", "pack onlydir", "pack d p --bogus",
        "pack d p --checksum-file", "verify", "verify a b", "verify f --checksum 123",
        "verify f --checksum 0x1234567G", "list", "extract f", "extract f d --overwrite",
    };
    for (const char* args : usageErrors) {
        SCOPED_TRACE(args);
        Outcome outcome = Run(args);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.err.find("usage: vexapack"), std::string::npos) << outcome.err;
    }
    for (const char* command : {"encode", "decode", "pack", "verify", "list", "extract"}) {
        SCOPED_TRACE(command);
        Outcome help = Run(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind(std::string("usage: vexapack ") + command, 0), 0u) << help.out;
    }
    EXPECT_EQ(Run("--help").status, 0);
}

} // namespace
