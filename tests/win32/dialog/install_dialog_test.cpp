// The installation dialog on real windows: its two modes, the ways to leave
// it, a whole installation with its bars, abort with both answers, the
// refusals and failures, and the guards of the slice chain.
#include <gtest/gtest.h>
#include <windows.h>
#include <direct.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "expected_boxes.h"
#include "install_dialog.h"
#include "install_session.h"
#include "installer_image.h"
#include "member_install.h"
#include "message_box_script.h"
#include "package_format.h"
#include "package_scanner.h"
#include "package_writer.h"

int32_t expectedChecksum;

namespace {

const int kDriveZ = 26;
const COLORREF kOverallBlue = RGB(0, 100, 200);
const COLORREF kFileGreen = RGB(0, 200, 100);

struct ControlState {
    int id;
    bool visible, enabled;
};

void ExpectStates(DialogDriver& d, const std::vector<ControlState>& states)
{
    for (const ControlState& s : states) {
        EXPECT_EQ(d.Visible(s.id), s.visible) << "control " << s.id << " visible";
        EXPECT_EQ(d.Enabled(s.id), s.enabled) << "control " << s.id << " enabled";
    }
}

// The status line is set to "Scanning files..." by every switch, not at start.
void ExpectOptionsMode(DialogDriver& d, bool switchedBack = true)
{
    ExpectStates(d, {{1, true, true},     {2, true, true},      {102, true, true},    {103, true, true},
                     {104, true, true},   {105, true, true},    {106, true, true},    {107, true, true},
                     {108, true, true},   {109, true, true},    {110, true, true},    {111, true, true},
                     {112, true, true},   {113, false, false},  {114, false, false},  {117, false, false},
                     {118, false, false}, {115, false, false},  {116, false, false},  {119, false, false}});
    EXPECT_EQ(d.Text(2), "Cancel");
    EXPECT_EQ(d.Text(113), switchedBack ? "Scanning files..." : "Scanning...");
    EXPECT_EQ(d.Focus(), d.Item(1));
}

void ExpectProgressMode(DialogDriver& d)
{
    ExpectStates(d, {{1, true, false},    {2, true, true},      {102, true, true},    {103, true, true},
                     {104, true, true},   {105, true, true},    {106, true, false},   {107, false, false},
                     {108, false, false}, {109, false, false},  {110, false, false},  {111, false, false},
                     {112, false, false}, {113, true, true},    {114, true, true},    {117, true, true},
                     {118, true, true},   {115, false, false},  {116, false, false},  {119, false, false}});
    EXPECT_EQ(d.Text(2), "Abort!");
    EXPECT_EQ(d.Focus(), d.Item(2));
}

// Progress mode after Install, with the first slices read: values left by
// an earlier installation do not count.
bool SlicesRunning(DialogDriver& d)
{
    return d.Text(2) == "Abort!" && session.overallFill > 0 && session.memberIndex < MEMBER_COUNT;
}

bool InOptionsMode(DialogDriver& d)
{
    return d.Text(2) == "Cancel" && d.Enabled(1);
}

// The middle of a bar's interior, where fill or background shows.
POINT BarPoint(DialogDriver& d, int id, int fromLeft)
{
    RECT bar = d.ClientRectOf(id);
    return POINT{bar.left + fromLeft, (bar.top + bar.bottom) / 2};
}

// Saves the window as a test artifact. Repainting first makes sure that the
// freshly shown dialog is complete; a busy dialog is taken as it stands.
void SaveScreenshot(HWND window, const char* name, bool repaint)
{
    const char* dir = std::getenv("DIALOG_SCREENSHOT_DIR");
    if (!dir)
        return;
    CreateDirectoryA(dir, nullptr);
    if (repaint)
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_TRUE(SaveWindowBitmap(window, std::string(dir) + "\\" + name + ".bmp"));
}

std::string StatusText(HWND status)
{
    // Read without a message: the dialog's thread may be busy in a slice.
    WCHAR text[128] = L"";
    InternalGetWindowText(status, text, 128);
    std::string narrow;
    for (WCHAR* c = text; *c; ++c)
        narrow += static_cast<char>(*c);
    return narrow;
}

std::string Describe(const MessageBoxScript& boxes)
{
    std::string all;
    for (const RecordedBox& box : boxes.Boxes())
        all += "[" + box.caption + ": " + box.text + "] ";
    return all;
}

// Counts the boxes as they open, for a script that waits for one.
struct BoxWatch {
    volatile LONG shown = 0;
    HWND last = nullptr;
    void Attach(MessageBoxScript& boxes)
    {
        boxes.OnShow([this](HWND box, const RecordedBox&) {
            last = box;
            InterlockedIncrement(&shown);
        });
    }
    bool WaitClosed(LONG count)
    {
        return DialogDriver::WaitFor([&] { return shown >= count && last && !IsWindow(last); });
    }
};

}  // namespace

