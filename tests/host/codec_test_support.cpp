#include "codec_test_support.h"

#include <cstring>

#include "member_decoder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

ProgressLog progressLog;

namespace {

uint32_t LoggedWidth() { return progressLog.width; }

void LogStep(uint32_t produced, uint32_t size)
{
    progressLog.steps.push_back(produced);
    progressLog.sizes.push_back(size);
}

void LogDone() { progressLog.done++; }

// Every member the tests decode reports into progressLog.
const FileProgress kLoggedProgress = {LoggedWidth, LogStep, LogDone};
const bool kProgressLogged = (UseFileProgress(&kLoggedProgress), true);

}  // namespace

FILE* ScratchStream()
{
#ifdef _WIN32
    char dir[MAX_PATH];
    char path[MAX_PATH];
    if (!GetTempPathA(sizeof dir, dir) || !GetTempFileNameA(dir, "cdt", 0, path))
        return nullptr;
    return std::fopen(path, "w+bD");
#else
    return std::tmpfile();
#endif
}

std::string ScratchFileHolding(const Bytes& bytes)
{
#ifdef _WIN32
    char dir[MAX_PATH];
    char path[MAX_PATH];
    if (!GetTempPathA(sizeof dir, dir) || !GetTempFileNameA(dir, "cdt", 0, path))
        return std::string();
#else
    char path[] = "/tmp/codec-test-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return std::string();
    close(fd);
#endif
    FILE* out = std::fopen(path, "wb");
    if (!out)
        return std::string();
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    return path;
}

FILE* StreamHolding(const Bytes& bytes)
{
    FILE* stream = ScratchStream();
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::rewind(stream);
    return stream;
}

Bytes StreamContents(FILE* stream)
{
    std::fflush(stream);
    std::rewind(stream);
    Bytes bytes;
    int c;
    while ((c = std::fgetc(stream)) != EOF)
        bytes.push_back(static_cast<uint8_t>(c));
    return bytes;
}

#ifdef _WIN32
// The runtime's streams are opened by path; their scratch files go when the
// program ends.
namespace {
std::vector<std::string> scratchFiles;
struct ScratchFilesRemoved {
    ~ScratchFilesRemoved()
    {
        for (const std::string& path : scratchFiles)
            DeleteFileA(path.c_str());
    }
} scratchFilesRemoved;

std::string KeptScratchFile(const Bytes& bytes)
{
    scratchFiles.push_back(ScratchFileHolding(bytes));
    return scratchFiles.back();
}
}  // namespace

ByteStream* DecoderInputHolding(const Bytes& bytes)
{
    return StreamOpenRead(KeptScratchFile(bytes).c_str());
}

ByteStream* DecoderReadOnlyStream()
{
    return DecoderInputHolding(Bytes{});
}

void CloseDecoderStream(ByteStream* stream)
{
    StreamClose(stream);
}

DecodeOutcome DecodeBytes(const Bytes& member)
{
    std::string outputPath = KeptScratchFile(Bytes{});
    ByteStream* input = DecoderInputHolding(member);
    ByteStream* output = StreamCreate(outputPath.c_str());
    DecodeOutcome outcome;
    outcome.ok = DecodeMember(input, output);
    StreamClose(output);
    StreamClose(input);
    FILE* written = std::fopen(outputPath.c_str(), "rb");
    outcome.output = StreamContents(written);
    std::fclose(written);
    return outcome;
}
#else
ByteStream* DecoderInputHolding(const Bytes& bytes)
{
    return StreamHolding(bytes);
}

ByteStream* DecoderReadOnlyStream()
{
    std::string path = ScratchFileHolding(Bytes{});
    FILE* stream = std::fopen(path.c_str(), "rb");
    std::remove(path.c_str());   // gone once closed
    return stream;
}

void CloseDecoderStream(ByteStream* stream)
{
    std::fclose(stream);
}

DecodeOutcome DecodeBytes(const Bytes& member)
{
    FILE* input = StreamHolding(member);
    FILE* output = ScratchStream();
    DecodeOutcome outcome;
    outcome.ok = DecodeMember(input, output);
    outcome.output = StreamContents(output);
    std::fclose(output);
    std::fclose(input);
    return outcome;
}
#endif

