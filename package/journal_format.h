// The installation journal as bytes: its records, and what a journal found
// in the set-aside directory says, slot by slot. Anything may stand in that
// directory under a journal's name, so the reader trusts nothing: a journal
// is acted on only when it is whole. Portable: the installer reads and
// writes it, the fuzz target reads it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "package_format.h"

// What the journal tracks, besides the eleven members: the help-index files
// that go stale when their help file is replaced.
enum {
    SLOT_VEXA_GID = MEMBER_COUNT,
    SLOT_IRCINTRO_GID,
    SLOT_COUNT
};

// A journal is a sequence of records of eight bytes: kind, slot, check,
// mark, and a 32-bit value (little-endian). Every record is written through
// to the disk before the change it announces.
enum RecordKind {
    RECORD_OPEN = 1,         // value: OPEN_ flags and the generation
    RECORD_BACKUP_DIR = 2,   // the backup directory is about to be created
    RECORD_SET_ASIDE = 3,    // slot's earlier file about to be set aside; value: its attributes
    RECORD_KEPT = 4,         // slot's kept file about to lose its attributes (value)
    RECORD_BEGUN = 5,        // slot's new file about to be created in the set-aside directory
    RECORD_DONE = 6,         // slot's new file written through, about to go into its place; value: its digest
    RECORD_COMMIT = 7,       // the commit begins: from here on, roll forward
    RECORD_MOVED_ON = 8,     // slot's set-aside file: value MOVED_ON_
    RECORD_KINDS
};

enum {
    OPEN_MAKE_BACKUPS = 1,
    OPEN_CREATED_DESTINATION = 2,
    // The installation's place among those whose journals are still there:
    // one more than the highest found when it began (0 in journals written
    // before generations were recorded).
    OPEN_GENERATION_SHIFT = 16
};

// What becomes of a set-aside file at the commit.
enum MovedOn {
    MOVED_ON_AWAY = 0,        // about to be deleted
    MOVED_ON_INTO_BACKUP = 1, // about to go into backup
    MOVED_ON_TO_THE_USER = 2  // a directory of the user's stands where it goes: the file is the user's now
};

enum {
    RECORD_SIZE = 8,
    RECORD_MARK = 0xA5,
    // Longer than any journal the installer writes (about 70 records).
    JOURNAL_MAX_BYTES = 4096
};

// What a journal says of a slot.
enum {
    HAS_SET_ASIDE = 1,
    HAS_KEPT = 2,
    HAS_BEGUN = 4,
    HAS_DONE = 8,
    HAS_GONE_TO_THE_USER = 16
};

struct JournalSummary {
    int committed;
    int backupDirCreated;
    uint32_t openFlags;
    uint8_t slots[SLOT_COUNT];
    uint32_t keptAttributes[SLOT_COUNT];
    uint32_t doneDigest[SLOT_COUNT];
};

enum JournalVerdict {
    // Starts with its opening record, every record whole and in an order
    // the installer writes, nothing after the last one but zeros (what a
    // power cut leaves of a record that never reached the disk, whose
    // change was therefore never made).
    JOURNAL_WHOLE,
    // Empty, or zeros only: not even the opening record reached the disk,
    // so nothing was changed under it.
    JOURNAL_BLANK,
    // Anything else: not acted on.
    JOURNAL_DAMAGED
};

// The file name of a slot's place in the destination (null outside the
// slots).
const char* SlotFileName(int slot);

// The name of a slot's file in the set-aside directory, <stem>.<kind>NN,
// into out (SET_ASIDE_NAME_SIZE). The kinds: 's' the earlier file set
// aside, 'n' the new file until it goes into its place, 'u' a file found in
// the place that the journal cannot account for.
enum { SET_ASIDE_NAME_SIZE = 9 };
void SetAsideFileName(char* out, const char* stem, char kind, int slot);

void EncodeRecord(uint8_t* out, int kind, int slot, uint32_t value);

// Reads a journal's bytes into summary (cleared first; filled only for a
// whole journal).
JournalVerdict ParseJournal(const uint8_t* bytes, size_t length, JournalSummary* summary);

inline uint32_t JournalGeneration(const JournalSummary& summary)
{
    return summary.openFlags >> OPEN_GENERATION_SHIFT;
}