TEST(InstallDialogOptions, InitialisesTextsStatesAndDefaultDestinationOnFixedDrive)
{
    _chdrive(kDriveZ);
    MessageBoxScript boxes;
    INT_PTR result = RunInstallDialog(GetModuleHandleA(nullptr), [](DialogDriver& d) {
        EXPECT_EQ(d.Caption(), "Vexa v5.6 32bit Installation");
        EXPECT_EQ(d.Text(102), "Welcome to the Vexa Installation program!");
        EXPECT_EQ(d.Text(103), "This program will install Vexa v5.6 32bit edition to the following directory.");
        EXPECT_EQ(d.Text(105), "z:\\vexa");
        EXPECT_EQ(d.Text(117), "Please refer to the Vexa help file for the license terms and use restrictions.");
        std::string notice = d.Text(118);
        EXPECT_EQ(notice.rfind("Vexa Installation program\n", 0), 0u) << notice;
        EXPECT_EQ(std::count(notice.begin(), notice.end(), '\n'), 2) << notice;
        EXPECT_TRUE(d.Checked(109));
        EXPECT_TRUE(d.Checked(111));
        ExpectOptionsMode(d, false);

        RECT desktop, own;
        GetWindowRect(GetDesktopWindow(), &desktop);
        GetWindowRect(d.Dialog(), &own);
        POINT centred = CenteredPosition(desktop, own);
        EXPECT_EQ(own.left, centred.x);
        EXPECT_EQ(own.top, centred.y);

        // Icon 2 stands at the place of control 119: a green arrow in its top half.
        RECT place = d.ClientRectOf(119);
        EXPECT_EQ(d.Pixel(place.left + 14, place.top + 5), RGB(0, 255, 0));

        SaveScreenshot(d.Dialog(), "dialog-options", true);
        d.Press(IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(_getdrive(), kDriveZ) << "the current drive stays on a fixed drive";
}

TEST(InstallDialogOptions, CancelEscapeAndCloseEndWithZeroWithoutQuestion)
{
    struct Case {
        const char* name;
        void (*act)(DialogDriver&);
    } cases[] = {
        {"Cancel button", [](DialogDriver& d) { d.Press(IDCANCEL); }},
        {"Escape", [](DialogDriver& d) { PostMessageA(d.Item(1), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
        {"close box", [](DialogDriver& d) { PostMessageA(d.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4", [](DialogDriver& d) { PostMessageA(d.Dialog(), WM_SYSKEYDOWN, VK_F4, 0x203E0001); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageBoxScript boxes;
        bool closed = false;
        INT_PTR result = RunInstallDialog(GetModuleHandleA(nullptr), [&](DialogDriver& d) {
            HWND dialog = d.Dialog();
            c.act(d);
            closed = DialogDriver::WaitFor([&] { return !IsWindow(dialog); }, 5000);
        });
        EXPECT_TRUE(closed);
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(boxes.Boxes().empty());
    }
}

TEST(SliceChain, ContinueAndTimerInOptionsModeRunNoSlice)
{
    MessageBoxScript boxes;
    INT_PTR result = RunInstallDialog(GetModuleHandleA(nullptr), [](DialogDriver& d) {
        SendMessageA(d.Dialog(), WM_CONTINUE_INSTALL, 0, 0);
        SendMessageA(d.Dialog(), WM_TIMER, IDT_INSTALL, 0);
        SendMessageA(d.Dialog(), WM_NULL, 0, 0);  // the continue message posted by the tick
        ExpectOptionsMode(d, false);
        d.Press(IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(boxes.Boxes().empty());
}

// Installations from an image holding the sample package.
class InstallRun : public testing::Test {
protected:
    static const SampleFiles& Files()
    {
        static SampleFiles files = MakeSampleFiles(150000);
        return files;
    }
    static const std::vector<uint8_t>& Package()
    {
        static std::vector<uint8_t> package = PackageOf(Files());
        return package;
    }

    void SetUp() override
    {
        const std::vector<uint8_t>& package = Package();
        expectedChecksum = static_cast<int32_t>(PackageChecksum(package.data(), package.size()));
        imagePath_ = TempDirectory() + UniqueName("image") + ".dll";
        dest_ = TempDirectory() + UniqueName("dest");
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
        DeleteFileA(imagePath_.c_str());
        // A completed installation keeps its directory held until the run
        // sequence has reported it, which these tests do not run.
        ReleaseDestination();
        RemoveTree(dest_);
    }

    HMODULE Image(const std::vector<uint8_t>& tail)
    {
        module_ = LoadInstallerImage(imagePath_, tail);
        return module_;
    }
    HMODULE Image() { return Image(Package()); }

    std::string Member(int index) const { return dest_ + "\\" + MemberTable[index]; }
    void ExpectInstalled(const std::vector<int>& except = {}) const
    {
        for (int i = 0; i < MEMBER_COUNT; i++) {
            if (std::find(except.begin(), except.end(), i) != except.end())
                continue;
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(ReadFileBytes(Member(i), bytes)) << MemberTable[i];
            EXPECT_TRUE(bytes == Files().files[i]) << MemberTable[i] << " differs";
        }
    }

    std::string imagePath_, dest_;
    HMODULE module_ = nullptr;
};

class InstallDialogInstall : public InstallRun {};
class InstallDialogAbort : public InstallRun {};
class SliceChainRun : public InstallRun {};

TEST_F(InstallDialogInstall, RunsToCompletionWithMovingBars)
{
    dest_ = TempDirectory() + UniqueName("vexa test ");  // a space: the warning, answered Yes
    HMODULE image = Image();
    MessageBoxScript boxes;
    boxes.Answer(IDYES);
    std::set<int32_t> fills;
    std::set<std::string> statuses;
    bool fileBarMoved = false, overallBarBlue = false;
    INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
        d.SetText(105, dest_);
        SendMessageA(d.Item(111), BM_SETCHECK, BST_UNCHECKED, 0);
        d.Press(IDOK);
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return d.Text(2) == "Abort!"; }));
        ExpectProgressMode(d);

        HWND dialog = d.Dialog(), status = d.Item(113);
        POINT filePoint = BarPoint(d, 116, 2), overallPoint = BarPoint(d, 115, 2);
        bool screenshot = false;
        while (IsWindow(dialog)) {
            fills.insert(session.overallFill);
            statuses.insert(StatusText(status));
            if (d.Pixel(filePoint.x, filePoint.y) == kFileGreen) {
                fileBarMoved = true;
                // Both bars under way: the picture for the record.
                if (!screenshot) {
                    SaveScreenshot(dialog, "dialog-progress", false);
                    screenshot = true;
                }
            }
            if (d.Pixel(overallPoint.x, overallPoint.y) == kOverallBlue)
                overallBarBlue = true;
            Sleep(2);
        }
    });
    EXPECT_EQ(result, 1) << Describe(boxes);
    ASSERT_EQ(boxes.Boxes().size(), 1u) << Describe(boxes);
    EXPECT_EQ(boxes.Boxes()[0].caption, kSpaceWarning.caption);
    EXPECT_EQ(boxes.Boxes()[0].text.rfind("You have chosen to install to a directory path which has spaces", 0), 0u);
    EXPECT_EQ(boxes.Boxes()[0].buttons, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(boxes.Boxes()[0].icon, static_cast<UINT>(MB_ICONQUESTION));
    ExpectInstalled();
    EXPECT_EQ(session.makeBackups, 1);
    EXPECT_EQ(session.addIcons, 0);
    EXPECT_GE(fills.size(), 5u) << "the overall bar moved in steps";
    EXPECT_TRUE(overallBarBlue);
    EXPECT_TRUE(fileBarMoved) << "the per-file bar showed progress";
    EXPECT_TRUE(statuses.count("Extracting file: vexa32.exe"));
}

TEST_F(InstallDialogAbort, NoResumesTheScanToCompletion)
{
    HMODULE image = Image();
    MessageBoxScript boxes;
    // While the question is open the dialog is uncovered and repaints: the
    // overall bar comes back at its last fill, the icon at its place.
    COLORREF barAfterRepaint = 0, iconAfterRepaint = 0;
    boxes.OnShow([&](HWND, const RecordedBox&) {
        HWND dialog = session.dialogWindow;
        DialogDriver d(GetCurrentThreadId());
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        POINT bar = BarPoint(d, 115, 2);
        RECT icon = d.ClientRectOf(119);
        barAfterRepaint = d.Pixel(bar.x, bar.y);
        iconAfterRepaint = d.Pixel(icon.left + 14, icon.top + 5);
    });
    boxes.Answer(IDNO);
    INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
        d.SetText(105, dest_);
        d.Press(IDOK);
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return SlicesRunning(d); }));
        d.Press(IDCANCEL);
    });
    EXPECT_EQ(result, 1) << Describe(boxes);
    ASSERT_EQ(boxes.Boxes().size(), 1u) << Describe(boxes);
    EXPECT_EQ(boxes.Boxes()[0].caption, kAbortQuestion.caption);
    EXPECT_EQ(boxes.Boxes()[0].text, kAbortQuestion.text);
    EXPECT_EQ(boxes.Boxes()[0].icon, static_cast<UINT>(MB_ICONQUESTION));
    EXPECT_EQ(barAfterRepaint, kOverallBlue);
    EXPECT_EQ(iconAfterRepaint, RGB(0, 255, 0));
    ExpectInstalled();
}

TEST_F(InstallDialogAbort, YesRollsBackToOptionsModeAndInstallRunsAgain)
{
    HMODULE image = Image();
    MessageBoxScript boxes;
    BoxWatch watch;
    watch.Attach(boxes);
    boxes.Answer(IDYES);
    INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
        d.SetText(105, dest_);
        SendMessageA(d.Item(109), BM_SETCHECK, BST_UNCHECKED, 0);
        d.Press(IDOK);
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return SlicesRunning(d) && session.memberIndex >= 1; }));
        ASSERT_TRUE(FileExists(Member(0)));
        d.Press(IDCANCEL);
        ASSERT_TRUE(watch.WaitClosed(1));
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return InOptionsMode(d); }));
        ExpectOptionsMode(d);
        EXPECT_FALSE(d.Checked(109));
        EXPECT_TRUE(d.Checked(111));
        EXPECT_EQ(d.Text(105), dest_);
        EXPECT_FALSE(FileExists(dest_)) << "the directory this installation created is removed";
        COLORREF face = GetSysColor(COLOR_BTNFACE);
        for (int bar : {115, 116}) {
            POINT p = BarPoint(d, bar, 3);
            EXPECT_EQ(d.Pixel(p.x, p.y), face) << "bar " << bar << " erased";
        }

        d.Press(IDOK);
    });
    EXPECT_EQ(result, 1) << Describe(boxes);
    ASSERT_EQ(boxes.Boxes().size(), 1u) << Describe(boxes);
    EXPECT_EQ(boxes.Boxes()[0].text, kAbortQuestion.text);
    EXPECT_EQ(session.makeBackups, 0);
    ExpectInstalled();
}

