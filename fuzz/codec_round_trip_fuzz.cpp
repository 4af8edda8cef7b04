// Producer and reader against each other: arbitrary bytes cut into eleven
// files, packed by the package writer, read back by the installer's byte
// rule and decoded by the installer's decoder must give the same files and
// the same checksum.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "member_decoder.h"
#include "package_format.h"
#include "package_reader.h"
#include "package_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < PACKAGE_MEMBERS)
        return 0;
    // Eleven non-empty files; the first eleven bytes stretch or shrink the
    // cuts so that files of very different sizes meet.
    std::vector<uint8_t> files[PACKAGE_MEMBERS];
    size_t share = size / PACKAGE_MEMBERS, at = 0;
    for (int i = 0; i < PACKAGE_MEMBERS; i++) {
        size_t others = PACKAGE_MEMBERS - 1 - i;
        size_t length = i == PACKAGE_MEMBERS - 1 ? size - at : share * (data[i] % 4) / 2;
        if (length < 1)
            length = 1;
        if (length > size - at - others)
            length = size - at - others;
        files[i].assign(data + at, data + at + length);
        at += length;
    }

    std::vector<uint8_t> package;
    uint32_t checksum = 0;
    std::string error;
    if (!BuildPackage(files, package, checksum, error))
        return 0;   // a file whose every encoding would spell the marker
    FUZZ_EXPECT(checksum == PackageChecksum(package.data(), package.size()));

    static const std::string path = "/tmp/codec-round-trip-fuzz-" + std::to_string(getpid()) + ".pkg";
    FILE* out = std::fopen(path.c_str(), "wb");
    FUZZ_EXPECT(out);
    std::fwrite(package.data(), 1, package.size(), out);
    std::fclose(out);

    ReadPackageResult read;
    FUZZ_EXPECT(ReadPackageFile(path, read, error));
    FUZZ_EXPECT(PackageLayoutProblems(read).empty());
    FUZZ_EXPECT(read.members.size() == PACKAGE_MEMBERS && !read.lastUnclosed);
    FUZZ_EXPECT(read.packageOffset == 0 && read.checksum == checksum);
    for (int i = 0; i < PACKAGE_MEMBERS; i++) {
        FILE* decoded = std::tmpfile();
        long long count = 0;
        FUZZ_EXPECT(DecodeMemberChecked(read.members[i].data, read.members[i].bytes, decoded, count, error));
        FUZZ_EXPECT(count == static_cast<long long>(files[i].size()));
        std::rewind(decoded);
        for (uint8_t expected : files[i])
            FUZZ_EXPECT(std::fgetc(decoded) == expected);
        std::fclose(decoded);
    }
    return 0;
}
