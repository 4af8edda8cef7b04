// Whole files as bytes, for the tools, benchmarks and fuzz replays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// False when the file cannot be opened or read whole.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes);
