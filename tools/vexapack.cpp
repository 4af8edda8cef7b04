// vexapack: makes, checks, lists and extracts setup32 packages, and encodes
// and decodes single members. Reads packages with the installer's own byte
// rule and checksum, and decodes with the installer's own decoder.
//
// Exit status: 0 sound, 1 bad data or a failed file operation, 2 usage error.

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "member_decoder.h"
#include "member_encoder.h"
#include "package_format.h"
#include "package_reader.h"
#include "package_writer.h"
#include "file_bytes.h"

namespace fs = std::filesystem;

// vexapack shows no per-file progress.
namespace {

enum { EXIT_OK = 0, EXIT_BAD_DATA = 1, EXIT_USAGE = 2 };

const char* const kUsage =
    "usage: vexapack COMMAND ARGS...\n"
    "  encode FILE MEMBER                        compress one file into one member\n"
    "  decode MEMBER FILE                        decompress one member\n"
    "  pack DIR PACKAGE [--checksum-file FILE]   build a package from the eleven files in DIR\n"
    "  verify FILE [--checksum 0xXXXXXXXX]       read a package or installer and decode every member\n"
    "  list FILE                                 show the members without decoding them\n"
    "  extract FILE DIR [--force]                write the eleven files into DIR\n"
    "Run vexapack COMMAND --help for one command.\n";

struct CommandHelp {
    const char* name;
    const char* text;
};

const CommandHelp kHelp[] = {
    {"encode", "usage: vexapack encode FILE MEMBER\n"
               "Compresses FILE into MEMBER: four-byte little-endian size, then the bit stream.\n"
               "The member obeys the package's marker rules.\n"},
    {"decode", "usage: vexapack decode MEMBER FILE\n"
               "Decompresses MEMBER into FILE with the installer's decoder; fails when the\n"
               "member does not decode to exactly its stated size.\n"},
    {"pack", "usage: vexapack pack DIR PACKAGE [--checksum-file FILE]\n"
             "DIR must hold exactly the eleven payload files, none empty and none over\n"
             "4 GiB - 1 bytes. Writes PACKAGE and prints its checksum as 0xXXXXXXXX;\n"
             "--checksum-file also writes the checksum alone to FILE.\n"},
    {"verify", "usage: vexapack verify FILE [--checksum 0xXXXXXXXX]\n"
               "Reads FILE (a package, or an installer that carries one) as the installer\n"
               "does, decodes every member and prints the members and the checksum. Exit 0\n"
               "only when all eleven members are sound and, if given, the checksum matches.\n"},
    {"list", "usage: vexapack list FILE\n"
             "Prints the members of the package in FILE (their stated sizes) and its\n"
             "checksum without decoding.\n"},
    {"extract", "usage: vexapack extract FILE DIR [--force]\n"
                "Decodes the eleven members of the package in FILE into DIR under their\n"
                "file names. Existing files are kept (and nothing is written) unless --force.\n"},
};

int Usage(const char* message)
{
    if (message)
        std::fprintf(stderr, "vexapack: %s\n", message);
    std::fputs(kUsage, stderr);
    return EXIT_USAGE;
}

int Fail(const std::string& path, const std::string& problem)
{
    std::fprintf(stderr, "vexapack: %s: %s\n", path.c_str(), problem.c_str());
    return EXIT_BAD_DATA;
}

std::string SystemError() { return std::strerror(errno); }

// A file that is removed again unless it is kept: no partial output survives.
class PartialFile {
public:
    explicit PartialFile(const std::string& target) : target_(target), path_(target + ".partial") {}
    ~PartialFile()
    {
        if (stream_)
            std::fclose(stream_);
        if (!kept_)
            std::remove(path_.c_str());
    }
    FILE* Open()
    {
        stream_ = std::fopen(path_.c_str(), "wb");
        return stream_;
    }
    // Closes and checks the data reached the disk.
    bool Close()
    {
        FILE* stream = stream_;
        stream_ = nullptr;
        bool flushed = std::fflush(stream) == 0 && !std::ferror(stream);
        return std::fclose(stream) == 0 && flushed;
    }
    bool Keep()
    {
        if (std::rename(path_.c_str(), target_.c_str()) != 0)
            return false;
        kept_ = true;
        return true;
    }

private:
    std::string target_;
    std::string path_;
    FILE* stream_ = nullptr;
    bool kept_ = false;
};

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error)
{
    PartialFile file(path);
    FILE* out = file.Open();
    if (!out) {
        error = "cannot create: " + SystemError();
        return false;
    }
    if ((!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) || !file.Close()) {
        error = "cannot write: " + SystemError();
        return false;
    }
    if (!file.Keep()) {
        error = "cannot write: " + SystemError();
        return false;
    }
    return true;
}

