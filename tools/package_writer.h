// Writes packages: the opening marker, each of the eleven members followed by
// one marker, a second marker and CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum { PACKAGE_MEMBERS = 11 };

// Builds a package from the eleven files in MemberTable order, obeying every
// producer rule (no member contains the marker, none ends in a marker prefix).
// False with a message in error when it cannot (an empty file, a file over 4 GiB - 1).
bool BuildPackage(const std::vector<uint8_t> (&files)[PACKAGE_MEMBERS], std::vector<uint8_t>& package,
                  uint32_t& checksum, std::string& error);

// Lays already encoded members out as a package, as they are: no rule is
// checked, so tests can build packages that break them on purpose.
std::vector<uint8_t> AssemblePackage(const std::vector<uint8_t> (&members)[PACKAGE_MEMBERS]);

// The checksum of a package as the reader computes it (the summed range):
// every byte from the first member's first byte to the end of the marker that
// closes the last member, that is all but the first four and the last six
// bytes of a package laid out as above. Weights +1, +2, +3, -4 in turn,
// wrapping modulo 2^32.
uint32_t PackageChecksum(const uint8_t* package, size_t size);
