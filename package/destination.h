// The destination directory as an installation sees it: held through a
// lock file, and changed only through this module, which records every
// change in the installation's own journal (written through to the disk)
// before making it. A roll-back, the commit, and the recovery of an
// installation that was ended from outside all act on what a journal says,
// never on guesses from the files they find.
//
// Below the destination, the set-aside directory ~vexa holds, for each
// installation under way, ended from outside, or committed with a file
// still waiting to move on:
//   XXXX.jnl  its journal (XXXX: four hexadecimal digits of its own)
//   XXXX.sNN  the earlier file of slot NN, set aside until the commit
//   XXXX.nNN  the new file of slot NN while it is written, until it goes
//             into its place
//   XXXX.uNN  a file found in slot NN's place that the journal cannot
//             account for (the user's, or the new file changed since),
//             kept there by a roll-back
// Every name is short, so that every path fits where the backup
// directory's do.
#pragma once

#include <cstddef>

#include "install_session.h"
#include "journal_format.h"

// Results of the steps that change the destination.
enum DestinationResult {
    DEST_DONE = 1,
    DEST_REFUSED = 0,         // the system refused the change: nothing changed
    DEST_JOURNAL_FAILED = -1, // the record could not be written: nothing changed
    DEST_NOT_WRITTEN = -2     // the new file could not be written whole
};

// What the recovery of earlier installations came to.
enum RecoveryResult {
    RECOVERY_DONE,          // every journal acted on (one may wait for a file held open)
    RECOVERY_UNREADABLE,    // a journal that cannot be opened or is not whole: nothing changed
    RECOVERY_NOT_RESTORED   // a roll-back could not put every earlier file back: its journal stays
};

// What is at path: anything, a directory, a file.
bool SomethingExistsAt(const char* path);
bool IsDirectoryAt(const char* path);
bool IsFileAt(const char* path);

// Creates destinationDir (only its last component), which did not exist.
bool CreateDestinationDirectory();
// Removes destinationDir when this installation created it (and it is
// empty); clears createdDestination.
void RemoveCreatedDestination();

// Holds destinationDir for this transaction through the lock file in it
// (nothing to do when it is not a directory). False when another
// installation holds it.
bool HoldDestination();

// Lets go of the destination; removes the lock file when it is this
// installation's (or one an ended installer left). Nothing to do when it is
// not held.
void ReleaseDestination();

// Acts on every journal that earlier installations left, or on none: first
// every one is opened and read (RECOVERY_UNREADABLE, each that cannot be
// acted on named in the report, nothing changed). Then those whose commit
// had not begun are rolled back, newest first, and those whose commit had
// are rolled forward, oldest first; each is deleted once nothing is left
// for it to do. A roll-back that cannot put every earlier file back keeps
// its journal and stops there (RECOVERY_NOT_RESTORED, the files named). A
// roll-forward that must wait for a file held open keeps its journal
// quietly. Files set aside for the user are named in the report. Sets
// createdDestination when a rolled-back installation had created the
// directory.
RecoveryResult RecoverDestination();

// Opens this installation's journal. False when it cannot be written:
// nothing has been changed then (the set-aside directory, when made here,
// is removed again).
bool BeginJournal();

// The slot of the help index that goes stale with the member (a help file's
// index has its name and the extension .gid); -1 for a member without one.
int HelpIndexSlotOf(int member);

// The slot's file in the destination (for a member: destinationDir, a
// backslash and its name in MemberTable) into out (PATH_BUFFER_SIZE). False,
// out empty, for a slot outside the table or a path that does not fit.
bool SlotPath(char* out, int slot);

// "backup" below the destination into out, with a trailing backslash when
// slash is true.
bool BackupDirPath(char* out, bool slash);

// Each records the change, then makes it.
// The backup directory, which did not exist.
int CreateBackupDir();
// The earlier file of slot into the set-aside directory, with its
// attributes as they are.
int SetAsideEarlierFile(int slot);
// A settings file the user keeps: its attributes (recorded) cleared.
int ClearKeptAttributes(int slot, uint32_t attributes);
// The member's new file created for writing, in the set-aside directory;
// null when refused (result says why).
ByteStream* CreateMemberFile(int slot, int* result);
// The new file, whole when written is true: written through to the disk,
// closed, recorded as complete with its digest, and moved into its place,
// which must be free. DEST_NOT_WRITTEN when it was not written whole.
int PlaceMemberFile(int slot, ByteStream* file, bool written);

// The installation is complete: recorded as committed, then every earlier
// file set aside goes into backup (replacing an older backup of that name)
// or, without backups or for a help index, is deleted. The journal is then
// deleted, or kept while a file held open waits to move on (the next
// installation finishes it). One that a directory of the user's keeps out
// of backup stays set aside, named in the report.
void CommitJournal();

// Undoes what the journal records, newest first: files this installation
// began are deleted, earlier files go back into their places, kept settings
// get their attributes back, a backup directory made here is removed. True
// when everything went back: the journal is then deleted; otherwise it
// stays for the next installation's recovery, and what is left is appended
// to the report. Nothing to do without a journal.
bool RollBackJournal();

// Paths of files for one message: the count, and the paths one per line
// into out (those that did not fit counted in a last line).
int KeptReportCount();
void CopyKeptReport(char* out, size_t size);
void ClearKeptReport();

// Test images only: the hook that ends the process right before its k-th
// change to the destination (k from the environment variable
// SETUP32_CRASH_AT; each change is logged to the file SETUP32_CRASH_LOG
// names, if any), and the number of changes so far. The member's data
// written into its file is not a change of its own: the file is the
// installation's from its creation on.
#ifdef SETUP32_CRASH_POINTS
enum { CRASH_EXIT_CODE = 86 };
int CrashPointCount();
void ResetCrashPoints();
// Called at every change with its number, what it is ("move", "delete",
// "record commit", ...) and its path.
typedef void (*CrashObserver)(int step, const char* what, const char* path);
void ObserveCrashPoints(CrashObserver observer);
#endif