// Whole payload files, refused before reading when they cannot be a member.
bool ReadPayloadFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        error = "no such file";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = "not a regular file";
        return false;
    }
    uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        error = "cannot read: " + ec.message();
        return false;
    }
    if (size == 0) {
        error = "the file is empty (a size of 0 cannot be decoded)";
        return false;
    }
    if (size > UINT32_MAX) {
        error = "the file is larger than 4 GiB - 1 bytes (" + std::to_string(size) + " bytes)";
        return false;
    }
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
        error = "cannot open: " + SystemError();
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    size_t got = std::fread(bytes.data(), 1, bytes.size(), in);
    bool failed = std::ferror(in) || got != bytes.size();
    std::fclose(in);
    if (failed) {
        error = "cannot read: the file changed or could not be read whole";
        return false;
    }
    return true;
}

void PrintTable(const std::string& path, const ReadPackageResult& package, const std::vector<long long>* decoded)
{
    std::printf("%s: package at byte %ld\n", path.c_str(), package.packageOffset);
    std::printf("%5s  %-12s  %10s  %12s  %12s\n", "index", "name", "offset", "member bytes",
                decoded ? "decoded size" : "stated size");
    for (size_t i = 0; i < package.members.size(); i++) {
        const ReadMember& m = package.members[i];
        long long size = decoded ? (*decoded)[i] : static_cast<long long>(m.statedSize);
        std::printf("%5zu  %-12s  %10ld  %12ld  %12lld\n", i, MemberTable[i], m.offset, m.bytes, size);
    }
    std::printf("checksum 0x%08" PRIX32 "\n", package.checksum);
}

bool ParseChecksum(const char* text, uint32_t& value)
{
    if (std::strlen(text) != 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    for (const char* p = text + 2; *p; p++)
        if (!std::isxdigit(static_cast<unsigned char>(*p)))
            return false;
    value = static_cast<uint32_t>(std::strtoul(text + 2, nullptr, 16));
    return true;
}

bool WantsHelp(int argc, char** argv)
{
    for (int i = 2; i < argc; i++)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

int CommandEncode(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return Usage("encode takes FILE MEMBER");
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadPayloadFile(args[0], data, error))
        return Fail(args[0], error);
    std::vector<uint8_t> member;
    if (!EncodeMemberAvoiding(data.data(), data.size(), kPackageMarker, sizeof kPackageMarker, member, error))
        return Fail(args[0], error);
    if (!WriteWholeFile(args[1], member, error))
        return Fail(args[1], error);
    return EXIT_OK;
}

int CommandDecode(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return Usage("decode takes MEMBER FILE");
    const std::string& memberPath = args[0];
    FILE* original = std::fopen(memberPath.c_str(), "rb");
    if (!original)
        return Fail(memberPath, "cannot open: " + SystemError());
    // Work on a copy: the check appends to it.
    FILE* input = std::tmpfile();
    long memberBytes = 0;
    int byte;
    while (input && (byte = std::fgetc(original)) != EOF) {
        std::fputc(byte, input);
        memberBytes++;
    }
    bool readFailed = std::ferror(original);
    std::fclose(original);
    if (!input)
        return Fail(memberPath, "cannot create a temporary file: " + SystemError());
    if (readFailed) {
        std::fclose(input);
        return Fail(memberPath, "read error: " + SystemError());
    }
    if (memberBytes < 4) {
        std::fclose(input);
        return Fail(memberPath, "shorter than its four-byte size field");
    }

    PartialFile file(args[1]);
    FILE* output = file.Open();
    if (!output) {
        std::fclose(input);
        return Fail(args[1], "cannot create: " + SystemError());
    }
    long long decoded = 0;
    std::string error;
    bool ok = DecodeMemberChecked(input, memberBytes, output, decoded, error);
    std::fclose(input);
    if (!ok)
        return Fail(memberPath, error);
    if (!file.Close() || !file.Keep())
        return Fail(args[1], "cannot write: " + SystemError());
    return EXIT_OK;
}

int CommandPack(const std::vector<std::string>& args)
{
    std::string checksumFile;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "--checksum-file") {
            if (i + 1 >= args.size())
                return Usage("--checksum-file needs a FILE");
            checksumFile = args[++i];
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return Usage(("unknown option " + args[i]).c_str());
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2)
        return Usage("pack takes DIR PACKAGE");
    const std::string& dir = positional[0];

    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return Fail(dir, "not a directory");
    // Everything is checked before anything is read: the whole set must be right.
    std::vector<std::string> problems;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        bool known = false;
        for (int i = 0; i < MEMBER_COUNT; i++)
            known = known || name == MemberTable[i];
        if (!known)
            problems.push_back(name + ": not one of the eleven payload files");
    }
    if (ec)
        return Fail(dir, "cannot list: " + ec.message());
    std::vector<uint8_t> files[PACKAGE_MEMBERS];
    for (int i = 0; i < MEMBER_COUNT; i++) {
        std::string error;
        if (!ReadPayloadFile((fs::path(dir) / MemberTable[i]).string(), files[i], error))
            problems.push_back(std::string(MemberTable[i]) + ": " + error);
    }
    if (!problems.empty()) {
        for (const std::string& problem : problems)
            std::fprintf(stderr, "vexapack: %s/%s\n", dir.c_str(), problem.c_str());
        return EXIT_BAD_DATA;
    }

    std::vector<uint8_t> package;
    uint32_t checksum = 0;
    std::string error;
    if (!BuildPackage(files, package, checksum, error))
        return Fail(dir, error);
    if (!WriteWholeFile(positional[1], package, error))
        return Fail(positional[1], error);
    if (!checksumFile.empty()) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08" PRIX32 "\n", checksum);
        if (!WriteWholeFile(checksumFile, std::vector<uint8_t>(text, text + std::strlen(text)), error)) {
            std::remove(positional[1].c_str());
            return Fail(checksumFile, error);
        }
    }
    std::printf("0x%08" PRIX32 "\n", checksum);
    return EXIT_OK;
}

