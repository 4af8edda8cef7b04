// Member installation: the destination directory, one completed member put
// in place (settings kept, old files backed up, help indexes removed), and
// the roll-back that undoes a partial installation.
#pragma once

#include <cstddef>

#include "install_session.h"

// 1: destinationDir exists or was created, and is held for this
// installation, with what an earlier installation left set aside put back
// (RecoverSetAside); 2: error [1] or [16] shown. Refuses an empty directory and one
// longer than MAX_DESTINATION_DIR before creating anything, and a directory
// that another installation holds without changing it.
int CreateDestinationDir();

// Puts back what an earlier installation into destinationDir, ended before
// it was complete, left set aside, removing what it had put in their place;
// when it was complete, moves what it left into backup. 1 done (or nothing
// to do); 0 when an earlier file cannot go back (error [16] shown, the file
// stays set aside). Called by CreateDestinationDir once the directory is
// held.
int RecoverSetAside();

// The installation is complete and its checksum correct: every earlier
// file set aside goes into backup, replacing an older one of that name, or,
// without backups, is deleted. One that cannot move stays set aside, to be
// moved on by the next installation.
void CommitInstallation();

// Lets go of the destination directory; nothing to do when it is not held.
// Called by RollBack and once a complete installation has been reported.
void ReleaseDestination();

// destinationDir, a backslash and the member's file name into out
// (PATH_BUFFER_SIZE characters). Empty for an index outside the table, or
// when the path would not fit.
void BuildMemberPath(char* out, int index);

// Installs the member at memberIndex from the closed temporary file.
// 1 done (installed or skipped), 2 a backup step failed, 0 failure; every
// failure has been shown.
int InstallMember(const char* tempPath);

// What to do with an existing file at path: 1 install, 3 skip (the user
// keeps the settings), 2 backup failure shown.
int PrepareDestination(const char* path);

// Decodes the temporary file into path. 1 done; 0 failure shown and rolled
// back, no partial destination file left.
int DecodeToDestination(const char* tempPath, const char* path);

// Undoes the installation so far: closes both streams, deletes the temporary
// file and the installed members (newest first; never a settings file the
// user kept, whose attributes it gives back), renames every earlier file
// that was set aside back into its place (error [16] once for any that
// cannot go back), and removes the backup and destination directories if
// this installation created them. A second run finds nothing left to do.
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
