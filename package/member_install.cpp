#include "member_install.h"

#include <windows.h>

#include "destination.h"
#include "install_report.h"
#include "member_decoder.h"
#include "package_format.h"
#include "package_scanner.h"

namespace {

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Failures to delete are retried once and never reported.
void DeleteFileRetry(const char* path)
{
    if (!DeleteFileA(path))
        DeleteFileA(path);
}

// Names the files that stay set aside (collected by the destination
// module), once.
void ReportKept(InstallError number)
{
    if (!KeptReportCount())
        return;
    // The report may show a box: the list must not be needed after it.
    char files[TEXT_BUFFER_SIZE];
    CopyKeptReport(files, sizeof files);
    ClearKeptReport();
    ReportErrorNaming(number, files);
}

// Help index files go stale when their help file is replaced: set aside
// until the installation is complete, then deleted. A failure is not
// reported; the index stays.
void SetAsideHelpIndex(int slot)
{
    char path[PATH_BUFFER_SIZE];
    if (SlotPath(path, slot) && Exists(path) && !DirectoryExists(path))
        SetAsideEarlierFile(slot);
}

// The installation stops at a change it could not record or make: rolled
// back, error [4].
MemberResult FailCopy()
{
    RollBack();
    ReportError(ERROR_COPY_FILE);
    return MEMBER_FAILED;
}

}  // namespace

SliceResult SliceResultOf(MemberResult result)
{
    return result == MEMBER_CHOOSE_AGAIN ? SLICE_CHOOSE_AGAIN : SLICE_FAILED;
}

void DeleteHeldFile(ByteStream* stream, const char* path)
{
    if (stream && DeleteFileA(path)) {
        StreamClose(stream);
        return;
    }
    if (stream)
        StreamClose(stream);
    DeleteFileRetry(path);
}

void BuildMemberPath(char* out, int index)
{
    if (index < 0 || index >= MEMBER_COUNT) {
        out[0] = '\0';
        return;
    }
    JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\", MemberTable[index]);
}

MemberResult CreateDestinationDir()
{
    size_t length = TextLength(session.destinationDir);
    // Every path derived from the directory must fit its buffer, so a longer
    // one is refused before anything is created.
    if (length == 0 || length > MAX_DESTINATION_DIR) {
        ReportError(ERROR_CREATE_DIRECTORY);
        return MEMBER_CHOOSE_AGAIN;
    }
    if (!Exists(session.destinationDir)) {
        if (!CreateDestinationDirectory()) {
            ReportError(ERROR_CREATE_DIRECTORY);
            return MEMBER_CHOOSE_AGAIN;
        }
        session.createdDestination = 1;
    }
    // Another installation works there; or this one's journal cannot be
    // written: nothing has changed. A directory made here goes again,
    // unless the other one holds it already.
    bool held = HoldDestination();
    if (held) {
        // What earlier installations left is finished first, or nothing
        // is installed: error [18] (a journal that cannot be acted on,
        // nothing changed) or [16] (earlier files that cannot go back yet).
        ClearKeptReport();
        RecoveryResult recovered = RecoverDestination();
        if (recovered != RECOVERY_DONE) {
            ReleaseDestination();
            ReportKept(recovered == RECOVERY_UNREADABLE ? ERROR_JOURNAL_UNREADABLE : ERROR_NOT_RESTORED);
            return MEMBER_CHOOSE_AGAIN;
        }
        ReportKept(ERROR_KEPT_ASIDE);
    }
    if (!held || (DirectoryExists(session.destinationDir) && !BeginJournal())) {
        ReleaseDestination();
        RemoveCreatedDestination();
        ReportError(ERROR_CREATE_DIRECTORY);
        return MEMBER_CHOOSE_AGAIN;
    }
    return MEMBER_DONE;
}

MemberResult BeginInstallation()
{
    MemberResult destination = CreateDestinationDir();
    if (destination != MEMBER_DONE)
        return destination;
    if (!OpenPackageImage()) {
        RollBack();
        return MEMBER_FAILED;
    }
    return MEMBER_DONE;
}

MemberResult EndInstallation(SliceResult last)
{
    if (last == SLICE_COMPLETE && session.memberIndex > 0) {
        CommitInstallation();
        return MEMBER_DONE;
    }
    RollBack();
    if (last == SLICE_COMPLETE) {
        ReportError(ERROR_EMPTY_PACKAGE);
        return MEMBER_FAILED;
    }
    return last == SLICE_CHOOSE_AGAIN ? MEMBER_CHOOSE_AGAIN : MEMBER_FAILED;
}

void CommitInstallation()
{
    ClearKeptReport();
    CommitJournal();
    ReportKept(ERROR_KEPT_ASIDE);
}