// The certificate table of a signed Windows image (its security directory,
// data directory entry 4: a file offset and a size), or false when the file
// is no PE image or carries none. The installer reads nothing past its
// package, so a signature appended after it changes nothing it reads.
bool FindSignature(const std::string& path, uint32_t& offset, uint32_t& size)
{
    std::vector<uint8_t> image;
    if (!ReadFileBytes(path, image) || image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z')
        return false;
    auto word = [&](size_t at) { return at + 2 <= image.size() ? uint32_t(image[at] | image[at + 1] << 8) : 0u; };
    auto dword = [&](size_t at) { return at + 4 <= image.size() ? word(at) | word(at + 2) << 16 : 0u; };
    size_t pe = dword(0x3C);
    if (pe + 24 > image.size() || dword(pe) != 0x00004550)   // "PE\0\0"
        return false;
    size_t optional = pe + 24;
    uint32_t magic = word(optional);
    size_t directories = magic == 0x10B ? optional + 96 : magic == 0x20B ? optional + 112 : 0;
    if (directories == 0 || dword(directories - 4) <= 4)     // NumberOfRvaAndSizes
        return false;
    offset = dword(directories + 4 * 8);
    size = dword(directories + 4 * 8 + 4);
    return offset != 0 && size != 0;
}

int CommandVerify(const std::vector<std::string>& args)
{
    bool checkSum = false;
    uint32_t expected = 0;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "--checksum") {
            if (i + 1 >= args.size() || !ParseChecksum(args[i + 1].c_str(), expected))
                return Usage("--checksum needs 0x followed by eight hex digits");
            checkSum = true;
            i++;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return Usage(("unknown option " + args[i]).c_str());
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 1)
        return Usage("verify takes FILE");
    const std::string& path = positional[0];

    ReadPackageResult package;
    std::string error;
    if (!ReadPackageFile(path, package, error))
        return Fail(path, error);
    std::vector<std::string> problems = PackageLayoutProblems(package);
    std::vector<long long> decoded(package.members.size(), -1);
    for (size_t i = 0; i < package.members.size(); i++) {
        ReadMember& m = package.members[i];
        if (!m.sizeComplete || m.statedSize == 0)
            continue;
        FILE* output = std::tmpfile();
        if (!output)
            return Fail(path, "cannot create a temporary file: " + SystemError());
        if (!DecodeMemberChecked(m.data, m.bytes, output, decoded[i], error))
            problems.push_back("member " + std::to_string(i) + " (" + MemberTable[i] + "): " + error);
        std::fclose(output);
    }
    if (package.packageOffset >= 0)
        PrintTable(path, package, &decoded);
    uint32_t signatureOffset = 0, signatureSize = 0;
    if (FindSignature(path, signatureOffset, signatureSize)) {
        std::printf("signature: certificate table of %" PRIu32 " bytes at offset %" PRIu32 "\n", signatureSize,
                    signatureOffset);
        const ReadMember* last = package.members.empty() ? nullptr : &package.members.back();
        if (last && signatureOffset < static_cast<uint64_t>(last->offset + last->bytes))
            problems.push_back("the certificate table starts inside the package, which the installer reads");
    }
    if (checkSum && package.checksum != expected) {
        char text[96];
        std::snprintf(text, sizeof text, "checksum 0x%08" PRIX32 " differs from the expected 0x%08" PRIX32,
                      package.checksum, expected);
        problems.push_back(text);
    }
    for (const std::string& problem : problems)
        Fail(path, problem);
    if (!problems.empty())
        return EXIT_BAD_DATA;
    std::printf("sound\n");
    return EXIT_OK;
}

