// The dialog templates as linked into the program, read back from the
// binary: the resource compiler must not have added or dropped style bits
// (it makes controls visible unless told otherwise) nor used the extended
// template form.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "resource_ids.h"

namespace {

struct ControlSpec {
    int id;
    const char* className;
    DWORD style;
    short x, y, cx, cy;
    const char* text;
};

struct TemplateSpec {
    DWORD style;
    short x, y, cx, cy;
    std::string caption;
    WORD pointSize;
    std::string font;
    std::vector<ControlSpec> controls;
};

struct ParsedTemplate {
    bool extended = false;
    TemplateSpec dialog;
    std::vector<std::string> classes, texts;
};

std::string Narrow(const WORD*& p)
{
    std::string text;
    while (*p)
        text += static_cast<char>(*p++);
    ++p;
    return text;
}

// A name-or-ordinal field: empty, an ordinal (as "#n"), or a string.
std::string NameOrOrdinal(const WORD*& p)
{
    if (*p == 0) {
        ++p;
        return "";
    }
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        return "#" + std::to_string(ordinal);
    }
    return Narrow(p);
}

std::string ClassName(std::string name)
{
    static const char* const predefined[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    if (name.size() > 1 && name[0] == '#') {
        int ordinal = std::stoi(name.substr(1));
        if (ordinal >= 0x80 && ordinal <= 0x85)
            return predefined[ordinal - 0x80];
    }
    for (char& c : name)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return name;
}

ParsedTemplate Parse(LPCSTR name)
{
    ParsedTemplate parsed;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, name, MAKEINTRESOURCEA(5));  // RT_DIALOG
    EXPECT_NE(resource, nullptr);
    if (!resource)
        return parsed;
    auto* base = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    const WORD* words = reinterpret_cast<const WORD*>(base);
    parsed.extended = words[0] == 1 && words[1] == 0xFFFF;
    if (parsed.extended)
        return parsed;

    auto* header = reinterpret_cast<const DLGTEMPLATE*>(base);
    TemplateSpec& d = parsed.dialog;
    d.style = header->style;
    EXPECT_EQ(header->dwExtendedStyle, 0u);
    d.x = header->x, d.y = header->y, d.cx = header->cx, d.cy = header->cy;
    const WORD* p = reinterpret_cast<const WORD*>(header + 1);
    EXPECT_EQ(NameOrOrdinal(p), "") << "menu";
    EXPECT_EQ(NameOrOrdinal(p), "") << "class";
    d.caption = Narrow(p);
    d.pointSize = 0;
    if (header->style & DS_SETFONT) {
        d.pointSize = *p++;
        d.font = Narrow(p);
    }
    for (int i = 0; i < header->cdit; i++) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
        auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        p = reinterpret_cast<const WORD*>(item + 1);
        parsed.classes.push_back(ClassName(NameOrOrdinal(p)));
        parsed.texts.push_back(NameOrOrdinal(p));
        WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        d.controls.push_back({item->id, "", item->style, item->x, item->y, item->cx, item->cy, ""});
    }
    return parsed;
}

void ExpectTemplate(LPCSTR name, const TemplateSpec& expected)
{
    ParsedTemplate parsed = Parse(name);
    ASSERT_FALSE(parsed.extended) << "an extended template";
    const TemplateSpec& got = parsed.dialog;
    EXPECT_EQ(got.style, expected.style);
    EXPECT_EQ(got.x, expected.x);
    EXPECT_EQ(got.y, expected.y);
    EXPECT_EQ(got.cx, expected.cx);
    EXPECT_EQ(got.cy, expected.cy);
    EXPECT_EQ(got.caption, expected.caption);
    EXPECT_EQ(got.pointSize, expected.pointSize);
    EXPECT_EQ(got.font, expected.font);
    ASSERT_EQ(got.controls.size(), expected.controls.size());
    for (size_t i = 0; i < expected.controls.size(); i++) {
        const ControlSpec& want = expected.controls[i];
        const ControlSpec& have = got.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(want.id));
        EXPECT_EQ(have.id, want.id);
        EXPECT_EQ(parsed.classes[i], want.className);
        EXPECT_EQ(have.style, want.style) << std::hex << have.style << " instead of " << want.style;
        EXPECT_EQ(have.x, want.x);
        EXPECT_EQ(have.y, want.y);
        EXPECT_EQ(have.cx, want.cx);
        EXPECT_EQ(have.cy, want.cy);
        EXPECT_EQ(parsed.texts[i], want.text);
    }
}

const DWORD SHOWN = WS_CHILD | WS_VISIBLE;
const DWORD HIDDEN_DISABLED = WS_CHILD | WS_DISABLED;

}  // namespace

