// One codec operation on one file, for counting instructions under callgrind:
//   codec_probe decode FILE        decodes FILE's member (made beforehand)
//   codec_probe encode FILE        the real encoder
//   codec_probe encode-greedy FILE the greedy baseline
// Collection is switched on around the operation alone (run with
// --collect-atstart=no, as bench/callgrind.sh does). Prints the file's size
// and its member's.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "installer_bar.h"
#include "member_decoder.h"
#include "member_encoder.h"
#include "file_bytes.h"

namespace {
const bool kBarUsed = (UseFileProgress(InstallerSizedBar()), true);
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: codec_probe decode|encode|encode-greedy FILE\n");
        return 2;
    }
    std::vector<uint8_t> data;
    ReadFileBytes(argv[2], data);
    if (data.empty()) {
        std::fprintf(stderr, "codec_probe: %s: missing or empty\n", argv[2]);
        return 1;
    }
    const char* mode = argv[1];
    if (std::strcmp(mode, "encode") == 0) {
        CALLGRIND_TOGGLE_COLLECT;
        std::vector<uint8_t> member = EncodeMember(data.data(), data.size());
        CALLGRIND_TOGGLE_COLLECT;
        std::printf("%zu %zu\n", data.size(), member.size());
        return 0;
    }
    if (std::strcmp(mode, "encode-greedy") == 0) {
        CALLGRIND_TOGGLE_COLLECT;
        std::vector<uint8_t> member = EncodeMemberGreedy(data.data(), data.size());
        CALLGRIND_TOGGLE_COLLECT;
        std::printf("%zu %zu\n", data.size(), member.size());
        return 0;
    }
    if (std::strcmp(mode, "decode") != 0) {
        std::fprintf(stderr, "codec_probe: unknown operation %s\n", mode);
        return 2;
    }
    std::vector<uint8_t> member = EncodeMember(data.data(), data.size());
    FILE* input = std::tmpfile();
    FILE* sink = std::fopen("/dev/null", "wb");
    if (!input || !sink)
        return 1;
    std::fwrite(member.data(), 1, member.size(), input);
    std::rewind(input);
    CALLGRIND_TOGGLE_COLLECT;
    bool ok = DecodeMember(input, sink);
    CALLGRIND_TOGGLE_COLLECT;
    std::fclose(input);
    std::fclose(sink);
    if (!ok) {
        std::fprintf(stderr, "codec_probe: decoding failed\n");
        return 1;
    }
    std::printf("%zu %zu\n", data.size(), member.size());
    return 0;
}
