// The names the installer gives, each spelled once: its caption, the
// status lines it shows, and the files and directories it makes.
#pragma once

// The dialog's caption, which the main window bears as its caption and its
// class name too.
inline constexpr char kInstallerCaption[] = "Vexa v5.6 32bit Installation";

// Status lines. The last two go before a file's name.
inline constexpr char kScanningFilesStatus[] = "Scanning files...";
inline constexpr char kScanningFileStatus[] = "Scanning file: ";
inline constexpr char kExtractingFileStatus[] = "Extracting file: ";

// In the destination directory: the set-aside directory, with each
// transaction's journal (four hexadecimal digits, then the extension) and
// files; the lock file that holds the directory; the backup directory.
inline constexpr char kSetAsideDirName[] = "~vexa";
inline constexpr char kJournalExtension[] = ".jnl";
inline constexpr char kLockFileName[] = "vexa.lck";
inline constexpr char kBackupDirName[] = "backup";

// In the temporary directory: the file that collects a member's bytes.
inline constexpr char kTempFileName[] = "vexa.tmp";
