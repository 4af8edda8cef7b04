// Faults met by the real setup32.exe, driven in its own process as a user
// would drive it: full disks, read-only and locked files, a missing
// temporary directory, damaged images, aborts at several points, awkward
// destinations. After each case the destination holds exactly what the
// installer promises, the right box was shown, no temporary file is left
// and the process exited with 0. Each case runs alone on the fault matrix's
// Wine prefix, whose processes are ended after it (run_case.sh).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "expected_boxes.h"
#include "installer_driver.h"
#include "progman_server.h"

namespace {

const char* const kMembers[] = {"vexa32.exe", "vlink32.exe", "vexa.hlp",    "ircintro.hlp", "readme.txt", "versions.txt",
                                "vexa.ini",   "aliases.ini", "popups.ini",  "servers.ini",  "urls.ini"};
const int kMemberCount = 11;

// The member or help index whose earlier file an installation set aside
// under name (XXXX.sNN, NN its slot); empty for anything else.
std::string SetAsideOf(const std::string& name)
{
    static const char* const indexes[] = {"vexa.gid", "ircintro.gid"};
    if (name.size() != 8 || name.compare(4, 2, ".s") != 0)
        return "";
    int slot = (name[6] - '0') * 10 + (name[7] - '0');
    if (slot < 0 || slot >= kMemberCount + 2)
        return "";
    return slot < kMemberCount ? kMembers[slot] : indexes[slot - kMemberCount];
}

const char kWork[] = "c:\\faults";
const char kInstaller[] = "c:\\faults\\setup32.exe";

// What a destination holds: relative path -> "new" (the payload's file),
// "old" (what the existing installation had there) or "dir".
using Tree = std::map<std::string, std::string>;

std::string OldContent(const std::string& member)
{
    return "the user's own " + member + ", from an earlier installation\r\n";
}

std::string OlderBackupContent(const std::string& member)
{
    return "an older backup of " + member + "\r\n";
}

std::string ReadAll(const std::string& path)
{
    std::string bytes;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return bytes;
    int c;
    while ((c = std::fgetc(in)) != EOF)
        bytes += static_cast<char>(c);
    std::fclose(in);
    return bytes;
}

bool WriteAll(const std::string& path, const std::string& bytes)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

// Every file and directory below root, each file classified against the
// payload and the old installation.
void Survey(const std::string& root, const std::string& relative, const std::string& payload, Tree& tree)
{
    for (const std::string& name : ListFiles(relative.empty() ? root : root + "\\" + relative)) {
        std::string path = relative.empty() ? name : relative + "\\" + name;
        std::string full = root + "\\" + path;
        if (GetFileAttributesA(full.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            tree[path] = "dir";
            Survey(root, path, payload, tree);
            continue;
        }
        std::string contents = ReadAll(full);
        DWORD attributes = GetFileAttributesA(full.c_str());
        // A set-aside file is told by the member whose earlier file it is.
        const std::string setAside = relative == "~vexa" ? SetAsideOf(name) : "";
        const std::string& member = setAside.empty() ? name : setAside;
        if (contents == OldContent(member) || contents == OlderBackupContent(member)) {
            // Earlier files are told apart by their attributes as well.
            tree[path] = contents == OldContent(member) ? "old" : "older";
            if (attributes & FILE_ATTRIBUTE_READONLY)
                tree[path] += ", read-only";
            if (attributes & FILE_ATTRIBUTE_HIDDEN)
                tree[path] += ", hidden";
        } else if (contents == ReadAll(payload + "\\" + member))
            tree[path] = "new";
        else
            tree[path] = "other (" + std::to_string(contents.size()) + " bytes)";
    }
}

Tree SurveyOf(const std::string& root, const std::string& payload)
{
    Tree tree;
    if (GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES)
        Survey(root, "", payload, tree);
    return tree;
}

std::string Show(const Tree& tree)
{
    std::string text;
    for (const auto& entry : tree)
        text += "  " + entry.first + ": " + entry.second + "\n";
    return text.empty() ? "  (nothing)\n" : text;
}

// Members first..last as "new" or "old", optionally below backup\.
void Add(Tree& tree, int first, int last, const char* kind, bool inBackup = false)
{
    if (inBackup)
        tree["backup"] = "dir";
    for (int i = first; i <= last; i++)
        tree[std::string(inBackup ? "backup\\" : "") + kMembers[i]] = kind;
}

// A completed installation over the marked earlier one (see
// CreateMarkedInstallation): every member new, the earlier files in backup,
// or, without backups, only the older backup that was there.
Tree CompletedOverMarked(bool backups)
{
    Tree tree;
    Add(tree, 0, kMemberCount - 1, "new");
    tree["backup"] = "dir";
    if (backups)
        Add(tree, 0, kMemberCount - 1, "old", true);
    else
        tree["backup\\readme.txt"] = "older";
    return tree;
}

bool CreateOldInstallation(const std::string& destination, bool readOnly)
{
    CreateDirectoryA(destination.c_str(), nullptr);
    for (const char* member : kMembers) {
        std::string path = destination + "\\" + member;
        if (!WriteAll(path, OldContent(member)))
            return false;
        if (readOnly && !SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY))
            return false;
    }
    return true;
}

// An earlier installation as users have them: some files read-only, some
// hidden, one a kept settings file of both, and an older backup of
// readme.txt.
bool CreateMarkedInstallation(const std::string& destination)
{
    if (!CreateOldInstallation(destination, false))
        return false;
    const struct {
        const char* member;
        DWORD attributes;
    } marks[] = {{"vexa32.exe", FILE_ATTRIBUTE_READONLY},
                 {"readme.txt", FILE_ATTRIBUTE_HIDDEN},
                 {"vexa.ini", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}};
    for (const auto& mark : marks)
        if (!SetFileAttributesA((destination + "\\" + mark.member).c_str(), mark.attributes))
            return false;
    CreateDirectoryA((destination + "\\backup").c_str(), nullptr);
    return WriteAll(destination + "\\backup\\readme.txt", OlderBackupContent("readme.txt"));
}

std::string TempPath()
{
    char path[MAX_PATH] = "";
    GetTempPathA(sizeof path, path);
    return path;
}

// The package's markers in a copy of a known good installer: the opening
// one first, then the one that closes each member.
std::vector<size_t> MarkerOffsets(const std::string& image)
{
    std::vector<size_t> offsets;
    for (size_t at = image.find("ARNI"); at != std::string::npos && offsets.size() < 12;
         at = image.find("ARNI", at + 4))
        offsets.push_back(at);
    return offsets;
}

// Process environment for the installer: TMP and TEMP.
class TempEnvironment {
public:
    explicit TempEnvironment(const std::string& dir) : set_(!dir.empty())
    {
        if (!set_)
            return;
        SetEnvironmentVariableA("TMP", dir.c_str());
        SetEnvironmentVariableA("TEMP", dir.c_str());
    }
    ~TempEnvironment()
    {
        if (!set_)
            return;
        SetEnvironmentVariableA("TMP", saved_.c_str());
        SetEnvironmentVariableA("TEMP", saved_.c_str());
    }

private:
    bool set_;
    std::string saved_ = TempPath();
};

// Serves messages in short steps until the condition holds or the process
// ends; true when the condition held.
bool PollUntil(InstallerRun& run, const std::function<bool()>& condition)
{
    for (DWORD waited = 0; waited < 60000; waited += 2) {
        if (condition())
            return true;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, run.ProcessId());
        bool ended = !process || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        if (process)
            CloseHandle(process);
        if (ended)
            return condition();
        WaitServing(nullptr, 2);
    }
    return false;
}

bool InOptionsMode(InstallerRun& run)
{
    return run.IsEnabled(IDOK) && run.ControlText(IDCANCEL) == "Cancel";
}




