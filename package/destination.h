// The destination directory as an installation sees it: held through a
// lock file, and changed only through this module, which records every
// change in the installation's own journal (written through to the disk)
// before making it. A roll-back, the commit, and the recovery of an
// installation that was ended from outside all act on what a journal says,
// never on guesses from the files they find.
//
// Below the destination, the set-aside directory ~vexa holds, for each
// installation under way or ended from outside:
//   XXXX.jnl  its journal (XXXX: four hexadecimal digits of its own)
//   XXXX.sNN  the earlier file of slot NN, set aside until the commit
//   XXXX.uNN  a file found in slot NN's place that the journal cannot
//             account for, kept there by a roll-back
// Every name is short, so that every path fits where the backup
// directory's do.
#pragma once

#include "install_session.h"

// What the journal tracks, besides the eleven members: the help-index files
// that go stale when their help file is replaced.
enum {
    SLOT_VEXA_GID = MEMBER_COUNT,
    SLOT_IRCINTRO_GID,
    SLOT_COUNT
};

// Results of the steps that change the destination.
enum DestinationResult {
    DEST_DONE = 1,
    DEST_REFUSED = 0,         // the system refused the change: nothing changed
    DEST_JOURNAL_FAILED = -1  // the record could not be written: nothing changed
};

// Creates destinationDir (only its last component), which did not exist.
bool CreateDestinationDirectory();
// Removes destinationDir when this installation created it (and it is
// empty); clears createdDestination.
void RemoveCreatedDestination();

// Holds destinationDir for this installation (nothing to do when it is not
// a directory). False when another installation holds it.
bool HoldDestination();

// Lets go of the destination; removes the lock file when it is this
// installation's (or one an ended installer left). Nothing to do when it is
// not held.
void ReleaseDestination();

// Acts on every journal that earlier installations left: rolls each back
// whose commit had not begun, rolls forward each whose commit had, then
// deletes it. A file that cannot go where it belongs stays set aside, its
// path appended to the report (see KeptReport). Sets createdDestination
// when a rolled-back installation had created the directory.
void RecoverDestination();

// Opens this installation's journal. False when it cannot be written:
// nothing has been changed then (the set-aside directory, when made here,
// is removed again).
bool BeginJournal();

// The slot of the help index that goes stale with the member (a help file's
// index has its name and the extension .gid); -1 for a member without one.
int HelpIndexSlotOf(int member);

// The slot's file in the destination into out (PATH_BUFFER_SIZE). False
// when the path does not fit.
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
// The member's file created for writing; null when refused (result says
// why).
ByteStream* CreateMemberFile(int slot, int* result);
// The member's file is complete.
int MemberFileDone(int slot);

// The installation is complete: recorded as committed, then every earlier
// file set aside goes into backup (replacing an older backup of that name)
// or, without backups or for a help index, is deleted. What cannot stays
// set aside, appended to the report. The journal is then deleted.
void CommitJournal();

// Undoes what the journal records, newest first: files this installation
// began are deleted, earlier files go back into their places, kept settings
// get their attributes back, a backup directory made here is removed. True
// when everything went back: the journal is then deleted; otherwise it
// stays for the next installation's recovery, and what is left is appended
// to the report. Nothing to do without a journal.
bool RollBackJournal();

// Paths of files that stay set aside, collected for one message: the
// count, and the paths one per line in session.keptFiles.
int KeptReportCount();
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
