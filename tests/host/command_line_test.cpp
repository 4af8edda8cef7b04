// The installer's command line as administrators write it.
#include <gtest/gtest.h>

#include <string>

#include "command_line.h"
#include "text.h"

namespace {

struct LineCase {
    const char* name;
    const char* arguments;
    CommandLineResult result;
    RunMode mode;
    const char* destination;
    const char* logPath;
    int makeBackups, addIcons, keepSettings;
    const char* badSwitch;
};

const int kNo = SWITCH_NOT_GIVEN;

const LineCase kLines[] = {
    // Without /S or /P the line is the interactive installer's, which
    // ignores it, whatever it holds.
    {"Empty", "", COMMAND_LINE_READ, RUN_INTERACTIVE, "", "", kNo, kNo, kNo, ""},
    {"InteractiveIgnoresEverything", "/D=c:\\elsewhere /BACKUPS=7 -x \"quoted arg\" /?", COMMAND_LINE_READ,
     RUN_INTERACTIVE, "", "", kNo, kNo, kNo, ""},
    {"SilentInsideTheDestinationIsPartOfIt", "/D=c:\\a /S b", COMMAND_LINE_READ, RUN_INTERACTIVE, "", "", kNo, kNo,
     kNo, ""},
    {"SilentDefaults", "/S", COMMAND_LINE_READ, RUN_SILENT, "", "", kNo, kNo, kNo, ""},
    {"PassiveLowerCase", " /p ", COMMAND_LINE_READ, RUN_PASSIVE, "", "", kNo, kNo, kNo, ""},
    {"EverySwitch", "/s /backups=0 /ICONS=1 /KeepSettings=0 /LOG=c:\\logs\\vexa.log /D=c:\\vexa",
     COMMAND_LINE_READ, RUN_SILENT, "c:\\vexa", "c:\\logs\\vexa.log", 0, 1, 0, ""},
    {"DestinationIsTheRestOfTheLine", "/S /D=c:\\program files\\vexa chat  ", COMMAND_LINE_READ, RUN_SILENT,
     "c:\\program files\\vexa chat", "", kNo, kNo, kNo, ""},
    {"DestinationQuotedWhole", "/S /D=\"c:\\program files\\vexa\"", COMMAND_LINE_READ, RUN_SILENT,
     "c:\\program files\\vexa", "", kNo, kNo, kNo, ""},
    {"DestinationAsAQuotedWord", "\"/D=c:\\my dir\" /P", COMMAND_LINE_READ, RUN_PASSIVE, "c:\\my dir", "", kNo,
     kNo, kNo, ""},
    {"SwitchesAfterTheDestinationBelongToIt", "/S /D=c:\\x /ICONS=0", COMMAND_LINE_READ, RUN_SILENT,
     "c:\\x /ICONS=0", "", kNo, kNo, kNo, ""},
    {"QuotedLogWithSpaces", "/S /LOG=\"c:\\my logs\\a.log\"", COMMAND_LINE_READ, RUN_SILENT, "",
     "c:\\my logs\\a.log", kNo, kNo, kNo, ""},
    {"LaterValueWins", "/S /ICONS=0 /ICONS=1", COMMAND_LINE_READ, RUN_SILENT, "", "", kNo, 1, kNo, ""},
    {"UsageAsked", "/S /?", COMMAND_LINE_USAGE_ASKED, RUN_SILENT, "", "", kNo, kNo, kNo, ""},
    // In an unattended line every word counts: the first one not
    // understood is named.
    {"UnknownSwitch", "/S /QUIET", COMMAND_LINE_BAD_SWITCH, RUN_SILENT, "", "", kNo, kNo, kNo, "/QUIET"},
    {"FlagOutOfRange", "/S /BACKUPS=2", COMMAND_LINE_BAD_SWITCH, RUN_SILENT, "", "", kNo, kNo, kNo,
     "/BACKUPS=2"},
    {"FlagEmpty", "/P /ICONS=", COMMAND_LINE_BAD_SWITCH, RUN_PASSIVE, "", "", kNo, kNo, kNo, "/ICONS="},
    {"FlagWithMore", "/S /KEEPSETTINGS=01", COMMAND_LINE_BAD_SWITCH, RUN_SILENT, "", "", kNo, kNo, kNo,
     "/KEEPSETTINGS=01"},
    {"EmptyDestination", "/S /D=   ", COMMAND_LINE_BAD_SWITCH, RUN_SILENT, "", "", kNo, kNo, kNo, "/D="},
    {"EmptyLog", "/S /LOG=", COMMAND_LINE_BAD_SWITCH, RUN_SILENT, "", "", kNo, kNo, kNo, "/LOG="},
    {"BothModes", "/S /P", COMMAND_LINE_BAD_SWITCH, RUN_SILENT, "", "", kNo, kNo, kNo, "/P"},
    // The rest of the line is still read, so that its log can say why.
    {"FirstOfTwoNamedAndTheLogRead", "/S /X /BACKUPS=0 /Y /LOG=c:\\a.log", COMMAND_LINE_BAD_SWITCH, RUN_SILENT, "",
     "c:\\a.log", 0, kNo, kNo, "/X"},
    {"BareWord", "/S install", COMMAND_LINE_BAD_SWITCH, RUN_SILENT, "", "", kNo, kNo, kNo, "install"},
    {"QuoteInsideADestination", "/S /D=c:\\a\"b", COMMAND_LINE_BAD_SWITCH, RUN_SILENT, "", "", kNo, kNo, kNo,
     "/D="},
};

class Lines : public testing::TestWithParam<LineCase> {};

TEST_P(Lines, ReadAsWritten)
{
    const LineCase& c = GetParam();
    CommandLine line;
    EXPECT_EQ(ReadCommandLine(c.arguments, &line), c.result);
    EXPECT_EQ(line.mode, c.mode);
    EXPECT_STREQ(line.destination, c.destination);
    EXPECT_STREQ(line.logPath, c.logPath);
    EXPECT_EQ(line.makeBackups, c.makeBackups);
    EXPECT_EQ(line.addIcons, c.addIcons);
    EXPECT_EQ(line.keepSettings, c.keepSettings);
    EXPECT_STREQ(line.badSwitch, c.badSwitch);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, Lines, testing::ValuesIn(kLines),
                         [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(CommandLine, ProgramNameIsSkippedQuotedOrNot)
{
    EXPECT_STREQ(ArgumentsOf("setup32.exe /S"), "/S");
    EXPECT_STREQ(ArgumentsOf("\"c:\\my downloads\\setup32.exe\"  /S /D=x"), "/S /D=x");
    EXPECT_STREQ(ArgumentsOf("\"c:\\unterminated"), "");
    EXPECT_STREQ(ArgumentsOf("setup32.exe"), "");
}

TEST(CommandLine, TooLongAPathIsRefusedNotCut)
{
    std::string longPath(COMMAND_PATH_SIZE, 'a');
    CommandLine line;
    EXPECT_EQ(ReadCommandLine(("/S /D=c:\\" + longPath).c_str(), &line), COMMAND_LINE_BAD_SWITCH);
    EXPECT_STREQ(line.destination, "");
    EXPECT_EQ(ReadCommandLine(("/S /LOG=c:\\" + longPath).c_str(), &line), COMMAND_LINE_BAD_SWITCH);
    EXPECT_STREQ(line.logPath, "");
}

// Under code page 932 the trail byte of a character may be a backslash or a
// letter: paths keep their characters whole, and a trail byte never ends a
// word or starts a switch.
TEST(CommandLine, DoubleBytePathsStayWhole)
{
    UseCodePageLeadBytes(932);
    // "表" is 0x95 0x5C, "ソ" 0x83 0x5C.
    const char destination[] = "c:\\\x95\x5C\x83\x5C \x95\x5C";
    CommandLine line;
    EXPECT_EQ(ReadCommandLine((std::string("/S /LOG=c:\\\x95\x5C.log /D=") + destination).c_str(), &line),
              COMMAND_LINE_READ);
    EXPECT_STREQ(line.destination, destination);
    EXPECT_STREQ(line.logPath, "c:\\\x95\x5C.log");
    EXPECT_STREQ(ArgumentsOf("\"c:\\\x95\x5C\\setup32.exe\" /S"), "/S");
    UseCodePageLeadBytes(1252);
}

}  // namespace
