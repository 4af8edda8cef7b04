// The installer's byte streams over KERNEL32: a fixed set of slots, each
// with its own buffer, in static storage.
#include "byte_stream.h"

#include "content_digest.h"

namespace {

ByteStream slots[STREAM_COUNT];
int slotsReady = 0;

void ClearBuffer(ByteStream* stream)
{
    stream->readNext = stream->readEnd = stream->buffer;
    stream->writeNext = stream->buffer;
    stream->writeEnd = stream->writing ? stream->buffer + STREAM_BUFFER_SIZE : stream->buffer;
}

ByteStream* Open(const char* path, DWORD access, DWORD sharing, DWORD disposition)
{
    if (!slotsReady) {
        for (ByteStream& slot : slots)
            slot.file = INVALID_HANDLE_VALUE;
        slotsReady = 1;
    }
    ByteStream* stream = nullptr;
    for (ByteStream& slot : slots)
        if (slot.file == INVALID_HANDLE_VALUE) {
            stream = &slot;
            break;
        }
    if (!stream)
        return nullptr;
    HANDLE file = CreateFileA(path, access, sharing, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    stream->file = file;
    stream->bufferPosition = 0;
    stream->writing = access == GENERIC_WRITE;
    stream->error = 0;
    stream->atEnd = 0;
    stream->digest = DIGEST_START;
    ClearBuffer(stream);
    return stream;
}

}  // namespace

ByteStream* StreamOpenRead(const char* path)
{
    return Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
}

ByteStream* StreamCreate(const char* path)
{
    return Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
}

ByteStream* StreamCreateNew(const char* path)
{
    return Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
}

int StreamRefill(ByteStream* stream)
{
    // A writer has nothing to read; what it has written stays good.
    if (stream->writing || stream->error || stream->atEnd)
        return STREAM_EOF;
    stream->bufferPosition += static_cast<uint32_t>(stream->readEnd - stream->buffer);
    DWORD got = 0;
    if (!ReadFile(stream->file, stream->buffer, STREAM_BUFFER_SIZE, &got, nullptr)) {
        stream->error = 1;
        got = 0;
    } else if (got == 0) {
        stream->atEnd = 1;
    }
    stream->readNext = stream->buffer;
    stream->readEnd = stream->buffer + got;
    if (got == 0)
        return STREAM_EOF;
    return *stream->readNext++;
}

int StreamFlush(ByteStream* stream)
{
    if (!stream->writing)
        return 0;
    DWORD count = static_cast<DWORD>(stream->writeNext - stream->buffer);
    if (count > 0 && !stream->error) {
        stream->digest = DigestBytes(stream->digest, stream->buffer, count);
        DWORD written = 0;
        if (!WriteFile(stream->file, stream->buffer, count, &written, nullptr) || written != count)
            stream->error = 1;
    }
    stream->bufferPosition += count;
    stream->writeNext = stream->buffer;
    return stream->error;
}

int StreamWriteThrough(ByteStream* stream)
{
    if (StreamFlush(stream) == 0 && !FlushFileBuffers(stream->file))
        stream->error = 1;
    return stream->error;
}

uint32_t StreamDigest(const ByteStream* stream)
{
    return DigestEnd(stream->digest, stream->bufferPosition);
}

int StreamSpill(ByteStream* stream, int byte)
{
    if (!stream->writing || StreamFlush(stream) != 0) {
        stream->error = 1;
        // Nothing more goes into the buffer: every later byte fails too.
        stream->writeEnd = stream->writeNext = stream->buffer;
        return STREAM_EOF;
    }
    return *stream->writeNext++ = static_cast<uint8_t>(byte);
}

int StreamClose(ByteStream* stream)
{
    int failed = StreamFlush(stream);
    if (!CloseHandle(stream->file) && stream->writing)
        failed = 1;
    stream->file = INVALID_HANDLE_VALUE;
    return failed;
}

uint32_t StreamTell(const ByteStream* stream)
{
    const uint8_t* next = stream->writing ? stream->writeNext : stream->readNext;
    return stream->bufferPosition + static_cast<uint32_t>(next - stream->buffer);
}

int StreamSeek(ByteStream* stream, uint32_t position)
{
    if (StreamFlush(stream) != 0)
        return 1;
    DWORD moved = SetFilePointer(stream->file, static_cast<LONG>(position), nullptr, FILE_BEGIN);
    if (moved == 0xFFFFFFFF) {
        stream->error = 1;
        return 1;
    }
    stream->bufferPosition = moved;
    stream->atEnd = 0;
    ClearBuffer(stream);
    return 0;
}

uint32_t StreamLength(ByteStream* stream)
{
    DWORD length = GetFileSize(stream->file, nullptr);
    if (length == 0xFFFFFFFF)
        return 0;
    // Bytes still in the buffer belong to the file as well.
    uint32_t position = StreamTell(stream);
    return stream->writing && position > length ? position : length;
}