// Starts kInstaller and presses Install for destination, icons off.
::testing::AssertionResult StartInstallation(InstallerRun& run, const std::string& destination, bool backups)
{
    if (!run.Start(kInstaller, "") || !run.WaitForDialog())
        return ::testing::AssertionFailure() << "the installer did not show its dialog";
    run.SetControlText(105, destination);
    run.SetChecked(109, backups);
    run.SetChecked(111, false);
    if (!run.Press(IDOK))
        return ::testing::AssertionFailure() << "Install could not be pressed";
    return ::testing::AssertionSuccess();
}

// Answers the boxes that come (queued answers first) until the status line
// reads status; false when the installation never got there.
bool AnswerUntilStatus(InstallerRun& run, const std::string& status, std::vector<int>& answers,
                       std::vector<SeenBox>& boxes)
{
    return PollUntil(run, [&] {
        if (HWND box = run.FindBox()) {
            boxes.push_back(run.AnswerNext(box, answers));
            return false;
        }
        return run.ControlText(113) == status;
    });
}

// The installer's temporary files in dir (which ends with a backslash):
// vexa.tmp, or the unique vexXXXX.tmp it takes when that name is busy.
std::vector<std::string> TemporaryFiles(const std::string& dir)
{
    std::vector<std::string> paths;
    for (const std::string& name : ListFiles(dir.substr(0, dir.size() - 1), "vex*.tmp"))
        paths.push_back(dir + name);
    return paths;
}

void RemoveEverything(const std::string& destination)
{
    ASSERT_TRUE(RemoveTree(destination)) << destination;
    for (const std::string& dir : {TempPath(), std::string("c:\\")})
        for (const std::string& path : TemporaryFiles(dir))
            ASSERT_TRUE(RemoveTree(path)) << path;
}

void ExpectNoTemporaryFile(const std::string& tempDir)
{
    EXPECT_EQ(std::vector<std::string>(), TemporaryFiles(tempDir)) << tempDir;
    EXPECT_EQ(std::vector<std::string>(), TemporaryFiles("c:\\"));
}

// ---------------------------------------------------------------------------
// The fault table.

enum Image { INTACT, FLIPPED_IN_LAST_MEMBER, CUT_IN_LAST_MEMBER };
enum Existing { NOTHING, OLD_INSTALLATION, OLD_READ_ONLY, OLD_MARKED, A_FILE };

struct FaultRow {
    const char* name;
    std::string destination;   // empty: c:\faults\<name>
    Image image;
    Existing existing;
    std::string tempDir;       // the installer's TMP and TEMP; empty: the prefix's own
    bool backups;
    int heldMember;            // held open without sharing by this process; -1 none
    std::vector<int> answers;
    std::vector<ExpectedBox> boxes;
    std::function<Tree()> expected;   // the destination afterwards; null: as it was before
};

std::string LongDestination(size_t length)
{
    // Components of at most 100 characters below c:\faults\long-N.
    std::string path = std::string(kWork) + "\\long-" + std::to_string(length);
    while (path.size() < length) {
        size_t room = length - path.size() - 1;
        if (room == 0) {
            path += "x";   // no room for a separator and a name: lengthen the last name
            break;
        }
        path += "\\" + std::string(std::min<size_t>(room, 100), 'd');
    }
    return path;
}

Tree Nothing() { return Tree(); }
Tree AllNew()
{
    Tree tree;
    Add(tree, 0, kMemberCount - 1, "new");
    return tree;
}

const FaultRow kFaultCases[] = {
    // T: holds 160 KiB: the first member fits, the second does not.
    {"DiskFullInASecondMember", "t:\\vexa", INTACT, NOTHING, "", true, -1, {}, {kDecodeError}, Nothing},
    // U: holds 16 KiB: the first member's bytes do not fit.
    {"DiskFullAtTheTemporaryFile", "", INTACT, NOTHING, "u:\\", true, -1, {}, {kTempError}, Nothing},
    {"TemporaryDirectoryMissing", "", INTACT, NOTHING, "c:\\faults\\no-such-directory\\", true, -1, {}, {kTempError},
     Nothing},
    {"ReadOnlyFilesOverwritten", "", INTACT, OLD_READ_ONLY, "", false, -1, {IDNO}, {kKeepSettings, kSuccess}, AllNew},
    {"ReadOnlyFilesBackedUp", "", INTACT, OLD_READ_ONLY, "", true, -1, {IDNO}, {kKeepSettings, kSuccess},
     [] {
         Tree tree = AllNew();
         Add(tree, 0, kMemberCount - 1, "old", true);
         return tree;
     }},
    // readme.txt (member 4) cannot be set aside: the four members before it
    // were installed and are removed again, and their earlier files go back,
    // with backups on or off.
    {"FileHeldOpenWithBackups", "", INTACT, OLD_MARKED, "", true, 4, {}, {kBackupError}, nullptr},
    {"FileHeldOpenWithoutBackups", "", INTACT, OLD_MARKED, "", false, 4, {}, {kCopyError}, nullptr},
    {"FlippedByteInTheLastMember", "", FLIPPED_IN_LAST_MEMBER, NOTHING, "", true, -1, {}, {kCorruptError}, Nothing},
    {"CutShortInTheLastMember", "", CUT_IN_LAST_MEMBER, NOTHING, "", true, -1, {}, {kCorruptError}, Nothing},
    // A damaged image found out once every member was handled, over an
    // earlier installation: settings kept or replaced, backups on or off,
    // the destination ends as it was, attributes and older backup included.
    {"KeptSettingsAndBackupsSurviveAFailure", "", FLIPPED_IN_LAST_MEMBER, OLD_MARKED, "", true, -1, {IDYES},
     {kKeepSettings, kCorruptError}, nullptr},
    {"DamagedImageOverAnEarlierOneWithBackups", "", FLIPPED_IN_LAST_MEMBER, OLD_MARKED, "", true, -1, {IDNO},
     {kKeepSettings, kCorruptError}, nullptr},
    {"DamagedImageOverAnEarlierOneWithoutBackups", "", FLIPPED_IN_LAST_MEMBER, OLD_MARKED, "", false, -1, {IDNO},
     {kKeepSettings, kCorruptError}, nullptr},
    {"CutShortOverAnEarlierOne", "", CUT_IN_LAST_MEMBER, OLD_MARKED, "", false, -1, {IDNO},
     {kKeepSettings, kCorruptError}, nullptr},
    // The small disk fills up in the second member over an earlier
    // installation (error [5]): the first earlier file goes back.
    {"DiskFullOverAnEarlierOne", "t:\\earlier", INTACT, OLD_MARKED, "", true, -1, {}, {kDecodeError}, nullptr},
    // The platform's path limit refuses 279; the installer itself refuses
    // anything longer, whose derived paths would not fit its buffers.
    {"Destination279Characters", LongDestination(279), INTACT, NOTHING, "", true, -1, {}, {kCreateDirError}, Nothing},
    {"Destination280Characters", LongDestination(280), INTACT, NOTHING, "", true, -1, {}, {kCreateDirError}, Nothing},
    {"Destination299Characters", LongDestination(299), INTACT, NOTHING, "", true, -1, {}, {kCreateDirError}, Nothing},
    // More than the dialog reads: it takes the first 299 characters.
    {"Destination400Characters", LongDestination(400), INTACT, NOTHING, "", true, -1, {}, {kCreateDirError}, Nothing},
    {"DestinationWithSpaces", "c:\\faults\\with spaces", INTACT, NOTHING, "", true, -1, {IDYES},
     {kSpaceWarning, kSuccess}, AllNew},
    {"DestinationWithSpacesDeclined", "c:\\faults\\declined spaces", INTACT, NOTHING, "", true, -1, {IDNO},
     {kSpaceWarning}, Nothing},
    {"DestinationIsAnExistingFile", "", INTACT, A_FILE, "", true, -1, {}, {kCopyError}, Nothing},
    {"DestinationWithTrailingBackslash", "c:\\faults\\trailing\\", INTACT, NOTHING, "", true, -1, {}, {kSuccess},
     AllNew},
};

