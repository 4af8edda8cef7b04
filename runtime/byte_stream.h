// Buffered binary byte streams: a file opened for reading, or created (and
// truncated) for writing, read or written one byte at a time, with seek,
// tell, flush and close. The byte calls are inline and cost a compare and a
// pointer step; the buffer is filled or written out through the system only
// when it runs out.
//
// In the Windows build the streams are the installer's own, over KERNEL32.
// Elsewhere (the host tools, tests and benchmarks) a stream is the C
// library's FILE, so the same decoder and package reader serve both.
#pragma once

#include <cstdint>

enum { STREAM_EOF = -1 };

#ifdef _WIN32

#include <windows.h>

enum {
    STREAM_BUFFER_SIZE = 4096,
    STREAM_COUNT = 4   // the image, the temporary file, and a member's input and output
};

struct ByteStream {
    // Bytes still to read (readNext up to readEnd) or room still to fill
    // (writeNext up to writeEnd). A stream of the other direction keeps its
    // pair empty, so its byte calls go the slow way and fail there.
    uint8_t* readNext;
    uint8_t* readEnd;
    uint8_t* writeNext;
    uint8_t* writeEnd;
    HANDLE file;              // INVALID_HANDLE_VALUE: the slot is free
    uint32_t bufferPosition;  // file position of buffer[0]
    int writing;
    int error;
    int atEnd;
    uint32_t digest;          // of what a writing stream has written out (content_digest.h)
    uint8_t buffer[STREAM_BUFFER_SIZE];
};

// Opens an existing file for reading, sharing it with readers and writers
// (the temporary file is read back while its writer still holds it).
// Null when it cannot be opened or every stream is in use.
ByteStream* StreamOpenRead(const char* path);

// Creates the file, or truncates an existing one, for writing, shared with
// readers only: while the stream is open no other process can write,
// truncate, rename or (on Windows NT) delete the file. Null when it cannot
// be opened so or every stream is in use.
ByteStream* StreamCreate(const char* path);
// The same for a file that must not exist yet: null when one does.
ByteStream* StreamCreateNew(const char* path);

// Writes out what is buffered. 0 when every byte so far reached the file.
int StreamFlush(ByteStream* stream);

// Writes out what is buffered and has the system write the file through to
// the disk. 0 when every byte so far is on the disk.
int StreamWriteThrough(ByteStream* stream);

// The content digest (content_digest.h) of everything a writing stream has
// written from the file's start, once it is flushed (no seeks).
uint32_t StreamDigest(const ByteStream* stream);

// Flushes and closes; the slot is free again. 0 when every byte written
// reached the file (always 0 for a reading stream).
int StreamClose(ByteStream* stream);

// Position of the next byte; moves there (from the start of the file),
// dropping what is buffered. StreamSeek returns 0 on success.
uint32_t StreamTell(const ByteStream* stream);
int StreamSeek(ByteStream* stream, uint32_t position);
// Length of the file, the stream's position unchanged; 0 when unknown.
uint32_t StreamLength(ByteStream* stream);

// The slow halves of the byte calls.
int StreamRefill(ByteStream* stream);
int StreamSpill(ByteStream* stream, int byte);

// Next byte (0..255), or STREAM_EOF at the end of the file or on an error.
inline int StreamGetByte(ByteStream* stream)
{
    return stream->readNext < stream->readEnd ? *stream->readNext++ : StreamRefill(stream);
}

// Writes one byte; returns it, or STREAM_EOF when it cannot be written.
inline int StreamPutByte(int byte, ByteStream* stream)
{
    if (stream->writeNext < stream->writeEnd)
        return *stream->writeNext++ = static_cast<uint8_t>(byte);
    return StreamSpill(stream, byte);
}

inline int StreamError(const ByteStream* stream)
{
    return stream->error;
}

#else  // the host: the C library's streams

#include <cstdio>

typedef FILE ByteStream;

inline int StreamGetByte(ByteStream* stream)
{
    return getc_unlocked(stream);
}

inline int StreamPutByte(int byte, ByteStream* stream)
{
    return putc_unlocked(byte, stream);
}

inline int StreamError(ByteStream* stream)
{
    return std::ferror(stream);
}

#endif
