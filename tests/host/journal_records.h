// A journal's bytes from records written out in a test: kind, slot, value
// each, encoded as the installer encodes them. Shared by the host tests of
// the journal's format and the engine's recovery tests.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "journal_format.h"

inline std::vector<uint8_t> JournalRecords(std::initializer_list<std::array<uint32_t, 3>> records)
{
    std::vector<uint8_t> bytes;
    for (const auto& [kind, slot, value] : records) {
        uint8_t record[RECORD_SIZE];
        EncodeRecord(record, static_cast<int>(kind), static_cast<int>(slot), value);
        bytes.insert(bytes.end(), record, record + RECORD_SIZE);
    }
    return bytes;
}
