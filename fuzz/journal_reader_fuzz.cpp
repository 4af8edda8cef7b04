// The journal reader on arbitrary bytes: anything may stand in the
// set-aside directory under a journal's name. What it decides must stay
// within the installer's own names in that destination: every file a
// roll-back or roll-forward would touch is a slot's place, a backup of a
// member, or one of the journal's own set-aside names. A journal that is
// not acted on says nothing, and what a power cut adds at the end (zeros)
// changes nothing.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "journal_format.h"
#include "package_format.h"

namespace {

// The installer's names, written out here rather than built by the code
// under test: the places of the eleven members and two help indexes, their
// backups, and stem.sNN, stem.nNN, stem.uNN in ~vexa for those thirteen
// slots.
bool IsOwnName(const std::string& name, const std::string& stem)
{
    std::vector<std::string> places = {"vexa.gid", "ircintro.gid"};
    for (int member = 0; member < MEMBER_COUNT; member++)
        places.push_back(MemberTable[member]);
    for (const std::string& place : places)
        if (name == place || (place.find(".gid") == std::string::npos && name == "backup\\" + place))
            return true;
    const std::string prefix = "~vexa\\" + stem + ".";
    if (name.size() != prefix.size() + 3 || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    char kind = name[prefix.size()], tens = name[prefix.size() + 1], ones = name[prefix.size() + 2];
    return (kind == 's' || kind == 'n' || kind == 'u') && tens >= '0' && tens <= '1' && ones >= '0' &&
           ones <= '9' && (tens - '0') * 10 + (ones - '0') < 13;
}

bool IsClear(const JournalSummary& summary)
{
    JournalSummary clear = JournalSummary();
    return std::memcmp(&summary, &clear, sizeof summary) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > JOURNAL_MAX_BYTES)
        size = JOURNAL_MAX_BYTES;
    JournalSummary summary;
    JournalVerdict verdict = ParseJournal(data, size, &summary);
    FUZZ_EXPECT(verdict == JOURNAL_WHOLE || verdict == JOURNAL_BLANK || verdict == JOURNAL_DAMAGED);
    if (verdict != JOURNAL_WHOLE) {
        FUZZ_EXPECT(IsClear(summary));
        return 0;
    }

    // The names recovery would touch, slot by slot, as it builds them.
    const char stem[5] = "1a2b";
    std::vector<std::string> touched;
    for (int slot = 0; slot < SLOT_COUNT; slot++) {
        uint8_t state = summary.slots[slot];
        if (!state)
            continue;
        touched.push_back(SlotFileName(slot));
        char name[SET_ASIDE_NAME_SIZE];
        for (char kind : {'s', 'n', 'u'}) {
            SetAsideFileName(name, stem, kind, slot);
            touched.push_back(std::string("~vexa\\") + name);
        }
        if (summary.committed && (summary.openFlags & OPEN_MAKE_BACKUPS) && slot < MEMBER_COUNT)
            touched.push_back(std::string("backup\\") + SlotFileName(slot));
    }
    for (const std::string& name : touched)
        FUZZ_EXPECT(IsOwnName(name, stem));

    // A power cut's zeros at the end: the same journal.
    std::vector<uint8_t> longer(data, data + size);
    longer.resize(size + RECORD_SIZE + 3, 0);
    JournalSummary again;
    FUZZ_EXPECT(ParseJournal(longer.data(), longer.size(), &again) == JOURNAL_WHOLE);
    FUZZ_EXPECT(std::memcmp(&summary, &again, sizeof summary) == 0);

    // Every journal the installer writes starts with its opening record, and
    // whatever a whole journal holds after it is whole too: cut at any record
    // boundary, it stays a journal to act on.
    for (size_t cut = RECORD_SIZE; cut < size; cut += RECORD_SIZE)
        FUZZ_EXPECT(ParseJournal(data, cut, &again) == JOURNAL_WHOLE);
    return 0;
}
