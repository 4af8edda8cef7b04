// The member decoder on arbitrary member bytes, read and written through
// stdio streams as the installer does. Beyond not crashing it must keep its
// promises: true only after reaching the stated size (overshooting by at
// most the rest of a final match), false only for a size field cut short,
// a stated size of 0 or a failed write, and progress within the size.
#include <cstdint>
#include <cstdio>

#include "fuzz_support.h"
#include "member_decoder.h"

namespace {

uint32_t statedSize;
uint32_t lastStep;
int doneCalls;

uint32_t BarWidth() { return 194; }

void Step(uint32_t produced, uint32_t size)
{
    FUZZ_EXPECT(size == statedSize);
    FUZZ_EXPECT(produced > lastStep);
    lastStep = produced;
}

void Done() { doneCalls++; }

const FileProgress kCheckedProgress = {BarWidth, Step, Done};
const bool kProgressChecked = (UseFileProgress(&kCheckedProgress), true);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    statedSize = 0;
    for (size_t i = 0; i < 4 && i < size; i++)
        statedSize |= static_cast<uint32_t>(data[i]) << (8 * i);
    lastStep = 0;
    doneCalls = 0;

    FILE* input = InputStream(data, size);
    size_t accepted = 0;
    FILE* output = BoundedSink(&accepted);
    FUZZ_EXPECT(input && output);
    bool decoded = DecodeMember(input, output);
    bool flushed = std::fflush(output) == 0;
    std::fclose(output);
    std::fclose(input);

    if (decoded) {
        FUZZ_EXPECT(size >= 4 && statedSize > 0);
        // A final match may run past the size by up to 59 bytes, never more.
        FUZZ_EXPECT(!flushed || (accepted >= statedSize && accepted - statedSize < 60));
        FUZZ_EXPECT(doneCalls == 1);
    } else {
        bool writeFailed = accepted > OUTPUT_LIMIT || !flushed;
        FUZZ_EXPECT(size < 4 || statedSize == 0 || writeFailed);
        FUZZ_EXPECT(doneCalls == 0);
    }
    FUZZ_EXPECT(lastStep <= statedSize + 59u || statedSize + 59u < statedSize);
    return 0;
}