TEST_F(InstallDialogInstall, RefusalsLeaveTheDialogInOptionsMode)
{
    struct Case {
        const char* name;
        std::string destination;
        int answer;
        const char* caption;
        bool switchedToProgress;
    } cases[] = {
        {"space in the path, answered No", dest_ + "\\with space", IDNO, kSpaceWarning.caption, false},
        {"parent directory missing", dest_ + "\\missing\\vexa", IDOK, kCreateDirError.caption, true},
    };
    HMODULE image = Image();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageBoxScript boxes;
        BoxWatch watch;
        watch.Attach(boxes);
        boxes.Answer(c.answer);
        INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
            d.SetText(105, c.destination);
            d.Press(IDOK);
            ASSERT_TRUE(watch.WaitClosed(1));
            ASSERT_TRUE(DialogDriver::WaitFor([&] { return InOptionsMode(d); }));
            ExpectOptionsMode(d, c.switchedToProgress);
            EXPECT_FALSE(FileExists(c.destination));
            EXPECT_FALSE(FileExists(dest_));
            d.Press(IDCANCEL);
        });
        EXPECT_EQ(result, 0);
        ASSERT_EQ(boxes.Boxes().size(), 1u) << Describe(boxes);
        EXPECT_EQ(boxes.Boxes()[0].caption, c.caption);
    }
}

