#include "destination.h"

#include <windows.h>

#include "content_digest.h"
#include "installer_names.h"
#include "package_format.h"

namespace {

// Journals one recovery acts on at most; more is something other than
// installations ended from outside, and nothing is done.
enum { MAX_JOURNALS = 16 };

// A journal found by the recovery: held open from the moment it is read
// until it has been acted on.
struct FoundJournal {
    char stem[5];
    HANDLE file;
    JournalVerdict verdict;
    JournalSummary summary;
};

// The module's own state.
struct DestinationState {
    // The lock file that holds the destination (null when not held), its
    // path, and whether this transaction removes it when it lets go.
    HANDLE lock;
    char lockPath[PATH_BUFFER_SIZE];
    int lockOwned;
    // This installation's journal (null when none is open) and the four
    // hexadecimal digits that name it and its files in the set-aside
    // directory.
    HANDLE journal;
    char journalStem[5];
    // The generation the next journal gets: one more than the highest found.
    uint32_t nextGeneration;
    // Paths for the next message, one a line, and how many did not fit.
    int keptCount;
    int keptLeftOut;
    char keptFiles[TEXT_BUFFER_SIZE];
    FoundJournal found[MAX_JOURNALS];
    int foundCount;
    // A journal's bytes, or a file's read back for its digest.
    uint8_t readBuffer[JOURNAL_MAX_BYTES + 1];
    // MoveFileExA, where the system has it (Windows NT), to move files
    // written through; looked up once.
    int moveLookedUp;
    BOOL(WINAPI* moveFileEx)(LPCSTR, LPCSTR, DWORD);
};

DestinationState state;

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

// The primitives: each change to the destination goes through one of
// these, which is where a test image can end the process.
// Failures to delete, clear attributes or remove a directory are retried
// once.

// A move that is on the disk when it returns, where the system offers that
// (Windows NT: MoveFileEx with MOVEFILE_WRITE_THROUGH). Windows 95, 98 and
// Me export the name without the function: there, and wherever it is
// missing, the move goes through the file system's cache.
bool MoveOne(const char* from, const char* to)
{
    CrashPoint("move", from);
    if (!state.moveLookedUp) {
        state.moveLookedUp = 1;
        HMODULE kernel = (GetVersion() & 0x80000000) ? nullptr : GetModuleHandleA("KERNEL32.DLL");
        state.moveFileEx = kernel ? reinterpret_cast<BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD)>(
                                        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "MoveFileExA")))
                                  : nullptr;
    }
    if (state.moveFileEx)
        return state.moveFileEx(from, to, MOVEFILE_WRITE_THROUGH) != 0;
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
    if (!IsDirectoryAt(path))
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
    return JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\", kSetAsideDirName);
}

// ~vexa\<name> into out.
bool SetAsidePath(char* out, const char* name)
{
    return SetAsideDirPath(out) && JoinText(out, PATH_BUFFER_SIZE, out, "\\", name);
}

// A slot's file in the set-aside directory (see SetAsideFileName) into out.
bool StemPath(char* out, const char* stem, char kind, int slot)
{
    char name[SET_ASIDE_NAME_SIZE];
    SetAsideFileName(name, stem, kind, slot);
    return SetAsidePath(out, name);
}

bool JournalPath(char* out, const char* stem)
{
    char name[SET_ASIDE_NAME_SIZE];
    return JoinText(name, sizeof name, stem, kJournalExtension) && SetAsidePath(out, name);
}

// The set-aside directory goes once nothing is left in it.
void RemoveSetAsideDirIfEmpty()
{
    char path[PATH_BUFFER_SIZE];
    if (SetAsideDirPath(path))
        RemoveDirectoryOne(path);
}