// The installer to run: the built one, or a copy damaged inside its last
// member after the first eight bytes of its bit stream.
void PlaceInstaller(Image image)
{
    std::string bytes = ReadAll(SETUP32_EXE);
    ASSERT_FALSE(bytes.empty());
    std::vector<size_t> markers = MarkerOffsets(bytes);
    ASSERT_EQ(12u, markers.size()) << "the installer's package is not where it should be";
    size_t inLastMember = markers[10] + 4 + 4 + 8;
    ASSERT_LT(inLastMember, markers[11]);
    if (image == FLIPPED_IN_LAST_MEMBER) {
        bytes[inLastMember] = static_cast<char>(bytes[inLastMember] ^ 0x10);
        ASSERT_EQ(markers, MarkerOffsets(bytes)) << "the flip made or broke a marker";
    } else if (image == CUT_IN_LAST_MEMBER) {
        // A file cut short does not load at all; so the package ends early
        // inside its slot: the rest of it, closing markers included, blank.
        size_t packageEnd = markers[11] + 4 + 6;
        std::fill(bytes.begin() + inLastMember, bytes.begin() + packageEnd, '\0');
        markers.pop_back();
        ASSERT_EQ(markers, MarkerOffsets(bytes)) << "a marker follows the package";
    }
    ASSERT_TRUE(WriteAll(kInstaller, bytes));
}

class FaultCase : public ::testing::TestWithParam<FaultRow> {};

}  // namespace

TEST_P(FaultCase, Runs)
{
    const FaultRow& c = GetParam();
    CreateDirectoryA(kWork, nullptr);
    const std::string destination = c.destination.empty() ? std::string(kWork) + "\\" + c.name : c.destination;
    std::string bare = destination;
    if (bare.size() > 3 && bare.back() == '\\')
        bare.pop_back();
    RemoveEverything(bare);
    ASSERT_NO_FATAL_FAILURE(PlaceInstaller(c.image));

    // Only the last component is created by the installer: make the parents.
    for (size_t at = bare.find('\\', 3); at != std::string::npos; at = bare.find('\\', at + 1))
        CreateDirectoryA(bare.substr(0, at).c_str(), nullptr);
    if (bare.compare(0, 2, "t:") == 0) {
        // The small disk takes the first member but not the second as well.
        ULARGE_INTEGER available, total;
        ASSERT_TRUE(GetDiskFreeSpaceExA("t:\\", &available, &total, nullptr)) << "T: is not mounted";
        size_t first = ReadAll(std::string(PAYLOAD_STAGE) + "\\" + kMembers[0]).size();
        size_t second = ReadAll(std::string(PAYLOAD_STAGE) + "\\" + kMembers[1]).size();
        ASSERT_GT(available.QuadPart, first + 8192);
        ASSERT_LT(available.QuadPart, first + second);
    }
    const std::string fileInItsPlace = "a file where the destination should be\r\n";
    if (c.existing == A_FILE) {
        ASSERT_TRUE(WriteAll(bare, fileInItsPlace));
    } else if (c.existing == OLD_MARKED) {
        ASSERT_TRUE(CreateMarkedInstallation(bare));
    } else if (c.existing != NOTHING) {
        ASSERT_TRUE(CreateOldInstallation(bare, c.existing == OLD_READ_ONLY));
    }
    const Tree before = SurveyOf(bare, PAYLOAD_STAGE);
    if (!c.tempDir.empty() && c.tempDir.find("no-such") != std::string::npos) {
        ASSERT_TRUE(RemoveTree(c.tempDir.substr(0, c.tempDir.size() - 1)));
    }

    HANDLE held = INVALID_HANDLE_VALUE;
    if (c.heldMember >= 0) {
        std::string path = bare + "\\" + kMembers[c.heldMember];
        held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << path;
    }

    std::vector<SeenBox> boxes;
    int exitCode = -2;
    {
        TempEnvironment temp(c.tempDir);
        InstallerRun run;
        ASSERT_TRUE(StartInstallation(run, destination, c.backups));

        // Answer the expected boxes; a failure that sends the dialog back to
        // its options is then left with Cancel, as a user would.
        std::vector<int> answers = c.answers;
        while (boxes.size() < c.boxes.size()) {
            HWND box = run.WaitForBox();
            if (!box)
                break;
            boxes.push_back(run.AnswerNext(box, answers));
        }
        HWND extra = nullptr;
        ASSERT_TRUE(PollUntil(run, [&] { return (extra = run.FindBox()) != nullptr || InOptionsMode(run); }) ||
                    run.WaitForExit() == 0);
        if (extra) {
            boxes.push_back(run.AnswerNext(extra, answers));
        } else if (InOptionsMode(run)) {
            EXPECT_EQ(destination, run.ControlText(105));
            ASSERT_TRUE(run.Press(IDCANCEL));
        }
        std::vector<SeenBox> more = run.AnswerBoxesUntilExit({});
        boxes.insert(boxes.end(), more.begin(), more.end());
        exitCode = run.WaitForExit();
    }
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);

    EXPECT_EQ(0, exitCode);
    ExpectBoxes(c.boxes, boxes);
    Tree expected = c.expected ? c.expected() : before;
    Tree found = SurveyOf(bare, PAYLOAD_STAGE);
    EXPECT_EQ(expected, found) << "expected:\n" << Show(expected) << "found:\n" << Show(found);
    if (c.existing == A_FILE) {
        EXPECT_EQ(fileInItsPlace, ReadAll(bare));
    }
    if (expected.empty() && c.existing == NOTHING) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(bare.c_str())) << "the created directory is left";
    }
    ExpectNoTemporaryFile(c.tempDir.empty() ? TempPath() : c.tempDir);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultCase, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultRow>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Abort! answered Yes at three points of an installation over an existing
// one (backups on, settings kept), then Install again to completion.

namespace {

// Abort! pressed as soon as the settings question has been answered.
const char kAtTheQuestion[] = "at the settings question";

struct AbortRow {
    const char* name;
    // The status line at which the user presses Abort!; empty: as soon as
    // the installation runs; kAtTheQuestion: once the question is answered.
    const char* statusAtAbort;
    std::vector<ExpectedBox> boxesBeforeAbort;
    std::function<Tree()> afterAbort;
};

Tree Untouched()
{
    Tree tree;
    Add(tree, 0, kMemberCount - 1, "old");
    return tree;
}

// Every abort leaves the earlier installation as it was.
const AbortRow kAbortCases[] = {
    // Nothing of the package has been reached yet.
    {"First", "", {}, Untouched},
    // The first member is in place (its earlier file set aside), the second
    // is being collected in the temporary file.
    {"Middle", "Scanning file: vlink32.exe", {}, Untouched},
    // At the settings question: answered, and Abort! pressed before the
    // next slice.
    {"AfterTheSettingsQuestion", kAtTheQuestion, {kKeepSettings}, Untouched},
    // Ten members handled (the settings kept), the last being collected.
    {"Last", "Scanning file: urls.ini", {kKeepSettings}, Untouched},
};

class AbortCase : public ::testing::TestWithParam<AbortRow> {};

}  // namespace

