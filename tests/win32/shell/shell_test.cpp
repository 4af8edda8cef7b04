#include <gtest/gtest.h>

#include <windows.h>
#include <ddeml.h>

#include <cstring>
#include <string>
#include <vector>

#include "expected_boxes.h"
#include "install_dialog.h"
#include "install_session.h"
#include "installer_names.h"
#include "installer_shell.h"
#include "message_box_script.h"
#include "package_scanner.h"
#include "program_group.h"
#include "progman_server.h"

// The main window links the whole installer; no package is read here.
int32_t expectedChecksum = 0;

namespace {

TEST(NewShellFromVersion, MajorFourOrMinorFromNinetyFiveUp)
{
    struct {
        BYTE major, minor;
        WORD high;   // build number and platform bits: never looked at
        int newShell;
    } cases[] = {
        {4, 0, 0, 1},  {4, 10, 0, 1},   {4, 90, 0x8000, 1}, {3, 95, 0, 1},  {5, 95, 0, 1},
        {3, 10, 0, 0}, {3, 51, 0, 0},   {5, 0, 0, 0},       {5, 1, 0x0A28, 0}, {6, 1, 0x1DB1, 0},
        {6, 94, 0, 0}, {255, 255, 0, 1},
    };
    for (const auto& c : cases) {
        DWORD version = MAKELONG(MAKEWORD(c.major, c.minor), c.high);
        EXPECT_EQ(c.newShell, NewShellFromVersion(version)) << int(c.major) << "." << int(c.minor);
    }
}

// Runs this thread's messages until the quit message; its exit code.
int RunUntilQuit()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        session.appInstance = GetModuleHandleA(nullptr);
        ASSERT_EQ(1, CreateMainWindow(session.appInstance, SW_SHOWNORMAL));
    }
    void TearDown() override
    {
        if (IsWindow(session.mainWindow))
            DestroyWindow(session.mainWindow);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        UnregisterClassA(kInstallerCaption, session.appInstance);
    }
};

// The system-modal box is activated while it is still being set up, before
// its text is in place, so a thread of its own reads it once it is shown.
struct SystemBoxWatch {
    std::string text;
    bool okOnly = false;
    bool errorIcon = false;
    HWND owner = nullptr;
    bool seen = false;

    static DWORD WINAPI Run(LPVOID param)
    {
        SystemBoxWatch* watch = static_cast<SystemBoxWatch*>(param);
        for (int i = 0; i < 1000; ++i) {
            HWND box = FindWindowA("#32770", "System Error");
            if (box && IsWindowVisible(box)) {
                char text[256] = "";
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                watch->text = text;
                watch->okOnly = GetDlgItem(box, IDOK) && !GetDlgItem(box, IDCANCEL) && !GetDlgItem(box, IDYES);
                HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x0440, STM_GETICON, 0, 0));
                watch->errorIcon = icon && icon == LoadIconA(nullptr, IDI_HAND);
                watch->owner = GetWindow(box, GW_OWNER);
                watch->seen = true;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return 0;
            }
            Sleep(10);
        }
        return 0;
    }
};

TEST_F(MainWindowTest, ADialogThatCannotBeCreatedIsReportedThenTheWindowCloses)
{
    // This test program carries no dialog template, so the dialog fails.
    SystemBoxWatch watch;
    HANDLE watcher = CreateThread(nullptr, 0, SystemBoxWatch::Run, &watch, 0, nullptr);
    PostMessageA(session.mainWindow, WM_START_INSTALL, 0, 0);

    EXPECT_EQ(0, RunUntilQuit());
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);

    ASSERT_TRUE(watch.seen);
    EXPECT_EQ("Unable to display dialog", watch.text);
    EXPECT_TRUE(watch.okOnly);
    EXPECT_TRUE(watch.errorIcon);
    EXPECT_EQ(nullptr, watch.owner);
    EXPECT_FALSE(IsWindow(session.mainWindow));
}

TEST_F(MainWindowTest, AnyTimerClosesTheWindow)
{
    PostMessageA(session.mainWindow, WM_TIMER, 7, 0);
    EXPECT_EQ(0, RunUntilQuit());
    EXPECT_FALSE(IsWindow(session.mainWindow));
}

struct FinishCase {
    const char* name;
    int addIcons;
    bool withDde;
    bool refuseGroup;
    std::vector<int> answers;
    std::vector<ExpectedBox> boxes;
    size_t commands;
};

class FinishInstallationTest : public WithProgmanServer<MainWindowTest> {};

TEST_F(FinishInstallationTest, ProgramGroupStepWithRetriesThenTheSuccessMessage)
{
    ASSERT_TRUE(serverReached) << "the test's PROGMAN server is not the one that answers";
    const FinishCase cases[] = {
        {"icons off: no DDE traffic", 0, true, false, {}, {kSuccess}, 0},
        {"group created", 1, true, false, {}, {kSuccess}, 12},
        {"refused three retries, then No", 1, true, true, {IDYES, IDYES, IDYES, IDNO},
         {kIconsError, kIconsError, kIconsError, kIconsError, kSuccess}, 4},
        {"no DDE instance, No at once", 1, false, false, {IDNO}, {kIconsError, kSuccess}, 0},
    };
    std::strcpy(session.destinationDir, "c:\\vexa");
    session.newShell = 0;
    for (const FinishCase& c : cases) {
        SCOPED_TRACE(c.name);
        server->Clear();
        server->Refuse([&c](const std::string& text) { return c.refuseGroup && text.rfind("[CreateGroup(", 0) == 0; });
        session.addIcons = c.addIcons;
        session.ddeInstance = 0;
        if (c.withDde) {
            ASSERT_EQ(DMLERR_NO_ERROR, DdeInitializeA(&session.ddeInstance, DdeCallback, 0, 0));
        }
        MessageBoxScript script;
        for (int answer : c.answers)
            script.Answer(answer);

        FinishInstallation();

        if (session.ddeInstance)
            DdeUninitialize(session.ddeInstance);
        session.ddeInstance = 0;
        const std::vector<RecordedBox>& seen = script.Boxes();
        ExpectBoxes(c.boxes, seen);
        for (const RecordedBox& box : seen)
            EXPECT_EQ(session.mainWindow, box.owner);
        EXPECT_EQ(c.commands, server->Commands().size());
        EXPECT_EQ(static_cast<int>(c.commands), server->Connections());
    }
}

TEST(Ctl3d, TheLibraryStaysRegisteredUntilReleased)
{
    session.appInstance = GetModuleHandleA(nullptr);
    session.ctl3dLibrary = nullptr;

    LoadCtl3d();
    ASSERT_NE(nullptr, session.ctl3dLibrary);
    EXPECT_EQ(session.ctl3dLibrary, GetModuleHandleA("ctl3d32.dll"));
    // The system's own copy.
    char loaded[MAX_PATH] = "";
    char expected[MAX_PATH] = "";
    GetModuleFileNameA(session.ctl3dLibrary, loaded, sizeof loaded);
    ASSERT_TRUE(SystemLibraryPath("ctl3d32.dll", expected, sizeof expected));
    EXPECT_EQ(0, lstrcmpiA(expected, loaded)) << loaded;

    ReleaseCtl3d();
    EXPECT_EQ(nullptr, session.ctl3dLibrary);
    EXPECT_EQ(nullptr, GetModuleHandleA("ctl3d32.dll"));
}

}  // namespace
