// The program group in the Windows shell: the program manager's bracketed
// command language sent over DDE, one conversation per command.
#pragma once

#include <windows.h>
#include <ddeml.h>

// Sends one execute command to the program manager (service and topic
// PROGMAN) in a conversation of its own. 1 when it was accepted, 0 otherwise
// (no DDE instance, no server, refused, or no answer within 5 seconds).
int SendProgmanCommand(const char* command);

// Creates the group "Vexa" with its five items. 1 when every command whose
// result counts was accepted; 0 at the first one that was not, leaving in
// the shell whatever the earlier commands did.
int CreateProgramGroup();

// The DDE instance's callback: the installer is a client only and answers
// nothing.
HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ item, HDDEDATA data,
                              ULONG_PTR data1, ULONG_PTR data2);
