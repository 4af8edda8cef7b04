#include "install_session.h"

InstallSession session;

void ResetSession()
{
    session.markerMatched = 0;
    session.lastByte = 0;
    session.sliceBytes = 0;
    session.checksum = 0;
    session.memberIndex = 0;
    session.settingsDecision = SETTINGS_NOT_ASKED;
    session.createdDestination = 0;
    session.abortPending = 0;
    session.overallFill = 0;
    session.packageLength = 0;
    session.checksumWeight = 1;
    session.keptCount = 0;

    session.packageStream = nullptr;
    session.memberStream = nullptr;

    session.backupDir[0] = '\0';
    session.tempPath[0] = '\0';
    session.memberPath[0] = '\0';

    // The marker is kept in two pieces so that the installer's own file holds
    // its four bytes together only inside the package. The tail is read
    // through a volatile pointer so the compiler cannot fold the two pieces
    // into one constant in the code.
    static const char* volatile markerTail = "RNI";
    JoinText(session.marker, sizeof session.marker, "A", markerTail);
}
