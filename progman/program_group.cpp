#include "program_group.h"

#include "install_session.h"

namespace {

const DWORD EXECUTE_TIMEOUT_MS = 5000;

// The item command being sent.
char itemCommand[TEXT_BUFFER_SIZE];

// Formats an item command with the destination directory in both places
// (command line and working directory) and sends it.
int SendItemCommand(const char* format)
{
    wsprintfA(itemCommand, format, session.destinationDir, session.destinationDir);
    return SendProgmanCommand(itemCommand);
}

}  // namespace

int SendProgmanCommand(const char* command)
{
    HSZ service = DdeCreateStringHandleA(session.ddeInstance, "PROGMAN", CP_WINANSI);
    if (!service)
        return 0;
    HSZ topic = DdeCreateStringHandleA(session.ddeInstance, "PROGMAN", CP_WINANSI);
    if (!topic) {
        DdeFreeStringHandle(session.ddeInstance, service);
        return 0;
    }

    int accepted = 0;
    HCONV conversation = DdeConnect(session.ddeInstance, service, topic, nullptr);
    if (conversation) {
        DWORD status = 0;
        // The text goes as it is, its terminating NUL included.
        HDDEDATA result = DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char*>(command)),
                                               lstrlenA(command) + 1, conversation, nullptr, CF_TEXT,
                                               XTYP_EXECUTE, EXECUTE_TIMEOUT_MS, &status);
        accepted = result ? 1 : 0;
        DdeDisconnect(conversation);
    }

    DdeFreeStringHandle(session.ddeInstance, topic);
    DdeFreeStringHandle(session.ddeInstance, service);
    return accepted;
}

int CreateProgramGroup()
{
    // A ReplaceItem is refused when there is no old item to replace, which
    // is the normal case on a first install: only its sending matters.
    if (!SendProgmanCommand("[CreateGroup(\"Vexa\")]"))
        return 0;
    SendProgmanCommand("[ShowGroup(\"Vexa\",1)]");

    SendProgmanCommand("[ReplaceItem(\"Vexa32\")]");
    if (!SendItemCommand("[AddItem(\"%s\\Vexa32.exe\",\"Vexa32\",,0,,,\"%s\")]"))
        return 0;

    SendProgmanCommand("[ReplaceItem(\"Vexa Help\")]");
    if (!SendItemCommand("[AddItem(\"%s\\Vexa.hlp\",\"Vexa Help\",,0,,,\"%s\")]"))
        return 0;

    SendProgmanCommand("[ReplaceItem(\"IRC Intro\")]");
    if (!SendItemCommand("[AddItem(\"%s\\IRCintro.hlp\",\"IRC Intro\",,0,,,\"%s\")]"))
        return 0;

    // The older shell opens text files with no icon of their own, so the
    // text items borrow the editor's.
    SendProgmanCommand("[ReplaceItem(\"Readme.txt\")]");
    if (!SendItemCommand(session.newShell
                             ? "[AddItem(\"%s\\readme.txt\",\"Readme.txt\",,,,,\"%s\")]"
                             : "[AddItem(\"%s\\readme.txt\",\"Readme.txt\",\"write.exe\",0,,,\"%s\")]"))
        return 0;

    SendProgmanCommand("[ReplaceItem(\"Versions.txt\")]");
    if (!SendItemCommand(session.newShell
                             ? "[AddItem(\"%s\\versions.txt\",\"Versions.txt\",,,,,\"%s\")]"
                             : "[AddItem(\"%s\\versions.txt\",\"Versions.txt\",\"write.exe\",0,,,\"%s\")]"))
        return 0;

    return 1;
}

HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}
