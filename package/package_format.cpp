#include "package_format.h"

#include "text.h"

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

void StartPackageScan(PackageScan* scan)
{
    // The marker is kept in two pieces so that the installer's own file holds
    // its four bytes together only inside the package. The tail is read
    // through a volatile pointer so the compiler cannot fold the two pieces
    // into one constant in the code.
    static const char* volatile markerTail = "RNI";
    JoinText(scan->marker, sizeof scan->marker, "A", markerTail);
    scan->markerMatched = 0;
    scan->checksum = 0;
    scan->checksumWeight = 1;
}

void SumChecksum(PackageScan* scan, int byte)
{
    // Unsigned arithmetic: the sum wraps modulo 2^32 by definition.
    uint32_t sum = static_cast<uint32_t>(scan->checksum);
    if (scan->checksumWeight < 4) {
        sum += static_cast<uint32_t>(byte) * scan->checksumWeight;
        scan->checksumWeight++;
    } else {
        sum -= static_cast<uint32_t>(byte) * 4u;
        scan->checksumWeight = 1;
    }
    scan->checksum = static_cast<int32_t>(sum);
}

static int WriteMarkerPrefix(const PackageScan* scan, int count, ByteStream* member)
{
    for (int i = 0; i < count; i++)
        if (StreamPutByte(static_cast<unsigned char>(scan->marker[i]), member) == STREAM_EOF)
            return MARKER_WRITE_FAILED;
    return MARKER_NONE;
}

int FeedPackageByte(PackageScan* scan, int byte, ByteStream* member)
{
    if (member)
        SumChecksum(scan, byte);

    if (byte == static_cast<unsigned char>(scan->marker[scan->markerMatched])) {
        if (++scan->markerMatched < MARKER_LENGTH)
            return MARKER_NONE;
        scan->markerMatched = 0;
        return MARKER_COMPLETE;
    }

    int matched = scan->markerMatched;
    scan->markerMatched = 0;
    if (!member)
        return MARKER_NONE;
    if (WriteMarkerPrefix(scan, matched, member) != MARKER_NONE || StreamPutByte(byte, member) == STREAM_EOF)
        return MARKER_WRITE_FAILED;
    return MARKER_NONE;
}

int FlushPartialMarker(PackageScan* scan, ByteStream* member)
{
    int matched = scan->markerMatched;
    scan->markerMatched = 0;
    if (!member)
        return MARKER_NONE;
    return WriteMarkerPrefix(scan, matched, member);
}
