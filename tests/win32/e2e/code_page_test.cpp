// The finished setup32.exe under the double-byte ANSI code pages of
// Japanese, Chinese and Korean Windows (Wine started in a locale of that
// language), with directory names whose characters have trail bytes that
// look like ASCII letters or a backslash: what the chooser proposes while
// the user browses and what it hands back, an installation, a
// reinstallation with backups and an abort.
// One case a code page; the locale comes from the test's environment.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "expected_boxes.h"
#include "installer_driver.h"

namespace {

const char* const kMembers[] = {"vexa32.exe", "vlink32.exe", "vexa.hlp",    "ircintro.hlp", "readme.txt", "versions.txt",
                                "vexa.ini",   "aliases.ini", "popups.ini",  "servers.ini",  "urls.ini"};

struct CodePage {
    UINT codePage;
    const char* locale;   // the Unix locale that gives Wine this code page (CMake reads it here)
    // A directory name with trail bytes 0x41 to 0x5A, and one that ends in a
    // character with trail byte 0x5C (949 has none: its second name has a
    // letter-like trail byte as well).
    const char* letterTrail;
    const char* backslashTrail;
};

// 932: ア 83 41, プ 83 76, リ 83 8A, 表 95 5C. 936: 誂 D5 41, 乗 81 5C.
// 949: 갂 81 41, 늎 88 5A. 950: 乙 A4 41, 許 B3 5C.
const CodePage kCodePages[] = {
    {932, "ja_JP", "\x83\x41\x83\x76\x83\x8A\x95\x5C", "\x95\x5C"},
    {936, "zh_CN", "\xD5\x41\x81\x5C", "\x81\x5C"},
    {949, "ko_KR", "\x81\x41\x88\x5A", "\x88\x5A"},
    {950, "zh_TW", "\xA4\x41\xB3\x5C", "\xB3\x5C"},
};

// Opens the chooser from the dialog; null when it does not come.
HWND OpenChooser(InstallerRun& run)
{
    if (!run.Press(106))
        return nullptr;
    return run.WaitForDialogNamed("Destination Directory");
}

bool CloseChooser(HWND chooser, int button)
{
    PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(chooser, button)));
    for (DWORD waited = 0; waited < 30000 && IsWindow(chooser); waited += 20)
        WaitServing(nullptr, 20);
    return !IsWindow(chooser);
}