TEST_P(AbortCase, Runs)
{
    const AbortRow& c = GetParam();
    CreateDirectoryA(kWork, nullptr);
    const std::string destination = std::string(kWork) + "\\abort-" + c.name;
    RemoveEverything(destination);
    ASSERT_TRUE(CopyFileA(LONG_TAIL_EXE, kInstaller, FALSE));
    ASSERT_TRUE(CreateOldInstallation(destination, false));

    InstallerRun run;
    ASSERT_TRUE(StartInstallation(run, destination, true));

    // Keep the settings when asked; press Abort! at the chosen point.
    std::vector<SeenBox> boxes;
    std::vector<int> keep = {IDYES};
    const std::string trigger = c.statusAtAbort;
    ASSERT_TRUE(PollUntil(run, [&] {
        if (HWND box = run.FindBox()) {
            boxes.push_back(run.AnswerNext(box, keep));
            return trigger == kAtTheQuestion;
        }
        return run.ControlText(IDCANCEL) == "Abort!" && (trigger.empty() || run.ControlText(113) == trigger);
    })) << "the installation never reached \"" << trigger << "\"";
    ASSERT_TRUE(run.Press(IDCANCEL));
    HWND question = run.WaitForBox();
    ASSERT_TRUE(question);
    std::vector<int> yes = {IDYES};
    boxes.push_back(run.AnswerNext(question, yes));
    ASSERT_TRUE(PollUntil(run, [&] { return InOptionsMode(run); })) << "the dialog did not return to its options";
    ExpectBoxes(c.boxesBeforeAbort, std::vector<SeenBox>(boxes.begin(), boxes.end() - 1));
    EXPECT_EQ(kAbortQuestion.text, boxes.back().text);

    Tree afterAbort = c.afterAbort();
    Tree found = SurveyOf(destination, LONG_TAIL_PAYLOAD);
    EXPECT_EQ(afterAbort, found) << "after the abort, expected:\n" << Show(afterAbort) << "found:\n" << Show(found);
    ExpectNoTemporaryFile(TempPath());

    // Install again: the settings question comes again, the backup
    // directory is reused, and the installation completes.
    EXPECT_TRUE(run.IsChecked(109));
    ASSERT_TRUE(run.Press(IDOK));
    std::vector<SeenBox> again = run.AnswerBoxesUntilExit({IDYES});
    EXPECT_EQ(0, run.WaitForExit());
    ExpectBoxes({kKeepSettings, kSuccess}, again);

    Tree complete;
    Add(complete, 0, 5, "new");
    Add(complete, 6, kMemberCount - 1, "old");
    Add(complete, 0, 5, "old", true);
    found = SurveyOf(destination, LONG_TAIL_PAYLOAD);
    EXPECT_EQ(complete, found) << "after installing again, expected:\n" << Show(complete) << "found:\n" << Show(found);
    ExpectNoTemporaryFile(TempPath());
}

