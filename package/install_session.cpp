#include "install_session.h"

InstallSession session;

void ResetSession()
{
    session.lastByte = 0;
    session.sliceBytes = 0;
    StartPackageScan(&session.scan);
    session.memberIndex = 0;
    session.settingsDecision = SETTINGS_NOT_ASKED;
    session.createdDestination = 0;
    session.abortPending = 0;
    session.overallFill = 0;
    session.packageLength = 0;

    session.packageStream = nullptr;
    session.memberStream = nullptr;

    session.backupDir[0] = '\0';
    session.tempPath[0] = '\0';
    session.memberPath[0] = '\0';
}