namespace {

struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed * 2654435761u + 1) {}
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

const char* const kWords[] = {"the", "network", "channel", "server", "of", "and", "client", "message",
                              "to", "a", "nickname", "connect", "window", "is", "settings", "in",
                              "file", "user", "help", "for", "list", "join", "version", "with"};

} // namespace

Bytes RandomBytes(size_t size, uint32_t seed)
{
    Random random(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random.Next() >> 24);
    return bytes;
}

Bytes EnglishLikeText(size_t size, uint32_t seed)
{
    Random random(seed);
    Bytes text;
    size_t lineLength = 0;
    while (text.size() < size) {
        const char* word = kWords[random.Next() % (sizeof kWords / sizeof kWords[0])];
        text.insert(text.end(), word, word + std::strlen(word));
        lineLength += std::strlen(word) + 1;
        if (lineLength > 60 + random.Next() % 12) {
            text.push_back('\r');
            text.push_back('\n');
            lineLength = 0;
        } else {
            text.push_back(random.Next() % 9 == 0 ? ',' : ' ');
        }
    }
    text.resize(size);
    return text;
}

Bytes RunOf(size_t size, uint8_t value) { return Bytes(size, value); }

Bytes MixedBinary(size_t size, uint32_t seed)
{
    Random random(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        size_t length = 1 + random.Next() % 5000;
        switch (random.Next() % 6) {
        case 0: { Bytes part = RandomBytes(length, random.Next()); bytes.insert(bytes.end(), part.begin(), part.end()); break; }
        case 1: { Bytes part = EnglishLikeText(length, random.Next()); bytes.insert(bytes.end(), part.begin(), part.end()); break; }
        case 2: bytes.insert(bytes.end(), length, 0); break;
        case 3: // a block repeated from 4000 to 4200 bytes back: matches near the window's edge
            for (size_t k = 0; k < length && bytes.size() > 4200; k++)
                bytes.push_back(bytes[bytes.size() - 4000 - (random.Next() % 2) * 96]);
            break;
        case 4: // records with little-endian counters, as in tables of code and data
            for (size_t k = 0; k < length / 8; k++) {
                uint32_t v = static_cast<uint32_t>(bytes.size() + k * 8);
                for (int i = 0; i < 4; i++)
                    bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
                bytes.push_back(0x8B);
                bytes.push_back(0x45);
                bytes.push_back(static_cast<uint8_t>(random.Next() & 0x0F));
                bytes.push_back(0xE8);
            }
            break;
        default: { // the package marker and its prefixes in the data itself
            static const char pieces[] = "ARNIAARNIARARNARN";
            bytes.insert(bytes.end(), pieces, pieces + sizeof pieces - 1);
            break;
        }
        }
    }
    bytes.resize(size);
    return bytes;
}

std::vector<Shape> RoundTripShapes()
{
    std::vector<Shape> shapes;
    shapes.push_back({"one byte", Bytes{0x41}});
    shapes.push_back({"one space", Bytes{' '}});
    shapes.push_back({"two bytes", Bytes{0x00, 0xFF}});
    shapes.push_back({"sixty spaces then more", RunOf(61, ' ')});
    shapes.push_back({"sixty one bytes", RandomBytes(61, 7)});
    shapes.push_back({"long run of one byte", RunOf(100000, 'a')});
    shapes.push_back({"long run of zeros", RunOf(70001, 0)});
    Bytes period;
    for (int i = 0; i < 20000; i++) // repeats exactly 4096 and 4097 bytes back
        period.push_back(static_cast<uint8_t>((i % 4096) * 7 + (i / 8192)));
    shapes.push_back({"period of the ring size", period});
    shapes.push_back({"random bytes", RandomBytes(150000, 1)});
    shapes.push_back({"text", EnglishLikeText(300000, 2)});
    shapes.push_back({"binary over 1 MB", MixedBinary(1200000, 3)});
    return shapes;
}

std::string Hex(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 15]);
    }
    return text;
}

Bytes FromHex(const std::string& hex)
{
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}
