// Compression and speed of the codec on a payload directory (for example the
// one bench/make-payload.sh makes): per file its size, the member the greedy
// baseline makes, the real encoder's member and how much smaller it is, the
// ratio, and the time to decode it. bench/callgrind.sh counts instructions.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "installer_bar.h"
#include "member_decoder.h"
#include "member_encoder.h"
#include "package_format.h"
#include "file_bytes.h"

namespace {
const bool kBarUsed = (UseFileProgress(InstallerSizedBar()), true);
}  // namespace

static double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--quiet") != 0)) {
        std::fprintf(stderr, "usage: codec_bench PAYLOAD_DIR [--quiet]\n");
        return 2;
    }
    bool quiet = argc == 3;
    std::vector<std::vector<uint8_t>> members;
    std::vector<size_t> sizes;
    std::vector<size_t> greedySizes;
    double encodeTime = 0;
    for (int i = 0; i < MEMBER_COUNT; i++) {
        std::vector<uint8_t> data;
        ReadFileBytes(std::string(argv[1]) + "/" + MemberTable[i], data);
        if (data.empty()) {
            std::fprintf(stderr, "codec_bench: %s/%s: missing or empty\n", argv[1], MemberTable[i]);
            return 1;
        }
        auto start = std::chrono::steady_clock::now();
        members.push_back(EncodeMember(data.data(), data.size()));
        encodeTime += Seconds(start);
        sizes.push_back(data.size());
        greedySizes.push_back(EncodeMemberGreedy(data.data(), data.size()).size());
    }

    FILE* sink = std::fopen("/dev/null", "wb");
    std::vector<FILE*> inputs;
    for (const auto& member : members) {
        FILE* input = std::tmpfile();
        std::fwrite(member.data(), 1, member.size(), input);
        std::rewind(input);
        inputs.push_back(input);
    }
    size_t totalIn = 0, totalOut = 0, totalGreedy = 0;
    double decodeTime = 0;
    auto smaller = [](size_t greedy, size_t member) { return 100.0 * (double(greedy) - double(member)) / double(greedy); };
    if (!quiet)
        std::printf("%-12s  %10s  %10s  %10s  %8s  %6s  %9s\n", "file", "bytes", "greedy", "member", "smaller",
                    "ratio", "decode ms");
    for (int i = 0; i < MEMBER_COUNT; i++) {
        auto start = std::chrono::steady_clock::now();
        bool ok = DecodeMember(inputs[i], sink);
        double seconds = Seconds(start);
        decodeTime += seconds;
        if (!ok) {
            std::fprintf(stderr, "codec_bench: %s: decoding failed\n", MemberTable[i]);
            return 1;
        }
        totalIn += sizes[i];
        totalOut += members[i].size();
        totalGreedy += greedySizes[i];
        if (!quiet)
            std::printf("%-12s  %10zu  %10zu  %10zu  %7.2f%%  %6.3f  %9.2f\n", MemberTable[i], sizes[i],
                        greedySizes[i], members[i].size(), smaller(greedySizes[i], members[i].size()),
                        double(members[i].size()) / double(sizes[i]), seconds * 1000);
    }
    if (!quiet)
        std::printf("%-12s  %10zu  %10zu  %10zu  %7.2f%%  %6.3f  %9.2f   (encoding took %.2f ms)\n", "total",
                    totalIn, totalGreedy, totalOut, smaller(totalGreedy, totalOut), double(totalOut) / double(totalIn),
                    decodeTime * 1000, encodeTime * 1000);
    for (FILE* input : inputs)
        std::fclose(input);
    std::fclose(sink);
    return 0;
}