INSTANTIATE_TEST_SUITE_P(Aborts, AbortCase, ::testing::ValuesIn(kAbortCases),
                         [](const ::testing::TestParamInfo<AbortRow>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Two copies of the installer, each in a folder of its own, started at once
// on one prefix; Install pressed on both back to back, backups on, every box
// answered (the settings question with No). Every member spans several
// scan slices, so the two installations interleave.

namespace {

struct TwoRow {
    const char* name;
    const char* destinations[2];
    Existing existing;   // NOTHING or OLD_INSTALLATION, made in each destination
    // The boxes of the installer that completes, then of the other, which
    // may be either of the two.
    std::vector<ExpectedBox> boxes[2];
    std::function<Tree()> expected;   // each destination afterwards
    // Both collect members at the same time, so one of them must collect
    // into a temporary file of another name than vexa.tmp.
    bool bothCollect;
};

Tree AllNewOverOld()
{
    Tree tree = AllNew();
    Add(tree, 0, kMemberCount - 1, "old", true);
    return tree;
}

const TwoRow kTwoCases[] = {
    {"TwoDestinations", {"c:\\faults\\two-1", "c:\\faults\\two-2"}, NOTHING, {{kSuccess}, {kSuccess}}, AllNew,
     true},
    // One installer takes the directory; the other is refused at Install,
    // before it has created, moved or deleted anything, and the user then
    // leaves its options with Cancel.
    {"SameNewDestination", {"c:\\faults\\same", "c:\\faults\\same"}, NOTHING, {{kSuccess}, {kCreateDirError}},
     AllNew, false},
    // The second spells the same directory differently.
    {"SameDestinationOverAnEarlierOne", {"c:\\faults\\same-old", "C:\\Faults\\SAME-OLD\\"}, OLD_INSTALLATION,
     {{kKeepSettings, kSuccess}, {kCreateDirError}}, AllNewOverOld, false},
};

// Two spellings of one directory: letters in any case, a trailing backslash.
bool SameDirectory(std::string a, std::string b)
{
    for (std::string* path : {&a, &b})
        if (path->back() == '\\')
            path->pop_back();
    return _stricmp(a.c_str(), b.c_str()) == 0;
}

class TwoInstallers : public ::testing::TestWithParam<TwoRow> {};

}  // namespace

TEST_P(TwoInstallers, Run)
{
    const TwoRow& c = GetParam();
    CreateDirectoryA(kWork, nullptr);
    const int destinations = SameDirectory(c.destinations[0], c.destinations[1]) ? 1 : 2;
    for (int i = 0; i < destinations; i++) {
        const char* destination = c.destinations[i];
        RemoveEverything(destination);
        if (c.existing == OLD_INSTALLATION) {
            ASSERT_TRUE(CreateOldInstallation(destination, false));
        }
    }
    // The rows run again with both installers told another Windows version
    // (WINDOWS_VERSION, as Wine names it: win95 takes the Windows 9x paths).
    const char* version = std::getenv("WINDOWS_VERSION");
    ASSERT_TRUE(ActAsWindows("setup32.exe", version && *version ? version : nullptr));
    const std::string folders[2] = {std::string(kWork) + "\\one", std::string(kWork) + "\\two"};
    InstallerRun runs[2];
    for (int i = 0; i < 2; i++) {
        CreateDirectoryA(folders[i].c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(LARGE_EXE, (folders[i] + "\\setup32.exe").c_str(), FALSE));
        ASSERT_TRUE(runs[i].Start(folders[i] + "\\setup32.exe", ""));
    }
    for (int i = 0; i < 2; i++) {
        ASSERT_TRUE(runs[i].WaitForDialog());
        runs[i].SetControlText(105, c.destinations[i]);
        runs[i].SetChecked(109, true);
        runs[i].SetChecked(111, false);
    }
    for (InstallerRun& run : runs)
        ASSERT_TRUE(run.Press(IDOK));

    // Serve both until they have ended: answer each box as it comes; a
    // dialog back in its options after its installation began is left with
    // Cancel.
    std::vector<SeenBox> boxes[2];
    bool began[2] = {false, false}, cancelled[2] = {false, false};
    std::vector<int> answers;
    size_t mostTemporaryFiles = 0;
    for (DWORD start = GetTickCount(); !runs[0].Exited() || !runs[1].Exited(); WaitServing(nullptr, 2)) {
        ASSERT_LT(GetTickCount() - start, 120000u) << "the installers did not end";
        mostTemporaryFiles = std::max(mostTemporaryFiles, TemporaryFiles(TempPath()).size());
        for (int i = 0; i < 2; i++) {
            if (runs[i].Exited())
                continue;
            if (HWND box = runs[i].FindBox()) {
                boxes[i].push_back(runs[i].AnswerNext(box, answers));
                began[i] = true;
            } else if (!began[i]) {
                began[i] = runs[i].ControlText(IDCANCEL) == "Abort!";
            } else if (!cancelled[i] && InOptionsMode(runs[i])) {
                EXPECT_EQ(c.destinations[i], runs[i].ControlText(105));
                cancelled[i] = runs[i].Press(IDCANCEL);
            }
        }
    }

    int completed = !boxes[0].empty() && boxes[0].back().caption == kSuccess.caption ? 0 : 1;
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(i == completed ? "the installer that completed" : "the other installer");
        EXPECT_EQ(0, runs[i].WaitForExit());
        ExpectBoxes(c.boxes[i == completed ? 0 : 1], boxes[i]);
    }
    for (int i = 0; i < destinations; i++) {
        const char* destination = c.destinations[i];
        Tree expected = c.expected();
        Tree found = SurveyOf(destination, LARGE_PAYLOAD);
        EXPECT_EQ(expected, found) << destination << ", expected:\n" << Show(expected) << "found:\n" << Show(found);
    }
    ExpectNoTemporaryFile(TempPath());
    if (c.bothCollect) {
        EXPECT_EQ(2u, mostTemporaryFiles) << "the two installations did not overlap";
    }
}

INSTANTIATE_TEST_SUITE_P(TwoAtOnce, TwoInstallers, ::testing::ValuesIn(kTwoCases),
                         [](const ::testing::TestParamInfo<TwoRow>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The installer ended from outside (as from the task list) at several points
// of an installation over an earlier one, backups on and off: no earlier
// file is lost, each is in place or set aside in ~vexa. A second
// installation into the directory puts them back before it starts (then
// aborted: the destination as it was before), a third completes.

namespace {

struct KillRow {
    const char* name;
    const char* statusAtKill;   // the status line at which the process is ended
    bool backups;
};

const KillRow kKillCases[] = {
    {"InTheFirstMember", "Extracting file: vexa32.exe", true},
    {"BetweenTheProgramsWithBackups", "Scanning file: vlink32.exe", true},
    {"BetweenTheProgramsWithoutBackups", "Scanning file: vlink32.exe", false},
    {"InTheHelpFilesWithoutBackups", "Scanning file: ircintro.hlp", false},
    {"AmongTheSettingsWithBackups", "Scanning file: popups.ini", true},
};

// The larger test installer at kInstaller, and the marked earlier
// installation at destination in place of whatever was there; before is
// its tree.
void PlaceLargeOverMarked(const std::string& destination, Tree& before)
{
    ASSERT_NO_FATAL_FAILURE(RemoveEverything(destination));
    ASSERT_TRUE(CopyFileA(LARGE_EXE, kInstaller, FALSE));
    ASSERT_TRUE(CreateMarkedInstallation(destination));
    before = SurveyOf(destination, LARGE_PAYLOAD);
}

// The tree with the set-aside directory's entries moved back to their
// places: what a recovery must restore.
Tree Recovered(Tree tree)
{
    Tree out;
    for (const auto& entry : tree) {
        const std::string& path = entry.first;
        if (path == "~vexa" || path == "vexa.lck")
            continue;
        if (path.compare(0, 6, "~vexa\\") == 0) {
            std::string member = SetAsideOf(path.substr(6));
            if (!member.empty())
                out[member] = entry.second;
            continue;
        }
        if (entry.second.compare(0, 3, "old") == 0 || entry.second.compare(0, 5, "older") == 0 ||
                 entry.second == "dir")
            out.emplace(path, entry.second);
    }
    return out;
}

class KillCase : public ::testing::TestWithParam<KillRow> {};

}  // namespace

TEST_P(KillCase, Runs)
{
    const KillRow& c = GetParam();
    CreateDirectoryA(kWork, nullptr);
    const std::string destination = std::string(kWork) + "\\kill-" + c.name;
    Tree before;
    ASSERT_NO_FATAL_FAILURE(PlaceLargeOverMarked(destination, before));

    {
        InstallerRun run;
        ASSERT_TRUE(StartInstallation(run, destination, c.backups));
        std::vector<int> replace = {IDNO};
        std::vector<SeenBox> boxes;
        ASSERT_TRUE(AnswerUntilStatus(run, c.statusAtKill, replace, boxes))
            << "the installation never reached \"" << c.statusAtKill << "\"";
        ASSERT_TRUE(run.Kill());
    }

    // Ended: every earlier file in place or set aside, none lost.
    Tree afterKill = SurveyOf(destination, LARGE_PAYLOAD);
    EXPECT_EQ(before, Recovered(afterKill)) << "after the kill:\n" << Show(afterKill);

    // Installing again: the earlier installation is put back first, so an
    // abort right away leaves it exactly as it was.
    ASSERT_TRUE(CopyFileA(LARGE_EXE, kInstaller, FALSE));
    {
        InstallerRun run;
        ASSERT_TRUE(StartInstallation(run, destination, c.backups));
        ASSERT_TRUE(PollUntil(run, [&] { return run.ControlText(IDCANCEL) == "Abort!"; }));
        ASSERT_TRUE(run.Press(IDCANCEL));
        std::vector<SeenBox> boxes;
        std::vector<int> answers = {IDYES};
        HWND question = run.WaitForBox();
        ASSERT_TRUE(question);
        boxes.push_back(run.AnswerNext(question, answers));
        EXPECT_EQ(kAbortQuestion.text, boxes.back().text);
        ASSERT_TRUE(PollUntil(run, [&] { return InOptionsMode(run); }));
        Tree afterAbort = SurveyOf(destination, LARGE_PAYLOAD);
        EXPECT_EQ(before, afterAbort) << "after the abort:\n" << Show(afterAbort);

        // And a third time, to completion.
        ASSERT_TRUE(run.Press(IDOK));
        std::vector<SeenBox> again = run.AnswerBoxesUntilExit({IDNO});
        EXPECT_EQ(0, run.WaitForExit());
        ExpectBoxes({kKeepSettings, kSuccess}, again);
    }
    const Tree complete = CompletedOverMarked(c.backups);
    Tree found = SurveyOf(destination, LARGE_PAYLOAD);
    EXPECT_EQ(complete, found) << "after installing again, expected:\n" << Show(complete) << "found:\n" << Show(found);
    ExpectNoTemporaryFile(TempPath());
}

INSTANTIATE_TEST_SUITE_P(Kills, KillCase, ::testing::ValuesIn(kKillCases),
                         [](const ::testing::TestParamInfo<KillRow>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The test image of the installer (setup32_crash.exe, whose destination
// module carries the crash-point hook) ended by itself right before a
// chosen change to the destination, over the marked earlier installation.
// Where that change falls is read from the log of a whole installation
// with the same choices. Then the installer (the shipped one) is started
// again and aborted at once: the earlier installation exactly as it was,
// or, once the commit had begun, exactly the completed one; then once more
// to completion.

namespace {

struct CrashRow {
    const char* name;
    bool backups;
    // The change to end before: the n-th logged change whose description
    // starts with what (n from 1), then shifted by offset steps.
    const char* what;
    int nth;
    int offset;
};

const CrashRow kCrashCases[] = {
    // Before the sixth member's file is created: five members in place,
    // the sixth's earlier file set aside.
    {"AmongTheMembersWithBackups", true, "create\t", 6, 0},
    // Everything installed, the commit record not yet written.
    {"RightBeforeTheCommitWithoutBackups", false, "record commit", 1, 0},
    // The commit record written and three changes of the commit made.
    {"InTheCommitWithBackups", true, "record commit", 1, 4},
};

const int kCrashExitCode = 86;

// The log's lines: what, tab, path (the step number is the line's).
std::vector<std::string> CrashLog(const std::string& path)
{
    std::vector<std::string> steps;
    std::string text = ReadAll(path), line;
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c != '\n') {
            line += c;
            continue;
        }
        size_t tab = line.find('\t');
        steps.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
        line.clear();
    }
    return steps;
}

// Runs an installer to its end: Install with backups as given, the settings
// replaced, every other box answered OK. Its exit code, and the boxes.
int RunToEnd(const char* exe, const std::string& destination, bool backups, std::vector<SeenBox>& boxes)
{
    if (!CopyFileA(exe, kInstaller, FALSE))
        return -3;
    InstallerRun run;
    if (!StartInstallation(run, destination, backups))
        return -4;
    boxes = run.AnswerBoxesUntilExit({IDNO});
    return run.WaitForExit();
}

class CrashPointCase : public ::testing::TestWithParam<CrashRow> {};

}  // namespace

TEST_P(CrashPointCase, Runs)
{
    const CrashRow& c = GetParam();
    CreateDirectoryA(kWork, nullptr);
    const std::string destination = std::string(kWork) + "\\crash-" + c.name;
    const std::string log = std::string(kWork) + "\\crash-" + c.name + ".log";

    // The whole installation once, logged, to find the step.
    RemoveEverything(destination);
    ASSERT_TRUE(CreateMarkedInstallation(destination));
    const Tree before = SurveyOf(destination, PAYLOAD_STAGE);
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("SETUP32_CRASH_LOG", log.c_str());
    std::vector<SeenBox> boxes;
    int exitCode = RunToEnd(CRASH_EXE, destination, c.backups, boxes);
    SetEnvironmentVariableA("SETUP32_CRASH_LOG", nullptr);
    ASSERT_EQ(0, exitCode);
    ExpectBoxes({kKeepSettings, kSuccess}, boxes);
    const Tree complete = CompletedOverMarked(c.backups);
    Tree found = SurveyOf(destination, PAYLOAD_STAGE);
    ASSERT_EQ(complete, found) << "the whole installation, expected:\n" << Show(complete) << "found:\n" << Show(found);

    std::vector<std::string> steps = CrashLog(log);
    int step = 0, commit = 0;
    for (int i = 0, seen = 0; i < static_cast<int>(steps.size()); i++) {
        if (steps[i].compare(0, 13, "record commit") == 0 && !commit)
            commit = i + 1;
        if (steps[i].compare(0, std::strlen(c.what), c.what) == 0 && ++seen == c.nth && !step)
            step = i + 1 + c.offset;
    }
    ASSERT_GT(commit, 0) << "no commit in the log";
    ASSERT_GT(step, 0) << "no \"" << c.what << "\" in the log";
    ASSERT_LE(step, static_cast<int>(steps.size()));
    std::printf("%s: %zu steps, commit record at %d, ended before %d (%s)\n", c.name, steps.size(), commit, step,
                steps[step - 1].c_str());

    // Again from the earlier installation, ended before that step.
    RemoveEverything(destination);
    ASSERT_TRUE(CreateMarkedInstallation(destination));
    SetEnvironmentVariableA("SETUP32_CRASH_AT", std::to_string(step).c_str());
    exitCode = RunToEnd(CRASH_EXE, destination, c.backups, boxes);
    SetEnvironmentVariableA("SETUP32_CRASH_AT", nullptr);
    ASSERT_EQ(kCrashExitCode, exitCode) << "the installer was not ended by its hook";

    // The installer started again and aborted at once.
    ASSERT_TRUE(CopyFileA(SETUP32_EXE, kInstaller, FALSE));
    {
        InstallerRun run;
        ASSERT_TRUE(StartInstallation(run, destination, c.backups));
        ASSERT_TRUE(PollUntil(run, [&] { return run.ControlText(IDCANCEL) == "Abort!"; }));
        ASSERT_TRUE(run.Press(IDCANCEL));
        std::vector<int> yes = {IDYES};
        HWND question = run.WaitForBox();
        ASSERT_TRUE(question);
        SeenBox seen = run.AnswerNext(question, yes);
        EXPECT_EQ(kAbortQuestion.text, seen.text);
        ASSERT_TRUE(PollUntil(run, [&] { return InOptionsMode(run); }));
        const Tree& expected = step <= commit ? before : complete;
        found = SurveyOf(destination, PAYLOAD_STAGE);
        EXPECT_EQ(expected, found) << "after the abort, expected:\n" << Show(expected) << "found:\n" << Show(found);

        // And to completion.
        ASSERT_TRUE(run.Press(IDOK));
        std::vector<SeenBox> again = run.AnswerBoxesUntilExit({IDNO});
        EXPECT_EQ(0, run.WaitForExit());
        ExpectBoxes({kKeepSettings, kSuccess}, again);
    }
    found = SurveyOf(destination, PAYLOAD_STAGE);
    if (step <= commit) {
        EXPECT_EQ(complete, found) << "after installing again, expected:\n" << Show(complete) << "found:\n"
                                   << Show(found);
    } else {
        // Installed over the completed installation: its files now in backup.
        Tree twice;
        Add(twice, 0, kMemberCount - 1, "new");
        twice["backup"] = "dir";
        if (c.backups)
            Add(twice, 0, kMemberCount - 1, "new", true);
        else
            twice["backup\\readme.txt"] = "older";
        EXPECT_EQ(twice, found) << "after installing again, expected:\n" << Show(twice) << "found:\n" << Show(found);
    }
    ExpectNoTemporaryFile(TempPath());
}

INSTANTIATE_TEST_SUITE_P(CrashPoints, CrashPointCase, ::testing::ValuesIn(kCrashCases),
                         [](const ::testing::TestParamInfo<CrashRow>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Unattended installations: the command line's choices, no window (silent)
// or no box (passive), a log of every step, and an exit code per outcome,
// with the same guarantees as the dialog's installation.

namespace {

// The log's lines without their time stamps.
std::vector<std::string> LogLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string text = ReadAll(path), line;
    for (char c : text) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line.empty() || line.back() != '\r' || line[0] != '[' || line.find("] ") != 20)
            lines.push_back("malformed: " + line);
        else
            lines.push_back(line.substr(22, line.size() - 23));
        line.clear();
    }
    if (!line.empty())
        lines.push_back("unfinished: " + line);
    return lines;
}

// Whether wanted appears in lines, in its order (not necessarily adjacent).
::testing::AssertionResult LoggedInOrder(const std::vector<std::string>& lines,
                                         const std::vector<std::string>& wanted)
{
    size_t next = 0;
    for (const std::string& line : lines)
        if (next < wanted.size() && line == wanted[next])
            next++;
    if (next == wanted.size())
        return ::testing::AssertionSuccess();
    std::string all;
    for (const std::string& line : lines)
        all += "  " + line + "\n";
    return ::testing::AssertionFailure() << "not logged in order: \"" << wanted[next] << "\"\nthe log:\n" << all;
}

// Every top-level window of the process, shown or not.
struct ProcessWindows {
    DWORD processId;
    int shown = 0;
    int hidden = 0;
    std::string names;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM data)
{
    ProcessWindows* windows = reinterpret_cast<ProcessWindows*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != windows->processId)
        return TRUE;
    char name[128] = "";
    GetClassNameA(window, name, sizeof name);
    if (IsWindowVisible(window)) {
        windows->shown++;
        windows->names += std::string(" ") + name;
    } else {
        windows->hidden++;
    }
    return TRUE;
}

// No /D=: the default destination, on the installer's drive.
const char kDefault[] = "c:\\vexa";

// A box as the log writes it instead: caption, text, line breaks as " / ".
std::string LogLineOf(const ExpectedBox& box)
{
    std::string line = std::string(box.caption) + ": ";
    bool inBreak = false;
    for (const char* p = box.text; *p; ++p) {
        if (*p == '\n') {
            inBreak = true;
            continue;
        }
        if (inBreak)
            line += " / ";
        inBreak = false;
        line += *p;
    }
    return line;
}

enum Group { NO_GROUP, SHELL_GROUP, REFUSED_GROUP };

struct UnattendedRow {
    const char* name;
    const char* switches;      // the line before /LOG= and /D=
    std::string destination;   // after /D=; empty: c:\faults\<name>; kDefault: no /D=
    Image image;
    Existing existing;
    Group group;
    int exitCode;
    std::function<Tree()> expected;    // the destination afterwards; null: as it was before
    std::vector<std::string> logged;   // log lines, in this order
};

// A completed installation over the marked earlier one with the settings
// files (members 6 on) kept, their attributes cleared.
Tree KeptOverMarked(bool backups)
{
    Tree tree;
    Add(tree, 0, 5, "new");
    Add(tree, 6, kMemberCount - 1, "old");
    tree["backup"] = "dir";
    if (backups)
        Add(tree, 0, 5, "old", true);
    else
        tree["backup\\readme.txt"] = "older";
    return tree;
}

const UnattendedRow kUnattendedCases[] = {
    {"SilentDefaultWithTheShellsProgramGroup", "/S", kDefault, INTACT, NOTHING, SHELL_GROUP, 0, AllNew,
     {"start: silent", "destination: c:\\vexa; backups 1, icons 1, keep settings 1",
      "status: Scanning files...", "status: Extracting file: vexa32.exe", "status: Extracting file: urls.ini",
      LogLineOf(kSuccess), "result: exit code 0"}},
    // The rest of the line is the destination: spaces need no quotes, and
    // the question they raise is answered Yes.
    {"DestinationWithSpacesIconsOff", "/s /icons=0", "c:\\faults\\u spaces\\vexa chat", INTACT, NOTHING, NO_GROUP,
     0, AllNew,
     {"destination: c:\\faults\\u spaces\\vexa chat; backups 1, icons 0, keep settings 1",
      LogLineOf(kSpaceWarning), "answer: Yes", LogLineOf(kSuccess), "result: exit code 0"}},
    {"BackupsAndSettingsReplacedOverAnEarlierOne", "/S /ICONS=0 /BACKUPS=1 /KEEPSETTINGS=0", "", INTACT, OLD_MARKED,
     NO_GROUP, 0, [] { return CompletedOverMarked(true); },
     {LogLineOf(kKeepSettings), "answer: No", "result: exit code 0"}},
    // Settings are kept unless the line says otherwise.
    {"SettingsKeptWithoutBackups", "/S /ICONS=0 /BACKUPS=0", "", INTACT, OLD_MARKED, NO_GROUP, 0,
     [] { return KeptOverMarked(false); }, {"answer: Yes", "result: exit code 0"}},
    {"DamagedImageOverAnEarlierOne", "/S /ICONS=0", "", FLIPPED_IN_LAST_MEMBER, OLD_MARKED, NO_GROUP, 113, nullptr,
     {"status: Extracting file: urls.ini", LogLineOf(kCorruptError), "result: exit code 113"}},
    // T: takes the first member, not the second.
    {"DiskFull", "/S /ICONS=0", "t:\\unattended", INTACT, NOTHING, NO_GROUP, 105, Nothing,
     {"status: Extracting file: vlink32.exe", LogLineOf(kDecodeError), "result: exit code 105"}},
    {"DestinationIsAFile", "/S /ICONS=0", "", INTACT, A_FILE, NO_GROUP, 104, nullptr,
     {"result: exit code 104"}},
    // Nothing is installed from a line that is not understood.
    {"BadSwitch", "/S /ICONS=2", "", INTACT, OLD_MARKED, NO_GROUP, 2, nullptr,
     {"not understood: /ICONS=2", "result: exit code 2"}},
    {"UsageAsked", "/S /?", "", INTACT, NOTHING, NO_GROUP, 2, Nothing,
     {"usage: setup32 /S|/P [/BACKUPS=0|1] [/ICONS=0|1] [/KEEPSETTINGS=0|1] [/LOG=file] [/D=directory]",
      "result: exit code 2"}},
    // The program manager refuses the group: the files stay installed,
    // the error is logged, not asked again, and the exit code says so.
    {"ProgramGroupRefused", "/S", kDefault, INTACT, NOTHING, REFUSED_GROUP, 115, AllNew,
     {LogLineOf(kIconsError), "answer: No", LogLineOf(kSuccess), "result: exit code 115"}},
    // The dialog shows the progress; no box is ever shown.
    {"PassiveOverAnEarlierOne", "/P /ICONS=0", "", INTACT, OLD_MARKED, NO_GROUP, 0,
     [] { return KeptOverMarked(true); },
     {"start: passive", "answer: Yes", LogLineOf(kSuccess), "result: exit code 0"}},
};

class UnattendedCase : public ::testing::TestWithParam<UnattendedRow> {};

}  // namespace

TEST_P(UnattendedCase, Runs)
{
    const UnattendedRow& c = GetParam();
    CreateDirectoryA(kWork, nullptr);
    const std::string bare = c.destination.empty() ? std::string(kWork) + "\\" + c.name : c.destination;
    const std::string log = std::string(kWork) + "\\" + c.name + ".log";
    const std::string group = ProgramsFolder() + "\\Vexa";
    RemoveEverything(bare);
    ASSERT_TRUE(RemoveTree(log));
    ASSERT_TRUE(RemoveTree(group));
    ASSERT_NO_FATAL_FAILURE(PlaceInstaller(c.image));
    for (size_t at = bare.find('\\', 3); at != std::string::npos; at = bare.find('\\', at + 1))
        CreateDirectoryA(bare.substr(0, at).c_str(), nullptr);
    if (c.existing == A_FILE) {
        ASSERT_TRUE(WriteAll(bare, "a file where the destination should be\r\n"));
    } else if (c.existing == OLD_MARKED) {
        ASSERT_TRUE(CreateMarkedInstallation(bare));
    }
    const Tree before = SurveyOf(bare, PAYLOAD_STAGE);

    ProgmanServer server;
    if (c.group == REFUSED_GROUP) {
        ASSERT_TRUE(server.Start()) << "the test's PROGMAN server is not the one that answers";
        server.Refuse([](const std::string& text) { return text.compare(0, 13, "[CreateGroup(") == 0; });
    } else if (c.group == SHELL_GROUP) {
        ASSERT_TRUE(WaitForProgman(20000)) << "the Wine shell's program manager does not answer";
    }

    std::string arguments = std::string(c.switches) + " /LOG=" + log;
    if (c.destination != kDefault)
        arguments += " /D=" + bare;
    const bool silent = std::string(c.switches).find("/P") == std::string::npos;

    InstallerRun run;
    ASSERT_TRUE(run.Start(kInstaller, arguments));
    if (!silent && c.exitCode == 0) {
        ASSERT_TRUE(run.WaitForDialog());
    }
    // Watched until it ends: silent shows no window at any time, passive
    // its dialog in progress mode and never a box.
    ProcessWindows windows;
    windows.processId = run.ProcessId();
    bool sawProgress = false;
    std::vector<SeenBox> boxes;
    while (!run.Exited()) {
        EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&windows));
        if (!silent) {
            std::vector<int> none;
            if (HWND box = run.FindBox())
                boxes.push_back(run.AnswerNext(box, none));
            if (!sawProgress && run.ControlText(IDCANCEL) == "Abort!" && run.IsShown(113))
                sawProgress = true;
        }
        WaitServing(nullptr, 5);
    }
    EXPECT_EQ(c.exitCode, run.WaitForExit());
    if (silent) {
        EXPECT_EQ(0, windows.shown) << "windows shown:" << windows.names;
        // The program group's DDE conversations have hidden windows of
        // their own; without a group there is no window at all.
        if (c.group == NO_GROUP) {
            EXPECT_EQ(0, windows.hidden);
        }
    } else {
        EXPECT_TRUE(sawProgress) << "the passive dialog never showed its progress";
        EXPECT_EQ(0u, boxes.size()) << "a box was shown: " << (boxes.empty() ? "" : boxes[0].text);
    }

    EXPECT_TRUE(LoggedInOrder(LogLines(log), c.logged));
    Tree expected = c.expected ? c.expected() : before;
    Tree found = SurveyOf(bare, PAYLOAD_STAGE);
    EXPECT_EQ(expected, found) << "expected:\n" << Show(expected) << "found:\n" << Show(found);

    if (c.group == SHELL_GROUP) {
        std::vector<Shortcut> shortcuts = ReadShortcuts(group);
        EXPECT_EQ(5u, shortcuts.size());
        for (const Shortcut& shortcut : shortcuts)
            EXPECT_EQ(0, _stricmp(bare.c_str(), shortcut.workingDirectory.c_str())) << shortcut.name;
    } else if (c.group == NO_GROUP) {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(group.c_str())) << "a group was made";
    } else {
        EXPECT_EQ(1u, server.Commands().size()) << "the refused group was sent again";
    }
    ExpectNoTemporaryFile(TempPath());
}