TEST_F(InstallDialogInstall, FailedBackupReturnsToOptionsMode)
{
    // A file named "backup" where the backup directory would go.
    CreateDirectoryA(dest_.c_str(), nullptr);
    std::vector<uint8_t> old = {'o', 'l', 'd'};
    ASSERT_TRUE(WriteFileBytes(Member(0), old));
    ASSERT_TRUE(WriteFileBytes(dest_ + "\\backup", old));
    HMODULE image = Image();
    MessageBoxScript boxes;
    BoxWatch watch;
    watch.Attach(boxes);
    INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
        d.SetText(105, dest_);
        d.Press(IDOK);
        ASSERT_TRUE(watch.WaitClosed(1));
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return InOptionsMode(d); }));
        ExpectOptionsMode(d);
        d.Press(IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u) << Describe(boxes);
    EXPECT_EQ(boxes.Boxes()[0].caption.rfind("Vexa Installation Error [", 0), 0u);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadFileBytes(Member(0), bytes));
    EXPECT_TRUE(bytes == old) << "the existing file stays";
    EXPECT_FALSE(FileExists(Member(1)));
}

TEST_F(InstallDialogInstall, BadPackagesEndWithZeroAfterRollBack)
{
    struct Case {
        const char* name;
        bool withPackage;
        int32_t checksumDelta;
        const char* caption;
        const char* text;
    } cases[] = {
        {"checksum differs", true, 1, kCorruptError.caption, kCorruptError.text},
        {"no member in the image", false, 0, kEmptyPackageError.caption, kEmptyPackageError.text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        imagePath_ = TempDirectory() + UniqueName("image") + ".dll";
        HMODULE image = Image(c.withPackage ? Package() : std::vector<uint8_t>());
        expectedChecksum = c.withPackage ? static_cast<int32_t>(PackageChecksum(Package().data(), Package().size())) +
                                               c.checksumDelta
                                         : 0;
        MessageBoxScript boxes;
        HWND shown = nullptr;
        INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
            shown = d.Dialog();
            d.SetText(105, dest_);
            d.Press(IDOK);
        });
        EXPECT_EQ(result, 0);
        ASSERT_EQ(boxes.Boxes().size(), 1u) << Describe(boxes);
        EXPECT_EQ(boxes.Boxes()[0].caption, c.caption);
        EXPECT_EQ(boxes.Boxes()[0].text, c.text);
        // The engine's errors are the dialog's boxes.
        EXPECT_EQ(boxes.Boxes()[0].buttons, static_cast<UINT>(MB_OK));
        EXPECT_EQ(boxes.Boxes()[0].icon, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(boxes.Boxes()[0].owner, shown);
        EXPECT_FALSE(FileExists(dest_)) << "rolled back";
        FreeLibrary(module_);
        module_ = nullptr;
        DeleteFileA(imagePath_.c_str());
    }
}

