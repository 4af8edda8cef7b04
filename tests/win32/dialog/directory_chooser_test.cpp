// The directory chooser: the edit field's text for each directory shown,
// the centring arithmetic, and Browse on the real common dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "dialog_driver.h"
#include "install_dialog.h"
#include "install_session.h"
#include "installer_image.h"
#include "message_box_script.h"

namespace {

INT_PTR CALLBACK PlainDialog(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string ItemText(HWND window, int id)
{
    char text[1024] = "";
    SendDlgItemMessageA(window, id, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string DirectoryOf(const std::string& path)
{
    return path.substr(0, path.find_last_of('\\') + 1);
}

// Runs RefreshDirectoryEdit on template 1537 with the current directory
// shown as given; returns the edit field's text.
std::string Refresh(const std::string& currentDirectory)
{
    HWND chooser = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CHOOSER), nullptr, PlainDialog, 0);
    EXPECT_NE(chooser, nullptr);
    SendDlgItemMessageA(chooser, 1088, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(currentDirectory.c_str()));
    RefreshDirectoryEdit(chooser);
    std::string text = ItemText(chooser, IDC_CHOOSER_DIR);
    EXPECT_EQ(text, session.chooserDir) << "the result stands in the chooser's own buffer";
    DestroyWindow(chooser);
    return text;
}

}  // namespace

TEST(RefreshDirectoryEdit, AppendsVexaToTheDirectoryShown)
{
    session.appInstance = GetModuleHandleA(nullptr);
    struct Case {
        std::string shown, expected;
    } cases[] = {
        {"c:\\", "c:\\vexa"},
        {"c:\\windows", "c:\\windows\\vexa"},
        {"C:\\APPS", "c:\\apps\\vexa"},
        {"c:\\vexa", "c:\\vexa"},
        {"d:\\net\\vexa32", "d:\\net\\vexa32"},
        {"c:\\myvexa", "c:\\myvexa\\vexa"},
        // Longest that fits: 294 characters and "\vexa" make 299.
        {"c:\\" + std::string(291, 'a'), "c:\\" + std::string(291, 'a') + "\\vexa"},
        // Longer ones would not fit: refused rather than cut.
        {"c:\\" + std::string(292, 'a'), ""},
        {"c:\\vexa\\" + std::string(400, 'a'), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Refresh(c.shown), c.expected) << "shown: " << c.shown;
}

TEST(RefreshDirectoryEdit, WithoutADirectoryUsesTheInstallersOwn)
{
    // The installer's own directory, as its module file name gives it (not
    // lower-cased), for an installer in a subdirectory and at a drive root.
    std::string nested = TempDirectory() + UniqueName("SETUP");
    CreateDirectoryA(nested.c_str(), nullptr);
    std::vector<uint8_t> host = HostModuleBytes();
    for (std::string path : {nested + "\\SETUP32.DLL", std::string("C:\\SETUP32.DLL")}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(WriteFileBytes(path, host));
        HMODULE module = LoadLibraryA(path.c_str());
        ASSERT_NE(module, nullptr);
        char name[MAX_PATH];
        GetModuleFileNameA(module, name, sizeof name);
        ASSERT_EQ(Lower(name), Lower(path));
        session.appInstance = module;
        for (const char* shown : {"", "x"})
            EXPECT_EQ(Refresh(shown), DirectoryOf(name) + "vexa") << "shown: '" << shown << "'";
        FreeLibrary(module);
        DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(nested.c_str());
    session.appInstance = GetModuleHandleA(nullptr);
}

TEST(CenteredPosition, CentresWithClampsAtTheEdges)
{
    struct Case {
        const char* name;
        RECT desktop, window;
        LONG x, y;
    } cases[] = {
        {"centred", {0, 0, 640, 480}, {500, 400, 830, 780}, 155, 50},
        {"odd sizes truncate", {0, 0, 641, 481}, {0, 0, 331, 381}, 155, 50},
        {"desktop not at the origin", {100, 50, 740, 530}, {0, 0, 330, 380}, 255, 100},
        {"too high: bottom margin, then 1", {0, 0, 640, 480}, {0, 0, 330, 475}, 155, 1},
        {"bottom margin only", {0, 0, 640, 480}, {0, 0, 330, 466}, 155, 4},
        {"too wide: right margin, then 1", {0, 0, 640, 480}, {0, 0, 635, 380}, 1, 50},
        {"exactly at the right margin", {0, 0, 640, 480}, {0, 0, 620, 380}, 10, 50},
        {"one pixel past it", {0, 0, 640, 480}, {0, 0, 621, 380}, 9, 50},
    };
    for (const Case& c : cases) {
        POINT at = CenteredPosition(c.desktop, c.window);
        EXPECT_EQ(at.x, c.x) << c.name;
        EXPECT_EQ(at.y, c.y) << c.name;
    }
}

namespace {

void ExpectCentred(HWND window)
{
    RECT desktop, own;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &own);
    POINT at = CenteredPosition(desktop, own);
    EXPECT_EQ(own.left, at.x);
    EXPECT_EQ(own.top, at.y);
}

HWND WaitForChooser(DialogDriver& d)
{
    HWND chooser = nullptr;
    DialogDriver::WaitFor([&] { return (chooser = d.FindThreadWindow("Destination Directory")) != nullptr; });
    return chooser;
}

}  // namespace

// One test, since the first Browse of the process behaves differently.
TEST(Chooser, BrowseOpensAtTheDriveRootFirstThenAtTheDestination)
{
    std::string target = TempDirectory() + UniqueName("Browse") + "\\Vexa";
    CreateDirectoryA(DirectoryOf(target).c_str(), nullptr);
    CreateDirectoryA(target.c_str(), nullptr);
    MessageBoxScript boxes;
    INT_PTR result = RunInstallDialog(GetModuleHandleA(nullptr), [&](DialogDriver& d) {
        ASSERT_EQ(d.Text(105), "z:\\vexa");

        // First Browse: opens at z:\, wanders into z:\tmp, then Cancel.
        d.Press(106);
        HWND chooser = WaitForChooser(d);
        ASSERT_NE(chooser, nullptr);
        EXPECT_TRUE(DialogDriver::WaitFor([&] { return ItemText(chooser, IDC_CHOOSER_DIR) == "z:\\vexa"; }))
            << ItemText(chooser, IDC_CHOOSER_DIR);
        EXPECT_EQ(Lower(ItemText(chooser, 1088)), "z:\\");
        DWORD start = 0, end = 0;
        SendDlgItemMessageA(chooser, IDC_CHOOSER_DIR, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                            reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 7u) << "caret at the end, nothing selected";
        EXPECT_EQ(end, 7u);
        EXPECT_EQ(d.Focus(), GetDlgItem(chooser, IDC_CHOOSER_DIR));
        ExpectCentred(chooser);

        HWND list = GetDlgItem(chooser, 1121);
        LRESULT tmp = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("[tmp]"));
        ASSERT_NE(tmp, LB_ERR);
        SendMessageA(list, LB_SETCURSEL, tmp, 0);
        PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(1121, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
        EXPECT_TRUE(DialogDriver::WaitFor([&] { return ItemText(chooser, IDC_CHOOSER_DIR) == "z:\\tmp\\vexa"; }))
            << ItemText(chooser, IDC_CHOOSER_DIR);
        d.PressIn(chooser, IDCANCEL);
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return !IsWindow(chooser); }));
        EXPECT_EQ(d.Text(105), "z:\\vexa") << "Cancel leaves the destination";

        // A later Browse opens at the whole destination; OK takes the typed text.
        d.SetText(105, target);
        d.Press(106);
        chooser = WaitForChooser(d);
        ASSERT_NE(chooser, nullptr);
        EXPECT_TRUE(DialogDriver::WaitFor([&] { return ItemText(chooser, IDC_CHOOSER_DIR) == Lower(target); }))
            << ItemText(chooser, IDC_CHOOSER_DIR);
        SendDlgItemMessageA(chooser, IDC_CHOOSER_DIR, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("D:\\Chat"));
        d.PressIn(chooser, IDOK);
        ASSERT_TRUE(DialogDriver::WaitFor([&] { return !IsWindow(chooser); }));
        EXPECT_EQ(d.Text(105), "d:\\chat");
        d.Press(IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(boxes.Boxes().empty());
    RemoveDirectoryA(target.c_str());
    RemoveDirectoryA(DirectoryOf(target).c_str());
}
