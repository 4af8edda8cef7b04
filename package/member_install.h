// Member installation: the steps of an installation's transaction
// (transaction.h). One completed member put in place: settings kept, old
// files set aside for backup, help indexes set aside. A step that fails
// after the destination has changed ends the transaction (rolled back) and
// shows its error after the roll-back; a backup step shows its error and
// leaves the roll-back to the end.
#pragma once

#include <cstddef>

#include "destination.h"
#include "install_session.h"

// What installing a member (or preparing its place, or beginning the
// installation) came to. A failure has been shown.
enum MemberResult {
    MEMBER_FAILED = 0,
    MEMBER_DONE = 1,          // installed; for BeginInstallation: the scan can begin
    MEMBER_CHOOSE_AGAIN = 2,  // a backup step or the destination failed: back to options mode
    MEMBER_KEPT = 3           // PrepareDestination only: the user keeps the earlier file
};

// The slice result a member's failure ends the slice with.
SliceResult SliceResultOf(MemberResult result);

// Installs the member at memberIndex from the closed temporary file.
// MEMBER_DONE (installed or kept), MEMBER_CHOOSE_AGAIN or MEMBER_FAILED.
MemberResult InstallMember(const char* tempPath);

// What to do with an existing file at path: MEMBER_DONE install,
// MEMBER_KEPT skip (the user keeps the settings), MEMBER_CHOOSE_AGAIN a
// backup step failed, MEMBER_FAILED.
MemberResult PrepareDestination(const char* path);

// Decodes the temporary file into the member's place (memberIndex).
// MEMBER_DONE; MEMBER_FAILED shown and rolled back, no partial destination
// file left.
MemberResult DecodeToDestination(const char* tempPath);

// Deletes the file at path that stream holds, and closes the stream (null
// when it is closed already). Windows 95, 98 and Me delete a file that is
// open, even one another process holds, so the file goes while this stream
// still holds it: no other installation can have opened it under that name
// in between. Windows NT refuses that (the stream shares no deletion); there
// it goes once closed, and a file of that name that another installation
// has opened in the meantime is refused the same way. Retried once, never
// reported.
void DeleteHeldFile(ByteStream* stream, const char* path);
