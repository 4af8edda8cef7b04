// The package's layout, shared by the installer's scanner and the host
// tooling: the member table, the marker rule and the package checksum.
// Reading keeps its state in a PackageScan of the reader's own.
#pragma once

#include <cstdint>

#include "byte_stream.h"

enum {
    MEMBER_COUNT = 11,
    MARKER_LENGTH = 4
};

// The help files, whose indexes go stale when they are replaced.
enum { MEMBER_VEXA_HLP = 2, MEMBER_IRCINTRO_HLP = 3 };

// Destination file name of each member, by index.
extern const char* const MemberTable[MEMBER_COUNT];

// Members 6 to 10 (extension ".ini") are the user's settings files.
bool IsSettingsMember(int index);

// One reading of a package, byte by byte: how much of the marker the last
// bytes matched, and the checksum of the member bytes so far.
struct PackageScan {
    char marker[MARKER_LENGTH + 1];
    int markerMatched;
    int32_t checksum;        // wraps modulo 2^32
    uint32_t checksumWeight;
};

// The state before the first byte of a file.
void StartPackageScan(PackageScan* scan);

// Adds one byte to the checksum by the rolling weights +1, +2, +3, -4.
void SumChecksum(PackageScan* scan, int byte);

enum MarkerEvent {
    MARKER_WRITE_FAILED = -1, // a member byte could not be written
    MARKER_NONE = 0,
    MARKER_COMPLETE = 1       // the byte completed a marker; markerMatched is 0 again
};

// One package byte as the reader sees it: summed while a member is being
// collected (member not null), compared with the marker, and written to the
// member unless it is part of a marker. A partial match that breaks writes
// the matched characters and then the byte; the byte that broke it is not
// tried again as the start of a new marker.
int FeedPackageByte(PackageScan* scan, int byte, ByteStream* member);

// At the end of the input: the characters of a partial marker match are
// member data after all. Writes them to member (when not null).
// Returns MARKER_NONE, or MARKER_WRITE_FAILED.
int FlushPartialMarker(PackageScan* scan, ByteStream* member);
