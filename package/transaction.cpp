#include "transaction.h"

#include "destination.h"
#include "package_scanner.h"

namespace {

struct TransactionState {
    // The kind under way, or the last one begun: the installation's until
    // another begins.
    const TransactionKind* kind;
    // Begun and not ended.
    int underWay;
};

void LetGoOfPackage();

}  // namespace

const TransactionKind kInstallation = {true, ERROR_CREATE_DIRECTORY, LetGoOfPackage};

namespace {

TransactionState transaction = {&kInstallation, 0};

// Names the files that the destination module collected for one message
// (kept aside, or not put back), once, under the error given.
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

// The scanner's streams closed, the temporary file deleted, and the scan
// counted back to its first member. The temporary file is the
// installation's only while its stream holds it; once let go, its name may
// be another installation's.
void LetGoOfPackage()
{
    if (session.packageStream) {
        StreamClose(session.packageStream);
        session.packageStream = nullptr;
    }
    if (session.memberStream) {
        DeleteHeldFile(session.memberStream, session.tempPath);
        session.memberStream = nullptr;
    }
    session.memberIndex = 0;
}

void Commit()
{
    ClearKeptReport();
    CommitJournal();
    ReportKept(ERROR_KEPT_ASIDE);
}

// What the journal records, undone: the files this transaction began
// deleted, the earlier files back in their places with their attributes,
// kept settings with theirs, a backup directory made here removed. One
// that cannot go back (its place is held by another program) stays set
// aside, with the journal, for the next transaction to put back: reported
// once.
void RollBack()
{
    ClearKeptReport();
    if (!RollBackJournal())
        ReportKept(ERROR_NOT_RESTORED);
    ClearKeptReport();
    // Only now may another installation take the directory; held, it could
    // not be removed.
    ReleaseDestination();
    RemoveCreatedDestination();
}

}  // namespace

TransactionBegin BeginTransaction(const TransactionKind* kind)
{
    transaction.kind = kind;
    transaction.underWay = 0;
    size_t length = TextLength(session.destinationDir);
    // Every path derived from the directory must fit its buffer, so a longer
    // one is refused before anything is created.
    if (length == 0 || length > MAX_DESTINATION_DIR) {
        ReportError(kind->refused);
        return TRANSACTION_REFUSED;
    }
    if (!SomethingExistsAt(session.destinationDir)) {
        if (!kind->createsDestination || !CreateDestinationDirectory()) {
            ReportError(kind->refused);
            return TRANSACTION_REFUSED;
        }
        session.createdDestination = 1;
    }
    // Another installation works there; or this one's journal cannot be
    // written: nothing has changed. A directory made here goes again,
    // unless the other one holds it already.
    bool held = HoldDestination();
    if (held) {
        // What earlier transactions left is finished first, or nothing is
        // done: error [18] (a journal that cannot be acted on, nothing
        // changed) or [16] (earlier files that cannot go back yet).
        ClearKeptReport();
        RecoveryResult recovered = RecoverDestination();
        if (recovered != RECOVERY_DONE) {
            ReleaseDestination();
            ReportKept(recovered == RECOVERY_UNREADABLE ? ERROR_JOURNAL_UNREADABLE : ERROR_NOT_RESTORED);
            return TRANSACTION_REFUSED;
        }
        ReportKept(ERROR_KEPT_ASIDE);
    }
    if (!held || (IsDirectoryAt(session.destinationDir) && !BeginJournal())) {
        ReleaseDestination();
        RemoveCreatedDestination();
        ReportError(kind->refused);
        return TRANSACTION_REFUSED;
    }
    transaction.underWay = 1;
    return TRANSACTION_BEGUN;
}

void EndTransaction(TransactionEnding ending, InstallError error)
{
    if (ending == ROLL_BACK_TRANSACTION && transaction.kind->letGo)
        transaction.kind->letGo();
    if (transaction.underWay) {
        transaction.underWay = 0;
        if (ending == COMMIT_TRANSACTION)
            Commit();
        else
            RollBack();
    }
    if (error != ERROR_NONE)
        ReportError(error);
}

MemberResult BeginInstallation()
{
    if (BeginTransaction(&kInstallation) != TRANSACTION_BEGUN)
        return MEMBER_CHOOSE_AGAIN;
    if (!OpenPackageImage()) {
        EndTransaction(ROLL_BACK_TRANSACTION);
        return MEMBER_FAILED;
    }
    return MEMBER_DONE;
}

MemberResult EndInstallation(SliceResult last)
{
    if (last == SLICE_COMPLETE && session.memberIndex > 0) {
        EndTransaction(COMMIT_TRANSACTION);
        return MEMBER_DONE;
    }
    if (last == SLICE_COMPLETE) {
        EndTransaction(ROLL_BACK_TRANSACTION, ERROR_EMPTY_PACKAGE);
        return MEMBER_FAILED;
    }
    EndTransaction(ROLL_BACK_TRANSACTION);
    return last == SLICE_CHOOSE_AGAIN ? MEMBER_CHOOSE_AGAIN : MEMBER_FAILED;
}