// A path for the next message. One that does not fit is left out whole,
// and counted.
void AppendKept(const char* path)
{
    // Room for the line that counts what was left out.
    const size_t reserve = 48;
    size_t used = TextLength(state.keptFiles);
    size_t length = TextLength(path) + (state.keptCount ? 1 : 0);
    state.keptCount++;
    if (used + length + reserve >= sizeof state.keptFiles) {
        state.keptLeftOut++;
        return;
    }
    if (used)
        JoinText(state.keptFiles, sizeof state.keptFiles, state.keptFiles, "\n");
    JoinText(state.keptFiles, sizeof state.keptFiles, state.keptFiles, path);
}

// Appends a record and writes it through to the disk.
bool WriteRecord(HANDLE journal, int kind, int slot, uint32_t value)
{
    if (!journal)
        return false;
    uint8_t record[RECORD_SIZE];
    EncodeRecord(record, kind, slot, value);
    CrashPoint(kRecordNames[kind < RECORD_KINDS ? kind : 0], "journal");
    DWORD written = 0;
    return WriteFile(journal, record, RECORD_SIZE, &written, nullptr) && written == RECORD_SIZE &&
           FlushFileBuffers(journal);
}

bool Record(int kind, int slot, uint32_t value = 0)
{
    return WriteRecord(state.journal, kind, slot, value);
}

// Reads an open journal from its start.
JournalVerdict ReadJournal(HANDLE journal, JournalSummary* summary)
{
    *summary = JournalSummary();
    DWORD got = 0;
    if (SetFilePointer(journal, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !ReadFile(journal, state.readBuffer, sizeof state.readBuffer, &got, nullptr) ||
        got > JOURNAL_MAX_BYTES)
        return JOURNAL_DAMAGED;
    JournalVerdict verdict = ParseJournal(state.readBuffer, got, summary);
    // Records go on at the end.
    SetFilePointer(journal, 0, nullptr, FILE_END);
    return verdict;
}

// The content digest of the file at path (content_digest.h); false when it
// cannot be read.
bool DigestOfFile(const char* path, uint32_t* digest)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    uint32_t sum = DIGEST_START, length = 0;
    DWORD got = 0;
    bool read;
    while ((read = ReadFile(file, state.readBuffer, JOURNAL_MAX_BYTES, &got, nullptr) != 0) && got > 0) {
        sum = DigestBytes(sum, state.readBuffer, got);
        length += got;
    }
    CloseHandle(file);
    *digest = DigestEnd(sum, length);
    return read;
}

// Whether the file in a slot's place is the new file that the journal's
// installation put there, unchanged since: the digest it recorded.
bool IsInstalledUnchanged(const char* place, const JournalSummary& summary, int slot)
{
    uint32_t digest;
    return (summary.slots[slot] & HAS_DONE) && DigestOfFile(place, &digest) && digest == summary.doneDigest[slot];
}

// A slot's files: its place, and in the set-aside directory its earlier
// file, its new file and a file found in its place (see StemPath).
struct SlotFiles {
    char place[PATH_BUFFER_SIZE];
    char aside[PATH_BUFFER_SIZE];
    char fresh[PATH_BUFFER_SIZE];
    char stray[PATH_BUFFER_SIZE];
};

bool SlotFilesOf(const char* stem, int slot, SlotFiles* files)
{
    return SlotPath(files->place, slot) && StemPath(files->aside, stem, 's', slot) &&
           StemPath(files->fresh, stem, 'n', slot) && StemPath(files->stray, stem, 'u', slot);
}

