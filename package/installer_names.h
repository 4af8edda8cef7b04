// The names the installer gives, each spelled once: its caption, the
// status lines it shows, and the files and directories it makes.
#pragma once

// The dialog's caption, which the main window bears as its caption and its
// class name too.
extern const char kInstallerCaption[];

// Status lines. The last two go before a file's name.
extern const char kScanningFilesStatus[];
extern const char kScanningFileStatus[];
extern const char kExtractingFileStatus[];

// In the destination directory: the set-aside directory, with each
// transaction's journal (four hexadecimal digits, then the extension) and
// files; the lock file that holds the directory; the backup directory.
extern const char kSetAsideDirName[];
extern const char kJournalExtension[];
extern const char kLockFileName[];
extern const char kBackupDirName[];

// In the temporary directory: the file that collects a member's bytes.
extern const char kTempFileName[];
