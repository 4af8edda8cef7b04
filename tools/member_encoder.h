// Encoder of package members: a four-byte little-endian size, then an LZSS
// bit stream (4096-byte ring, matches of 3 to 60 bytes) whose literals and
// match lengths are coded with an adaptive Huffman tree and whose offsets use
// a fixed prefix code for their upper six bits. The exact inverse of the
// installer's DecodeMember.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One member: four-byte little-endian size, then the bit stream. size must be > 0.
// The member obeys the package's marker rules whenever the data allows it
// (see EncodeMemberAvoiding); in the vanishingly rare case it cannot, the
// plain encoding is returned and the package writer refuses it.
std::vector<uint8_t> EncodeMember(const uint8_t* data, size_t size);

// Encodes so that the member neither contains marker anywhere (size field
// included) nor ends in a proper prefix of it, choosing the end's pad bits and,
// where the bit stream happens to spell the marker, a different parse before
// that point. False with a message in error when no such encoding is found
// (size 0, a size over 4 GiB - 1, a size field that itself collides, or no
// alternative parse left before a collision).
bool EncodeMemberAvoiding(const uint8_t* data, size_t size, const uint8_t* marker, size_t markerLength,
                          std::vector<uint8_t>& member, std::string& error);

// The plain encoding with zero pad bits, without regard to any marker.
std::vector<uint8_t> EncodeMemberPlain(const uint8_t* data, size_t size);

// The baseline the benchmarks compare against: the longest match at every
// step, else a literal; zero pad bits, without regard to any marker.
std::vector<uint8_t> EncodeMemberGreedy(const uint8_t* data, size_t size);

// True when member neither contains marker nor ends in a proper prefix of it.
bool MemberAvoidsMarker(const uint8_t* member, size_t size, const uint8_t* marker, size_t markerLength);

// The package marker.
extern const uint8_t kPackageMarker[4];
