// The journal reader's verdicts: what is acted on, what is left alone.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "journal_format.h"
#include "journal_records.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Then(Bytes bytes, const Bytes& more)
{
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

TEST(JournalFormat, Verdicts)
{
    const Bytes opened = JournalRecords({{RECORD_OPEN, 0, OPEN_MAKE_BACKUPS | (3u << OPEN_GENERATION_SHIFT)},
                                  {RECORD_SET_ASIDE, 4, 2},
                                  {RECORD_BEGUN, 4, 0}});
    struct Case {
        const char* name;
        Bytes bytes;
        JournalVerdict verdict;
    } cases[] = {
        {"records only", opened, JOURNAL_WHOLE},
        {"a power cut's zeros after them", Then(opened, Bytes(11, 0)), JOURNAL_WHOLE},
        {"nothing", {}, JOURNAL_BLANK},
        {"zeros only", Bytes(24, 0), JOURNAL_BLANK},
        {"a first record that is not the opening one",
         JournalRecords({{RECORD_SET_ASIDE, 0, 0}, {RECORD_OPEN, 0, 0}}), JOURNAL_DAMAGED},
        {"a second opening record", Then(opened, JournalRecords({{RECORD_OPEN, 0, 0}})), JOURNAL_DAMAGED},
        {"bytes after the records that are no record", Then(opened, Bytes{'x', 0, 0}), JOURNAL_DAMAGED},
        {"a slot outside the journal's", Then(opened, JournalRecords({{RECORD_DONE, SLOT_COUNT, 0}})), JOURNAL_DAMAGED},
        {"a kind the installer never writes", Then(opened, JournalRecords({{RECORD_KINDS, 0, 0}})), JOURNAL_DAMAGED},
        {"a file moved on before the commit", Then(opened, JournalRecords({{RECORD_MOVED_ON, 4, 1}})), JOURNAL_DAMAGED},
        {"a change after the commit",
         Then(opened, JournalRecords({{RECORD_COMMIT, 0, 0}, {RECORD_SET_ASIDE, 5, 0}})), JOURNAL_DAMAGED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JournalSummary summary;
        summary.committed = 7;
        EXPECT_EQ(ParseJournal(c.bytes.data(), c.bytes.size(), &summary), c.verdict);
        if (c.verdict != JOURNAL_WHOLE) {
            // Nothing of it is acted on, not even its first records.
            for (int slot = 0; slot < SLOT_COUNT; slot++)
                EXPECT_EQ(summary.slots[slot], 0) << slot;
            EXPECT_EQ(summary.committed, 0);
        }
    }
}

TEST(JournalFormat, WhatAWholeJournalSays)
{
    Bytes bytes = JournalRecords({{RECORD_OPEN, 0, OPEN_CREATED_DESTINATION | (5u << OPEN_GENERATION_SHIFT)},
                           {RECORD_BACKUP_DIR, 0, 0},
                           {RECORD_KEPT, 6, 0x23},
                           {RECORD_SET_ASIDE, 0, 1},
                           {RECORD_BEGUN, 0, 0},
                           {RECORD_DONE, 0, 0xCAFEF00D},
                           {RECORD_COMMIT, 0, 0},
                           {RECORD_MOVED_ON, 0, MOVED_ON_TO_THE_USER}});
    JournalSummary summary;
    ASSERT_EQ(ParseJournal(bytes.data(), bytes.size(), &summary), JOURNAL_WHOLE);
    EXPECT_EQ(JournalGeneration(summary), 5u);
    EXPECT_EQ(summary.openFlags & 3u, static_cast<uint32_t>(OPEN_CREATED_DESTINATION));
    EXPECT_EQ(summary.backupDirCreated, 1);
    EXPECT_EQ(summary.committed, 1);
    EXPECT_EQ(summary.slots[6], HAS_KEPT);
    EXPECT_EQ(summary.keptAttributes[6], 0x23u);
    EXPECT_EQ(summary.slots[0], HAS_SET_ASIDE | HAS_BEGUN | HAS_DONE | HAS_GONE_TO_THE_USER);
    EXPECT_EQ(summary.doneDigest[0], 0xCAFEF00Du);
}

}  // namespace
