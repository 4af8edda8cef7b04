#include "member_install.h"

#include <windows.h>

#include "error_box.h"
#include "member_decoder.h"
#include "package_format.h"
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
const char kRestoreText[] =
    "There seems to be a problem putting your original files back.\n\n"
    "They are kept in the folder ~vexa in the installation directory; please close any program that uses "
    "Vexa and run the installation program again!";
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

// Earlier files that the installation replaces are set aside, renamed
// into this directory below the destination under their own names, until
// the installation is complete: then they go into backup (or are deleted,
// without backups); a roll-back renames them back. Renaming within the
// volume costs no space and copies nothing, and at any moment every earlier
// file is either in place or here, so an installation ended from outside
// loses none: the next one puts them back before it starts (see
// RecoverSetAside). The name is short, so that every path below it fits
// where the backup directory's do. The file "done" in it says that the
// installation that left it was complete.
const char kSetAsideName[] = "~vexa";
const char kDoneName[] = "done";

bool SetAsidePath(char* out, const char* name = "")
{
    return JoinText(out, PATH_BUFFER_SIZE, session.destinationDir, "\\~vexa\\", name);
}

bool DirectoryExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Removes the set-aside directory once nothing is left in it.
void RemoveSetAsideDir()
{
    char path[PATH_BUFFER_SIZE];
    if (JoinText(path, sizeof path, session.destinationDir, "\\", kSetAsideName))
        RemoveDirectoryRetry(path);
}

// Renames the earlier file of member index into the set-aside directory,
// its attributes as they are. False when it cannot be moved.
bool SetAside(const char* path, int index)
{
    char target[PATH_BUFFER_SIZE];
    if (!SetAsidePath(target))
        return false;
    if (!DirectoryExists(target) && !CreateDirectoryA(target, nullptr))
        return false;
    if (!SetAsidePath(target, MemberTable[index]) || !MoveFileA(path, target))
        return false;
    session.setAsideMembers |= 1u << index;
    return true;
}

// The set-aside file of member index goes into backup, replacing an older
// backup of that name, or is deleted without backups. False when it stays
// set aside: nothing is lost.
bool FinishSetAside(int index, int intoBackup)
{
    char setAside[PATH_BUFFER_SIZE];
    if (!SetAsidePath(setAside, MemberTable[index]))
        return false;
    ClearAttributesRetry(setAside);
    if (!intoBackup) {
        DeleteFileRetry(setAside);
        return !Exists(setAside);
    }
    char target[PATH_BUFFER_SIZE];
    if (!JoinText(target, sizeof target, session.backupDir, MemberTable[index]))
        return false;
    if (Exists(target)) {
        ClearAttributesRetry(target);
        DeleteFileRetry(target);
    }
    return MoveFileA(setAside, target) != 0;
}

// The file that holds the destination: hidden, in the destination itself.
const char kLockName[] = "vexa.lck";

