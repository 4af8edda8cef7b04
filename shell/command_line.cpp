#include "command_line.h"

#include "text.h"

const char kCommandLineUsage[] =
    "setup32 /S|/P [/BACKUPS=0|1] [/ICONS=0|1] [/KEEPSETTINGS=0|1] [/LOG=file] [/D=directory]";

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

// The first word not understood is the one named; the rest of the line
// is still read, so that a log it names can say so.
void Refuse(CommandLine* line, const char* word)
{
    if (!line->badSwitch[0])
        JoinText(line->badSwitch, sizeof line->badSwitch, word);
}

enum SwitchKind {
    SWITCH_SILENT,
    SWITCH_PASSIVE,
    SWITCH_USAGE,
    SWITCH_DESTINATION,
    SWITCH_LOG,
    SWITCH_BACKUPS,
    SWITCH_ICONS,
    SWITCH_KEEP_SETTINGS,
    SWITCH_UNKNOWN
};

// In SwitchKind's order, one after the other. A name that ends with '='
// takes a value; any other is the whole word.
const char kSwitchNames[] = "/S\0/P\0/?\0/D=\0/LOG=\0/BACKUPS=\0/ICONS=\0/KEEPSETTINGS=";

SwitchKind FindSwitch(const char* word, const char** value)
{
    const char* name = kSwitchNames;
    for (int kind = 0; kind < SWITCH_UNKNOWN; ++kind) {
        const char* rest = AfterSwitch(word, name);
        if (rest && (!*rest || rest[-1] == '=')) {
            *value = rest;
            return static_cast<SwitchKind>(kind);
        }
        name += TextLength(name) + 1;
    }
    return SWITCH_UNKNOWN;
}

}  // namespace

const char* ArgumentsOf(const char* commandLine)
{
    const char* p = SkipBlanks(commandLine);
    if (*p == '"') {
        p++;
        while (*p && *p != '"')
            p = NextChar(p);
        return SkipBlanks(*p ? p + 1 : p);
    }
    while (*p && !IsBlank(*p))
        p = NextChar(p);
    return SkipBlanks(p);
}

CommandLineResult ReadCommandLine(const char* arguments, CommandLine* line)
{
    ClearCommandLine(line);

    bool usageAsked = false;
    char word[COMMAND_PATH_SIZE];
    for (const char* p = SkipBlanks(arguments); *p; p = SkipBlanks(p)) {
        if (const char* rest = AfterSwitch(p, "/D=")) {
            if (!ReadRestOfLine(rest, line->destination, sizeof line->destination))
                Refuse(line, "/D=");
            break;
        }
        bool fits;
        p = ReadWord(p, word, sizeof word, &fits);
        const char* value = "";
        SwitchKind kind = fits ? FindSwitch(word, &value) : SWITCH_UNKNOWN;
        switch (kind) {
        case SWITCH_SILENT:
        case SWITCH_PASSIVE: {
            // One mode: /S and /P together say two things.
            RunMode mode = kind == SWITCH_SILENT ? RUN_SILENT : RUN_PASSIVE;
            if (line->mode != RUN_INTERACTIVE && line->mode != mode)
                Refuse(line, word);
            else
                line->mode = mode;
            break;
        }
        case SWITCH_USAGE:
            usageAsked = true;
            break;
        case SWITCH_DESTINATION:   // quoted as a whole word: the quotes have gone
        case SWITCH_LOG: {
            char* path = kind == SWITCH_LOG ? line->logPath : line->destination;
            if (!*value || !JoinText(path, COMMAND_PATH_SIZE, value))
                Refuse(line, word);
            break;
        }
        case SWITCH_UNKNOWN:
            Refuse(line, word);
            break;
        default: {
            int* flag = kind == SWITCH_BACKUPS ? &line->makeBackups
                        : kind == SWITCH_ICONS ? &line->addIcons
                                               : &line->keepSettings;
            int read = ReadFlag(value);
            if (read == SWITCH_NOT_GIVEN)
                Refuse(line, word);
            else
                *flag = read;
            break;
        }
        }
    }
    // Without /S or /P the line is the interactive installer's, which
    // ignores all of it.
    if (line->mode == RUN_INTERACTIVE) {
        ClearCommandLine(line);
        return COMMAND_LINE_READ;
    }
    if (line->badSwitch[0])
        return COMMAND_LINE_BAD_SWITCH;
    return usageAsked ? COMMAND_LINE_USAGE_ASKED : COMMAND_LINE_READ;
}
