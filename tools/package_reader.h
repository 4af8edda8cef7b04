// Reads packages the way the installer's scanner does, with its own byte
// rule and checksum (FeedPackageByte), and decodes members with its own
// decoder, checking what the installer cannot: that each member decodes to
// exactly its stated size from bits that lie inside it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct ReadMember {
    long offset = 0;         // of its first byte in the file
    long bytes = 0;          // between its two markers
    uint32_t statedSize = 0; // from its size field
    bool sizeComplete = false;
    FILE* data = nullptr;    // the member's bytes as the reader collected them (a temporary file)
};

struct ReadPackageResult {
    std::vector<ReadMember> members;
    long packageOffset = -1; // of the opening marker; -1 when there is none
    uint32_t checksum = 0;   // over the summed range, as far as it was read
    bool lastUnclosed = false; // the file ended inside the last member

    ReadPackageResult() = default;
    ReadPackageResult(const ReadPackageResult&) = delete;
    ReadPackageResult& operator=(const ReadPackageResult&) = delete;
    ~ReadPackageResult();
};

// Reads the package out of the file at path: the first marker anywhere opens
// member 0, the marker that closes the eleventh member ends the reading.
// False with a message only when the file cannot be read at all.
bool ReadPackageFile(const std::string& path, ReadPackageResult& package, std::string& error);

// Faults of the layout (no marker, fewer than eleven closed members, a size
// field cut short or 0), one message each; empty when the layout is sound.
std::vector<std::string> PackageLayoutProblems(const ReadPackageResult& package);

// Decodes one member (its bytes in input, memberBytes of them) into output.
// decoded is the number of bytes written, -1 when decoding failed outright.
bool DecodeMemberChecked(FILE* input, long memberBytes, FILE* output, long long& decoded, std::string& error);
