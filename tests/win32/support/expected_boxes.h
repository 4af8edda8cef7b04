// The installer's message boxes as a person sees them, written out here once
// for every test that reads real boxes (dialog, shell, e2e, faults): a copy
// of the texts kept apart from the product's table, so that a changed text
// fails a test instead of changing the expectation with it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

struct ExpectedBox {
    const char* caption;
    const char* text;
    UINT buttons;
    UINT icon;
};

namespace expected_text {
inline const char kCreateDir[] =
    "There seems to be a problem creating the directory you specified.\n\nPlease try using a different directory "
    "name!";
inline const char kCopy[] =
    "There seems to be a problem copying files to their destination.\n\nPlease try running the installation "
    "program again!";
inline const char kBackUpFile[] =
    "There seems to be a problem backing up your original files.\n\nPlease try installing to a different "
    "directory!";
inline const char kExtract[] =
    "There seems to be a problem extracting files from the installation file.\n\nPlease try running the "
    "installation program again!";
inline const char kCorrupt[] =
    "The installation file seems to be corrupt!\n\nPlease try running the installation program again or download "
    "a new version!";
inline const char kIcons[] =
    "There seems to be a problem adding Vexa icons to the Program Manager!\n\nDo you want me to try again?";
inline const char kSpaces[] =
    "You have chosen to install to a directory path which has spaces in its name; this may affect the "
    "functioning of certain features in Vexa.\n\nIt is highly recommended that you install Vexa to a directory "
    "path that does NOT have spaces in its name.\n\nDo you wish to continue installing to this directory?";
inline const char kKeepSettings[] =
    "The Vexa installation comes with INI files but if I install them you will lose your current Vexa "
    "settings.\n\nWould you like to KEEP your current Vexa settings?";
inline const char kAbort[] = "Are you sure you want to abort the installation?";
inline const char kSuccess[] =
    "Vexa Installation was successful!\n\nPlease take the time to browse through the readme.txt, versions.txt, "
    "and vexa.hlp files!\n\nHave fun!";
}  // namespace expected_text

inline const ExpectedBox kCreateDirError{"Vexa Installation Error [1]", expected_text::kCreateDir, MB_OK,
                                         MB_ICONERROR};
inline const ExpectedBox kCopyError{"Vexa Installation Error [4]", expected_text::kCopy, MB_OK, MB_ICONERROR};
inline const ExpectedBox kDecodeError{"Vexa Installation Error [5]", expected_text::kCopy, MB_OK, MB_ICONERROR};
inline const ExpectedBox kBackupError{"Vexa Installation Error [7]", expected_text::kBackUpFile, MB_OK,
                                      MB_ICONERROR};
inline const ExpectedBox kTempError{"Vexa Installation Error [11]", expected_text::kExtract, MB_OK, MB_ICONERROR};
inline const ExpectedBox kCorruptError{"Vexa Installation Error [13]", expected_text::kCorrupt, MB_OK,
                                       MB_ICONERROR};
inline const ExpectedBox kEmptyPackageError{"Vexa Installation Error [14]", expected_text::kCorrupt, MB_OK,
                                            MB_ICONERROR};
inline const ExpectedBox kIconsError{"Vexa Installation Error [15]", expected_text::kIcons, MB_YESNO,
                                     MB_ICONQUESTION};
inline const ExpectedBox kSpaceWarning{"Vexa Installation Warning", expected_text::kSpaces, MB_YESNO,
                                       MB_ICONQUESTION};
inline const ExpectedBox kKeepSettings{"Vexa Installation Warning", expected_text::kKeepSettings, MB_YESNO,
                                       MB_ICONQUESTION};
inline const ExpectedBox kAbortQuestion{"Vexa Installation Warning", expected_text::kAbort, MB_YESNO,
                                        MB_ICONQUESTION};
inline const ExpectedBox kSuccess{"Vexa Installation", expected_text::kSuccess, MB_OK, MB_ICONINFORMATION};

// The boxes seen, in order, against those expected: caption, text and
// buttons, and the icon where the record of a box has one (a box read from
// inside the process has; one read from another process has not).
template <typename Seen, typename = void>
struct HasIcon : std::false_type {};
template <typename Seen>
struct HasIcon<Seen, std::void_t<decltype(Seen::icon)>> : std::true_type {};

template <typename Seen>
void ExpectBoxes(const std::vector<ExpectedBox>& expected, const std::vector<Seen>& seen)
{
    ASSERT_EQ(expected.size(), seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE("box " + std::to_string(i + 1));
        EXPECT_EQ(expected[i].caption, seen[i].caption);
        EXPECT_EQ(expected[i].text, seen[i].text);
        EXPECT_EQ(expected[i].buttons, seen[i].buttons);
        if constexpr (HasIcon<Seen>::value) {
            EXPECT_EQ(expected[i].icon, seen[i].icon);
        }
    }
}
