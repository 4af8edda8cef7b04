// The checksum of the package embedded in this executable; the build
// generates package_checksum.h from the package it made.
#include "package_checksum.h"
#include "package_scanner.h"

int32_t expectedChecksum = static_cast<int32_t>(PACKAGE_CHECKSUM);