TEST(Templates, InstallationDialogIsTheClassicTemplateAsTabled)
{
    TemplateSpec expected = {
        0x90C800C4, 44, 48, 219, 229, "Vexa Installer", 8, "MS Sans Serif",
        {
            {1, "BUTTON", SHOWN | BS_DEFPUSHBUTTON | WS_TABSTOP, 69, 208, 40, 16, "&Install"},
            {2, "BUTTON", SHOWN | BS_PUSHBUTTON | WS_TABSTOP, 113, 208, 40, 16, "Cancel"},
            {102, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 9, 6, 151, 10, "Welcome to the Vexa installation program!"},
            {103, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 9, 20, 162, 21,
             "This program will install Vexa to the following directory."},
            {104, "BUTTON", SHOWN | BS_GROUPBOX, 7, 43, 206, 26, "Destination directory:"},
            {105, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 13, 55, 162, 8, ""},
            {106, "BUTTON", SHOWN | BS_PUSHBUTTON | WS_TABSTOP, 178, 51, 32, 14, "&Browse"},
            {107, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 9, 76, 193, 18,
             "If you would like to install Vexa to a different directory, click on browse and select it."},
            {108, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 9, 100, 201, 18,
             "If you would like the installer to make backups of any existing Vexa files, check the Make Backups "
             "option."},
            {109, "BUTTON", SHOWN | BS_AUTOCHECKBOX | WS_TABSTOP, 58, 123, 114, 12, "&Make Backups of existing files"},
            {112, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 9, 183, 202, 19,
             "Click Install to continue with the installation, or click Cancel to abort the installation and exit."},
            {113, "STATIC", HIDDEN_DISABLED | SS_LEFT, 48, 85, 122, 10, "Scanning..."},
            {114, "STATIC", HIDDEN_DISABLED | SS_LEFT, 48, 101, 62, 10, "Overall progress:"},
            {115, "BUTTON", HIDDEN_DISABLED | BS_GROUPBOX, 45, 112, 129, 20, ""},
            {118, "STATIC", HIDDEN_DISABLED | SS_CENTER, 48, 171, 129, 27,
             "Vexa Installation program\nCopyright (c) the Vexa developers.\nAll rights reserved."},
            {110, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 9, 141, 204, 18,
             "If you would like the installer to add Vexa icons to the Program manager, check the Add Icons option."},
            {111, "BUTTON", SHOWN | BS_AUTOCHECKBOX | WS_TABSTOP, 58, 165, 118, 12, "&Add Icons to Program Manager"},
            {117, "STATIC", HIDDEN_DISABLED | SS_LEFT | WS_GROUP, 48, 143, 128, 27,
             "Please refer to the Vexa help file for the license terms and use restrictions."},
            {119, "STATIC", HIDDEN_DISABLED | SS_LEFT | WS_BORDER, 183, 8, 22, 27, ""},
            {116, "BUTTON", HIDDEN_DISABLED | BS_GROUPBOX, 45, 96, 100, 3, ""},
        }};
    ExpectTemplate("INSTALL_DLG", expected);
}

TEST(Templates, ChooserIsTheClassicTemplateAsTabled)
{
    const DWORD listStyle = WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_SORT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                            LBS_DISABLENOSCROLL;
    TemplateSpec expected = {
        0x80C800C4, 79, 39, 170, 163, "Vexa Destination Directory", 8, "MS Sans Serif",
        {
            {65535, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 8, 6, 103, 9, "&Install Vexa into this directory:"},
            {102, "EDIT", SHOWN | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 6, 17, 159, 12, ""},
            {1121, "LISTBOX", SHOWN | listStyle | WS_TABSTOP, 6, 47, 112, 86, ""},
            {1091, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 8, 132, 37, 9, "Dri&ves:"},
            {1137, "COMBOBOX",
             SHOWN | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_AUTOHSCROLL | CBS_SORT | CBS_HASSTRINGS | WS_BORDER |
                 WS_VSCROLL | WS_TABSTOP,
             6, 142, 112, 60, ""},
            {1040, "BUTTON", HIDDEN_DISABLED | BS_AUTOCHECKBOX | WS_GROUP, 294, 28, 50, 12, "&Read Only"},
            {1038, "BUTTON", HIDDEN_DISABLED | BS_PUSHBUTTON | WS_GROUP, 295, 50, 50, 14, "&Help"},
            {1090, "STATIC", SHOWN | SS_LEFT | WS_GROUP, 8, 35, 51, 10, "&Directories"},
            {1152, "EDIT", HIDDEN_DISABLED | WS_BORDER | ES_AUTOHSCROLL | ES_OEMCONVERT, 290, 77, 77, 12, "JUNK!"},
            {1120, "LISTBOX", HIDDEN_DISABLED | listStyle, 288, 99, 81, 66, ""},
            {1089, "STATIC", HIDDEN_DISABLED | SS_LEFT | WS_GROUP, 288, 167, 69, 9, "List Files of &Type:"},
            {1136, "COMBOBOX", HIDDEN_DISABLED | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | WS_BORDER | WS_VSCROLL, 288, 177,
             82, 32, ""},
            {1088, "EDIT", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, -78, 252, 516, 12, ""},
            {1, "BUTTON", SHOWN | BS_PUSHBUTTON | WS_TABSTOP, 125, 48, 40, 16, "OK"},
            {2, "BUTTON", SHOWN | BS_PUSHBUTTON | WS_TABSTOP, 125, 69, 40, 16, "Cancel"},
        }};
    ExpectTemplate(MAKEINTRESOURCEA(IDD_CHOOSER), expected);
}

TEST(Templates, IconsAreOne32By32ImageIn16Colours)
{
    HMODULE module = GetModuleHandleA(nullptr);
    for (int id : {IDI_MAIN, IDI_DIALOG}) {
        SCOPED_TRACE("icon " + std::to_string(id));
        HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
        ASSERT_NE(group, nullptr);
        auto* header = static_cast<const WORD*>(LockResource(LoadResource(module, group)));
        ASSERT_EQ(header[2], 1) << "images in the group";
        auto* entry = reinterpret_cast<const BYTE*>(header + 3);
        EXPECT_EQ(entry[0], 32);
        EXPECT_EQ(entry[1], 32);
        EXPECT_EQ(entry[2], 16) << "colours";
        EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(id)), nullptr);
    }
}
