// Runs a fuzz target over files without libFuzzer: each argument is a file
// or a directory of files. The normal host build replays the committed
// corpora this way, so every input that once found a fault stays a test.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "file_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) {
        struct stat info;
        if (stat(argv[i], &info) != 0) {
            std::fprintf(stderr, "%s: no such file or directory\n", argv[i]);
            return 1;
        }
        if (!S_ISDIR(info.st_mode)) {
            files.push_back(argv[i]);
            continue;
        }
        if (DIR* dir = opendir(argv[i])) {
            while (dirent* entry = readdir(dir))
                if (entry->d_name[0] != '.')
                    files.push_back(std::string(argv[i]) + "/" + entry->d_name);
            closedir(dir);
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no inputs\n");
        return 1;
    }
    std::vector<uint8_t> bytes;
    for (const std::string& file : files) {
        if (!ReadFileBytes(file, bytes)) {
            std::fprintf(stderr, "%s: cannot read\n", file.c_str());
            return 1;
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
