#include "installer_names.h"

const char kInstallerCaption[] = "Vexa v5.6 32bit Installation";

const char kScanningFilesStatus[] = "Scanning files...";
const char kScanningFileStatus[] = "Scanning file: ";
const char kExtractingFileStatus[] = "Extracting file: ";

const char kSetAsideDirName[] = "~vexa";
const char kJournalExtension[] = ".jnl";
const char kLockFileName[] = "vexa.lck";
const char kBackupDirName[] = "backup";

const char kTempFileName[] = "vexa.tmp";