INSTANTIATE_TEST_SUITE_P(Unattended, UnattendedCase, ::testing::ValuesIn(kUnattendedCases),
                         [](const ::testing::TestParamInfo<UnattendedRow>& info) {
                             return std::string(info.param.name);
                         });

// A silent installation over an earlier one ended from outside: its log
// holds whole lines up to the step it had reached, nothing earlier is lost,
// and the next silent installation puts the earlier one back first and
// then completes.
TEST(UnattendedKill, LogReadableAndNextRunRestores)
{
    CreateDirectoryA(kWork, nullptr);
    const std::string destination = std::string(kWork) + "\\unattended-kill";
    const std::string log = std::string(kWork) + "\\unattended-kill.log";
    ASSERT_TRUE(RemoveTree(log));
    Tree before;
    ASSERT_NO_FATAL_FAILURE(PlaceLargeOverMarked(destination, before));
    const std::string arguments = "/S /ICONS=0 /KEEPSETTINGS=0 /LOG=" + log + " /D=" + destination;
    const std::string reached = "status: Extracting file: vexa.hlp";

    {
        InstallerRun run;
        ASSERT_TRUE(run.Start(kInstaller, arguments));
        ASSERT_TRUE(PollUntil(run, [&] {
            std::vector<std::string> lines = LogLines(log);
            return !lines.empty() && lines.back() == reached;
        })) << "the installation never logged \"" << reached << "\"";
        ASSERT_TRUE(run.Kill());
    }
    std::vector<std::string> killed = LogLines(log);
    EXPECT_TRUE(LoggedInOrder(killed, {"start: silent", "status: Extracting file: vexa32.exe"}));
    for (const std::string& line : killed)
        EXPECT_EQ(std::string::npos, line.find("malformed")) << line;
    Tree afterKill = SurveyOf(destination, LARGE_PAYLOAD);
    EXPECT_EQ(before, Recovered(afterKill)) << "after the kill:\n" << Show(afterKill);

    // Again: the log goes on after the killed run's lines.
    {
        InstallerRun run;
        ASSERT_TRUE(run.Start(kInstaller, arguments));
        EXPECT_EQ(0, run.WaitForExit());
    }
    std::vector<std::string> again = LogLines(log);
    ASSERT_GT(again.size(), killed.size());
    EXPECT_TRUE(std::equal(killed.begin(), killed.end(), again.begin()));
    EXPECT_TRUE(LoggedInOrder(again, {reached, "start: silent", "result: exit code 0"}));
    const Tree complete = CompletedOverMarked(true);
    Tree found = SurveyOf(destination, LARGE_PAYLOAD);
    EXPECT_EQ(complete, found) << "expected:\n" << Show(complete) << "found:\n" << Show(found);
    ExpectNoTemporaryFile(TempPath());
}

