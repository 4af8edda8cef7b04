// The package reader (the installer's byte rule and checksum, as vexapack
// uses them) on arbitrary images, then every member it finds through the
// checked decoder. The reader must lose no byte: the markers and members it
// reports, laid end to end, are exactly the image from the first marker on,
// and its checksum is the weighted sum of exactly those bytes after the
// opening marker.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "member_decoder.h"
#include "package_format.h"
#include "package_reader.h"

namespace {

const uint8_t kMarker[4] = {'A', 'R', 'N', 'I'};

std::string ImagePath()
{
    static std::string path = "/tmp/package-reader-fuzz-" + std::to_string(getpid()) + ".bin";
    return path;
}

std::vector<uint8_t> ContentsOf(FILE* stream)
{
    std::vector<uint8_t> bytes;
    std::rewind(stream);
    int c;
    while ((c = std::fgetc(stream)) != EOF)
        bytes.push_back(static_cast<uint8_t>(c));
    std::rewind(stream);
    return bytes;
}

uint32_t WeightedSum(const uint8_t* data, size_t size)
{
    static const uint32_t weights[4] = {1, 2, 3, static_cast<uint32_t>(-4)};
    uint32_t sum = 0;
    for (size_t k = 0; k < size; k++)
        sum += weights[k % 4] * data[k];
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* image = std::fopen(ImagePath().c_str(), "wb");
    FUZZ_EXPECT(image);
    if (size)
        std::fwrite(data, 1, size, image);
    std::fclose(image);

    ReadPackageResult package;
    std::string error;
    FUZZ_EXPECT(ReadPackageFile(ImagePath(), package, error));
    PackageLayoutProblems(package);

    if (package.packageOffset < 0) {
        FUZZ_EXPECT(package.members.empty() && package.checksum == 0);
        return 0;
    }
    FUZZ_EXPECT(package.members.size() <= MEMBER_COUNT);

    std::vector<uint8_t> rebuilt(kMarker, kMarker + 4);
    for (size_t i = 0; i < package.members.size(); i++) {
        const ReadMember& member = package.members[i];
        std::vector<uint8_t> bytes = ContentsOf(member.data);
        FUZZ_EXPECT(static_cast<long>(bytes.size()) == member.bytes);
        FUZZ_EXPECT(member.offset == package.packageOffset + static_cast<long>(rebuilt.size()));
        rebuilt.insert(rebuilt.end(), bytes.begin(), bytes.end());
        bool closed = i + 1 < package.members.size() || !package.lastUnclosed;
        if (closed)
            rebuilt.insert(rebuilt.end(), kMarker, kMarker + 4);
    }
    size_t start = static_cast<size_t>(package.packageOffset);
    FUZZ_EXPECT(start + rebuilt.size() <= size);
    for (size_t k = 0; k < rebuilt.size(); k++)
        FUZZ_EXPECT(rebuilt[k] == data[start + k]);
    if (package.lastUnclosed)
        FUZZ_EXPECT(start + rebuilt.size() == size);
    FUZZ_EXPECT(package.checksum == WeightedSum(rebuilt.data() + 4, rebuilt.size() - 4));

    for (ReadMember& member : package.members) {
        size_t accepted = 0;
        FILE* output = BoundedSink(&accepted);
        long long decoded = 0;
        bool ok = DecodeMemberChecked(member.data, member.bytes, output, decoded, error);
        std::fclose(output);
        if (ok)
            FUZZ_EXPECT(member.sizeComplete && decoded == static_cast<long long>(member.statedSize));
    }
    return 0;
}
