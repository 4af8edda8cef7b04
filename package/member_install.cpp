#include "member_install.h"

#include <windows.h>

#include "error_box.h"
#include "member_decoder.h"
#include "package_format.h"
#include "platform.h"
#include "resource_ids.h"

namespace {

const char kCreateDirText[] =
    "There seems to be a problem creating the directory you specified.\n\n"
    "Please try using a different directory name!";
const char kCopyText[] =
    "There seems to be a problem copying files to their destination.\n\n"
    "Please try running the installation program again!";
const char kBackupDirText[] =
    "There seems to be a problem creating the backup directory.\n\n"
    "Please try installing to a different directory!";
const char kBackupFileText[] =
    "There seems to be a problem backing up your original files.\n\n"
    "Please try installing to a different directory!";
const char kKeepSettingsText[] =
    "The Vexa installation comes with INI files but if I install them you will lose your current "
    "Vexa settings.\n\nWould you like to KEEP your current Vexa settings?";

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Failures to delete, clear attributes or remove a directory are retried
// once and never reported.
void DeleteFileRetry(const char* path)
{
    if (!DeleteFileA(path))
        DeleteFileA(path);
}

void ClearAttributesRetry(const char* path)
{
    if (!SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL))
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
}

void RemoveDirectoryRetry(const char* path)
{
    if (!RemoveDirectoryA(path))
        RemoveDirectoryA(path);
}

void SetStatus(const char* text)
{
    SetDlgItemTextA(session.dialogWindow, IDC_STATUS, text);
}

void MarkKept(int index, bool kept)
{
    uint32_t bit = 1u << index;
    session.keptMembers = kept ? (session.keptMembers | bit) : (session.keptMembers & ~bit);
}

// Help index files go stale when their help file is replaced.
void DeleteHelpIndex(const char* memberPath, const char* indexName)
{
    char path[PATH_BUFFER_SIZE];
    const char* name = PathFileName(memberPath);
    if (!CopyBounded(path, sizeof path, memberPath, static_cast<size_t>(name - memberPath)) ||
        !JoinText(path, sizeof path, path, indexName))
        return;
    if (Exists(path) && SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL))
        DeleteFileA(path);
}

// Where Windows 95, 98 and Me hold the destination: a hidden file in it,
// open without sharing.
const char kLockName[] = "vexa.lck";

