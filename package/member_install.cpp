#include "member_install.h"

#include <windows.h>
#include <share.h>

#include <cstdio>
#include <cstring>

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
    if (std::remove(path) != 0)
        std::remove(path);
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

// Bounded copy of at most count characters of src; always terminated.
void CopyCut(char* out, size_t size, const char* src, size_t count)
{
    if (count > size - 1)
        count = size - 1;
    std::memcpy(out, src, count);
    out[count] = '\0';
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
    size_t dirLength = static_cast<size_t>(name - memberPath);
    CopyCut(path, sizeof path, memberPath, dirLength);
    if (!JoinText(path, sizeof path, path, indexName))
        return;
    if (Exists(path) && SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL))
        std::remove(path);
}

// A second installer that worked in the same directory would overwrite
// this one's files, and its roll-back would delete files that this one
// reports as installed. The handle asks for the right to add files and
// shares only reading: the same request from another installer is refused,
// while file managers and current directories (which share writing) are
// not, and the directory cannot be removed or renamed while it is held.
// Files are created, moved into backup and deleted inside it as usual.
bool LockDestination()
{
    ReleaseDestination();
    DWORD attributes = GetFileAttributesA(session.destinationDir);
    // A file of that name fails at the first member, as it always has.
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    HANDLE lock = CreateFileA(session.destinationDir, FILE_ADD_FILE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (lock == INVALID_HANDLE_VALUE)
        return false;
    session.destinationLock = lock;
    return true;
}

}  // namespace

FILE* OpenExclusiveWrite(const char* path)
{
    // Denying writers shares reading only; the run-time library never
    // shares deletion.
    return _fsopen(path, "wb", _SH_DENYWR);
}

void ReleaseDestination()
{
    if (session.destinationLock) {
        CloseHandle(session.destinationLock);
        session.destinationLock = nullptr;
    }
}

const char* PathFileName(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    return name;
}

bool CloseChecked(FILE* stream)
{
    // Buffered bytes that cannot be written fail only when flushed, and a
    // failing flush inside fclose is not always reported by it.
    bool written = std::fflush(stream) == 0 && !std::ferror(stream);
    return std::fclose(stream) == 0 && written;
}

bool JoinText(char* out, size_t size, const char* a, const char* b, const char* c)
{
    size_t la = std::strlen(a), lb = std::strlen(b), lc = std::strlen(c);
    if (la + lb + lc + 1 > size) {
        out[0] = '\0';
        return false;
    }
    // a may be out itself; b and c may not overlap out.
    std::memmove(out, a, la);
    std::memcpy(out + la, b, lb);
    std::memcpy(out + la + lb, c, lc);
    out[la + lb + lc] = '\0';
    return true;
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
    size_t length = std::strlen(session.destinationDir);
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
    if (std::rename(path, session.statusBuffer) != 0) {
        ShowInstallError(7, kBackupFileText);
        return SLICE_CHOOSE_AGAIN;
    }
    return 1;
}

int DecodeToDestination(const char* tempPath, const char* path)
{
    FILE* input = std::fopen(tempPath, "rb");
    if (!input) {
        RollBack();
        ShowInstallError(3, kInstallFileUnreadableText);
        return SLICE_FAILED;
    }
    FILE* output = OpenExclusiveWrite(path);
    if (!output) {
        std::fclose(input);
        RollBack();
        ShowInstallError(4, kCopyText);
        return SLICE_FAILED;
    }
    bool decoded = DecodeMember(input, output);
    if (!CloseChecked(output))
        decoded = false;
    std::fclose(input);
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
    std::fflush(nullptr);

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
    if (session.memberStream) {
        std::fclose(session.memberStream);
        session.memberStream = nullptr;
    }
    if (session.packageStream) {
        std::fclose(session.packageStream);
        session.packageStream = nullptr;
    }
    DeleteFileRetry(session.tempPath);

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
