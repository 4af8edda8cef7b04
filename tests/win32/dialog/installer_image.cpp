#include "installer_image.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "dialog_driver.h"
#include "package_scanner.h"
#include "package_writer.h"

namespace {
std::vector<uint8_t> Incompressible(size_t size, uint32_t state)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < size; i++) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes.push_back(static_cast<uint8_t>(state >> 24));
    }
    return bytes;
}
}  // namespace

SampleFiles MakeSampleFiles(size_t firstMemberSize)
{
    SampleFiles sample;
    sample.files[0] = Incompressible(firstMemberSize, 0x12345678);
    // The last member spans more than one slice, so the slice that meets
    // the first settings file is not the last one.
    sample.files[SAMPLE_MEMBERS - 1] = Incompressible(30000, 0x9E3779B9);
    for (int member = 1; member < SAMPLE_MEMBERS - 1; member++) {
        std::string text;
        for (int line = 0; line < 20 * member; line++)
            text += "member " + std::to_string(member) + " line " + std::to_string(line) + "\r\n";
        sample.files[member].assign(text.begin(), text.end());
    }
    return sample;
}

std::vector<uint8_t> PackageOf(const SampleFiles& files)
{
    std::vector<uint8_t> package;
    uint32_t checksum = 0;
    std::string error;
    EXPECT_TRUE(BuildPackage(files.files, package, checksum, error)) << error;
    expectedChecksum = static_cast<int32_t>(checksum);
    return package;
}

std::vector<uint8_t> HostModuleBytes()
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadFileBytes(ModuleDirectory() + "dialog_package_host.dll", bytes));
    // The first marker in the file opens the package: the module must hold none.
    const uint8_t marker[] = {'A', 'R', 'N', 'I'};
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), marker, marker + 4), bytes.end());
    return bytes;
}

HMODULE LoadInstallerImage(const std::string& path, const std::vector<uint8_t>& tail)
{
    std::vector<uint8_t> image = HostModuleBytes();
    image.insert(image.end(), tail.begin(), tail.end());
    if (!WriteFileBytes(path, image)) {
        ADD_FAILURE() << "cannot write " << path;
        return nullptr;
    }
    HMODULE module = LoadLibraryA(path.c_str());
    EXPECT_NE(module, nullptr) << path;
    return module;
}
