// The finished setup32.exe as a file: that the system finds nothing in it by
// name, what it needs from the system, and the package it carries.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> ReadFile(const char* path)
{
    std::vector<unsigned char> bytes;
    if (FILE* file = std::fopen(path, "rb")) {
        for (int c; (c = std::fgetc(file)) != EOF;)
            bytes.push_back(static_cast<unsigned char>(c));
        std::fclose(file);
    }
    return bytes;
}

// The headers as this build lays them out: setup32.exe is PE32 for i386;
// the x86-64 test build makes PE32+ images, whose optional header differs.
const IMAGE_NT_HEADERS* NtHeaders(HMODULE module)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
}

class InstallerImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Mapped as an image but not started: its imports stay unresolved.
        module = LoadLibraryExA(SETUP32_EXE, nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(nullptr, module);
    }
    void TearDown() override { FreeLibrary(module); }
    HMODULE module = nullptr;
};

// The system reaches the window procedure, the chooser's hook and the DDE
// callback by the addresses the installer hands it, never by name: the image
// carries no export directory, and no name of those callbacks, plain or
// decorated, resolves.
TEST_F(InstallerImage, ExportsNothing)
{
    const IMAGE_NT_HEADERS* nt = NtHeaders(module);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    EXPECT_EQ(0u, directory.VirtualAddress);
    EXPECT_EQ(0u, directory.Size);
    for (const char* name : {"MainWndProc", "DdeCallback", "FileHook", "WinMain", "MainWndProc@16", "_MainWndProc@16",
                             "DdeCallback@32", "FileHook@16", "WinMain@16"})
        EXPECT_EQ(nullptr, GetProcAddress(module, name)) << name;
}

TEST_F(InstallerImage, ImportsOnlyWindowsOwnLibraries)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(module);
    const IMAGE_NT_HEADERS* nt = NtHeaders(module);
    ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR_MAGIC, nt->OptionalHeader.Magic);   // 0x10B PE32, 0x20B PE32+
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(0u, directory.VirtualAddress);

    std::set<std::string> imported;
    for (const IMAGE_IMPORT_DESCRIPTOR* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name; ++entry) {
        std::string name = reinterpret_cast<const char*>(base + entry->Name);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        imported.insert(name);
    }
    const std::set<std::string> windows = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "msvcrt.dll"};
    for (const std::string& name : imported)
        EXPECT_TRUE(windows.count(name)) << name << " is not one of Windows' own libraries";
    EXPECT_TRUE(imported.count("user32.dll"));
}

TEST_F(InstallerImage, CarriesThePackageWholeAsVexaall)
{
    HRSRC resource = FindResourceA(module, "VEXAALL", MAKEINTRESOURCEA(10));   // RCDATA
    ASSERT_NE(nullptr, resource);
    const unsigned char* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, resource)));
    std::vector<unsigned char> embedded(data, data + SizeofResource(module, resource));

    std::vector<unsigned char> package = ReadFile(PACKAGE_FILE);
    ASSERT_FALSE(package.empty());
    EXPECT_TRUE(embedded == package) << "embedded " << embedded.size() << " bytes, package " << package.size();

    // The file holds the marker first where the package starts.
    std::vector<unsigned char> image = ReadFile(SETUP32_EXE);
    const unsigned char marker[] = {'A', 'R', 'N', 'I'};
    auto first = std::search(image.begin(), image.end(), std::begin(marker), std::end(marker));
    auto start = std::search(image.begin(), image.end(), package.begin(), package.end());
    ASSERT_NE(image.end(), start);
    EXPECT_EQ(start, first);
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