// Rolls back what the summary records. A file in a slot's place goes only
// when it is the new file the journal's installation put there, unchanged;
// any other file there (the user's, or the new one changed since) is set
// aside under XXXX.uNN and named. Every step looks at what is there, so
// that running it again after an interruption finishes the work. True when
// every earlier file is back and nothing of the installation is left.
bool UndoJournal(const char* stem, const JournalSummary& summary)
{
    bool restored = true;
    for (int slot = SLOT_COUNT - 1; slot >= 0; slot--) {
        uint8_t slotState = summary.slots[slot];
        SlotFiles files;
        if (!slotState || !SlotFilesOf(stem, slot, &files))
            continue;
        const char *place = files.place, *aside = files.aside, *fresh = files.fresh, *stray = files.stray;
        // A new file that had not gone into its place yet: what is there is
        // not the installation's.
        bool freshThere = (slotState & HAS_BEGUN) && IsFileAt(fresh);
        if (freshThere && !DeleteAnyFile(fresh)) {
            restored = false;
            AppendKept(fresh);
        }
        // Gone from the set-aside directory: the earlier file is in its
        // place (it never left, or went back already). Otherwise the place
        // is the journal's only where there was no earlier file and the new
        // one went there.
        bool earlierAside = (slotState & HAS_SET_ASIDE) && SomethingExistsAt(aside);
        bool placeTouched = earlierAside || (!(slotState & HAS_SET_ASIDE) && (slotState & HAS_DONE) && !freshThere);
        if (placeTouched && IsFileAt(place)) {
            if (IsInstalledUnchanged(place, summary, slot)) {
                if (!DeleteAnyFile(place)) {
                    // A running program: the earlier file cannot go back.
                    restored = false;
                    if (earlierAside)
                        AppendKept(aside);
                    continue;
                }
            } else if (!SomethingExistsAt(stray) && MoveOne(place, stray)) {
                AppendKept(stray);
            } else {
                restored = false;
                if (earlierAside)
                    AppendKept(aside);
                continue;
            }
        }
        if (earlierAside && !MoveOne(aside, place)) {
            restored = false;
            AppendKept(aside);
        }
        if (slotState & HAS_KEPT)
            SetAttributesOne(place, summary.keptAttributes[slot]);
    }
    if (summary.backupDirCreated) {
        char backup[PATH_BUFFER_SIZE];
        if (BackupDirPath(backup, false))
            RemoveDirectoryOne(backup);
    }
    return restored;
}

// Rolls the committed installation forward: a new file not yet in its
// empty place goes there; every set-aside file moves on, into backup
// (replacing an older backup of its name) or away. Never touches a file in
// its place. One that a directory of the user's keeps out of backup is the
// user's from then on, named once; one that cannot move now (a running
// program, an older backup held open) waits for the next installation.
// True when nothing is left waiting.
bool FinishJournal(HANDLE journal, const char* stem, const JournalSummary& summary)
{
    bool finished = true;
    bool intoBackup = summary.openFlags & OPEN_MAKE_BACKUPS;
    for (int slot = 0; slot < SLOT_COUNT; slot++) {
        uint8_t slotState = summary.slots[slot];
        SlotFiles files;
        if (!slotState || !SlotFilesOf(stem, slot, &files))
            continue;
        const char *place = files.place, *aside = files.aside, *fresh = files.fresh;
        if ((slotState & HAS_DONE) && IsFileAt(fresh) && !SomethingExistsAt(place) && !MoveOne(fresh, place))
            finished = false;
        if (!(slotState & HAS_SET_ASIDE) || (slotState & HAS_GONE_TO_THE_USER) || !SomethingExistsAt(aside))
            continue;
        bool moved;
        if (intoBackup && slot < MEMBER_COUNT) {
            char target[PATH_BUFFER_SIZE];
            if (!BackupDirPath(target, true) || !JoinText(target, sizeof target, target, MemberTable[slot]))
                continue;
            if (IsDirectoryAt(target)) {
                WriteRecord(journal, RECORD_MOVED_ON, slot, MOVED_ON_TO_THE_USER);
                AppendKept(aside);
                continue;
            }
            WriteRecord(journal, RECORD_MOVED_ON, slot, MOVED_ON_INTO_BACKUP);
            SetAttributesOne(aside, FILE_ATTRIBUTE_NORMAL);
            char backup[PATH_BUFFER_SIZE];
            moved = BackupDirPath(backup, false) && (IsDirectoryAt(backup) || CreateDirectoryOne(backup));
            if (moved && SomethingExistsAt(target))
                DeleteAnyFile(target);
            moved = moved && MoveOne(aside, target);
        } else {
            WriteRecord(journal, RECORD_MOVED_ON, slot, MOVED_ON_AWAY);
            moved = DeleteAnyFile(aside);
        }
        if (!moved)
            finished = false;
    }
    return finished;
}

