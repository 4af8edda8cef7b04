// The real setup32.exe in its own process, driven as a user would drive it.
// Each case runs alone on the end-to-end Wine prefix, whose processes are
// ended after it (see run_case.sh).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "expected_boxes.h"
#include "installer_driver.h"
#include "progman_server.h"

namespace {

const char* const kMembers[] = {"vexa32.exe",  "vlink32.exe", "vexa.hlp",   "ircintro.hlp",
                                "readme.txt",  "versions.txt", "vexa.ini",  "aliases.ini",
                                "popups.ini",  "servers.ini", "urls.ini"};

enum Answerer { SHELL, TEST_SERVER };   // which program manager answers
enum Destination { DEFAULT, FRESH, EXISTING_FILE, BROWSED };
enum Action { INSTALL, CANCEL };

struct Case {
    const char* name;
    const char* arguments;
    Answerer answerer;
    const char* refused;        // the test server refuses commands starting with this
    bool addIcons;
    Destination destination;
    Action action;
    std::vector<int> answers;
    std::vector<ExpectedBox> boxes;
    bool installed;
    size_t commands;            // commands the test server received
    // The Windows version Wine tells the installer (null: the prefix's own,
    // an older-shell one), and the shell that version means to it.
    const char* windows = nullptr;
    bool newShell = false;
    // Started from a folder that holds a Ctl3d32.dll of somebody else's
    // making, which the system would take before its own.
    bool planted = false;
};

const Case kCases[] = {
    {"DefaultInstallWithTheShellsProgramGroup", "", SHELL, nullptr, true, DEFAULT, INSTALL, {}, {kSuccess}, true, 0},
    {"TheTwelveCommandsReachTheProgramManager", "/D=c:\\elsewhere /ICONS=0 /LOG=c:\\x.log", TEST_SERVER, nullptr, true, FRESH, INSTALL,
     {}, {kSuccess}, true, 12},
    {"IconsOffSendsNothing", "", TEST_SERVER, nullptr, false, FRESH, INSTALL, {}, {kSuccess}, true, 0},
    {"RefusedGroupRetriedUntilNo", "", TEST_SERVER, "[CreateGroup(", true, FRESH, INSTALL,
     {IDYES, IDYES, IDYES, IDNO}, {kIconsError, kIconsError, kIconsError, kIconsError, kSuccess}, true, 4},
    {"RefusedAddItemStopsTheSequence", "", TEST_SERVER, "[AddItem(\"c:\\e2e\\RefusedAddItemStopsTheSequence\\Vexa.hlp\"",
     true, FRESH, INSTALL, {IDNO}, {kIconsError, kSuccess}, true, 6},
    {"DestinationTypedIntoTheChooser", "", TEST_SERVER, nullptr, true, BROWSED, INSTALL, {}, {kSuccess}, true, 12},
    {"CancelBeforeInstalling", "garbage -x \"quoted arg\"", TEST_SERVER, nullptr, true, FRESH, CANCEL, {}, {}, false,
     0},
    {"FailedInstallation", "", TEST_SERVER, nullptr, true, EXISTING_FILE, INSTALL, {}, {kCopyError}, false, 0},
    // Every Windows version Wine can act: major version 4 means the new shell.
    {"Win95", "", TEST_SERVER, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 12, "win95", true},
    {"Win98", "", TEST_SERVER, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 12, "win98", true},
    {"Nt40", "", TEST_SERVER, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 12, "nt40", true},
    {"Win2k", "", TEST_SERVER, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 12, "win2k", false},
    {"WinXp", "", TEST_SERVER, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 12, "winxp", false},
    {"Win7", "", TEST_SERVER, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 12, "win7", false},
    {"Win10", "", TEST_SERVER, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 12, "win10", false},
    {"Win98WithTheShellsProgramGroup", "", SHELL, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 0, "win98",
     true},
    {"Win2kWithTheShellsProgramGroup", "", SHELL, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 0, "win2k",
     false},
    // The older shell loads the 3-D controls library, the newer one does not.
    {"PlantedLibraryOlderShell", "", TEST_SERVER, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 12, "win10",
     false, true},
    {"PlantedLibraryNewShell", "", TEST_SERVER, nullptr, true, FRESH, INSTALL, {}, {kSuccess}, true, 12, "win95",
     true, true},
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> ExpectedCommands(const std::string& d, bool newShell)
{
    // The new shell picks the text files' icons itself; the older one is given write.exe's.
    const std::string textIcon = newShell ? ",," : ",\"write.exe\",0";
    return {"[CreateGroup(\"Vexa\")]",
            "[ShowGroup(\"Vexa\",1)]",
            "[ReplaceItem(\"Vexa32\")]",
            "[AddItem(\"" + d + "\\Vexa32.exe\",\"Vexa32\",,0,,,\"" + d + "\")]",
            "[ReplaceItem(\"Vexa Help\")]",
            "[AddItem(\"" + d + "\\Vexa.hlp\",\"Vexa Help\",,0,,,\"" + d + "\")]",
            "[ReplaceItem(\"IRC Intro\")]",
            "[AddItem(\"" + d + "\\IRCintro.hlp\",\"IRC Intro\",,0,,,\"" + d + "\")]",
            "[ReplaceItem(\"Readme.txt\")]",
            "[AddItem(\"" + d + "\\readme.txt\",\"Readme.txt\"" + textIcon + ",,,\"" + d + "\")]",
            "[ReplaceItem(\"Versions.txt\")]",
            "[AddItem(\"" + d + "\\versions.txt\",\"Versions.txt\"" + textIcon + ",,,\"" + d + "\")]"};
}

class EndToEnd : public ::testing::TestWithParam<Case> {};

TEST_P(EndToEnd, Runs)
{
    const Case& c = GetParam();
    // On drive c: either way, so that the default destination is c:\vexa.
    const std::string folder = c.planted ? "c:\\downloads" : "c:";
    const std::string installer = folder + "\\setup32.exe";
    const std::string planted = folder + "\\Ctl3d32.dll";
    const std::string plantedRecord = planted + ".loaded";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(SETUP32_EXE, installer.c_str(), FALSE));
    if (c.planted) {
        ASSERT_TRUE(CopyFileA(PLANTED_CTL3D, planted.c_str(), FALSE));
        ASSERT_TRUE(RemoveTree(plantedRecord));
    }
    ASSERT_TRUE(PreferNativeLibrary("setup32.exe", "ctl3d32", c.planted));
    CreateDirectoryA("c:\\e2e", nullptr);
    // The chooser hands back what was typed in lower case.
    const std::string destination = c.destination == DEFAULT   ? "c:\\vexa"
                                    : c.destination == BROWSED ? Lower(std::string("c:\\e2e\\") + c.name)
                                                               : std::string("c:\\e2e\\") + c.name;
    const std::string group = ProgramsFolder() + "\\Vexa";
    ASSERT_TRUE(RemoveTree(destination));
    ASSERT_TRUE(RemoveTree(group));
    if (c.destination == EXISTING_FILE) {
        HANDLE file = CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
    }

    ASSERT_TRUE(ActAsWindows("setup32.exe", c.windows));

    ProgmanServer server;
    if (c.answerer == TEST_SERVER) {
        ASSERT_TRUE(server.Start()) << "the test's PROGMAN server is not the one that answers";
        if (c.refused) {
            std::string prefix = c.refused;
            server.Refuse([prefix](const std::string& text) { return text.compare(0, prefix.size(), prefix) == 0; });
        }
    } else {
        ASSERT_TRUE(WaitForProgman(20000)) << "the Wine shell's program manager does not answer";
    }

    InstallerRun run;
    ASSERT_TRUE(run.Start(installer, c.arguments));
    ASSERT_TRUE(run.WaitForDialog());
    ASSERT_TRUE(run.MainWindow());
    EXPECT_EQ("c:\\vexa", run.ControlText(105));
    EXPECT_TRUE(run.IsChecked(109));
    EXPECT_TRUE(run.IsChecked(111));

    if (c.destination == BROWSED) {
        ASSERT_TRUE(run.Press(106));
        HWND chooser = run.WaitForDialogNamed("Destination Directory");
        ASSERT_TRUE(chooser);
        std::string typed = std::string("C:\\E2E\\") + c.name;
        SendMessageA(GetDlgItem(chooser, 102), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(chooser, IDOK)));
        for (DWORD waited = 0; waited < 30000 && IsWindow(chooser); waited += 20)
            WaitServing(nullptr, 20);
        ASSERT_FALSE(IsWindow(chooser));
        EXPECT_EQ(destination, run.ControlText(105));
    } else if (c.destination != DEFAULT) {
        run.SetControlText(105, destination);
    }
    run.SetChecked(111, c.addIcons);
    ASSERT_TRUE(run.Press(c.action == INSTALL ? IDOK : IDCANCEL));
    std::vector<SeenBox> boxes = run.AnswerBoxesUntilExit(c.answers);
    EXPECT_EQ(0, run.WaitForExit());

