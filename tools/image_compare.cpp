// image_compare: compares two builds of an executable byte for byte and,
// when they differ, says where the first difference lies: which header and
// field, which section, which resource and, inside the package resource,
// which member. Reads PE32 and PE32+ images; anything else is compared as
// plain bytes.
//
// Exit status: 0 identical, 1 different, 2 usage error or unreadable file.

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "member_encoder.h"
#include "package_format.h"

namespace {

struct Field {
    uint32_t offset;
    uint32_t size;
    const char* name;
};

const Field kFileHeader[] = {{0, 2, "Machine"},         {2, 2, "NumberOfSections"},     {4, 4, "TimeDateStamp"},
                             {8, 4, "PointerToSymbolTable"}, {12, 4, "NumberOfSymbols"}, {16, 2, "SizeOfOptionalHeader"},
                             {18, 2, "Characteristics"}};

// The optional header up to its data directories; PE32+ has no BaseOfData
// and 64-bit image base and stack and heap sizes.
const Field kOptional32[] = {
    {0, 2, "Magic"}, {2, 1, "MajorLinkerVersion"}, {3, 1, "MinorLinkerVersion"}, {4, 4, "SizeOfCode"},
    {8, 4, "SizeOfInitializedData"}, {12, 4, "SizeOfUninitializedData"}, {16, 4, "AddressOfEntryPoint"},
    {20, 4, "BaseOfCode"}, {24, 4, "BaseOfData"}, {28, 4, "ImageBase"}, {32, 4, "SectionAlignment"},
    {36, 4, "FileAlignment"}, {40, 2, "MajorOperatingSystemVersion"}, {42, 2, "MinorOperatingSystemVersion"},
    {44, 2, "MajorImageVersion"}, {46, 2, "MinorImageVersion"}, {48, 2, "MajorSubsystemVersion"},
    {50, 2, "MinorSubsystemVersion"}, {52, 4, "Win32VersionValue"}, {56, 4, "SizeOfImage"},
    {60, 4, "SizeOfHeaders"}, {64, 4, "CheckSum"}, {68, 2, "Subsystem"}, {70, 2, "DllCharacteristics"},
    {72, 4, "SizeOfStackReserve"}, {76, 4, "SizeOfStackCommit"}, {80, 4, "SizeOfHeapReserve"},
    {84, 4, "SizeOfHeapCommit"}, {88, 4, "LoaderFlags"}, {92, 4, "NumberOfRvaAndSizes"}};
const Field kOptional64[] = {
    {0, 2, "Magic"}, {2, 1, "MajorLinkerVersion"}, {3, 1, "MinorLinkerVersion"}, {4, 4, "SizeOfCode"},
    {8, 4, "SizeOfInitializedData"}, {12, 4, "SizeOfUninitializedData"}, {16, 4, "AddressOfEntryPoint"},
    {20, 4, "BaseOfCode"}, {24, 8, "ImageBase"}, {32, 4, "SectionAlignment"}, {36, 4, "FileAlignment"},
    {40, 2, "MajorOperatingSystemVersion"}, {42, 2, "MinorOperatingSystemVersion"}, {44, 2, "MajorImageVersion"},
    {46, 2, "MinorImageVersion"}, {48, 2, "MajorSubsystemVersion"}, {50, 2, "MinorSubsystemVersion"},
    {52, 4, "Win32VersionValue"}, {56, 4, "SizeOfImage"}, {60, 4, "SizeOfHeaders"}, {64, 4, "CheckSum"},
    {68, 2, "Subsystem"}, {70, 2, "DllCharacteristics"}, {72, 8, "SizeOfStackReserve"},
    {80, 8, "SizeOfStackCommit"}, {88, 8, "SizeOfHeapReserve"}, {96, 8, "SizeOfHeapCommit"},
    {104, 4, "LoaderFlags"}, {108, 4, "NumberOfRvaAndSizes"}};

const char* const kDirectories[] = {"export",    "import", "resource",  "exception",    "certificate",
                                    "base relocation", "debug", "architecture", "global pointer", "TLS",
                                    "load configuration", "bound import", "import address table",
                                    "delay import", "CLR runtime header", "reserved"};

const char* const kResourceTypes[] = {nullptr,     "CURSOR",  "BITMAP",    "ICON",      "MENU",    "DIALOG",
                                      "STRING",    "FONTDIR", "FONT",      "ACCELERATOR", "RCDATA", "MESSAGETABLE",
                                      "GROUP_CURSOR", nullptr, "GROUP_ICON", nullptr,   "VERSION"};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

class Image {
public:
    explicit Image(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    uint32_t U16(uint64_t at) const { return Has(at, 2) ? bytes_[at] | bytes_[at + 1] << 8 : 0; }
    uint32_t U32(uint64_t at) const { return Has(at, 4) ? U16(at) | U16(at + 2) << 16 : 0; }
    bool Has(uint64_t at, uint64_t size) const { return at <= bytes_.size() && size <= bytes_.size() - at; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    const std::vector<uint8_t>& bytes_;
};

std::string FieldAt(const Field* fields, size_t count, uint32_t offset, const char* what)
{
    for (size_t i = 0; i < count; i++)
        if (offset >= fields[i].offset && offset < fields[i].offset + fields[i].size)
            return Format("%s, field %s", what, fields[i].name);
    return what;
}

// A resource directory entry's name: an identifier, or a counted UTF-16
// string at an offset from the directory's start.
std::string ResourceName(const Image& image, uint64_t rsrc, uint32_t entry, bool isType)
{
    uint32_t name = image.U32(entry);
    if (name & 0x80000000u) {
        uint64_t at = rsrc + (name & 0x7FFFFFFFu);
        uint32_t length = image.U16(at);
        std::string text;
        for (uint32_t i = 0; i < length && image.Has(at + 2 + 2 * i, 2); i++) {
            uint32_t c = image.U16(at + 2 + 2 * i);
            text += c < 128 ? static_cast<char>(c) : '?';
        }
        return text;
    }
    if (isType && name < sizeof kResourceTypes / sizeof *kResourceTypes && kResourceTypes[name])
        return kResourceTypes[name];
    return Format("#%" PRIu32, name);
}

// Where inside the package resource: a member, a marker or the closing bytes.
std::string PackagePlace(const uint8_t* data, uint32_t size, uint32_t offset)
{
    int markers = 0;
    for (uint32_t i = 0; i + 4 <= size && i <= offset; i++) {
        if (std::memcmp(data + i, kPackageMarker, 4) != 0)
            continue;
        if (offset < i + 4)
            return Format("marker %d", markers + 1);
        markers++;
        i += 3;
    }
    if (markers >= 1 && markers <= MEMBER_COUNT)
        return Format("member %d (%s)", markers - 1, MemberTable[markers - 1]);
    return markers == 0 ? "before the first marker" : "after the last member";
}

// The resource tree's three levels: type, name, language.
enum { RESOURCE_TYPE, RESOURCE_NAME, RESOURCE_LANGUAGE, RESOURCE_LEVELS };

struct ResourceWalk {
    const Image& image;
    uint64_t rsrc;      // file offset of the resource section
    uint32_t rsrcRva;
    uint64_t offset;    // the file offset looked for
    uint32_t path[RESOURCE_LEVELS];   // the entry taken at each level
};

// What lies at the walk's offset if it is inside a resource below the
// directory at the given level: the data of a resource, or one of its data
// entries. Empty when it is not there.
std::string FindResource(ResourceWalk& walk, uint64_t directory, int level)
{
    const Image& image = walk.image;
    for (uint32_t i = 0, count = image.U16(directory + 12) + image.U16(directory + 14); i < count; i++) {
        uint32_t entry = static_cast<uint32_t>(directory + 16 + 8 * i);
        if (!image.Has(entry, 8))   // a damaged directory: no walk past the file
            break;
        uint32_t target = image.U32(entry + 4);
        bool isDirectory = (target & 0x80000000u) != 0;
        if (isDirectory != (level < RESOURCE_LANGUAGE))
            continue;
        walk.path[level] = entry;
        if (isDirectory) {
            std::string found = FindResource(walk, walk.rsrc + (target & 0x7FFFFFFFu), level + 1);
            if (!found.empty())
                return found;
            continue;
        }
        uint64_t dataEntry = walk.rsrc + target;
        uint32_t dataRva = image.U32(dataEntry), dataSize = image.U32(dataEntry + 4);
        if (dataRva < walk.rsrcRva)
            continue;
        uint64_t start = walk.rsrc + (dataRva - walk.rsrcRva);
        if (walk.offset >= dataEntry && walk.offset < dataEntry + 16)
            return "the resource directory (a data entry)";
        if (walk.offset < start || walk.offset >= start + dataSize)
            continue;
        std::string type = ResourceName(image, walk.rsrc, walk.path[RESOURCE_TYPE], true);
        std::string name = ResourceName(image, walk.rsrc, walk.path[RESOURCE_NAME], false);
        std::string where = Format("resource %s %s (language %" PRIu32 "), byte %" PRIu64 " of %" PRIu32,
                                   type.c_str(), name.c_str(), image.U32(entry) & 0xFFFFu, walk.offset - start,
                                   dataSize);
        if (type == "RCDATA" && name == "VEXAALL" && image.Has(start, dataSize))
            where += ", the package: " + PackagePlace(image.bytes().data() + start, dataSize,
                                                      static_cast<uint32_t>(walk.offset - start));
        return where;
    }
    return "";
}

// The resource that holds the file offset, or the directory around them.
std::string ResourcePlace(const Image& image, uint64_t rsrc, uint32_t rsrcRva, uint64_t offset)
{
    ResourceWalk walk{image, rsrc, rsrcRva, offset, {}};
    std::string found = FindResource(walk, rsrc, RESOURCE_TYPE);
    return found.empty() ? "the resource directory" : found;
}

// What lies at the file offset of the image.
std::string Describe(const Image& image, uint64_t offset)
{
    const std::vector<uint8_t>& bytes = image.bytes();
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), kPackageMarker, 4) == 0)
        return "the package: " + PackagePlace(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                              static_cast<uint32_t>(offset));
    if (image.U16(0) != 0x5A4D)
        return "not a PE image";
    if (offset < 64)
        return offset >= 60 ? "DOS header, field e_lfanew" : "DOS header";
    uint32_t pe = image.U32(60);
    if (!image.Has(pe, 24) || image.U32(pe) != 0x4550)
        return "not a PE image";
    if (offset < pe)
        return "DOS stub";
    if (offset < pe + 4)
        return "PE signature";
    if (offset < pe + 24)
        return FieldAt(kFileHeader, sizeof kFileHeader / sizeof *kFileHeader, static_cast<uint32_t>(offset - pe - 4),
                       "COFF file header");
    uint64_t optional = pe + 24;
    uint32_t optionalSize = image.U16(pe + 20);
    bool plus = image.U16(optional) == 0x20B;
    uint32_t directories = plus ? 112 : 96;
    if (offset < optional + optionalSize) {
        uint32_t at = static_cast<uint32_t>(offset - optional);
        const char* what = plus ? "optional header (PE32+)" : "optional header (PE32)";
        if (at < directories)
            return plus ? FieldAt(kOptional64, sizeof kOptional64 / sizeof *kOptional64, at, what)
                        : FieldAt(kOptional32, sizeof kOptional32 / sizeof *kOptional32, at, what);
        uint32_t index = (at - directories) / 8;
        return Format("%s, data directory %" PRIu32 " (%s), %s", what, index,
                      index < 16 ? kDirectories[index] : "?", (at - directories) % 8 < 4 ? "address" : "size");
    }
    uint32_t sections = image.U16(pe + 6);
    uint64_t table = optional + optionalSize;
    for (uint32_t i = 0; i < sections; i++) {
        uint64_t header = table + 40 * i;
        char name[9] = {};
        if (image.Has(header, 8))
            std::memcpy(name, image.bytes().data() + header, 8);
        if (offset >= header && offset < header + 40)
            return Format("section header %" PRIu32 " (%s)", i, name);
    }
    if (offset < table + 40 * sections)
        return "section table";
    for (uint32_t i = 0; i < sections; i++) {
        uint64_t header = table + 40 * i;
        char name[9] = {};
        if (image.Has(header, 8))
            std::memcpy(name, image.bytes().data() + header, 8);
        uint32_t rva = image.U32(header + 12), size = image.U32(header + 16), raw = image.U32(header + 20);
        if (offset < raw || offset >= static_cast<uint64_t>(raw) + size)
            continue;
        std::string where = Format("section %s, byte %" PRIu64 " of %" PRIu32, name, offset - raw, size);
        uint32_t resourceRva = image.U32(optional + directories + 8 * 2);
        if (resourceRva >= rva && resourceRva - rva < size)
            where += ": " + ResourcePlace(image, raw + (resourceRva - rva), resourceRva, offset);
        return where;
    }
    return offset < image.U32(optional + 60) ? "headers' padding" : "between or after the sections";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: image_compare FIRST SECOND\n"
                             "Compares two files byte for byte; for executables, names what lies at the\n"
                             "first difference. Exit 0 identical, 1 different, 2 usage or read error.\n");
        return 2;
    }
    std::vector<uint8_t> first, second;
    for (int i = 1; i <= 2; i++) {
        if (!ReadFileBytes(argv[i], i == 1 ? first : second)) {
            std::fprintf(stderr, "image_compare: %s: cannot read\n", argv[i]);
            return 2;
        }
    }
    size_t common = first.size() < second.size() ? first.size() : second.size();
    size_t at = 0;
    while (at < common && first[at] == second[at])
        at++;
    if (at == common && first.size() == second.size()) {
        std::printf("identical: %zu bytes\n", first.size());
        return 0;
    }
    size_t differing = first.size() > second.size() ? first.size() - common : second.size() - common;
    for (size_t i = at; i < common; i++)
        differing += first[i] != second[i];
    std::printf("%s and %s differ: %zu of %zu bytes", argv[1], argv[2], differing,
                first.size() > second.size() ? first.size() : second.size());
    if (first.size() != second.size())
        std::printf(" (sizes %zu and %zu)", first.size(), second.size());
    std::printf("\nfirst difference at byte %zu (0x%zX): ", at, at);
    if (at == common)
        std::printf("one file ends there\n");
    else
        std::printf("%s\n", Describe(Image(first), at).c_str());
    return 1;
}