void CloseJournal(HANDLE* journal, const char* path, bool remove)
{
    CloseHandle(*journal);
    *journal = nullptr;
    if (remove)
        DeleteOne(path);
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The stem of a journal's name (four hexadecimal digits, then .jnl); false
// for any other name.
bool StemOf(const char* fileName, char* stem)
{
    for (int i = 0; i < 4; i++) {
        if (!IsHexDigit(fileName[i]))
            return false;
        stem[i] = fileName[i];
    }
    stem[4] = '\0';
    // In any case: the file system's names are (some give them in capitals).
    char extension[8];
    if (!JoinText(extension, sizeof extension, fileName + 4))
        return false;
    LowerAscii(extension);
    return SameText(extension, kJournalExtension);
}

// Whether anything in the set-aside directory already bears the stem.
bool StemInUse(const char* stem)
{
    char pattern[PATH_BUFFER_SIZE];
    char name[7] = {stem[0], stem[1], stem[2], stem[3], '.', '*', '\0'};
    if (!SetAsidePath(pattern, name))
        return true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

void CloseFoundJournals()
{
    for (int i = 0; i < state.foundCount; i++)
        if (state.found[i].file)
            CloseHandle(state.found[i].file);
    state.foundCount = 0;
}

// Every journal in the set-aside directory opened, without sharing, and
// read; nothing is changed. False when one of them cannot be acted on
// (it cannot be opened, it is not whole, or there are more than any run of
// ended installations leaves): each is named, and none is kept open.
bool FindJournals()
{
    state.foundCount = 0;
    char pattern[PATH_BUFFER_SIZE];
    if (!SetAsideDirPath(pattern) || !JoinText(pattern, sizeof pattern, pattern, "\\*", kJournalExtension))
        return true;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    bool usable = true;
    do {
        char stem[5], path[PATH_BUFFER_SIZE];
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !StemOf(entry.cFileName, stem) ||
            !JournalPath(path, stem))
            continue;
        HANDLE file = INVALID_HANDLE_VALUE;
        if (state.foundCount < MAX_JOURNALS)
            file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            usable = false;
            AppendKept(path);
            continue;
        }
        FoundJournal& journal = state.found[state.foundCount++];
        JoinText(journal.stem, sizeof journal.stem, stem);
        journal.file = file;
        journal.verdict = ReadJournal(file, &journal.summary);
        if (journal.verdict == JOURNAL_DAMAGED) {
            usable = false;
            AppendKept(path);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    if (!usable)
        CloseFoundJournals();
    return usable;
}

// Acts on one found journal: rolled back, or forward once committed; a
// blank one recorded nothing. It is deleted once nothing is left for it to
// do, and otherwise kept. True when the roll-back, if it was one, put every
// earlier file back.
bool ActOnJournal(FoundJournal* journal)
{
    char path[PATH_BUFFER_SIZE];
    JournalPath(path, journal->stem);
    bool done = true, restored = true;
    if (journal->verdict == JOURNAL_WHOLE && journal->summary.committed) {
        done = FinishJournal(journal->file, journal->stem, journal->summary);
    } else if (journal->verdict == JOURNAL_WHOLE) {
        done = restored = UndoJournal(journal->stem, journal->summary);
        if (journal->summary.openFlags & OPEN_CREATED_DESTINATION)
            session.createdDestination = 1;
    }
    CloseJournal(&journal->file, path, done);
    return restored;
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

bool SomethingExistsAt(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectoryAt(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFileAt(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

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
    // The help files' indexes go stale with them: vexa.hlp's vexa.gid,
    // ircintro.hlp's ircintro.gid.
    if (member == MEMBER_VEXA_HLP)
        return SLOT_VEXA_GID;
    return member == MEMBER_IRCINTRO_HLP ? SLOT_IRCINTRO_GID : -1;
}

bool SlotPath(char* out, int slot)
{
    const char* name = SlotFileName(slot);
    if (!name) {
        out[0] = '\0';
        return false;
    }
    return JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\", name);
}

bool BackupDirPath(char* out, bool slash)
{
    return JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\", kBackupDirName) &&
           (!slash || JoinText(out, PATH_BUFFER_SIZE, out, "\\"));
}

int KeptReportCount()
{
    return state.keptCount;
}

void CopyKeptReport(char* out, size_t size)
{
    JoinText(out, size, state.keptFiles);
    if (state.keptLeftOut) {
        char more[48];
        wsprintfA(more, "\n(and %d more in the same folder)", state.keptLeftOut);
        JoinText(out, size, out, more);
    }
}

void ClearKeptReport()
{
    state.keptCount = 0;
    state.keptLeftOut = 0;
    state.keptFiles[0] = '\0';
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
    if (!IsDirectoryAt(session.destinationDir))
        return true;
    if (!JoinText(state.lockPath, sizeof state.lockPath, session.destinationDir, "\\", kLockFileName))
        return false;
    CrashPoint("lock", state.lockPath);
    HANDLE lock =
        CreateFileA(state.lockPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (lock == INVALID_HANDLE_VALUE)
        return false;
    state.lockOwned = GetLastError() != ERROR_ALREADY_EXISTS || GetFileSize(lock, nullptr) == 0;
    state.lock = lock;
    return true;
}

void ReleaseDestination()
{
    if (!state.lock)
        return;
    // The lock file goes while it is still held, where the system allows
    // that (see DeleteHeldFile): another installer cannot take it over in
    // between and then lose it.
    bool removed = false;
    if (state.lockOwned && state.lockPath[0]) {
        CrashPoint("delete", state.lockPath);
        removed = DeleteFileA(state.lockPath) != 0;
    }
    CloseHandle(state.lock);
    if (state.lockOwned && !removed && state.lockPath[0])
        DeleteOne(state.lockPath);
    state.lock = nullptr;
    state.lockPath[0] = '\0';
    state.lockOwned = 0;
}

RecoveryResult RecoverDestination()
{
    state.nextGeneration = 1;
    if (!FindJournals())
        return RECOVERY_UNREADABLE;
    for (int i = 0; i < state.foundCount; i++)
        if (JournalGeneration(state.found[i].summary) >= state.nextGeneration)
            state.nextGeneration = JournalGeneration(state.found[i].summary) + 1;

    // Undone from the newest back, as they were made; then the committed
    // ones finished from the oldest on, so that backup ends with the file
    // that was replaced last: the next is the one of highest rank. A
    // roll-back that cannot put everything back stops the rest: an older
    // one would put its files under it.
    for (;;) {
        FoundJournal* next = nullptr;
        uint32_t nextRank = 0;
        for (int i = 0; i < state.foundCount; i++) {
            FoundJournal* journal = &state.found[i];
            uint32_t generation = JournalGeneration(journal->summary);
            uint32_t rank = journal->summary.committed ? 0xFFFF - generation : 0x10000 + generation;
            if (journal->file && (!next || rank > nextRank)) {
                next = journal;
                nextRank = rank;
            }
        }
        if (!next)
            break;
        if (!ActOnJournal(next)) {
            CloseFoundJournals();
            return RECOVERY_NOT_RESTORED;
        }
    }
    state.foundCount = 0;
    RemoveSetAsideDirIfEmpty();
    return RECOVERY_DONE;
}

bool BeginJournal()
{
    char dir[PATH_BUFFER_SIZE];
    if (!SetAsideDirPath(dir))
        return false;
    if (!IsDirectoryAt(dir) && !CreateDirectoryOne(dir))
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
                         (session.createdDestination ? OPEN_CREATED_DESTINATION : 0) |
                         (state.nextGeneration << OPEN_GENERATION_SHIFT);
        if (!WriteRecord(journal, RECORD_OPEN, 0, flags)) {
            CloseJournal(&journal, path, true);
            break;
        }
        state.journal = journal;
        JoinText(state.journalStem, sizeof state.journalStem, stem);
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
    if (!SlotPath(place, slot) || !StemPath(aside, state.journalStem, 's', slot))
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
    char fresh[PATH_BUFFER_SIZE];
    *result = DEST_REFUSED;
    if (state.journal && !StemPath(fresh, state.journalStem, 'n', slot))
        return nullptr;
    if (!Record(RECORD_BEGUN, slot)) {
        *result = DEST_JOURNAL_FAILED;
        return nullptr;
    }
    CrashPoint("create", fresh);
    ByteStream* stream = StreamCreateNew(fresh);
    if (stream)
        *result = DEST_DONE;
    return stream;
}

int PlaceMemberFile(int slot, ByteStream* file, bool written)
{
    char fresh[PATH_BUFFER_SIZE], place[PATH_BUFFER_SIZE];
    bool paths = StemPath(fresh, state.journalStem, 'n', slot) && SlotPath(place, slot);
    // On the disk before the journal says it is complete: a power cut after
    // that record cannot leave it empty or zero-filled.
    CrashPoint("write through", fresh);
    if (StreamWriteThrough(file) != 0)
        written = false;
    uint32_t digest = StreamDigest(file);
    if (StreamClose(file) != 0)
        written = false;
    if (!written)
        return DEST_NOT_WRITTEN;
    if (!paths)
        return DEST_REFUSED;
    if (!Record(RECORD_DONE, slot, digest))
        return DEST_JOURNAL_FAILED;
    // Into a place that nothing holds: a file that appeared there since it
    // was cleared is not overwritten.
    return MoveOne(fresh, place) ? DEST_DONE : DEST_REFUSED;
}

void CommitJournal()
{
    if (!state.journal)
        return;
    char path[PATH_BUFFER_SIZE];
    JournalPath(path, state.journalStem);
    JournalSummary summary;
    ReadJournal(state.journal, &summary);
    if (Record(RECORD_COMMIT, 0)) {
        summary.committed = 1;
        // Kept while a file waits to move on: the next installation
        // finishes it.
        CloseJournal(&state.journal, path, FinishJournal(state.journal, state.journalStem, summary));
    } else {
        // Without the record, moving on would leave a journal that a
        // recovery rolls back half-way. The earlier files stay set aside,
        // reported, and the journal goes, so that nothing undoes the
        // installation that is reported complete.
        for (int slot = 0; slot < SLOT_COUNT; slot++) {
            char aside[PATH_BUFFER_SIZE];
            if ((summary.slots[slot] & HAS_SET_ASIDE) && StemPath(aside, state.journalStem, 's', slot) &&
                SomethingExistsAt(aside))
                AppendKept(aside);
        }
        CloseJournal(&state.journal, path, true);
    }
    RemoveSetAsideDirIfEmpty();
}

bool RollBackJournal()
{
    if (!state.journal)
        return true;
    char path[PATH_BUFFER_SIZE];
    JournalPath(path, state.journalStem);
    JournalSummary summary;
    ReadJournal(state.journal, &summary);
    bool restored = UndoJournal(state.journalStem, summary);
    // Kept when something could not go back: the next installation's
    // recovery tries again.
    CloseJournal(&state.journal, path, restored);
    RemoveSetAsideDirIfEmpty();
    return restored;
}