    ExpectBoxes(c.boxes, boxes);

    if (c.installed) {
        std::vector<std::string> expected(std::begin(kMembers), std::end(kMembers));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, ListFiles(destination));
        for (const char* member : kMembers)
            EXPECT_TRUE(FilesEqual(std::string(PAYLOAD_STAGE) + "\\" + member, destination + "\\" + member)) << member;
    } else if (c.destination == EXISTING_FILE) {
        EXPECT_EQ(0u, GetFileAttributesA(destination.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    } else {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(destination.c_str()));
    }

    if (c.answerer == SHELL) {
        // The shell's own program manager made the group: read its links back.
        std::vector<Shortcut> shortcuts = ReadShortcuts(group);
        const char* const items[][2] = {{"IRC Intro", "IRCintro.hlp"}, {"Readme.txt", "readme.txt"},
                                        {"Versions.txt", "versions.txt"}, {"Vexa Help", "Vexa.hlp"},
                                        {"Vexa32", "Vexa32.exe"}};
        ASSERT_EQ(5u, shortcuts.size());
        std::sort(shortcuts.begin(), shortcuts.end(),
                  [](const Shortcut& a, const Shortcut& b) { return a.name < b.name; });
        for (size_t i = 0; i < 5; ++i) {
            SCOPED_TRACE(items[i][0]);
            EXPECT_EQ(items[i][0], shortcuts[i].name);
            EXPECT_EQ(Lower(destination + "\\" + items[i][1]), Lower(shortcuts[i].target));
            EXPECT_EQ(Lower(destination), Lower(shortcuts[i].workingDirectory));
        }
    } else {
        std::vector<ExecutedCommand> commands = server.Commands();
        ASSERT_EQ(c.commands, commands.size());
        std::vector<std::string> full = ExpectedCommands(destination, c.newShell);
        for (size_t i = 0; i < commands.size(); ++i) {
            // A refused CreateGroup is sent again from the start at each retry.
            const std::string& expected = c.refused && std::string(c.refused) == "[CreateGroup(" ? full[0] : full[i];
            EXPECT_EQ(expected + '\0', commands[i].data) << "command " << i + 1;
        }
        EXPECT_EQ(static_cast<int>(c.commands), server.Connections());
    }

    if (c.planted) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(plantedRecord.c_str()))
            << "the installer loaded the library lying beside it";
        // The record itself works: a load of the same file leaves one. Under
        // a name of its own, since this program takes Wine's builtin
        // Ctl3d32.dll before any other.
        const std::string copy = folder + "\\planted-copy.dll";
        ASSERT_TRUE(CopyFileA(planted.c_str(), copy.c_str(), FALSE));
        ASSERT_TRUE(RemoveTree(copy + ".loaded"));
        HMODULE library = LoadLibraryA(copy.c_str());
        ASSERT_TRUE(library);
        FreeLibrary(library);
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((copy + ".loaded").c_str()));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
