// Installer images for the dialog tests: a small resource-only module that
// carries the dialog templates and icons, followed by a package, loaded so
// that the installer reads it as its own file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

enum { SAMPLE_MEMBERS = 11 };

// Eleven files in member order: member 0 large and incompressible, so that
// the scan takes many slices and its decoding moves the per-file bar; the
// last member is incompressible as well.
struct SampleFiles {
    std::vector<uint8_t> files[SAMPLE_MEMBERS];
};
SampleFiles MakeSampleFiles(size_t firstMemberSize);

// The package of the files; its checksum becomes expectedChecksum.
std::vector<uint8_t> PackageOf(const SampleFiles& files);

// The host module's bytes (dialog_package_host.dll next to the test program).
std::vector<uint8_t> HostModuleBytes();

// Writes the host module followed by tail to path and loads it.
HMODULE LoadInstallerImage(const std::string& path, const std::vector<uint8_t>& tail);