// The manifest that systems from Vista on read: run as the user who started
// it, tested on Vista to 10 and 11, nothing that changes how the dialog is
// drawn. Windows XP refuses a manifest whose trust section declares its
// namespace twice or not at all.
TEST_F(InstallerImage, ManifestAsksForNoElevationAndNamesTheSystems)
{
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));   // RT_MANIFEST
    ASSERT_NE(nullptr, resource);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    const std::string manifest(data, SizeofResource(module, resource));

    EXPECT_EQ(0u, manifest.find("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"));
    EXPECT_EQ(1u, Count(manifest, "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"));
    EXPECT_NE(std::string::npos, manifest.rfind("</assembly>"));
#if defined(_WIN64)
    const char* architecture = "processorArchitecture=\"amd64\"";
#else
    const char* architecture = "processorArchitecture=\"x86\"";
#endif
    EXPECT_EQ(1u, Count(manifest, std::string("<assemblyIdentity type=\"win32\" name=\"Vexa.Setup32\" "
                                              "version=\"5.6.0.0\" ") + architecture + "/>"));

    EXPECT_EQ(1u, Count(manifest, "urn:schemas-microsoft-com:asm.v3"));
    EXPECT_EQ(1u, Count(manifest, "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">"));
    EXPECT_EQ(1u, Count(manifest, "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"));
    EXPECT_EQ(1u, Count(manifest, "requestedExecutionLevel"));

    EXPECT_EQ(1u, Count(manifest, "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">"));
    const char* const systems[] = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",   // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",   // 10 and 11
    };
    for (const char* id : systems)
        EXPECT_EQ(1u, Count(manifest, std::string("<supportedOS Id=\"") + id + "\"/>")) << id;
    EXPECT_EQ(5u, Count(manifest, "<supportedOS "));

    for (const char* absent : {"dpiAware", "dpiAwareness", "Microsoft.Windows.Common-Controls", "dependency"})
        EXPECT_EQ(std::string::npos, manifest.find(absent)) << absent;
}

// Windows 95 and NT 4.0 refuse an image that asks for a later system; the
// first 64-bit Windows is 5.2. Read from the file, for PE32 and PE32+ alike.
TEST(InstallerFile, DeclaresTheOldestSystemsItRunsOn)
{
    std::vector<unsigned char> image = ReadFile(SETUP32_EXE);
    ASSERT_GE(image.size(), sizeof(IMAGE_DOS_HEADER));
    size_t at = static_cast<size_t>(reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data())->e_lfanew);
    ASSERT_LE(at + sizeof(IMAGE_NT_HEADERS64), image.size());
    const IMAGE_NT_HEADERS32* nt32 = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + at);
    const IMAGE_NT_HEADERS64* nt64 = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + at);
    ASSERT_EQ(static_cast<DWORD>(IMAGE_NT_SIGNATURE), nt32->Signature);

    struct Versions {
        WORD os[2];
        WORD subsystem[2];
        WORD subsystemKind;
        bool operator==(const Versions& o) const
        {
            return os[0] == o.os[0] && os[1] == o.os[1] && subsystem[0] == o.subsystem[0] &&
                   subsystem[1] == o.subsystem[1] && subsystemKind == o.subsystemKind;
        }
    };
    auto versions = [](const auto& h) {
        return Versions{{h.MajorOperatingSystemVersion, h.MinorOperatingSystemVersion},
                        {h.MajorSubsystemVersion, h.MinorSubsystemVersion},
                        h.Subsystem};
    };
    Versions found{}, expected{};
    if (nt32->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        found = versions(nt32->OptionalHeader);
        expected = {{4, 0}, {4, 0}, IMAGE_SUBSYSTEM_WINDOWS_GUI};
    } else {
        ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR64_MAGIC, nt64->OptionalHeader.Magic);
        found = versions(nt64->OptionalHeader);
        expected = {{5, 2}, {5, 2}, IMAGE_SUBSYSTEM_WINDOWS_GUI};
    }
    EXPECT_TRUE(found == expected) << "operating system " << found.os[0] << "." << found.os[1] << ", subsystem "
                                   << found.subsystemKind << " version " << found.subsystem[0] << "."
                                   << found.subsystem[1];
}

}  // namespace