std::string ChooserText(HWND chooser)
{
    char text[MAX_PATH * 2] = "";
    SendMessageA(GetDlgItem(chooser, 102), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// Waits for the chooser's field to show text; what it shows at the end.
std::string WaitForChooserText(HWND chooser, const std::string& text)
{
    for (DWORD waited = 0; waited < 10000 && ChooserText(chooser) != text; waited += 20)
        WaitServing(nullptr, 20);
    return ChooserText(chooser);
}

// Enters a subdirectory of the one the chooser shows, as a double click on
// its entry in the directory list does. False when the entry is not there.
bool EnterDirectory(HWND chooser, const std::string& name)
{
    HWND list = GetDlgItem(chooser, 1121);
    const std::string entry = "[" + name + "]";
    LRESULT index = LB_ERR;
    for (DWORD waited = 0; waited < 10000; waited += 20) {
        index = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry.c_str()));
        if (index != LB_ERR)
            break;
        WaitServing(nullptr, 20);
    }
    if (index == LB_ERR)
        return false;
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(1121, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    return true;
}

void ExpectInstalled(const std::string& destination)
{
    std::vector<std::string> expected(std::begin(kMembers), std::end(kMembers));
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> found = ListFiles(destination);
    found.erase(std::remove(found.begin(), found.end(), "backup"), found.end());
    EXPECT_EQ(expected, found) << destination;
    for (const char* member : kMembers)
        EXPECT_TRUE(FilesEqual(std::string(PAYLOAD_STAGE) + "\\" + member, destination + "\\" + member)) << member;
}

using Texts = std::vector<std::string>;

// The captions of message boxes, in order.
Texts Captions(const std::vector<SeenBox>& boxes)
{
    Texts captions;
    for (const SeenBox& box : boxes)
        captions.push_back(box.caption);
    return captions;
}

class CodePageCase : public ::testing::TestWithParam<CodePage> {};

TEST_P(CodePageCase, PathsKeepTheirDoubleByteCharacters)
{
    const CodePage& c = GetParam();
    // Without the locale Wine would run in a single-byte page and every
    // check below would pass for the wrong reason.
    ASSERT_EQ(c.codePage, GetACP()) << "the locale " << c.locale << ".UTF-8 of code page " << c.codePage << " is not in force";

    const std::string number = std::to_string(c.codePage);
    const std::string work = "c:\\cp" + number;
    const std::string letters = work + "\\" + c.letterTrail;
    const std::string chosen = letters + "\\Chat";   // as the user types it
    const std::string shown = letters + "\\chat";    // the same bytes but for the one capital
    const std::string proposedFrom = work + "\\" + c.backslashTrail;
    ASSERT_TRUE(RemoveTree(work));
    ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(letters.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(proposedFrom.c_str(), nullptr));
    const std::string installer = work + "\\setup32.exe";
    ASSERT_TRUE(CopyFileA(SETUP32_EXE, installer.c_str(), FALSE));
    ASSERT_TRUE(ActAsWindows("setup32.exe", nullptr));

    {
        InstallerRun run;
        ASSERT_TRUE(run.Start(installer, ""));
        ASSERT_TRUE(run.WaitForDialog());

        // Browsing from the root of the drive (where the first Browse opens)
        // down the directory list: each directory entered is proposed with
        // "vexa" after exactly one backslash and only its ASCII letters
        // lower-cased. The second name ends in a trail byte 0x5C but in 949.
        HWND chooser = OpenChooser(run);
        ASSERT_TRUE(chooser);
        EXPECT_EQ("c:\\vexa", WaitForChooserText(chooser, "c:\\vexa"));
        const struct {
            std::string entry, proposal;
        } steps[] = {
            {"cp" + number, work + "\\vexa"},
            {c.letterTrail, letters + "\\vexa"},
            {"Chat", shown + "\\vexa"},
        };
        for (const auto& step : steps) {
            ASSERT_TRUE(EnterDirectory(chooser, step.entry)) << step.entry;
            EXPECT_EQ(step.proposal, WaitForChooserText(chooser, step.proposal));
        }
        ASSERT_TRUE(CloseChooser(chooser, IDCANCEL));

        // Browse from a destination typed in that ends in a trail byte 0x5C.
        run.SetControlText(105, proposedFrom);
        chooser = OpenChooser(run);
        ASSERT_TRUE(chooser);
        EXPECT_EQ(proposedFrom + "\\vexa", WaitForChooserText(chooser, proposedFrom + "\\vexa"));

        // OK on the chosen path: exactly that path, only its ASCII letters
        // lower-cased (a trail byte 0x41 lower-cased would be another
        // character, and another directory).
        SendMessageA(GetDlgItem(chooser, 102), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(chosen.c_str()));
        ASSERT_TRUE(CloseChooser(chooser, IDOK));
        EXPECT_EQ(shown, run.ControlText(105));

        // Installed into the directory the dialog shows.
        run.SetChecked(111, false);
        ASSERT_TRUE(run.Press(IDOK));
        EXPECT_EQ((Texts{kSuccess.caption}), Captions(run.AnswerBoxesUntilExit({})));
        EXPECT_EQ(0, run.WaitForExit());
        ExpectInstalled(chosen);
    }
    {
        // Again over it, with backups and the settings replaced: the earlier
        // files go into backup below the same directory.
        InstallerRun run;
        ASSERT_TRUE(run.Start(installer, ""));
        ASSERT_TRUE(run.WaitForDialog());
        run.SetControlText(105, shown);
        run.SetChecked(109, true);
        run.SetChecked(111, false);
        ASSERT_TRUE(run.Press(IDOK));
        EXPECT_EQ((Texts{kKeepSettings.caption, kSuccess.caption}),
                  Captions(run.AnswerBoxesUntilExit({IDNO})));
        EXPECT_EQ(0, run.WaitForExit());
        ExpectInstalled(chosen);
        std::vector<std::string> backedUp = ListFiles(chosen + "\\backup");
        EXPECT_EQ(11u, backedUp.size());
    }
    {
        // An abort into a new directory of double-byte names: the installer
        // made that directory, not one of another name, and removes it.
        const std::string fresh = work + "\\" + c.backslashTrail + "\\" + c.letterTrail;
        InstallerRun run;
        ASSERT_TRUE(run.Start(installer, ""));
        ASSERT_TRUE(run.WaitForDialog());
        run.SetControlText(105, fresh);
        run.SetChecked(111, false);
        ASSERT_TRUE(run.Press(IDOK));
        ASSERT_TRUE(run.Press(IDCANCEL));   // Abort!, queued behind the first slice
        HWND question = run.WaitForBox();
        ASSERT_TRUE(question);
        EXPECT_EQ("Are you sure you want to abort the installation?", InstallerRun::ReadBox(question).text);
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(fresh.c_str())) << "not made: " << fresh;
        run.Answer(question, IDYES);
        for (DWORD waited = 0; waited < 30000 && run.ControlText(IDCANCEL) != "Cancel"; waited += 20)
            WaitServing(nullptr, 20);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(fresh.c_str())) << "the aborted directory is still there";
        EXPECT_EQ(Texts(), ListFiles(proposedFrom)) << "left behind";
        ASSERT_TRUE(run.Press(IDCANCEL));
        EXPECT_TRUE(run.AnswerBoxesUntilExit({}).empty());
        EXPECT_EQ(0, run.WaitForExit());
    }
    RemoveTree(work);
}

INSTANTIATE_TEST_SUITE_P(CodePages, CodePageCase, ::testing::ValuesIn(kCodePages),
                         [](const ::testing::TestParamInfo<CodePage>& info) {
                             return "Cp" + std::to_string(info.param.codePage);
                         });

}  // namespace
