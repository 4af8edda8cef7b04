#include "file_bytes.h"

#include <cstdio>

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return false;
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    bool whole = !std::ferror(in);
    std::fclose(in);
    return whole;
}
