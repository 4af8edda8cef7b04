#include "unattended.h"

#include <windows.h>

#include "install_dialog.h"
#include "install_report.h"
#include "install_session.h"
#include "installer_shell.h"
#include "package_scanner.h"
#include "program_group.h"
#include "text.h"
#include "transaction.h"

namespace {

enum { LOG_LINE_SIZE = TEXT_BUFFER_SIZE + 600 };

struct UnattendedRun {
    CommandLine line;
    CommandLineResult lineResult;
    // The log, when there is one (null otherwise).
    HANDLE log;
    // How it ended: the number of the error that ended it (0 for none),
    // else the exit code so far.
    int endingError;
    int outcome;
    char logLine[LOG_LINE_SIZE];
};

UnattendedRun run;

// Appends text to out at *used, each run of line breaks turned into " / ".
void AppendFlattened(char* out, size_t* used, const char* text)
{
    bool inBreak = false;
    for (const char* p = text; *p; p = NextChar(p)) {
        if (*p == '\r' || *p == '\n') {
            inBreak = true;
            continue;
        }
        const char* piece = p;
        size_t length = static_cast<size_t>(NextChar(p) - p);
        if (inBreak) {
            if (*used + 3 + length + 3 >= LOG_LINE_SIZE)
                return;
            for (const char* s = " / "; *s; ++s)
                out[(*used)++] = *s;
            inBreak = false;
        }
        if (*used + length + 3 >= LOG_LINE_SIZE)
            return;
        for (size_t i = 0; i < length; ++i)
            out[(*used)++] = piece[i];
    }
}

// One line, "[date time] label: text", written through and flushed: a run
// ended from outside leaves every line it wrote.
void LogLine(const char* label, const char* text)
{
    if (!run.log)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    int used = wsprintfA(run.logLine, "[%04d-%02d-%02d %02d:%02d:%02d] ", now.wYear, now.wMonth, now.wDay,
                         now.wHour, now.wMinute, now.wSecond);
    size_t length = static_cast<size_t>(used);
    AppendFlattened(run.logLine, &length, label);
    AppendFlattened(run.logLine, &length, ": ");
    AppendFlattened(run.logLine, &length, text);
    run.logLine[length++] = '\r';
    run.logLine[length++] = '\n';
    DWORD written;
    WriteFile(run.log, run.logLine, static_cast<DWORD>(length), &written, nullptr);
    FlushFileBuffers(run.log);
}

// Appended to: a run after one that was ended from outside keeps what
// that one wrote.
bool OpenLog()
{
    if (!run.line.logPath[0])
        return true;
    HANDLE log = CreateFileA(run.line.logPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return false;
    SetFilePointer(log, 0, nullptr, FILE_END);
    run.log = log;
    return true;
}

void NoteEndingError(InstallError number)
{
    // Files kept aside are named, and the installation goes on. That the
    // earlier installation could not be put back says more than whatever
    // failure led to it.
    if (number == ERROR_KEPT_ASIDE)
        return;
    if (!run.endingError || number == ERROR_NOT_RESTORED)
        run.endingError = number;
}

void LogStatus(const char* text)
{
    LogLine("status", text);
    if (run.line.mode == RUN_PASSIVE)
        DefaultInstallReport()->showStatus(text);
}

void ShowOverallProgress(ByteStream* package)
{
    if (run.line.mode == RUN_PASSIVE)
        DefaultInstallReport()->showOverallProgress(package);
}

void LogError(InstallError number, const char* text)
{
    char caption[32];
    ErrorCaption(number, caption);
    LogLine(caption, text);
    NoteEndingError(number);
}

bool LogAnswer(bool yes)
{
    LogLine("answer", yes ? "Yes" : "No");
    return yes;
}

// Settings are kept unless the line says otherwise; a destination with
// spaces is taken; an Abort pressed in the passive dialog aborts.
bool AnswerQuestion(InstallQuestion question, const char* text)
{
    if (question == QUESTION_ABORT)
        run.outcome = EXIT_CANCELLED;
    LogLine(kWarningCaption, text);
    return LogAnswer(question != QUESTION_KEEP_SETTINGS || run.line.keepSettings != 0);
}

// Nobody is there to try again: the error stands.
bool RefuseRetry(InstallError number, const char* text)
{
    LogError(number, text);
    return LogAnswer(false);
}

void LogSuccess(const char* text)
{
    run.outcome = EXIT_INSTALLED;
    LogLine(kSuccessCaption, text);
}

// The per-file bar only where the passive dialog shows it (set at the start).
InstallReport unattendedReport = {LogStatus, ShowOverallProgress, LogError, AnswerQuestion, RefuseRetry, LogSuccess,
                                  nullptr};

int FlagOr(int value, int fallback)
{
    return value == SWITCH_NOT_GIVEN ? fallback : value;
}

}  // namespace

RunMode ReadInstallerCommandLine()
{
    const char* arguments = ArgumentsOf(GetCommandLineA());
    run.lineResult = ReadCommandLine(arguments, &run.line);
    if (run.line.mode == RUN_INTERACTIVE)
        return RUN_INTERACTIVE;
    // Until it has installed, or said why not.
    run.outcome = EXIT_CANCELLED;
    if (run.line.mode == RUN_PASSIVE)
        unattendedReport.fileProgress = &kDialogFileProgress;
    UseInstallReport(&unattendedReport);
    // A log that cannot be written is a line that cannot be followed.
    if (!OpenLog())
        run.lineResult = COMMAND_LINE_BAD_SWITCH;
    LogLine("start", run.line.mode == RUN_SILENT ? "silent" : "passive");
    LogLine("command line", arguments);
    return run.line.mode;
}

bool StartUnattended()
{
    if (run.lineResult == COMMAND_LINE_BAD_SWITCH) {
        LogLine("not understood", run.line.badSwitch);
        run.outcome = EXIT_USAGE;
        return false;
    }
    if (run.lineResult == COMMAND_LINE_USAGE_ASKED) {
        LogLine("usage", kCommandLineUsage);
        run.outcome = EXIT_USAGE;
        return false;
    }

    // Nobody is there to answer the system's own boxes either, such as
    // "no disk in the drive": the call fails instead.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (run.line.destination[0])
        JoinText(session.destinationDir, sizeof session.destinationDir, run.line.destination);
    else
        BuildDefaultDestination(session.destinationDir);
    session.makeBackups = FlagOr(run.line.makeBackups, 1);
    session.addIcons = FlagOr(run.line.addIcons, 1);
    run.line.keepSettings = FlagOr(run.line.keepSettings, 1);

    char options[PATH_BUFFER_SIZE + 80];
    wsprintfA(options, "%s; backups %d, icons %d, keep settings %d", session.destinationDir, session.makeBackups,
              session.addIcons, run.line.keepSettings);
    LogLine("destination", options);
    return true;
}

void InstallSilently()
{
    // The program group's commands depend on the shell; with no window,
    // nothing needs the 3-D controls.
    session.newShell = NewShellFromVersion(GetVersion());
    if (session.addIcons)
        DdeInitializeA(&session.ddeInstance, DdeCallback, 0, 0);

    if (!FindChar(session.destinationDir, ' ') || AskYes(QUESTION_SPACES_IN_PATH)) {
        ResetSession();
        ShowScanningStatus();
        if (BeginInstallation() == MEMBER_DONE) {
            int result;
            do
                result = ScanSlice();
            while (result == SLICE_MORE);
            if (EndInstallation(static_cast<SliceResult>(result)) == MEMBER_DONE)
                FinishInstallation();
        }
    }
    ReleaseDestination();

    if (session.ddeInstance)
        DdeUninitialize(session.ddeInstance);
    session.ddeInstance = 0;
}

bool IsUnattended()
{
    return run.line.mode != RUN_INTERACTIVE;
}

void LogMissingDialog(const char* caption, const char* text)
{
    run.outcome = EXIT_NO_DIALOG;
    LogLine(caption, text);
}

int EndUnattended()
{
    int code = run.endingError ? EXIT_ERROR_BASE + run.endingError : run.outcome;
    char result[24];
    wsprintfA(result, "exit code %d", code);
    LogLine("result", result);
    if (run.log)
        CloseHandle(run.log);
    run.log = nullptr;
    return code;
}