MemberResult PrepareDestination(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    // Nothing there; or a directory, which no member replaces: the member's
    // file then cannot be created (error [4]).
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return MEMBER_DONE;

    if (IsSettingsMember(session.memberIndex) && session.settingsDecision != SETTINGS_REPLACE) {
        if (session.settingsDecision != SETTINGS_KEEP) {
            if (!AskYes(QUESTION_KEEP_SETTINGS))
                session.settingsDecision = SETTINGS_REPLACE;
            else
                session.settingsDecision = SETTINGS_KEEP;
        }
        if (session.settingsDecision == SETTINGS_KEEP) {
            // Kept with normal attributes; a roll-back gives back the old ones.
            if (ClearKeptAttributes(session.memberIndex, attributes) != DEST_DONE)
                return FailCopy();
            return MEMBER_KEPT;
        }
    }

    if (!session.makeBackups) {
        if (SetAsideEarlierFile(session.memberIndex) == DEST_DONE)
            return MEMBER_DONE;
        return FailCopy();
    }

    if (session.backupDir[0] == '\0') {
        BackupDirPath(session.backupDir, false);
        // An existing "backup" is reused; a file of that name fails here.
        if (!Exists(session.backupDir)) {
            if (CreateBackupDir() != DEST_DONE) {
                session.backupDir[0] = '\0';
                ReportError(ERROR_CREATE_BACKUP_DIRECTORY);
                return MEMBER_CHOOSE_AGAIN;
            }
        } else if (!DirectoryExists(session.backupDir)) {
            session.backupDir[0] = '\0';
            ReportError(ERROR_BACK_UP_FILE);
            return MEMBER_CHOOSE_AGAIN;
        }
        BackupDirPath(session.backupDir, true);
    }

    // Into backup only once the installation is complete: until then the
    // earlier file is set aside, and an older backup of its name stays.
    if (SetAsideEarlierFile(session.memberIndex) != DEST_DONE) {
        ReportError(ERROR_BACK_UP_FILE);
        return MEMBER_CHOOSE_AGAIN;
    }
    return MEMBER_DONE;
}

MemberResult DecodeToDestination(const char* tempPath, const char* path)
{
    ByteStream* input = StreamOpenRead(tempPath);
    if (!input) {
        RollBack();
        ReportError(ERROR_READ_INSTALL_FILE);
        return MEMBER_FAILED;
    }
    // The member's file, written beside its place (path) and moved there
    // once it is whole and on the disk.
    (void)path;
    int created;
    ByteStream* output = CreateMemberFile(session.memberIndex, &created);
    if (!output) {
        StreamClose(input);
        return FailCopy();
    }
    bool decoded = DecodeMember(input, output);
    StreamClose(input);
    int placed = PlaceMemberFile(session.memberIndex, output, decoded);
    if (placed == DEST_NOT_WRITTEN) {
        // The journal has the partial file as begun: the roll-back deletes it.
        RollBack();
        ReportError(ERROR_DECODE_FILE);
        return MEMBER_FAILED;
    }
    if (placed != DEST_DONE)
        return FailCopy();
    return MEMBER_DONE;
}

MemberResult InstallMember(const char* tempPath)
{
    BuildMemberPath(session.memberPath, session.memberIndex);
    JoinText(session.statusBuffer, sizeof session.statusBuffer, "Extracting file: ",
             PathFileName(session.memberPath));
    ReportStatus(session.statusBuffer);

    MemberResult prepared = PrepareDestination(session.memberPath);
    if (prepared == MEMBER_KEPT) {
        session.memberIndex++;
        return MEMBER_DONE;
    }
    if (prepared != MEMBER_DONE)
        return prepared;

    if (DecodeToDestination(tempPath, session.memberPath) != MEMBER_DONE)
        return MEMBER_FAILED;

    // A help file's index goes stale with it.
    int index = HelpIndexSlotOf(session.memberIndex);
    if (index >= 0)
        SetAsideHelpIndex(index);

    session.memberIndex++;
    return MEMBER_DONE;
}

void RollBack()
{
    if (session.packageStream) {
        StreamClose(session.packageStream);
        session.packageStream = nullptr;
    }
    // The temporary file is this installation's only while its stream
    // holds it; once let go, its name may be another installation's.
    if (session.memberStream) {
        DeleteHeldFile(session.memberStream, session.tempPath);
        session.memberStream = nullptr;
    }
    session.memberIndex = 0;

    // What the journal records, undone: the files this installation began
    // deleted, the earlier files back in their places with their
    // attributes, kept settings with theirs, a backup directory made here
    // removed. One that cannot go back (its place is held by another
    // program) stays set aside, with the journal, for the next
    // installation to put back: reported once.
    ClearKeptReport();
    if (!RollBackJournal())
        ReportKept(ERROR_NOT_RESTORED);
    ClearKeptReport();

    // Only now may another installation take the directory; held, it could
    // not be removed.
    ReleaseDestination();
    RemoveCreatedDestination();
}
