#include "package_reader.h"

#include <cerrno>
#include <cstring>

#include "member_decoder.h"
#include "package_format.h"

#ifdef _WIN32
#include <windows.h>
#endif

// A read-write file that disappears when it is closed.
static FILE* OpenScratchFile()
{
#ifdef _WIN32
    char dir[MAX_PATH];
    char path[MAX_PATH];
    if (!GetTempPathA(sizeof dir, dir) || !GetTempFileNameA(dir, "vxp", 0, path))
        return nullptr;
    return std::fopen(path, "w+bD");
#else
    return std::tmpfile();
#endif
}

ReadPackageResult::~ReadPackageResult()
{
    for (ReadMember& member : members)
        if (member.data)
            std::fclose(member.data);
}

static void CloseMember(ReadPackageResult& package)
{
    ReadMember& member = package.members.back();
    member.bytes = std::ftell(member.data);
    std::rewind(member.data);
    uint8_t size[4];
    member.sizeComplete = std::fread(size, 1, 4, member.data) == 4;
    if (member.sizeComplete)
        member.statedSize = size[0] | size[1] << 8 | size[2] << 16 | static_cast<uint32_t>(size[3]) << 24;
    std::rewind(member.data);
}

bool ReadPackageFile(const std::string& path, ReadPackageResult& package, std::string& error)
{
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    PackageScan scan;
    StartPackageScan(&scan);
    FILE* member = nullptr;   // the member being collected
    long offset = 0;
    bool ok = true;
    int byte;
    while ((byte = std::fgetc(in)) != EOF) {
        offset++;
        int event = FeedPackageByte(&scan, byte, member);
        if (event == MARKER_WRITE_FAILED) {
            error = "cannot keep the member's bytes in a temporary file";
            ok = false;
            break;
        }
        if (event != MARKER_COMPLETE)
            continue;
        if (member) {
            CloseMember(package);
            member = nullptr;
            if (package.members.size() >= MEMBER_COUNT)
                break;
        } else {
            package.packageOffset = offset - MARKER_LENGTH;
        }
        ReadMember opened;
        opened.offset = offset;
        opened.data = OpenScratchFile();
        if (!opened.data) {
            error = std::string("cannot create a temporary file: ") + std::strerror(errno);
            ok = false;
            break;
        }
        package.members.push_back(opened);
        member = opened.data;
    }
    if (ok && std::ferror(in)) {
        error = std::string("read error: ") + std::strerror(errno);
        ok = false;
    }
    std::fclose(in);
    if (ok && member) {
        // The file ended inside the last member: a pending partial marker is
        // that member's data, as the installer takes it.
        if (FlushPartialMarker(&scan, member) == MARKER_WRITE_FAILED) {
            error = "cannot keep the member's bytes in a temporary file";
            ok = false;
        } else {
            CloseMember(package);
            package.lastUnclosed = true;
        }
    }
    package.checksum = static_cast<uint32_t>(scan.checksum);
    return ok;
}

std::vector<std::string> PackageLayoutProblems(const ReadPackageResult& package)
{
    std::vector<std::string> problems;
    if (package.packageOffset < 0) {
        problems.push_back("no package marker found");
        return problems;
    }
    size_t closed = package.members.size() - (package.lastUnclosed ? 1 : 0);
    if (closed < MEMBER_COUNT)
        problems.push_back("truncated package: the file ends after " + std::to_string(closed) +
                           " complete member(s) of " + std::to_string(MEMBER_COUNT));
    for (size_t i = 0; i < package.members.size(); i++) {
        const ReadMember& m = package.members[i];
        std::string name = "member " + std::to_string(i) + " (" + MemberTable[i] + "): ";
        if (!m.sizeComplete)
            problems.push_back(name + "shorter than its four-byte size field");
        else if (m.statedSize == 0)
            problems.push_back(name + "stated size 0");
    }
    return problems;
}

bool DecodeMemberChecked(FILE* input, long memberBytes, FILE* output, long long& decoded, std::string& error)
{
    // No symbol costs less than one bit, and a match of 60 bytes at least ten
    // (its code and the nine bits of the shortest offset code), so a bit stream
    // yields at most six bytes per bit, plus the overshoot of a final match.
    // A stated size beyond that cannot be reached from the member's own bits;
    // refusing it up front spares decoding up to 4 GiB of zero bits.
    decoded = -1;
    uint32_t stated = 0;
    std::rewind(input);
    for (int i = 0; i < 4; i++)
        stated |= static_cast<uint32_t>(std::fgetc(input) & 0xFF) << (8 * i);
    std::rewind(input);
    uint64_t streamBits = memberBytes > 4 ? 8 * static_cast<uint64_t>(memberBytes - 4) : 0;
    if (memberBytes >= 4 && stated > 6 * streamBits + 59) {
        error = "its bit stream runs out before the stated size of " + std::to_string(stated) +
                " bytes is decoded";
        return false;
    }

    // Zero bytes after the member change nothing (the decoder reads zero bits
    // past the end anyway) but show how far it read: a member that holds all
    // the bits it needs is never read more than two bytes beyond its end.
    std::fseek(input, 0, SEEK_END);
    static const uint8_t slack[3] = {0, 0, 0};
    std::fwrite(slack, 1, sizeof slack, input);
    std::rewind(input);
    if (!DecodeMember(input, output)) {
        if (std::ferror(output))
            error = "cannot write the decoded data";
        else
            error = "cannot be decoded (size field cut short or stated size 0)";
        return false;
    }
    long consumed = std::ftell(input);
    bool ranOut = std::feof(input) || consumed > memberBytes + 2;
    if (std::fflush(output) != 0 || std::ferror(output)) {
        error = "cannot write the decoded data";
        return false;
    }
    decoded = std::ftell(output);
    if (ranOut) {
        error = "its bit stream runs out before the stated size of " + std::to_string(stated) +
                " bytes is decoded";
        return false;
    }
    if (decoded != static_cast<long long>(stated)) {
        error = "decodes to " + std::to_string(decoded) + " bytes instead of its stated size of " +
                std::to_string(stated);
        return false;
    }
    return true;
}
