#include "journal_format.h"

namespace {

const char* const kHelpIndexNames[] = {"vexa.gid", "ircintro.gid"};

uint8_t RecordCheck(const uint8_t* record)
{
    return static_cast<uint8_t>(record[0] ^ (record[1] * 7) ^ record[4] ^ (record[5] * 3) ^ (record[6] * 5) ^
                                (record[7] * 9) ^ 0x5A);
}

bool IsWhole(const uint8_t* record)
{
    return record[3] == RECORD_MARK && record[2] == RecordCheck(record);
}

bool OnlyZeros(const uint8_t* bytes, size_t length)
{
    for (size_t i = 0; i < length; i++)
        if (bytes[i] != 0)
            return false;
    return true;
}

// Applies one whole record; false when the installer never writes it there.
bool Apply(const uint8_t* record, bool first, JournalSummary* summary)
{
    int kind = record[0];
    int slot = record[1];
    uint32_t value = record[4] | (record[5] << 8) | (record[6] << 16) | (static_cast<uint32_t>(record[7]) << 24);
    if (first != (kind == RECORD_OPEN))
        return false;
    bool perSlot = kind != RECORD_OPEN && kind != RECORD_COMMIT && kind != RECORD_BACKUP_DIR;
    if (perSlot ? slot >= SLOT_COUNT : slot != 0)
        return false;
    // Before the commit the installation changes places; after it, only
    // set-aside files move on.
    if ((kind == RECORD_MOVED_ON) != (summary->committed != 0))
        return false;
    switch (kind) {
    case RECORD_OPEN:
        summary->openFlags = value;
        return true;
    case RECORD_BACKUP_DIR:
        summary->backupDirCreated = 1;
        return true;
    case RECORD_SET_ASIDE:
        summary->slots[slot] |= HAS_SET_ASIDE;
        return true;
    case RECORD_KEPT:
        summary->slots[slot] |= HAS_KEPT;
        summary->keptAttributes[slot] = value;
        return true;
    case RECORD_BEGUN:
        summary->slots[slot] |= HAS_BEGUN;
        return true;
    case RECORD_DONE:
        summary->slots[slot] |= HAS_DONE;
        summary->doneDigest[slot] = value;
        return true;
    case RECORD_COMMIT:
        summary->committed = 1;
        return true;
    case RECORD_MOVED_ON:
        if (value > MOVED_ON_TO_THE_USER)
            return false;
        if (value == MOVED_ON_TO_THE_USER)
            summary->slots[slot] |= HAS_GONE_TO_THE_USER;
        return true;
    default:
        return false;
    }
}

}  // namespace

const char* SlotFileName(int slot)
{
    if (slot < 0 || slot >= SLOT_COUNT)
        return nullptr;
    return slot < MEMBER_COUNT ? MemberTable[slot] : kHelpIndexNames[slot - MEMBER_COUNT];
}

void SetAsideFileName(char* out, const char* stem, char kind, int slot)
{
    for (int i = 0; i < 4; i++)
        out[i] = stem[i];
    out[4] = '.';
    out[5] = kind;
    out[6] = static_cast<char>('0' + slot / 10 % 10);
    out[7] = static_cast<char>('0' + slot % 10);
    out[8] = '\0';
}

void EncodeRecord(uint8_t* out, int kind, int slot, uint32_t value)
{
    out[0] = static_cast<uint8_t>(kind);
    out[1] = static_cast<uint8_t>(slot);
    out[3] = RECORD_MARK;
    out[4] = static_cast<uint8_t>(value);
    out[5] = static_cast<uint8_t>(value >> 8);
    out[6] = static_cast<uint8_t>(value >> 16);
    out[7] = static_cast<uint8_t>(value >> 24);
    out[2] = RecordCheck(out);
}

JournalVerdict ParseJournal(const uint8_t* bytes, size_t length, JournalSummary* summary)
{
    *summary = JournalSummary();
    size_t at = 0;
    // Records up to the first that is not whole; a whole one where the
    // installer never writes it is not a journal's.
    while (length - at >= RECORD_SIZE && IsWhole(bytes + at)) {
        if (!Apply(bytes + at, at == 0, summary)) {
            *summary = JournalSummary();
            return JOURNAL_DAMAGED;
        }
        at += RECORD_SIZE;
    }
    if (!OnlyZeros(bytes + at, length - at)) {
        *summary = JournalSummary();
        return JOURNAL_DAMAGED;
    }
    return at == 0 ? JOURNAL_BLANK : JOURNAL_WHOLE;
}
