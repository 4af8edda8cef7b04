// Decode and encode throughput on a payload directory, one benchmark per file
// and operation: decode (the installer's decoder through FILE* streams),
// encode (the real encoder) and encode-greedy (the baseline).
//   codec_throughput PAYLOAD_DIR [benchmark options]
// The counter "member" is the member's size in bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
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

namespace {

struct PayloadFile {
    std::string name;
    std::vector<uint8_t> data;
    std::vector<uint8_t> member;
};

void Decode(benchmark::State& state, const PayloadFile* file)
{
    FILE* input = std::tmpfile();
    FILE* sink = std::fopen("/dev/null", "wb");
    if (!input || !sink) {
        state.SkipWithError("no scratch streams");
        return;
    }
    std::fwrite(file->member.data(), 1, file->member.size(), input);
    for (auto _ : state) {
        std::rewind(input);
        if (!DecodeMember(input, sink)) {
            state.SkipWithError("decoding failed");
            break;
        }
    }
    std::fclose(input);
    std::fclose(sink);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file->data.size()));
    state.counters["member"] = static_cast<double>(file->member.size());
}

void Encode(benchmark::State& state, const PayloadFile* file, bool greedy)
{
    size_t size = 0;
    for (auto _ : state) {
        std::vector<uint8_t> member = greedy ? EncodeMemberGreedy(file->data.data(), file->data.size())
                                             : EncodeMember(file->data.data(), file->data.size());
        size = member.size();
        benchmark::DoNotOptimize(member.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file->data.size()));
    state.counters["member"] = static_cast<double>(size);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: codec_throughput PAYLOAD_DIR [benchmark options]\n");
        return 2;
    }
    static std::vector<PayloadFile> files(MEMBER_COUNT);
    for (int i = 0; i < MEMBER_COUNT; i++) {
        files[i].name = MemberTable[i];
        ReadFileBytes(std::string(argv[1]) + "/" + MemberTable[i], files[i].data);
        if (files[i].data.empty()) {
            std::fprintf(stderr, "codec_throughput: %s/%s: missing or empty\n", argv[1], MemberTable[i]);
            return 1;
        }
        files[i].member = EncodeMember(files[i].data.data(), files[i].data.size());
    }
    for (const PayloadFile& file : files) {
        benchmark::RegisterBenchmark(("decode/" + file.name).c_str(), Decode, &file)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("encode/" + file.name).c_str(), Encode, &file, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("encode-greedy/" + file.name).c_str(), Encode, &file, true)
            ->Unit(benchmark::kMillisecond);
    }
    // The payload directory is ours; the rest belongs to the library.
    argv[1] = argv[0];
    int rest = argc - 1;
    benchmark::Initialize(&rest, argv + 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
