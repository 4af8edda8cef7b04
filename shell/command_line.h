// The installer's command line. A line without /S or /P starts the
// interactive installation and is otherwise ignored: whatever else it says,
// the user answers in the dialog. /S (silent) or /P (passive) ask for an
// unattended installation, and then every word counts:
//   /D=PATH          the destination: the rest of the line, spaces and all
//   /BACKUPS=0|1     /ICONS=0|1     /KEEPSETTINGS=0|1
//   /LOG=FILE        one line per step
//   /?               the usage, and nothing installed
// Switches are read in any case. A word may be quoted, in whole or in part,
// to hold spaces; the quotes are not part of it.
#pragma once

#include <cstddef>

enum RunMode {
    RUN_INTERACTIVE = 0,
    RUN_SILENT = 1,    // no window at all
    RUN_PASSIVE = 2    // the dialog shows the progress; nobody is asked
};

enum CommandLineResult {
    COMMAND_LINE_READ = 0,
    COMMAND_LINE_USAGE_ASKED = 1,   // /? in an unattended line
    COMMAND_LINE_BAD_SWITCH = 2     // badSwitch names it
};

enum {
    COMMAND_PATH_SIZE = 300,    // a path from the line, terminator included
    SWITCH_NOT_GIVEN = -1
};

struct CommandLine {
    RunMode mode;
    // 0 or 1; SWITCH_NOT_GIVEN takes the installer's default.
    int makeBackups;
    int addIcons;
    int keepSettings;
    char destination[COMMAND_PATH_SIZE];   // empty: the default destination
    char logPath[COMMAND_PATH_SIZE];       // empty: no log
    char badSwitch[COMMAND_PATH_SIZE];     // the first word that was not understood
};

// What follows the program's own name (quoted or not) and the blanks after
// it in the text that GetCommandLineA returns.
const char* ArgumentsOf(const char* commandLine);

// Reads the arguments into line. An interactive line reads as
// COMMAND_LINE_READ with nothing but its mode set, whatever it holds.
CommandLineResult ReadCommandLine(const char* arguments, CommandLine* line);

// The usage text, one switch a line.
extern const char kCommandLineUsage[];