// Abort! pressed in the passive dialog aborts without a question: the
// earlier installation is back, and the exit code says cancelled.
TEST(UnattendedAbort, PassiveAbortIsCancelled)
{
    CreateDirectoryA(kWork, nullptr);
    const std::string destination = std::string(kWork) + "\\unattended-abort";
    const std::string log = std::string(kWork) + "\\unattended-abort.log";
    ASSERT_TRUE(RemoveTree(log));
    Tree before;
    ASSERT_NO_FATAL_FAILURE(PlaceLargeOverMarked(destination, before));

    InstallerRun run;
    ASSERT_TRUE(run.Start(kInstaller, "/P /ICONS=0 /LOG=" + log + " /D=" + destination));
    ASSERT_TRUE(run.WaitForDialog());
    ASSERT_TRUE(PollUntil(run, [&] { return run.ControlText(113) == "Extracting file: vexa.hlp"; }));
    ASSERT_TRUE(run.Press(IDCANCEL));
    std::vector<SeenBox> boxes = run.AnswerBoxesUntilExit({});
    EXPECT_EQ(1, run.WaitForExit());
    EXPECT_EQ(0u, boxes.size()) << "a box was shown: " << (boxes.empty() ? "" : boxes[0].text);
    EXPECT_TRUE(LoggedInOrder(LogLines(log), {"status: Extracting file: vexa.hlp", LogLineOf(kAbortQuestion),
                                              "answer: Yes", "result: exit code 1"}));
    Tree found = SurveyOf(destination, LARGE_PAYLOAD);
    EXPECT_EQ(before, found) << "found:\n" << Show(found);
    ExpectNoTemporaryFile(TempPath());
}

