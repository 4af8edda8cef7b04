// The life of one transaction over the destination directory, from its
// beginning to its one end. Every kind of transaction lives it the same
// way:
//   BeginTransaction  the destination held, what earlier transactions left
//                     there finished, this one's journal opened;
//   the steps         each change made through destination.h, journaled
//                     before it is made;
//   EndTransaction    committed or rolled back, once, and reported once.
// A kind brings what differs (TransactionKind): the installation is one;
// another kind (a removal: each file set aside, then deleted by the commit)
// is a second record and its own steps on the same life.
#pragma once

#include "install_report.h"
#include "install_session.h"
#include "member_install.h"

// What a kind of transaction brings to the life they share.
struct TransactionKind {
    // Whether a destination directory that does not exist is created (and
    // removed again by the roll-back); otherwise the transaction is refused.
    bool createsDestination;
    // The error shown when the destination cannot be used: it cannot be
    // created, another installation holds it, the journal cannot be written.
    InstallError refused;
    // Lets go of what the kind's steps hold outside the destination (open
    // streams, temporary files) before a roll-back; may be null. Runs at
    // every roll-back, begun or not, so it must find nothing to do a
    // second time.
    void (*letGo)();
};

// An installation: the package read, each member put in its place.
extern const TransactionKind kInstallation;

enum TransactionBegin {
    TRANSACTION_BEGUN = 1,    // held, earlier transactions finished, journal open
    TRANSACTION_REFUSED = 2   // an error shown; nothing changed (choose another directory)
};

enum TransactionEnding { COMMIT_TRANSACTION, ROLL_BACK_TRANSACTION };

// Begins a transaction of the kind in destinationDir. Refuses an empty
// directory and one longer than MAX_DESTINATION_DIR before creating
// anything, a missing one unless the kind creates it, and one that another
// installation holds (the kind's error). Earlier transactions left there
// are rolled back or forward first; files that stay set aside are named
// once (error [17]); a journal that cannot be acted on (error [18]) or an
// earlier file that cannot go back (error [16]) refuses it, nothing
// changed.
TransactionBegin BeginTransaction(const TransactionKind* kind);

// Ends the transaction under way, and only once: a second call, or one
// with none under way, finds nothing to commit or roll back.
// Commit: the journal committed, every earlier file set aside moved on;
// files that cannot move on are named (error [17]). The destination stays
// held until ReleaseDestination, once the end has been told.
// Roll-back: the kind lets go of its streams (even with no transaction
// under way), the journal is undone, error [16] naming any earlier file
// that cannot go back, the destination is let go, and a directory the
// transaction created is removed.
// Then error, unless ERROR_NONE, is shown: after the roll-back.
void EndTransaction(TransactionEnding ending, InstallError error = ERROR_NONE);

// The installation's beginning and end, for the dialog and unattended runs
// alike.
// Begins an installation (BeginTransaction), then opens the package image.
// MEMBER_DONE: the scan can begin; MEMBER_CHOOSE_AGAIN: refused, nothing
// changed; MEMBER_FAILED: error [9] shown, rolled back.
MemberResult BeginInstallation();

// Ends the installation after the slice that was not SLICE_MORE: a complete
// package is committed (MEMBER_DONE), one without members rolled back with
// error [14] (MEMBER_FAILED); a failure, shown already, is rolled back
// (MEMBER_FAILED, or MEMBER_CHOOSE_AGAIN after a backup step) unless its
// step has ended the transaction already.
MemberResult EndInstallation(SliceResult last);