TEST_F(SliceChainRun, StaleTimerAfterConfirmedAbortRunsNoSlice)
{
    HMODULE image = Image();
    MessageBoxScript boxes;
    BoxWatch watch;
    watch.Attach(boxes);
    // The question is answered before a timer that falls due meanwhile.
    boxes.OnShow([&](HWND box, const RecordedBox&) {
        SetTimer(session.dialogWindow, IDT_INSTALL, 0, nullptr);
        watch.last = box;
        InterlockedIncrement(&watch.shown);
    });
    boxes.Answer(IDYES);
    INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
        d.SetText(105, dest_);
        d.Press(IDOK);
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return SlicesRunning(d); }));
        d.Press(IDCANCEL);
        ASSERT_TRUE(watch.WaitClosed(1));
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return InOptionsMode(d); }));
        Sleep(100);
        SendMessageA(d.Dialog(), WM_NULL, 0, 0);
        ExpectOptionsMode(d);
        EXPECT_EQ(session.packageStream, nullptr);
        EXPECT_FALSE(FileExists(dest_));
        d.Press(IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(boxes.Boxes().size(), 1u) << Describe(boxes);
}

TEST_F(SliceChainRun, NoSliceStartsWhileAnotherShowsABox)
{
    // An existing settings file makes a slice ask its question; meanwhile a
    // continue message and a timer tick reach the dialog.
    CreateDirectoryA(dest_.c_str(), nullptr);
    std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
    ASSERT_TRUE(WriteFileBytes(Member(6), mine));
    HMODULE image = Image();
    MessageBoxScript boxes;
    boxes.OnShow([](HWND, const RecordedBox&) {
        SendMessageA(session.dialogWindow, WM_CONTINUE_INSTALL, 0, 0);
        SetTimer(session.dialogWindow, IDT_INSTALL, 0, nullptr);
    });
    boxes.Answer(IDYES);  // keep the settings
    HWND shown = nullptr;
    INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
        shown = d.Dialog();
        d.SetText(105, dest_);
        d.Press(IDOK);
    });
    EXPECT_EQ(result, 1) << Describe(boxes);
    ASSERT_EQ(boxes.Boxes().size(), 1u) << Describe(boxes);
    EXPECT_EQ(boxes.Boxes()[0].caption, kKeepSettings.caption);
    // The engine's questions are the dialog's boxes.
    EXPECT_EQ(boxes.Boxes()[0].text, kKeepSettings.text);
    EXPECT_EQ(boxes.Boxes()[0].buttons, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(boxes.Boxes()[0].icon, static_cast<UINT>(MB_ICONQUESTION));
    EXPECT_EQ(boxes.Boxes()[0].owner, shown);
    ExpectInstalled({6});
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadFileBytes(Member(6), bytes));
    EXPECT_TRUE(bytes == mine);
}

