#include "package_scanner.h"

#include <windows.h>

#include "install_report.h"
#include "install_session.h"
#include "installer_names.h"
#include "member_install.h"
#include "package_format.h"
#include "transaction.h"

namespace {

// Where the system names no temporary directory that fits.
const char kFallbackTempDir[] = "c:\\";

void ClosePackage()
{
    if (session.packageStream) {
        StreamClose(session.packageStream);
        session.packageStream = nullptr;
    }
}

void BuildTempPath()
{
    char dir[PATH_BUFFER_SIZE];
    DWORD length = GetTempPathA(sizeof dir, dir);
    if (length == 0 || length >= sizeof dir ||
        !JoinText(session.tempPath, sizeof session.tempPath, dir, kTempFileName))
        JoinText(session.tempPath, sizeof session.tempPath, kFallbackTempDir, kTempFileName);
}

// The temporary file's name is held by another installation (or cannot be written): a name
// of our own in the same directory, made there by the system, into
// tempPath. False, tempPath unchanged, when none can be made.
bool TakeUniqueTempName()
{
    char dir[PATH_BUFFER_SIZE];
    char unique[PATH_BUFFER_SIZE];   // GetTempFileNameA writes up to MAX_PATH
    JoinText(dir, sizeof dir, session.tempPath);
    dir[PathFileName(session.tempPath) - session.tempPath] = '\0';
    if (!GetTempFileNameA(dir, "vex", 0, unique))
        return false;
    JoinText(session.tempPath, sizeof session.tempPath, unique);
    return true;
}

// The member's bytes go into a file that no other process can change or
// remove while we hold it: its own name where it is free, else a unique one.
ByteStream* OpenTempFile()
{
    BuildTempPath();
    ByteStream* stream = StreamCreate(session.tempPath);
    if (!stream && TakeUniqueTempName()) {
        // The system made the file under its unique name; it is ours.
        stream = StreamCreate(session.tempPath);
        if (!stream && !DeleteFileA(session.tempPath))
            DeleteFileA(session.tempPath);
    }
    return stream;
}

// A write to the temporary file failed (a full disk, say): the member would
// be incomplete, so the installation ends here.
int FailTempWrite()
{
    EndTransaction(ROLL_BACK_TRANSACTION, ERROR_EXTRACT_FILE);
    return SLICE_FAILED;
}

// The temporary file holds a whole member: install the member and discard
// the file, whatever the result. The stream stays open, holding the file,
// until the member has been decoded from it (the decoder reads it through a
// stream of its own, which shares writing) and the file is deleted: it
// cannot be another installation's (DeleteHeldFile). A roll-back inside
// InstallMember has deleted it already.
MemberResult CompleteMember()
{
    if (StreamFlush(session.memberStream) != 0) {
        FailTempWrite();
        return MEMBER_FAILED;
    }
    MemberResult result = InstallMember(session.tempPath);
    if (session.memberStream) {
        DeleteHeldFile(session.memberStream, session.tempPath);
        session.memberStream = nullptr;
    }
    return result;
}

int OpenMember()
{
    ShowScanningStatus();
    session.memberStream = OpenTempFile();
    if (!session.memberStream) {
        ReportError(ERROR_EXTRACT_FILE);
        ClosePackage();
        return SLICE_FAILED;
    }
    session.scan.markerMatched = 0;
    return SLICE_MORE;
}

// End of the image, a read error, or the eleventh member done.
int FinishPackage()
{
    ReportOverallProgress(session.packageStream);
    ClosePackage();

    if (session.memberStream && session.memberIndex < MEMBER_COUNT) {
        // The image ended inside a member: what matched of a marker is data.
        if (FlushPartialMarker(&session.scan, session.memberStream) != MARKER_NONE)
            return FailTempWrite();
        MemberResult result = CompleteMember();
        if (result != MEMBER_DONE)
            return SliceResultOf(result);
    }

    if (session.scan.checksum == expectedChecksum)
        return SLICE_COMPLETE;
    EndTransaction(ROLL_BACK_TRANSACTION, ERROR_CHECKSUM);
    return SLICE_FAILED;
}

}  // namespace

int OpenPackageFile(const char* path)
{
    session.packageStream = StreamOpenRead(path);
    if (!session.packageStream) {
        ReportError(ERROR_OPEN_INSTALL_FILE);
        return 0;
    }
    ReportStatus(kScanningFilesStatus);
    ReportOverallProgress(session.packageStream);
    return 1;
}

int OpenPackageImage()
{
    // A path cut off at the buffer's end could name some other file: then
    // none is opened.
    DWORD length = GetModuleFileNameA(session.appInstance, session.imagePath, PATH_BUFFER_SIZE - 1);
    session.imagePath[length < PATH_BUFFER_SIZE - 1 ? length : 0] = '\0';
    return OpenPackageFile(session.imagePath);
}

void ShowScanningStatus()
{
    if (session.overallFill > 0 && session.memberIndex >= 0 && session.memberIndex < MEMBER_COUNT)
        JoinText(session.statusBuffer, sizeof session.statusBuffer, kScanningFileStatus,
                 MemberTable[session.memberIndex]);
    else
        JoinText(session.statusBuffer, sizeof session.statusBuffer, kScanningFilesStatus);
    ReportStatus(session.statusBuffer);
}

int ScanSlice()
{
    if (!session.packageStream)
        return SLICE_FAILED;
    for (;;) {
        int byte = StreamGetByte(session.packageStream);
        session.lastByte = byte;
        if (byte == STREAM_EOF)
            return FinishPackage();

        int event = FeedPackageByte(&session.scan, byte, session.memberStream);
        if (event == MARKER_WRITE_FAILED)
            return FailTempWrite();
        if (event == MARKER_COMPLETE) {
            if (session.memberStream) {
                MemberResult result = CompleteMember();
                if (result != MEMBER_DONE) {
                    ClosePackage();
                    return SliceResultOf(result);
                }
                if (session.memberIndex >= MEMBER_COUNT)
                    return FinishPackage();
            }
            if (OpenMember() == SLICE_FAILED)
                return SLICE_FAILED;
        }

        if (++session.sliceBytes > SLICE_LIMIT) {
            ReportOverallProgress(session.packageStream);
            session.sliceBytes = 0;
            return SLICE_MORE;
        }
    }
}
