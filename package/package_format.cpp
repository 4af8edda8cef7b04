#include "package_format.h"


const char* const MemberTable[MEMBER_COUNT] = {
    "vexa32.exe", "vlink32.exe", "vexa.hlp", "ircintro.hlp", "readme.txt", "versions.txt",
    "vexa.ini",   "aliases.ini", "popups.ini", "servers.ini", "urls.ini",
};

bool IsSettingsMember(int index)
{
    if (index < 0 || index >= MEMBER_COUNT)
        return false;
    PathParts parts;
    return SplitPathParts(MemberTable[index], &parts) && SameText(parts.ext, ".ini");
}

void SumChecksum(int byte)
{
    // Unsigned arithmetic: the sum wraps modulo 2^32 by definition.
    uint32_t sum = static_cast<uint32_t>(session.checksum);
    if (session.checksumWeight < 4) {
        sum += static_cast<uint32_t>(byte) * session.checksumWeight;
        session.checksumWeight++;
    } else {
        sum -= static_cast<uint32_t>(byte) * 4u;
        session.checksumWeight = 1;
    }
    session.checksum = static_cast<int32_t>(sum);
}

static int WriteMarkerPrefix(int count)
{
    for (int i = 0; i < count; i++)
        if (StreamPutByte(static_cast<unsigned char>(session.marker[i]), session.memberStream) == STREAM_EOF)
            return MARKER_WRITE_FAILED;
    return MARKER_NONE;
}

int FeedPackageByte(int byte)
{
    if (session.memberStream)
        SumChecksum(byte);

    if (byte == static_cast<unsigned char>(session.marker[session.markerMatched])) {
        if (++session.markerMatched < 4)
            return MARKER_NONE;
        session.markerMatched = 0;
        return MARKER_COMPLETE;
    }

    int matched = session.markerMatched;
    session.markerMatched = 0;
    if (!session.memberStream)
        return MARKER_NONE;
    if (WriteMarkerPrefix(matched) != MARKER_NONE || StreamPutByte(byte, session.memberStream) == STREAM_EOF)
        return MARKER_WRITE_FAILED;
    return MARKER_NONE;
}

int FlushPartialMarker()
{
    int matched = session.markerMatched;
    session.markerMatched = 0;
    if (!session.memberStream)
        return MARKER_NONE;
    return WriteMarkerPrefix(matched);
}
