// The unattended installation: the command line's choices instead of the
// dialog's, an answer for every question, a log instead of every box, and
// an exit code that says how it ended.
#pragma once

#include "command_line.h"

// Exit codes of an unattended installation. An interactive one always ends
// with 0.
enum ExitCode {
    EXIT_INSTALLED = 0,
    EXIT_CANCELLED = 1,
    EXIT_USAGE = 2,           // a switch not understood, /?, or a log that cannot be written
    EXIT_NO_DIALOG = 3,       // passive: the dialog could not be shown
    EXIT_ERROR_BASE = 100     // error [n] ended it: 100 + n
};

// Reads the process's command line. RUN_INTERACTIVE: nothing else has
// happened. Otherwise the log is open and the unattended report in use.
RunMode ReadInstallerCommandLine();

// Starts an unattended installation: the line's choices go into the
// session. False when the line cannot be followed (EXIT_USAGE): nothing is
// installed.
bool StartUnattended();

// The silent installation, start to end, with no window.
void InstallSilently();

// Whether this run is unattended.
bool IsUnattended();

// The dialog could not be shown: the shell's box, logged instead.
void LogMissingDialog(const char* caption, const char* text);

// Logs how the installation ended, closes the log and gives the exit code.
int EndUnattended();