// A second installer that worked in the same directory would overwrite
// this one's files, and its roll-back would delete files that this one
// reports as installed. The directory is held through the file vexa.lck in
// it, opened without sharing: another installer cannot open it, whatever
// spelling of the directory it was given, while file managers and current
// directories are not hindered, and files are created, renamed in and out
// and deleted in the directory as usual (the set-aside files come back by
// renaming, which a handle on the directory itself, refusing others the
// right to add files, would stop on Windows NT; and Windows 95, 98 and Me
// open no directory as a file at all). One left behind by an installer
// that was ended from outside is taken over.
bool LockDestination()
{
    ReleaseDestination();
    DWORD attributes = GetFileAttributesA(session.destinationDir);
    // A file of that name fails at the first member, as it always has.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    if (!JoinText(session.lockPath, sizeof session.lockPath, session.destinationDir, "\\", kLockName))
        return false;
    HANDLE lock =
        CreateFileA(session.lockPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
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
    if (!RecoverSetAside()) {
        ReleaseDestination();
        return SLICE_CHOOSE_AGAIN;
    }
    return 1;
}

int RecoverSetAside()
{
    char dir[PATH_BUFFER_SIZE];
    if (!SetAsidePath(dir) || !DirectoryExists(dir))
        return 1;
    char done[PATH_BUFFER_SIZE];
    int complete = SetAsidePath(done, kDoneName) && Exists(done);
    int restored = 1, movedOn = 1;
    for (int index = 0; index < MEMBER_COUNT; index++) {
        char setAside[PATH_BUFFER_SIZE], path[PATH_BUFFER_SIZE];
        if (!SetAsidePath(setAside, MemberTable[index]) || !Exists(setAside))
            continue;
        if (complete) {
            // That installation was complete: its earlier files belong in
            // backup, where an older one of that name is not replaced now.
            JoinText(path, sizeof path, session.destinationDir, "\\backup");
            if (!DirectoryExists(path))
                CreateDirectoryA(path, nullptr);
            JoinText(path, sizeof path, path, "\\", MemberTable[index]);
            if (Exists(path) || !MoveFileA(setAside, path))
                movedOn = 0;
            continue;
        }
        // Ended before it was complete: what stands in the earlier file's
        // place is that installation's, and the earlier file goes back.
        BuildMemberPath(path, index);
        if (Exists(path)) {
            ClearAttributesRetry(path);
            DeleteFileRetry(path);
        }
        if (!MoveFileA(setAside, path))
            restored = 0;
    }
    // The mark stays with what could not move on.
    if (complete && movedOn)
        DeleteFileRetry(done);
    RemoveSetAsideDir();
    if (!restored) {
        ShowInstallError(16, kRestoreText);
        return 0;
    }
    return 1;
}

void CommitInstallation()
{
    // Marked first: an installer ended in the middle of this leaves earlier
    // files that the next one must move on, not put back.
    char done[PATH_BUFFER_SIZE];
    if (session.setAsideMembers && SetAsidePath(done, kDoneName)) {
        HANDLE marker = CreateFileA(done, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (marker != INVALID_HANDLE_VALUE)
            CloseHandle(marker);
    }
    int finished = 1;
    for (int index = 0; index < MEMBER_COUNT; index++)
        if ((session.setAsideMembers & (1u << index)) && !FinishSetAside(index, session.makeBackups))
            finished = 0;
    session.setAsideMembers = 0;
    // What could not move on stays with the mark, for the next installation
    // to move on rather than put back.
    if (finished && SetAsidePath(done, kDoneName) && Exists(done))
        DeleteFileRetry(done);
    RemoveSetAsideDir();
}

int PrepareDestination(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    // Nothing there; or a directory, which no member replaces: the member's
    // file then cannot be created (error [4]).
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 1;

    if (IsSettingsMember(session.memberIndex) && session.settingsDecision != SETTINGS_REPLACE) {
        if (session.settingsDecision != SETTINGS_KEEP) {
            if (AskInstallWarning(kKeepSettingsText) == IDNO)
                session.settingsDecision = SETTINGS_REPLACE;
            else
                session.settingsDecision = SETTINGS_KEEP;
        }
        if (session.settingsDecision == SETTINGS_KEEP) {
            // Kept with normal attributes; a roll-back gives back the old ones.
            session.keptAttributes[session.memberIndex] = attributes;
            ClearAttributesRetry(path);
            return 3;
        }
    }

    if (!session.makeBackups) {
        if (SetAside(path, session.memberIndex))
            return 1;
        RollBack();
        ShowInstallError(4, kCopyText);
        return SLICE_FAILED;
    }

    if (session.backupDir[0] == '\0') {
        JoinText(session.backupDir, sizeof session.backupDir, session.destinationDir, "\\backup");
        // An existing "backup" is reused; a file of that name fails here.
        if (!Exists(session.backupDir)) {
            if (!CreateDirectoryA(session.backupDir, nullptr)) {
                session.backupDir[0] = '\0';
                ShowInstallError(6, kBackupDirText);
                return SLICE_CHOOSE_AGAIN;
            }
            session.createdBackupDir = 1;
        } else if (!DirectoryExists(session.backupDir)) {
            session.backupDir[0] = '\0';
            ShowInstallError(7, kBackupFileText);
            return SLICE_CHOOSE_AGAIN;
        }
        JoinText(session.backupDir, sizeof session.backupDir, session.backupDir, "\\");
    }

    // Into backup only once the installation is complete: until then the
    // earlier file is set aside, and an older backup of its name stays.
    if (!SetAside(path, session.memberIndex)) {
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
        BuildMemberPath(session.statusBuffer, index);
        // A settings file the user chose to keep is the user's own, with
        // the attributes it had.
        if (session.keptMembers & (1u << index)) {
            MarkKept(index, false);
            SetFileAttributesA(session.statusBuffer, session.keptAttributes[index]);
            continue;
        }
        if (session.statusBuffer[0])
            DeleteFileRetry(session.statusBuffer);
    }

    // The earlier files go back where they were, with their attributes (the
    // member whose installation failed included). One that cannot (its
    // place is held by another program) stays set aside, for the next
    // installation to put back: reported once.
    int restored = 1;
    for (int index = MEMBER_COUNT - 1; index >= 0; index--) {
        if (!(session.setAsideMembers & (1u << index)))
            continue;
        char setAside[PATH_BUFFER_SIZE];
        BuildMemberPath(session.statusBuffer, index);
        if (SetAsidePath(setAside, MemberTable[index]) && MoveFileA(setAside, session.statusBuffer))
            session.setAsideMembers &= ~(1u << index);
        else
            restored = 0;
    }
    session.setAsideMembers = 0;
    if (restored)
        RemoveSetAsideDir();
    if (session.createdBackupDir) {
        char backup[PATH_BUFFER_SIZE];
        if (JoinText(backup, sizeof backup, session.destinationDir, "\\backup"))
            RemoveDirectoryRetry(backup);
        session.createdBackupDir = 0;
    }
    if (!restored)
        ShowInstallError(16, kRestoreText);

    // Only now may another installation take the directory; held, it could
    // not be removed.
    ReleaseDestination();
    if (session.createdDestination) {
        RemoveDirectoryRetry(session.destinationDir);
        session.createdDestination = 0;
    }
}
