#include "member_install.h"

#include <windows.h>

#include "destination.h"
#include "install_report.h"
#include "installer_names.h"
#include "member_decoder.h"
#include "package_format.h"
#include "transaction.h"

namespace {

// Failures to delete are retried once and never reported.
void DeleteFileRetry(const char* path)
{
    if (!DeleteFileA(path))
        DeleteFileA(path);
}

// Help index files go stale when their help file is replaced: set aside
// until the installation is complete, then deleted. A failure is not
// reported; the index stays.
void SetAsideHelpIndex(int slot)
{
    char path[PATH_BUFFER_SIZE];
    if (SlotPath(path, slot) && IsFileAt(path))
        SetAsideEarlierFile(slot);
}

// The installation stops at a change it could not record or make: rolled
// back, error [4].
MemberResult FailCopy()
{
    EndTransaction(ROLL_BACK_TRANSACTION, ERROR_COPY_FILE);
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
        if (!SomethingExistsAt(session.backupDir)) {
            if (CreateBackupDir() != DEST_DONE) {
                session.backupDir[0] = '\0';
                ReportError(ERROR_CREATE_BACKUP_DIRECTORY);
                return MEMBER_CHOOSE_AGAIN;
            }
        } else if (!IsDirectoryAt(session.backupDir)) {
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

MemberResult DecodeToDestination(const char* tempPath)
{
    ByteStream* input = StreamOpenRead(tempPath);
    if (!input) {
        EndTransaction(ROLL_BACK_TRANSACTION, ERROR_READ_INSTALL_FILE);
        return MEMBER_FAILED;
    }
    // The member's file, written beside its place and moved there once it
    // is whole and on the disk.
    int created;
    ByteStream* output = CreateMemberFile(session.memberIndex, &created);
    if (!output) {
        StreamClose(input);
        return FailCopy();
    }
    UseFileProgress(ReportedFileProgress());
    bool decoded = DecodeMember(input, output);
    StreamClose(input);
    int placed = PlaceMemberFile(session.memberIndex, output, decoded);
    if (placed == DEST_NOT_WRITTEN) {
        // The journal has the partial file as begun: the roll-back deletes it.
        EndTransaction(ROLL_BACK_TRANSACTION, ERROR_DECODE_FILE);
        return MEMBER_FAILED;
    }
    if (placed != DEST_DONE)
        return FailCopy();
    return MEMBER_DONE;
}

MemberResult InstallMember(const char* tempPath)
{
    SlotPath(session.memberPath, session.memberIndex);
    JoinText(session.statusBuffer, sizeof session.statusBuffer, kExtractingFileStatus,
             PathFileName(session.memberPath));
    ReportStatus(session.statusBuffer);

    MemberResult prepared = PrepareDestination(session.memberPath);
    if (prepared == MEMBER_KEPT) {
        session.memberIndex++;
        return MEMBER_DONE;
    }
    if (prepared != MEMBER_DONE)
        return prepared;

    if (DecodeToDestination(tempPath) != MEMBER_DONE)
        return MEMBER_FAILED;

    // A help file's index goes stale with it.
    int index = HelpIndexSlotOf(session.memberIndex);
    if (index >= 0)
        SetAsideHelpIndex(index);

    session.memberIndex++;
    return MEMBER_DONE;
}