int CommandList(const std::vector<std::string>& args)
{
    if (args.size() != 1 || args[0][0] == '-')
        return Usage("list takes FILE");
    ReadPackageResult package;
    std::string error;
    if (!ReadPackageFile(args[0], package, error))
        return Fail(args[0], error);
    std::vector<std::string> problems = PackageLayoutProblems(package);
    if (package.packageOffset >= 0)
        PrintTable(args[0], package, nullptr);
    for (const std::string& problem : problems)
        Fail(args[0], problem);
    return problems.empty() ? EXIT_OK : EXIT_BAD_DATA;
}

int CommandExtract(const std::vector<std::string>& args)
{
    bool force = false;
    std::vector<std::string> positional;
    for (const std::string& arg : args) {
        if (arg == "--force")
            force = true;
        else if (arg.size() > 1 && arg[0] == '-')
            return Usage(("unknown option " + arg).c_str());
        else
            positional.push_back(arg);
    }
    if (positional.size() != 2)
        return Usage("extract takes FILE DIR");
    const std::string& path = positional[0];
    const fs::path dir = positional[1];

    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return Fail(dir.string(), "not a directory");
    if (!force) {
        bool clash = false;
        for (int i = 0; i < MEMBER_COUNT; i++) {
            if (fs::exists(fs::symlink_status(dir / MemberTable[i], ec))) {
                Fail((dir / MemberTable[i]).string(), "exists already (use --force to overwrite)");
                clash = true;
            }
        }
        if (clash)
            return EXIT_BAD_DATA;
    }

    ReadPackageResult package;
    std::string error;
    if (!ReadPackageFile(path, package, error))
        return Fail(path, error);
    std::vector<std::string> problems = PackageLayoutProblems(package);
    if (!problems.empty()) {
        for (const std::string& problem : problems)
            Fail(path, problem);
        return EXIT_BAD_DATA;
    }
    // All members are decoded beside their targets first; only when every one
    // is sound do they take their names.
    std::vector<PartialFile*> outputs;
    int status = EXIT_OK;
    for (int i = 0; i < MEMBER_COUNT && status == EXIT_OK; i++) {
        std::string target = (dir / MemberTable[i]).string();
        PartialFile* file = new PartialFile(target);
        outputs.push_back(file);
        FILE* out = file->Open();
        long long decoded = 0;
        if (!out)
            status = Fail(target, "cannot create: " + SystemError());
        else if (!DecodeMemberChecked(package.members[i].data, package.members[i].bytes, out, decoded, error))
            status = Fail(path, "member " + std::to_string(i) + " (" + MemberTable[i] + "): " + error);
        else if (!file->Close())
            status = Fail(target, "cannot write: " + SystemError());
    }
    for (PartialFile* file : outputs) {
        if (status == EXIT_OK && !file->Keep())
            status = Fail(path, "cannot rename into place: " + SystemError());
    }
    for (PartialFile* file : outputs)
        delete file;
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage(nullptr);
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return EXIT_OK;
    }
    const char* help = nullptr;
    for (const CommandHelp& entry : kHelp)
        if (command == entry.name)
            help = entry.text;
    if (!help)
        return Usage(("unknown command " + command).c_str());
    if (WantsHelp(argc, argv)) {
        std::fputs(help, stdout);
        return EXIT_OK;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "encode")
        return CommandEncode(args);
    if (command == "decode")
        return CommandDecode(args);
    if (command == "pack")
        return CommandPack(args);
    if (command == "verify")
        return CommandVerify(args);
    if (command == "list")
        return CommandList(args);
    return CommandExtract(args);
}
