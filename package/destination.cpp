#include "destination.h"

#include <windows.h>

#include "package_format.h"

namespace {

// Every name the installer gives to something in the destination.
const char kSetAsideDir[] = "~vexa";
const char kLockName[] = "vexa.lck";
const char kBackupName[] = "backup";
const char kJournalPattern[] = "*.jnl";
const char* const kHelpIndexNames[] = {"vexa.gid", "ircintro.gid"};

// A journal is a sequence of records of eight bytes: kind, slot, check,
// mark, and a 32-bit value (little-endian). The check and the mark tell a
// record from what a power cut leaves at the end of a file (zeros, or a
// record cut short): reading stops at the first record that is not whole.
enum RecordKind {
    RECORD_OPEN = 1,         // value: OPEN_ flags
    RECORD_BACKUP_DIR = 2,   // the backup directory is about to be created
    RECORD_SET_ASIDE = 3,    // slot's earlier file about to be set aside; value: its attributes
    RECORD_KEPT = 4,         // slot's kept file about to lose its attributes (value)
    RECORD_BEGUN = 5,        // slot's new file about to be created
    RECORD_DONE = 6,         // slot's new file complete
    RECORD_COMMIT = 7,       // the commit begins: from here on, roll forward
    RECORD_MOVED_ON = 8,     // slot's set-aside file about to go into backup (value 1) or away (0)
    RECORD_KINDS
};

enum { OPEN_MAKE_BACKUPS = 1, OPEN_CREATED_DESTINATION = 2 };
enum { RECORD_SIZE = 8, RECORD_MARK = 0xA5 };

// What a journal says, slot by slot.
enum { HAS_SET_ASIDE = 1, HAS_KEPT = 2, HAS_BEGUN = 4, HAS_DONE = 8 };
struct JournalSummary {
    int opened;
    int committed;
    int backupDirCreated;
    uint32_t openFlags;
    uint8_t slots[SLOT_COUNT];
    uint32_t keptAttributes[SLOT_COUNT];
};

#ifdef SETUP32_CRASH_POINTS
// How a test image's log names each record.
const char* const kRecordNames[RECORD_KINDS] = {"record ?",     "record open", "record backup directory",
                                                "record set aside", "record kept", "record begun",
                                                "record done",  "record commit", "record moved on"};
int crashCount = 0;
int crashAt = -1;
CrashObserver crashObserver = nullptr;

// Each change, numbered from 1, with what it is and its path, one a line
// in the file that SETUP32_CRASH_LOG names.
void LogCrashPoint(const char* what, const char* path)
{
    char logPath[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("SETUP32_CRASH_LOG", logPath, sizeof logPath);
    if (length == 0 || length >= sizeof logPath)
        return;
    HANDLE log = CreateFileA(logPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    char line[PATH_BUFFER_SIZE + 64];
    int at = wsprintfA(line, "%d\t%s\t%s\r\n", crashCount, what, path);
    DWORD written;
    SetFilePointer(log, 0, nullptr, FILE_END);
    WriteFile(log, line, at, &written, nullptr);
    CloseHandle(log);
}

// Ends the process, as from the task list, right before the k-th change.
void CrashPoint(const char* what, const char* path)
{
    if (crashAt < 0) {
        char text[16];
        DWORD length = GetEnvironmentVariableA("SETUP32_CRASH_AT", text, sizeof text);
        crashAt = 0;
        for (DWORD i = 0; i < length && i < sizeof text; i++)
            crashAt = crashAt * 10 + (text[i] - '0');
    }
    ++crashCount;
    if (crashObserver)
        crashObserver(crashCount, what, path);
    LogCrashPoint(what, path);
    if (crashCount == crashAt)
        TerminateProcess(GetCurrentProcess(), CRASH_EXIT_CODE);
}
#else
// Nothing of the hook is in the installer itself.
#define CrashPoint(what, path) ((void)0)
#endif

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The primitives: each change to the destination goes through one of
// these, which is where a test image can end the process.
// Failures to delete, clear attributes or remove a directory are retried
// once.
bool MoveOne(const char* from, const char* to)
{
    CrashPoint("move", from);
    return MoveFileA(from, to) != 0;
}

bool DeleteOne(const char* path)
{
    CrashPoint("delete", path);
    if (DeleteFileA(path))
        return true;
    CrashPoint("delete", path);
    return DeleteFileA(path) != 0;
}

void SetAttributesOne(const char* path, DWORD attributes)
{
    CrashPoint("attributes", path);
    if (!SetFileAttributesA(path, attributes)) {
        CrashPoint("attributes", path);
        SetFileAttributesA(path, attributes);
    }
}

bool CreateDirectoryOne(const char* path)
{
    CrashPoint("create directory", path);
    return CreateDirectoryA(path, nullptr) != 0;
}

void RemoveDirectoryOne(const char* path)
{
    if (!IsDirectory(path))
        return;
    CrashPoint("remove directory", path);
    if (!RemoveDirectoryA(path)) {
        CrashPoint("remove directory", path);
        RemoveDirectoryA(path);
    }
}

// A file that is in the way goes, whatever its attributes.
bool DeleteAnyFile(const char* path)
{
    SetAttributesOne(path, FILE_ATTRIBUTE_NORMAL);
    return DeleteOne(path);
}

bool SetAsideDirPath(char* out)
{
    return JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\", kSetAsideDir);
}

// ~vexa\<stem>.<kind><slot, two digits> into out.
bool StemPath(char* out, const char* stem, char kind, int slot)
{
    char name[9] = {stem[0], stem[1], stem[2], stem[3], '.', kind,
                    static_cast<char>('0' + slot / 10), static_cast<char>('0' + slot % 10), '\0'};
    return JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\~vexa\\", name);
}

bool JournalPath(char* out, const char* stem)
{
    char name[9] = {stem[0], stem[1], stem[2], stem[3], '.', 'j', 'n', 'l', '\0'};
    return JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\~vexa\\", name);
}

// The set-aside directory goes once nothing is left in it.
void RemoveSetAsideDirIfEmpty()
{
    char path[PATH_BUFFER_SIZE];
    if (SetAsideDirPath(path))
        RemoveDirectoryOne(path);
}

void AppendKept(const char* path)
{
    session.keptCount++;
    char* text = session.keptFiles;
    if (session.keptCount > 1 && !JoinText(text, sizeof session.keptFiles, text, "\n"))
        return;
    JoinText(text, sizeof session.keptFiles, text, path);
}

uint8_t RecordCheck(const uint8_t* record)
{
    return static_cast<uint8_t>(record[0] ^ (record[1] * 7) ^ record[4] ^ (record[5] * 3) ^ (record[6] * 5) ^
                                (record[7] * 9) ^ 0x5A);
}

// Appends a record and writes it through to the disk.
bool WriteRecord(HANDLE journal, int kind, int slot, uint32_t value)
{
    if (!journal)
        return false;
    uint8_t record[RECORD_SIZE] = {static_cast<uint8_t>(kind), static_cast<uint8_t>(slot), 0, RECORD_MARK,
                                   static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                   static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    record[2] = RecordCheck(record);
    CrashPoint(kRecordNames[kind < RECORD_KINDS ? kind : 0], "journal");
    DWORD written = 0;
    return WriteFile(journal, record, RECORD_SIZE, &written, nullptr) && written == RECORD_SIZE &&
           FlushFileBuffers(journal);
}

bool Record(int kind, int slot, uint32_t value = 0)
{
    return WriteRecord(session.journal, kind, slot, value);
}

// Reads the journal from its start; whatever follows the last whole record
// is ignored (it was never acted on: every record precedes its change).
void ReadJournal(HANDLE journal, JournalSummary* summary)
{
    *summary = JournalSummary();
    if (SetFilePointer(journal, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return;
    uint8_t record[RECORD_SIZE];
    DWORD got = 0;
    while (ReadFile(journal, record, RECORD_SIZE, &got, nullptr) && got == RECORD_SIZE) {
        if (record[3] != RECORD_MARK || record[2] != RecordCheck(record))
            break;
        int slot = record[1];
        uint32_t value = record[4] | (record[5] << 8) | (record[6] << 16) | (static_cast<uint32_t>(record[7]) << 24);
        bool perSlot = record[0] != RECORD_OPEN && record[0] != RECORD_COMMIT && record[0] != RECORD_BACKUP_DIR;
        if (perSlot && slot >= SLOT_COUNT)
            break;
        switch (record[0]) {
        case RECORD_OPEN:
            summary->opened = 1;
            summary->openFlags = value;
            break;
        case RECORD_BACKUP_DIR:
            summary->backupDirCreated = 1;
            break;
        case RECORD_SET_ASIDE:
            summary->slots[slot] |= HAS_SET_ASIDE;
            break;
        case RECORD_KEPT:
            summary->slots[slot] |= HAS_KEPT;
            summary->keptAttributes[slot] = value;
            break;
        case RECORD_BEGUN:
            summary->slots[slot] |= HAS_BEGUN;
            break;
        case RECORD_DONE:
            summary->slots[slot] |= HAS_DONE;
            break;
        case RECORD_COMMIT:
            summary->committed = 1;
            break;
        case RECORD_MOVED_ON:
            break;
        default:
            return;
        }
        if (!summary->opened)
            return;   // a journal starts with its opening record
    }
}

// Rolls back what the summary records. A file in a slot's place goes only
// when the journal says this installation began it; one it cannot account
// for is set aside under XXXX.uNN. Every step looks at what is there, so
// that running it again after an interruption finishes the work. True
// when every earlier file is back.
bool UndoJournal(const char* stem, const JournalSummary& summary)
{
    bool restored = true;
    for (int slot = SLOT_COUNT - 1; slot >= 0; slot--) {
        uint8_t state = summary.slots[slot];
        char place[PATH_BUFFER_SIZE], aside[PATH_BUFFER_SIZE];
        if (!state || !SlotPath(place, slot) || !StemPath(aside, stem, 's', slot))
            continue;
        if (state & HAS_SET_ASIDE) {
            // Gone from the set-aside directory: the earlier file is in its
            // place (it never left, or went back already).
            if (!Exists(aside))
                continue;
            if (Exists(place)) {
                if (state & HAS_BEGUN) {
                    DeleteAnyFile(place);
                } else {
                    char stray[PATH_BUFFER_SIZE];
                    if (StemPath(stray, stem, 'u', slot) && !Exists(stray) && MoveOne(place, stray))
                        AppendKept(stray);
                }
            }
            if (!MoveOne(aside, place)) {
                restored = false;
                AppendKept(aside);
            }
            continue;
        }
        if ((state & HAS_BEGUN) && Exists(place) && !IsDirectory(place))
            DeleteAnyFile(place);
        if (state & HAS_KEPT)
            SetAttributesOne(place, summary.keptAttributes[slot]);
    }
    if (summary.backupDirCreated) {
        char backup[PATH_BUFFER_SIZE];
        if (BackupDirPath(backup, false))
            RemoveDirectoryOne(backup);
    }
    return restored;
}

// Moves every set-aside file on: into backup, replacing an older backup of
// its name, or away. One that cannot move stays set aside and is reported.
// Never touches a file in its place.
void FinishJournal(HANDLE journal, const char* stem, const JournalSummary& summary)
{
    bool intoBackup = summary.openFlags & OPEN_MAKE_BACKUPS;
    for (int slot = 0; slot < SLOT_COUNT; slot++) {
        char aside[PATH_BUFFER_SIZE];
        if (!(summary.slots[slot] & HAS_SET_ASIDE) || !StemPath(aside, stem, 's', slot) || !Exists(aside))
            continue;
        bool toBackup = intoBackup && slot < MEMBER_COUNT;
        WriteRecord(journal, RECORD_MOVED_ON, slot, toBackup);
        SetAttributesOne(aside, FILE_ATTRIBUTE_NORMAL);
        bool moved;
        if (toBackup) {
            char target[PATH_BUFFER_SIZE];
            moved = BackupDirPath(target, false) && (IsDirectory(target) || CreateDirectoryOne(target)) &&
                    BackupDirPath(target, true) && JoinText(target, sizeof target, target, MemberTable[slot]);
            // A directory of that name is someone else's: the file stays.
            if (moved && IsDirectory(target))
                moved = false;
            else if (moved && Exists(target))
                DeleteAnyFile(target);
            moved = moved && MoveOne(aside, target);
        } else {
            moved = DeleteOne(aside);
        }
        if (!moved)
            AppendKept(aside);
    }
}

void CloseJournal(HANDLE* journal, const char* path, bool remove)
{
    CloseHandle(*journal);
    *journal = nullptr;
    if (remove)
        DeleteOne(path);
}

// A name of our own: four hexadecimal digits, from the name of a journal
// found (false when it is not one of ours) or made up.
bool StemOf(const char* fileName, char* stem)
{
    for (int i = 0; i < 4; i++) {
        char c = fileName[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
        stem[i] = c;
    }
    stem[4] = '\0';
    return SameText(fileName + 4, ".jnl") || SameText(fileName + 4, ".JNL");
}

// Whether anything in the set-aside directory already bears the stem.
bool StemInUse(const char* stem)
{
    char pattern[PATH_BUFFER_SIZE];
    char name[7] = {stem[0], stem[1], stem[2], stem[3], '.', '*', '\0'};
    if (!JoinText(pattern, sizeof pattern, session.destinationDir, "\\~vexa\\", name))
        return true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

}  // namespace

#ifdef SETUP32_CRASH_POINTS
int CrashPointCount()
{
    return crashCount;
}

void ObserveCrashPoints(CrashObserver observer)
{
    crashObserver = observer;
}

void ResetCrashPoints()
{
    crashCount = 0;
    crashAt = -1;
}
#endif

bool CreateDestinationDirectory()
{
    return CreateDirectoryOne(session.destinationDir);
}

void RemoveCreatedDestination()
{
    if (!session.createdDestination)
        return;
    RemoveDirectoryOne(session.destinationDir);
    session.createdDestination = 0;
}

int HelpIndexSlotOf(int member)
{
    PathParts help, index;
    if (member < 0 || member >= MEMBER_COUNT || !SplitPathParts(MemberTable[member], &help) ||
        !SameText(help.ext, ".hlp"))
        return -1;
    for (int slot = MEMBER_COUNT; slot < SLOT_COUNT; slot++)
        if (SplitPathParts(kHelpIndexNames[slot - MEMBER_COUNT], &index) && SameText(index.name, help.name))
            return slot;
    return -1;
}

bool SlotPath(char* out, int slot)
{
    if (slot < 0 || slot >= SLOT_COUNT) {
        out[0] = '\0';
        return false;
    }
    const char* name = slot < MEMBER_COUNT ? MemberTable[slot] : kHelpIndexNames[slot - MEMBER_COUNT];
    return JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\", name);
}

bool BackupDirPath(char* out, bool slash)
{
    return JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\", kBackupName) &&
           (!slash || JoinText(out, PATH_BUFFER_SIZE, out, "\\"));
}

int KeptReportCount()
{
    return session.keptCount;
}

void ClearKeptReport()
{
    session.keptCount = 0;
    session.keptFiles[0] = '\0';
}

// A second installer that worked in the same directory would overwrite
// this one's files, and its roll-back would delete files that this one
// reports as installed. The directory is held through the file vexa.lck in
// it, opened without sharing: another installer cannot open it, whatever
// spelling of the directory it was given, while file managers and current
// directories are not hindered, and files are created, renamed in and out
// and deleted in the directory as usual (a handle on the directory itself,
// refusing others the right to add files, would stop that on Windows NT;
// and Windows 95, 98 and Me open no directory as a file at all). An empty
// one left behind by an installer that was ended from outside is taken
// over, and removed at the end; one with content is someone else's and
// stays.
bool HoldDestination()
{
    ReleaseDestination();
    // A file of that name fails at the first member, as it always has.
    if (!IsDirectory(session.destinationDir))
        return true;
    if (!JoinText(session.lockPath, sizeof session.lockPath, session.destinationDir, "\\", kLockName))
        return false;
    CrashPoint("lock", session.lockPath);
    HANDLE lock =
        CreateFileA(session.lockPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (lock == INVALID_HANDLE_VALUE)
        return false;
    session.lockOwned = GetLastError() != ERROR_ALREADY_EXISTS || GetFileSize(lock, nullptr) == 0;
    session.destinationLock = lock;
    return true;
}

void ReleaseDestination()
{
    if (!session.destinationLock)
        return;
    // The lock file goes while it is still held, where the system allows
    // that (see DeleteHeldFile): another installer cannot take it over in
    // between and then lose it.
    bool removed = false;
    if (session.lockOwned && session.lockPath[0]) {
        CrashPoint("delete", session.lockPath);
        removed = DeleteFileA(session.lockPath) != 0;
    }
    CloseHandle(session.destinationLock);
    if (session.lockOwned && !removed && session.lockPath[0])
        DeleteOne(session.lockPath);
    session.destinationLock = nullptr;
    session.lockPath[0] = '\0';
    session.lockOwned = 0;
}

void RecoverDestination()
{
    char pattern[PATH_BUFFER_SIZE];
    if (!JoinText(pattern, sizeof pattern, session.destinationDir, "\\~vexa\\", kJournalPattern))
        return;
    // One journal at a time: each is deleted once acted on, so the search
    // starts again until none is left that can be opened.
    enum { MAX_SKIPPED = 16 };
    char skipped[MAX_SKIPPED][5] = {};
    int skippedCount = 0;
    for (;;) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern, &found);
        if (search == INVALID_HANDLE_VALUE)
            break;
        char stem[5] = "";
        bool any = false;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY || !StemOf(found.cFileName, stem))
                continue;
            bool seen = false;
            for (int i = 0; i < skippedCount; i++)
                seen = seen || SameText(skipped[i], stem);
            if (!seen) {
                any = true;
                break;
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
        if (!any)
            break;

        char path[PATH_BUFFER_SIZE];
        HANDLE journal = INVALID_HANDLE_VALUE;
        if (JournalPath(path, stem))
            journal = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        // Each journal is acted on once; one that cannot be opened now is
        // left alone.
        if (skippedCount == MAX_SKIPPED)
            break;
        JoinText(skipped[skippedCount++], 5, stem);
        if (journal == INVALID_HANDLE_VALUE)
            continue;
        JournalSummary summary;
        ReadJournal(journal, &summary);
        if (summary.committed) {
            FinishJournal(journal, stem, summary);
        } else {
            UndoJournal(stem, summary);
            if (summary.openFlags & OPEN_CREATED_DESTINATION)
                session.createdDestination = 1;
        }
        // Acted on once: what could not move stays set aside, reported, and
        // no later installation acts on this journal again.
        CloseJournal(&journal, path, true);
    }
    RemoveSetAsideDirIfEmpty();
}

bool BeginJournal()
{
    char dir[PATH_BUFFER_SIZE];
    if (!SetAsideDirPath(dir))
        return false;
    if (!IsDirectory(dir) && !CreateDirectoryOne(dir))
        return false;
    // A stem that nothing in the set-aside directory bears yet; the journal
    // is created only where no file of its name exists.
    DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 4);
    for (int attempt = 0; attempt < 256; attempt++) {
        DWORD id = (seed + attempt * 40503u) & 0xFFFF;
        static const char hex[] = "0123456789abcdef";
        char stem[5] = {hex[(id >> 12) & 15], hex[(id >> 8) & 15], hex[(id >> 4) & 15], hex[id & 15], '\0'};
        char path[PATH_BUFFER_SIZE];
        if (StemInUse(stem) || !JournalPath(path, stem))
            continue;
        CrashPoint("create journal", path);
        HANDLE journal = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (journal == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            break;
        }
        uint32_t flags = (session.makeBackups ? OPEN_MAKE_BACKUPS : 0) |
                         (session.createdDestination ? OPEN_CREATED_DESTINATION : 0);
        if (!WriteRecord(journal, RECORD_OPEN, 0, flags)) {
            CloseJournal(&journal, path, true);
            break;
        }
        session.journal = journal;
        JoinText(session.journalStem, sizeof session.journalStem, stem);
        return true;
    }
    RemoveSetAsideDirIfEmpty();
    return false;
}

int CreateBackupDir()
{
    char path[PATH_BUFFER_SIZE];
    if (!BackupDirPath(path, false))
        return DEST_REFUSED;
    if (!Record(RECORD_BACKUP_DIR, 0))
        return DEST_JOURNAL_FAILED;
    return CreateDirectoryOne(path) ? DEST_DONE : DEST_REFUSED;
}

int SetAsideEarlierFile(int slot)
{
    char place[PATH_BUFFER_SIZE], aside[PATH_BUFFER_SIZE];
    if (!SlotPath(place, slot) || !StemPath(aside, session.journalStem, 's', slot))
        return DEST_REFUSED;
    DWORD attributes = GetFileAttributesA(place);
    if (!Record(RECORD_SET_ASIDE, slot, attributes))
        return DEST_JOURNAL_FAILED;
    return MoveOne(place, aside) ? DEST_DONE : DEST_REFUSED;
}

int ClearKeptAttributes(int slot, uint32_t attributes)
{
    char place[PATH_BUFFER_SIZE];
    if (!SlotPath(place, slot))
        return DEST_REFUSED;
    if (!Record(RECORD_KEPT, slot, attributes))
        return DEST_JOURNAL_FAILED;
    SetAttributesOne(place, FILE_ATTRIBUTE_NORMAL);
    return DEST_DONE;
}

ByteStream* CreateMemberFile(int slot, int* result)
{
    char place[PATH_BUFFER_SIZE];
    *result = DEST_REFUSED;
    if (!SlotPath(place, slot))
        return nullptr;
    if (!Record(RECORD_BEGUN, slot)) {
        *result = DEST_JOURNAL_FAILED;
        return nullptr;
    }
    CrashPoint("create", place);
    ByteStream* stream = StreamCreate(place);
    if (stream)
        *result = DEST_DONE;
    return stream;
}

int MemberFileDone(int slot)
{
    return Record(RECORD_DONE, slot) ? DEST_DONE : DEST_JOURNAL_FAILED;
}

void CommitJournal()
{
    if (!session.journal)
        return;
    char path[PATH_BUFFER_SIZE];
    JournalPath(path, session.journalStem);
    JournalSummary summary;
    ReadJournal(session.journal, &summary);
    if (Record(RECORD_COMMIT, 0)) {
        FinishJournal(session.journal, session.journalStem, summary);
    } else {
        // Without the record, moving on would leave a journal that a
        // recovery rolls back half-way. The earlier files stay set aside,
        // reported, and the journal goes, so that nothing undoes the
        // installation that is reported complete.
        for (int slot = 0; slot < SLOT_COUNT; slot++) {
            char aside[PATH_BUFFER_SIZE];
            if ((summary.slots[slot] & HAS_SET_ASIDE) && StemPath(aside, session.journalStem, 's', slot) &&
                Exists(aside))
                AppendKept(aside);
        }
    }
    CloseJournal(&session.journal, path, true);
    RemoveSetAsideDirIfEmpty();
}

bool RollBackJournal()
{
    if (!session.journal)
        return true;
    char path[PATH_BUFFER_SIZE];
    JournalPath(path, session.journalStem);
    JournalSummary summary;
    ReadJournal(session.journal, &summary);
    bool restored = UndoJournal(session.journalStem, summary);
    // Kept when something could not go back: the next installation's
    // recovery tries again.
    CloseJournal(&session.journal, path, restored);
    RemoveSetAsideDirIfEmpty();
    return restored;
}