// The installed program running from the destination while a silent
// upgrade without backups replaces it: its file can be renamed but not
// deleted. The upgrade succeeds with no error logged (the earlier program
// waits in ~vexa, owned by the installation's journal), and once the
// program has ended, the next installation leaves nothing behind.
TEST(UnattendedRunning, SuccessAloneAndNothingLeftAfterTheNext)
{
    CreateDirectoryA(kWork, nullptr);
    const std::string destination = std::string(kWork) + "\\unattended-running";
    const std::string log = std::string(kWork) + "\\unattended-running.log";
    const std::string ready = destination + ".ready";
    RemoveEverything(destination);
    ASSERT_TRUE(RemoveTree(log));
    ASSERT_TRUE(RemoveTree(ready));
    ASSERT_NO_FATAL_FAILURE(PlaceInstaller(INTACT));
    ASSERT_TRUE(CreateMarkedInstallation(destination));

    // This test program as the installed one, waiting until it is ended.
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string program = destination + "\\vexa32.exe";
    SetFileAttributesA(program.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CopyFileA(self, program.c_str(), FALSE));
    std::string command = "\"" + program + "\" --gtest_filter=UnattendedRunning.ProgramWaits";
    SetEnvironmentVariableA("FAULTS_PROGRAM_READY", ready.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION client = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, kWork, &startup, &client));
    SetEnvironmentVariableA("FAULTS_PROGRAM_READY", nullptr);
    CloseHandle(client.hThread);
    for (int wait = 0; wait < 600 && GetFileAttributesA(ready.c_str()) == INVALID_FILE_ATTRIBUTES; wait++)
        Sleep(100);

    const std::string arguments = "/S /ICONS=0 /BACKUPS=0 /KEEPSETTINGS=0 /LOG=" + log + " /D=" + destination;
    auto errorsLogged = [&] {
        std::vector<std::string> errors;
        for (const std::string& line : LogLines(log))
            if (line.find("Installation Error") != std::string::npos)
                errors.push_back(line);
        return errors;
    };
    {
        InstallerRun run;
        ASSERT_TRUE(run.Start(kInstaller, arguments));
        EXPECT_EQ(0, run.WaitForExit());
    }
    EXPECT_TRUE(LoggedInOrder(LogLines(log), {LogLineOf(kSuccess), "result: exit code 0"}));
    EXPECT_EQ(std::vector<std::string>{}, errorsLogged());
    EXPECT_EQ(ReadAll(std::string(PAYLOAD_STAGE) + "\\vexa32.exe"), ReadAll(program));
    std::vector<std::string> waiting = ListFiles(destination + "\\~vexa");
    ASSERT_EQ(2u, waiting.size());
    EXPECT_EQ(".jnl", waiting[0].substr(4));
    EXPECT_EQ(waiting[0].substr(0, 4) + ".s00", waiting[1]);

    TerminateProcess(client.hProcess, 0);
    WaitForSingleObject(client.hProcess, 10000);
    CloseHandle(client.hProcess);
    {
        InstallerRun run;
        ASSERT_TRUE(run.Start(kInstaller, arguments));
        EXPECT_EQ(0, run.WaitForExit());
    }
    EXPECT_EQ(std::vector<std::string>{}, errorsLogged());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((destination + "\\~vexa").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((destination + "\\backup\\vexa32.exe").c_str()));
    ExpectNoTemporaryFile(TempPath());
}

// The running program of the test above; skipped when run otherwise.
TEST(UnattendedRunning, ProgramWaits)
{
    char ready[MAX_PATH];
    if (!GetEnvironmentVariableA("FAULTS_PROGRAM_READY", ready, sizeof ready))
        GTEST_SKIP() << "started by UnattendedRunning.SuccessAloneAndNothingLeftAfterTheNext only";
    WriteAll(ready, "");
    Sleep(600000);
}
