// Package layout shared by the installer's scanner and the host tooling:
// the member table, the marker rule and the package checksum. Reading works
// on the scan state of the session, one byte at a time.
#pragma once

#include <cstdint>

#include "install_session.h"

// Destination file name of each member, by index.
extern const char* const MemberTable[MEMBER_COUNT];

// Members 6 to 10 (extension ".ini") are the user's settings files.
bool IsSettingsMember(int index);

// Adds one byte to session.checksum by the rolling weights +1, +2, +3, -4.
void SumChecksum(int byte);

enum MarkerEvent {
    MARKER_WRITE_FAILED = -1, // a member byte could not be written
    MARKER_NONE = 0,
    MARKER_COMPLETE = 1       // the byte completed a marker; markerMatched is 0 again
};

// One package byte as the reader sees it: summed while a member is being
// collected (session.memberStream open), compared with the marker, and
// written to the member unless it is part of a marker. A partial match that
// breaks writes the matched characters and then the byte; the byte that
// broke it is not tried again as the start of a new marker.
int FeedPackageByte(int byte);

// At the end of the input: the characters of a partial marker match are
// member data after all. Writes them to session.memberStream.
// Returns MARKER_NONE, or MARKER_WRITE_FAILED.
int FlushPartialMarker();
