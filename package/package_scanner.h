// The package scanner: reads the installer's own file byte by byte in slices,
// splits it into members at the markers, has each completed member installed
// and checks the package checksum at the end.
#pragma once

#include <cstdint>

// The build's package checksum. Defined by the program that links the
// scanner: setup32.exe from its embedded package, a test per case.
extern int32_t expectedChecksum;

// Opens the installer's own executable as the package image (its path goes
// into imagePath). 1 opened; 0 failed, error [9] shown.
int OpenPackageImage();

// Opens the file at path as the package image; OpenPackageImage's second half.
int OpenPackageFile(const char* path);

// Reads on for at most SLICE_LIMIT + 1 bytes. Returns a SliceResult.
int ScanSlice();

// Status line at the start of a member: its file name once the overall bar
// has moved, "Scanning files..." before.
void ShowScanningStatus();
