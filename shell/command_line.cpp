#include "command_line.h"

#include "text.h"

const char kCommandLineUsage[] =
    "setup32 [/S | /P] [/BACKUPS=0|1] [/ICONS=0|1] [/KEEPSETTINGS=0|1] [/LOG=file] [/D=directory]\n"
    "/S  silent: no window at all\n"
    "/P  passive: the progress is shown, nobody is asked\n"
    "/D=directory  where to install; the rest of the line, spaces and all\n"
    "/BACKUPS=0|1  keep replaced files in backup (default 1)\n"
    "/ICONS=0|1  add the program group (default 1)\n"
    "/KEEPSETTINGS=0|1  keep the current settings files (default 1)\n"
    "/LOG=file  append one line per step to file\n"
    "Exit codes: 0 installed, 1 cancelled, 2 bad command line, 100 + n error [n]";

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* text)
{
    while (IsBlank(*text))
        text++;
    return text;
}

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Where the value after name starts in word, when word begins with the
// switch name (ASCII, upper case) in any case; else null. Only ASCII bytes
// can match, so a double-byte character never does.
const char* AfterSwitch(const char* word, const char* name)
{
    for (; *name; ++name, ++word)
        if (UpperAscii(*word) != *name)
            return nullptr;
    return word;
}

bool IsSwitch(const char* word, const char* name)
{
    const char* rest = AfterSwitch(word, name);
    return rest && !*rest;
}

// One word from text into out, its quotes removed. Returns where the word
// ends; *fits is false when it was cut to fit out.
const char* ReadWord(const char* text, char* out, size_t size, bool* fits)
{
    size_t used = 0;
    bool quoted = false;
    *fits = true;
    while (*text && (quoted || !IsBlank(*text))) {
        const char* next = NextChar(text);
        if (*text == '"') {
            quoted = !quoted;
        } else {
            size_t length = static_cast<size_t>(next - text);
            if (used + length < size) {
                for (size_t i = 0; i < length; ++i)
                    out[used++] = text[i];
            } else {
                *fits = false;
            }
        }
        text = next;
    }
    out[used] = '\0';
    return text;
}

// The rest of the line as a path: blanks after it dropped, and the quotes
// around it when it is quoted whole. No path holds a quote.
bool ReadRestOfLine(const char* text, char* out, size_t size)
{
    const char* end = text;
    for (const char* p = text; *p; p = NextChar(p))
        if (!IsBlank(*p))
            end = NextChar(p);
    size_t length = static_cast<size_t>(end - text);
    if (length >= 2 && text[0] == '"' && end[-1] == '"') {
        text++;
        length -= 2;
    }
    if (length > 0 && CopyBounded(out, size, text, length) && !FindChar(out, '"'))
        return true;
    out[0] = '\0';
    return false;
}

// 0 or 1 from the value of a /NAME= switch; SWITCH_NOT_GIVEN otherwise.
int ReadFlag(const char* value)
{
    if ((value[0] == '0' || value[0] == '1') && !value[1])
        return value[0] - '0';
    return SWITCH_NOT_GIVEN;
}

void ClearCommandLine(CommandLine* line)
{
    line->mode = RUN_INTERACTIVE;
    line->makeBackups = SWITCH_NOT_GIVEN;
    line->addIcons = SWITCH_NOT_GIVEN;
    line->keepSettings = SWITCH_NOT_GIVEN;
    line->destination[0] = '\0';
    line->logPath[0] = '\0';
    line->badSwitch[0] = '\0';
}

// Whether the line asks for an unattended installation at all: /S or /P
// before a /D= that takes the rest of it.
bool AsksForUnattended(const char* arguments)
{
    char word[COMMAND_PATH_SIZE];
    bool fits;
    for (const char* p = SkipBlanks(arguments); *p; p = SkipBlanks(p)) {
        if (AfterSwitch(p, "/D="))
            return false;
        p = ReadWord(p, word, sizeof word, &fits);
        if (IsSwitch(word, "/S") || IsSwitch(word, "/P"))
            return true;
    }
    return false;
}

// The first word not understood is the one named; the rest of the line
// is still read, so that a log it names can say so.
void Refuse(CommandLine* line, const char* word)
{
    if (!line->badSwitch[0])
        JoinText(line->badSwitch, sizeof line->badSwitch, word);
}

struct FlagSwitch {
    const char* name;
    int CommandLine::*value;
};

const FlagSwitch kFlags[] = {
    {"/BACKUPS=", &CommandLine::makeBackups},
    {"/ICONS=", &CommandLine::addIcons},
    {"/KEEPSETTINGS=", &CommandLine::keepSettings},
};

}  // namespace

const char* ArgumentsOf(const char* commandLine)
{
    const char* p = SkipBlanks(commandLine);
    if (*p == '"') {
        p++;
        while (*p && *p != '"')
            p = NextChar(p);
        return *p ? p + 1 : p;
    }
    while (*p && !IsBlank(*p))
        p = NextChar(p);
    return p;
}

CommandLineResult ReadCommandLine(const char* arguments, CommandLine* line)
{
    ClearCommandLine(line);
    if (!AsksForUnattended(arguments))
        return COMMAND_LINE_READ;

    bool usageAsked = false;
    char word[COMMAND_PATH_SIZE];
    for (const char* p = SkipBlanks(arguments); *p; p = SkipBlanks(p)) {
        const char* start = p;
        bool fits;
        p = ReadWord(p, word, sizeof word, &fits);
        if (!fits) {
            Refuse(line, word);
            continue;
        }

        if (const char* rest = AfterSwitch(start, "/D=")) {
            if (!ReadRestOfLine(rest, line->destination, sizeof line->destination))
                Refuse(line, "/D=");
            break;
        }
        RunMode mode = IsSwitch(word, "/S") ? RUN_SILENT : IsSwitch(word, "/P") ? RUN_PASSIVE : RUN_INTERACTIVE;
        if (mode != RUN_INTERACTIVE) {
            // One mode: /S and /P together say two things.
            if (line->mode != RUN_INTERACTIVE && line->mode != mode)
                Refuse(line, word);
            else
                line->mode = mode;
            continue;
        }
        if (IsSwitch(word, "/?")) {
            usageAsked = true;
            continue;
        }
        if (const char* value = AfterSwitch(word, "/D=")) {
            // Quoted as a whole word: the quotes have gone already.
            if (!*value || !JoinText(line->destination, sizeof line->destination, value))
                Refuse(line, word);
            continue;
        }
        if (const char* value = AfterSwitch(word, "/LOG=")) {
            if (!*value || !JoinText(line->logPath, sizeof line->logPath, value))
                Refuse(line, word);
            continue;
        }
        bool known = false;
        for (const FlagSwitch& flag : kFlags) {
            if (const char* value = AfterSwitch(word, flag.name)) {
                known = true;
                int read = ReadFlag(value);
                if (read == SWITCH_NOT_GIVEN)
                    Refuse(line, word);
                else
                    line->*flag.value = read;
            }
        }
        if (!known)
            Refuse(line, word);
    }
    if (line->badSwitch[0])
        return COMMAND_LINE_BAD_SWITCH;
    return usageAsked ? COMMAND_LINE_USAGE_ASKED : COMMAND_LINE_READ;
}