TEST_F(SliceChainRun, CancelArrivingInsideAHandlerWaitsForIt)
{
    // A Cancel queued while the Install sequence or a slice shows a box of
    // its own is taken up after it: the abort question follows, and Yes
    // leaves nothing of the installation behind.
    struct Case {
        const char* name;
        bool existingSettings;
        const char* destinationSuffix;
    } cases[] = {
        {"during the settings question of a slice", true, ""},
        {"during the space warning at Install", false, "\\with space"},
    };
    std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
    HMODULE image = Image();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(dest_);
        CreateDirectoryA(dest_.c_str(), nullptr);
        if (c.existingSettings) {
            ASSERT_TRUE(WriteFileBytes(Member(6), mine));
        }
        std::string destination = dest_ + c.destinationSuffix;
        MessageBoxScript boxes;
        BoxWatch watch;
        boxes.OnShow([&](HWND box, const RecordedBox& shown) {
            if (shown.text != kAbortQuestion.text)
                PostMessageA(session.dialogWindow, WM_COMMAND, IDCANCEL, 0);
            watch.last = box;
            InterlockedIncrement(&watch.shown);
        });
        boxes.Answer(IDYES);  // keep the settings, or install despite the space
        boxes.Answer(IDYES);  // abort
        INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
            d.SetText(105, destination);
            d.Press(IDOK);
            ASSERT_TRUE(watch.WaitClosed(2));
            ASSERT_TRUE(DialogDriver::WaitFor([&] { return InOptionsMode(d); }));
            ExpectOptionsMode(d);
            d.Press(IDCANCEL);
        });
        EXPECT_EQ(result, 0);
        ASSERT_EQ(boxes.Boxes().size(), 2u) << Describe(boxes);
        EXPECT_NE(boxes.Boxes()[0].text, kAbortQuestion.text);
        EXPECT_EQ(boxes.Boxes()[1].text, kAbortQuestion.text);
        EXPECT_FALSE(FileExists(dest_ + "\\with space"));
        for (int i = 0; i < MEMBER_COUNT; i++) {
            if (i != 6 || !c.existingSettings) {
                EXPECT_FALSE(FileExists(Member(i))) << MemberTable[i];
            }
        }
        if (c.existingSettings) {
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(ReadFileBytes(Member(6), bytes));
            EXPECT_TRUE(bytes == mine) << "the user's settings file stays";
        }
    }
}

TEST(DefaultDestination, NonFixedDriveUsesTheWindowsDrive)
{
    const char* drive = std::getenv("DIALOG_CDROM_DRIVE");
    if (!drive) {
        GTEST_SKIP() << "needs the CD-ROM drive of its CTest fixture";
    }
    std::string root = std::string(drive) + "\\";
    ASSERT_EQ(GetDriveTypeA(root.c_str()), static_cast<UINT>(DRIVE_CDROM));
    HMODULE image = LoadLibraryA((root + "dialog_package_host.dll").c_str());
    ASSERT_NE(image, nullptr);
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string expected = {static_cast<char>(tolower(windows[0])), ':', '\\', 'v', 'e', 'x', 'a'};

    _chdrive(kDriveZ);
    MessageBoxScript boxes;
    std::string shown;
    INT_PTR result = RunInstallDialog(image, [&](DialogDriver& d) {
        shown = d.Text(105);
        d.Press(IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(_getdrive(), tolower(windows[0]) - 'a' + 1) << "the Windows drive became the current drive";
    FreeLibrary(image);
}
