// How the engine reaches the person installing: the status line, the
// overall progress, the numbered errors and the questions. The engine says
// what happened; the report in use shows it (the dialog's, by default) or
// answers it.
#pragma once

#include "byte_stream.h"
#include "member_decoder.h"

// The numbered errors. Each has one text in the table; 16, 17 and 18 name
// files between their text and their advice.
enum InstallError {
    ERROR_NONE = 0,             // nothing to show
    ERROR_CREATE_DIRECTORY = 1,
    ERROR_READ_INSTALL_FILE = 3,
    ERROR_COPY_FILE = 4,
    ERROR_DECODE_FILE = 5,
    ERROR_CREATE_BACKUP_DIRECTORY = 6,
    ERROR_BACK_UP_FILE = 7,
    ERROR_OPEN_INSTALL_FILE = 9,
    ERROR_EXTRACT_FILE = 11,
    ERROR_CHECKSUM = 13,
    ERROR_EMPTY_PACKAGE = 14,
    ERROR_PROGRAM_GROUP = 15,   // a question: try again?
    ERROR_NOT_RESTORED = 16,
    ERROR_KEPT_ASIDE = 17,
    ERROR_JOURNAL_UNREADABLE = 18
};

// The questions the installation may ask; only No counts as No.
enum InstallQuestion {
    QUESTION_KEEP_SETTINGS,
    QUESTION_SPACES_IN_PATH,
    QUESTION_ABORT
};

// The error's text, and what follows the files it names (empty for most).
const char* ErrorText(InstallError number);
const char* ErrorAdvice(InstallError number);
// "Vexa Installation Error [number]" into out (at least 32 characters).
void ErrorCaption(InstallError number, char* out);
extern const char kWarningCaption[];
extern const char kSuccessCaption[];
const char* QuestionText(InstallQuestion question);

// One way of showing the installation. Texts come whole: an error's text
// with the files it names and its advice.
struct InstallReport {
    void (*showStatus)(const char* text);
    // The package image as read so far; null repaints what was shown last.
    void (*showOverallProgress)(ByteStream* package);
    void (*showError)(InstallError number, const char* text);
    // True unless the answer is No.
    bool (*askYes)(InstallQuestion question, const char* text);
    // An error that asks whether to try again: true only for Yes.
    bool (*askRetry)(InstallError number, const char* text);
    // The installation is complete.
    void (*showSuccess)(const char* text);
    // Each member's progress as it is decoded; null shows none.
    const FileProgress* fileProgress;
};

// The report the program that links the engine shows by default: the
// installer's dialog.
const InstallReport* DefaultInstallReport();
// Another report from now on (null: the default again).
void UseInstallReport(const InstallReport* report);

// What the engine and the shell call.
void ReportStatus(const char* text);
void ReportOverallProgress(ByteStream* package);
void ReportError(InstallError number);
// An error that names files, one per line in files, between its text and
// its advice.
void ReportErrorNaming(InstallError number, const char* files);
bool AskYes(InstallQuestion question);
bool AskRetry(InstallError number);
void ReportSuccess();
// The report's per-file progress, for the decoder (UseFileProgress).
const FileProgress* ReportedFileProgress();
