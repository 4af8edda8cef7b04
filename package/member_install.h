// Member installation: the destination directory, one completed member put
// in place (settings kept, old files backed up, help indexes removed), and
// the roll-back that undoes a partial installation.
#pragma once

#include <cstddef>

#include "destination.h"
#include "install_session.h"

// What installing a member (or preparing its place, or the destination)
// came to. A failure has been shown, and rolled back where files changed.
enum MemberResult {
    MEMBER_FAILED = 0,
    MEMBER_DONE = 1,          // installed; for the destination: ready
    MEMBER_CHOOSE_AGAIN = 2,  // a backup step or the destination failed: back to options mode
    MEMBER_KEPT = 3           // PrepareDestination only: the user keeps the earlier file
};

// The slice result a member's failure ends the slice with.
SliceResult SliceResultOf(MemberResult result);

// MEMBER_DONE: destinationDir exists or was created, is held for this installation,
// what earlier installations left unfinished there has been rolled back or
// forward (files that stay set aside are named once, error [17]), and this
// installation's journal is open; MEMBER_CHOOSE_AGAIN: error [1] shown,
// nothing changed.
// Refuses an empty directory and one longer than MAX_DESTINATION_DIR before
// creating anything, and a directory that another installation holds.
MemberResult CreateDestinationDir();

// Starts an installation into destinationDir (CreateDestinationDir), then
// opens the package image. MEMBER_DONE: the scan can begin;
// MEMBER_CHOOSE_AGAIN: error [1] shown, nothing changed; MEMBER_FAILED:
// error [9] shown, rolled back.
MemberResult BeginInstallation();

// Ends an installation after the slice that was not SLICE_MORE: a complete
// package is committed (MEMBER_DONE), one without members rolled back with
// error [14] (MEMBER_FAILED); a failure, shown already, is rolled back
// (MEMBER_FAILED, or MEMBER_CHOOSE_AGAIN after a backup step).
MemberResult EndInstallation(SliceResult last);

// The installation is complete and its checksum correct: every earlier
// file set aside goes into backup, replacing an older one of that name, or,
// without backups, is deleted. One that cannot move stays set aside and is
// named once (error [17]); nothing is left for a later installation to do.
void CommitInstallation();

// destinationDir, a backslash and the member's file name into out
// (PATH_BUFFER_SIZE characters). Empty for an index outside the table, or
// when the path would not fit.
void BuildMemberPath(char* out, int index);

// Installs the member at memberIndex from the closed temporary file.
// MEMBER_DONE (installed or kept), MEMBER_CHOOSE_AGAIN or MEMBER_FAILED.
MemberResult InstallMember(const char* tempPath);

// What to do with an existing file at path: MEMBER_DONE install,
// MEMBER_KEPT skip (the user keeps the settings), MEMBER_CHOOSE_AGAIN a
// backup step failed, MEMBER_FAILED.
MemberResult PrepareDestination(const char* path);

// Decodes the temporary file into path. MEMBER_DONE; MEMBER_FAILED shown
// and rolled back, no partial destination file left.
MemberResult DecodeToDestination(const char* tempPath, const char* path);

// Undoes the installation so far: closes both streams, deletes the temporary
// file, undoes what the journal records (the files this installation began
// deleted, never a settings file the user kept, whose attributes it gives
// back; every earlier file renamed back into its place, error [16] naming
// any that cannot go back; the backup directory removed if this
// installation created it), and removes the destination directory if this
// installation created it. A second run finds nothing left to do.
void RollBack();

// Deletes the file at path that stream holds, and closes the stream (null
// when it is closed already). Windows 95, 98 and Me delete a file that is
// open, even one another process holds, so the file goes while this stream
// still holds it: no other installation can have opened it under that name
// in between. Windows NT refuses that (the stream shares no deletion); there
// it goes once closed, and a file of that name that another installation
// has opened in the meantime is refused the same way. Retried once, never
// reported.
void DeleteHeldFile(ByteStream* stream, const char* path);