// A second installer that worked in the same directory would overwrite
// this one's files, and its roll-back would delete files that this one
// reports as installed.
//
// Windows NT: a handle on the directory itself, asking for the right to add
// files and sharing only reading: the same request from another installer
// is refused, while file managers and current directories (which share
// writing) are not, and the directory cannot be removed or renamed while it
// is held. Files are created, moved into backup and deleted inside it as
// usual.
//
// Windows 95, 98 and Me open no directory as a file. There the lock is the
// file vexa.lck in the directory, opened without sharing: another installer
// cannot open it, whatever spelling of the directory it was given. One left
// behind by an installer that was ended from outside is taken over.
bool LockDestination()
{
    ReleaseDestination();
    DWORD attributes = GetFileAttributesA(session.destinationDir);
    // A file of that name fails at the first member, as it always has.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    HANDLE lock;
    if (RunsOnWindows9x()) {
        if (!JoinText(session.lockPath, sizeof session.lockPath, session.destinationDir, "\\", kLockName))
            return false;
        lock = CreateFileA(session.lockPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    } else {
        session.lockPath[0] = '\0';
        lock = CreateFileA(session.destinationDir, FILE_ADD_FILE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }
    if (lock == INVALID_HANDLE_VALUE)
        return false;
    session.destinationLock = lock;
    return true;
}

}  // namespace

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

void ReleaseDestination()
{
    if (!session.destinationLock)
        return;
    // The lock file goes while it is still held, where the system allows
    // that (see DeleteHeldFile): another installer cannot take it over in
    // between and then lose it.
    if (session.lockPath[0] && DeleteFileA(session.lockPath)) {
        CloseHandle(session.destinationLock);
    } else {
        CloseHandle(session.destinationLock);
        if (session.lockPath[0])
            DeleteFileRetry(session.lockPath);
    }
    session.destinationLock = nullptr;
    session.lockPath[0] = '\0';
}

void BuildMemberPath(char* out, int index)
{
    if (index < 0 || index >= MEMBER_COUNT) {
        out[0] = '\0';
        return;
    }
    JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\", MemberTable[index]);
}

int CreateDestinationDir()
{
    size_t length = TextLength(session.destinationDir);
    // Every path derived from the directory must fit its buffer, so a longer
    // one is refused before anything is created.
    if (length == 0 || length > MAX_DESTINATION_DIR) {
        ShowInstallError(1, kCreateDirText);
        return SLICE_CHOOSE_AGAIN;
    }
    if (!Exists(session.destinationDir)) {
        if (!CreateDirectoryA(session.destinationDir, nullptr)) {
            ShowInstallError(1, kCreateDirText);
            return SLICE_CHOOSE_AGAIN;
        }
        session.createdDestination = 1;
    }
    if (!LockDestination()) {
        // Another installation works there. A directory made here goes
        // again, unless the other one holds it already.
        if (session.createdDestination) {
            RemoveDirectoryRetry(session.destinationDir);
            session.createdDestination = 0;
        }
        ShowInstallError(1, kCreateDirText);
        return SLICE_CHOOSE_AGAIN;
    }
    return 1;
}

int PrepareDestination(const char* path)
{
    if (!Exists(path))
        return 1;
    ClearAttributesRetry(path);

    if (IsSettingsMember(session.memberIndex) && session.settingsDecision != SETTINGS_REPLACE) {
        if (session.settingsDecision == SETTINGS_KEEP)
            return 3;
        if (AskInstallWarning(kKeepSettingsText) != IDNO) {
            session.settingsDecision = SETTINGS_KEEP;
            return 3;
        }
        session.settingsDecision = SETTINGS_REPLACE;
    }

    if (!session.makeBackups)
        return 1;

    if (session.backupDir[0] == '\0') {
        JoinText(session.backupDir, sizeof session.backupDir, session.destinationDir, "\\backup");
        // An existing "backup" is reused; a file of that name fails at the move.
        if (!Exists(session.backupDir) && !CreateDirectoryA(session.backupDir, nullptr)) {
            session.backupDir[0] = '\0';
            ShowInstallError(6, kBackupDirText);
            return SLICE_CHOOSE_AGAIN;
        }
        JoinText(session.backupDir, sizeof session.backupDir, session.backupDir, "\\");
    }

    if (!JoinText(session.statusBuffer, sizeof session.statusBuffer, session.backupDir, PathFileName(path))) {
        ShowInstallError(7, kBackupFileText);
        return SLICE_CHOOSE_AGAIN;
    }
    // An older backup of the same name is replaced.
    if (Exists(session.statusBuffer)) {
        ClearAttributesRetry(session.statusBuffer);
        DeleteFileRetry(session.statusBuffer);
    }
    if (!MoveFileA(path, session.statusBuffer)) {
        ShowInstallError(7, kBackupFileText);
        return SLICE_CHOOSE_AGAIN;
    }
    return 1;
}

int DecodeToDestination(const char* tempPath, const char* path)
{
    ByteStream* input = StreamOpenRead(tempPath);
    if (!input) {
        RollBack();
        ShowInstallError(3, kInstallFileUnreadableText);
        return SLICE_FAILED;
    }
    ByteStream* output = StreamCreate(path);
    if (!output) {
        StreamClose(input);
        RollBack();
        ShowInstallError(4, kCopyText);
        return SLICE_FAILED;
    }
    bool decoded = DecodeMember(input, output);
    if (StreamClose(output) != 0)
        decoded = false;
    StreamClose(input);
    if (!decoded) {
        // memberIndex has not advanced past this member, so the roll-back
        // would leave its partial file behind.
        DeleteFileRetry(path);
        RollBack();
        ShowInstallError(5, kCopyText);
        return SLICE_FAILED;
    }
    return 1;
}

int InstallMember(const char* tempPath)
{
    BuildMemberPath(session.memberPath, session.memberIndex);
    JoinText(session.statusBuffer, sizeof session.statusBuffer, "Extracting file: ",
             PathFileName(session.memberPath));
    SetStatus(session.statusBuffer);

    int prepared = PrepareDestination(session.memberPath);
    if (prepared == 3) {
        MarkKept(session.memberIndex, true);
        session.memberIndex++;
        return 1;
    }
    if (prepared != 1)
        return prepared;

    if (!DecodeToDestination(tempPath, session.memberPath))
        return SLICE_FAILED;
    MarkKept(session.memberIndex, false);

    if (session.memberIndex == 2)
        DeleteHelpIndex(session.memberPath, "vexa.gid");
    else if (session.memberIndex == 3)
        DeleteHelpIndex(session.memberPath, "ircintro.gid");

    session.memberIndex++;
    return 1;
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

    while (session.memberIndex > 0) {
        session.memberIndex--;
        int index = session.memberIndex;
        // A settings file the user chose to keep is the user's own.
        if (session.keptMembers & (1u << index)) {
            MarkKept(index, false);
            continue;
        }
        BuildMemberPath(session.statusBuffer, index);
        if (session.statusBuffer[0])
            DeleteFileRetry(session.statusBuffer);
    }

    // Only now may another installation take the directory; held, it could
    // not be removed.
    ReleaseDestination();
    if (session.createdDestination) {
        RemoveDirectoryRetry(session.destinationDir);
        session.createdDestination = 0;
    }
}
