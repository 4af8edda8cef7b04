// Installations ended from outside right before each of their changes to
// the destination. A child process (this program again, running
// CrashSweepChild.Run) installs over an earlier installation with the
// crash-point hook set to end it before its k-th change; then, in this
// process, the next installation is aborted at once and must leave exactly
// the earlier tree (contents and attributes), or, once the commit had
// begun, exactly the completed installation; and an installation after
// that completes. The recovery sweep ends the recovery itself at each of
// its steps, then recovers again.
//
// The suite runs a spread of k; SETUP32_FULL_SWEEP=1 runs every k.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "destination.h"
#include "engine_fixture.h"
#include "install_session.h"
#include "member_install.h"
#include "package_format.h"
#include "package_scanner.h"
#include "transaction.h"

namespace {

// relative path -> "dir", or the attributes and contents of a file. Names
// in ~vexa that an installation made (four hexadecimal digits, a dot, an
// extension) are written with #### for the digits, which are chosen anew
// by each installation.
using Tree = std::map<std::string, std::string>;

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string Normalized(const std::string& relative, const std::string& name)
{
    if (relative == "~vexa" && name.size() == 8 && name[4] == '.' && IsHex(name[0]) && IsHex(name[1]) &&
        IsHex(name[2]) && IsHex(name[3]))
        return "####" + name.substr(4);
    return name;
}

void SurveyInto(const std::string& root, const std::string& relative, Tree& tree)
{
    std::string dir = relative.empty() ? root : root + "\\" + relative;
    for (const std::string& name : ListNames(dir)) {
        std::string path = relative.empty() ? name : relative + "\\" + name;
        std::string key = relative.empty() ? name : relative + "\\" + Normalized(relative, name);
        DWORD attributes = GetFileAttributesA((root + "\\" + path).c_str());
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[key] = "dir";
            SurveyInto(root, path, tree);
            continue;
        }
        // A journal's bytes differ from run to run (its records of moves
        // that waited, the generation): what counts is that it is there.
        if (key.size() > 4 && key.compare(key.size() - 4, 4, ".jnl") == 0 && key.find("####") != std::string::npos) {
            tree[key] += tree.count(key) ? "|journal" : "journal";
            continue;
        }
        Bytes bytes = ReadBytes(root + "\\" + path);
        std::string entry;
        if (attributes & FILE_ATTRIBUTE_READONLY)
            entry += "read-only ";
        if (attributes & FILE_ATTRIBUTE_HIDDEN)
            entry += "hidden ";
        if (attributes & FILE_ATTRIBUTE_SYSTEM)
            entry += "system ";
        entry += std::string(bytes.begin(), bytes.end());
        tree[key] += tree.count(key) ? "|" + entry : entry;
    }
}

Tree Survey(const std::string& root)
{
    Tree tree;
    SurveyInto(root, "", tree);
    return tree;
}

// One line a path: its kind, attributes, size and first bytes.
std::string Show(const Tree& tree)
{
    std::string text;
    for (const auto& [path, entry] : tree) {
        std::string shown = entry.size() > 40 ? entry.substr(0, 40) + "... (" + std::to_string(entry.size()) + ")"
                                              : entry;
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126)
                c = '.';
        text += "  " + path + ": " + shown + "\n";
    }
    return text.empty() ? "  (nothing)\n" : text;
}

// What differs, path by path.
std::string Difference(const Tree& expected, const Tree& found)
{
    std::string text;
    std::set<std::string> paths;
    for (const auto& entry : expected)
        paths.insert(entry.first);
    for (const auto& entry : found)
        paths.insert(entry.first);
    for (const std::string& path : paths) {
        auto e = expected.find(path), f = found.find(path);
        if (e == expected.end())
            text += "  unexpected " + path + "\n";
        else if (f == found.end())
            text += "  missing " + path + "\n";
        else if (e->second != f->second)
            text += "  different " + path + ": expected " + Show({{"", e->second}}).substr(4) + "    found " +
                    Show({{"", f->second}}).substr(4);
    }
    return text;
}

void RemoveTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const std::string& name : ListNames(path))
            RemoveTree(path + "\\" + name);
        RemoveDirectoryA(path.c_str());
        return;
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

void WriteFileWith(const std::string& path, const std::string& text, DWORD attributes = 0)
{
    WriteText(path, text);
    if (attributes)
        SetFileAttributesA(path.c_str(), attributes);
}

// Where the destination stands before the installation.
enum Layout {
    EARLIER,            // an earlier installation as users have it
    USERS_OWN,          // and the user's own things under the installer's names
    OLDER_BACKUP_HELD,  // and its older backup held open by another program
    LEFTOVERS,          // and what an older installer left behind
    CLIENT_RUNNING      // and its program running, from its file in the destination
};

struct SweepCase {
    const char* name;
    Layout layout;
    int makeBackups;
    int answer;          // to the settings question: IDYES keeps, IDNO replaces
    bool editSettings;   // the user's program rewrites vexa.ini between the end and the next run
};

const SweepCase kSweepCases[] = {
    {"BackupsSettingsReplaced", EARLIER, 1, IDNO, false},
    {"BackupsSettingsKept", EARLIER, 1, IDYES, false},
    {"NoBackupsSettingsReplaced", EARLIER, 0, IDNO, false},
    {"NoBackupsSettingsKept", EARLIER, 0, IDYES, false},
    {"UsersOwnThings", USERS_OWN, 1, IDNO, false},
    {"OlderBackupHeldOpen", OLDER_BACKUP_HELD, 1, IDNO, false},
    {"LeftoversOfAnOlderInstaller", LEFTOVERS, 0, IDNO, false},
    {"SettingsEditedAfterwards", EARLIER, 1, IDNO, true},
    {"ClientRunningNoBackups", CLIENT_RUNNING, 0, IDNO, false},
};

// What a power cut takes of the files written since their last flush
// (every journal record is flushed before its change, so only data is at
// stake): nothing (the process was only ended), their bytes (the file
// comes back empty), or their contents (zeros to the same length).
enum PowerCut { KILL_ONLY, LOST_EMPTY, LOST_ZEROS };
const char* const kPowerCutNames[] = {"ended", "power cut, files empty", "power cut, files zero-filled"};

// The files a process wrote and had not flushed when it was ended before
// step crashAt: from the steps it logged, each created file until its
// write-through, followed where it is moved (a new file from ~vexa into its
// place: XXXX.nNN to slot NN's name beside ~vexa).
std::vector<std::string> Unflushed(const std::vector<std::pair<std::string, std::string>>& steps, int crashAt)
{
    static const char* const kHelpIndexes[] = {"vexa.gid", "ircintro.gid"};
    std::vector<std::string> files;
    for (int i = 0; i < crashAt - 1 && i < static_cast<int>(steps.size()); i++) {
        const auto& [what, path] = steps[i];
        auto found = std::find(files.begin(), files.end(), path);
        if (what == "create") {
            files.push_back(path);
        } else if (what == "write through" && found != files.end()) {
            files.erase(found);
        } else if (what == "move" && found != files.end()) {
            size_t name = path.rfind("\\~vexa\\");
            int slot = std::atoi(path.substr(path.size() - 2).c_str());
            if (name != std::string::npos && path.size() >= 4 && path[path.size() - 3] == 'n' && slot < 13)
                *found = path.substr(0, name + 1) + (slot < MEMBER_COUNT ? MemberTable[slot] : kHelpIndexes[slot - MEMBER_COUNT]);
        }
    }
    return files;
}

// The steps a child logged (SETUP32_CRASH_LOG): what, path.
std::vector<std::pair<std::string, std::string>> LoggedSteps(const std::string& logPath)
{
    std::vector<std::pair<std::string, std::string>> steps;
    Bytes bytes = ReadBytes(logPath);
    std::string text(bytes.begin(), bytes.end());
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 2;
        size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
        if (tab1 != std::string::npos && tab2 != std::string::npos)
            steps.emplace_back(line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(tab2 + 1));
    }
    return steps;
}

// The power cut, on the files given.
void CutPower(const std::vector<std::string>& files, PowerCut cut)
{
    if (cut == KILL_ONLY)
        return;
    for (const std::string& path : files) {
        if (!PathExists(path))
            continue;
        Bytes bytes = ReadBytes(path);
        DWORD attributes = GetFileAttributesA(path.c_str());
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteBytes(path, cut == LOST_EMPTY ? Bytes() : Bytes(bytes.size(), 0));
        SetFileAttributesA(path.c_str(), attributes);
    }
}

// An earlier installation: every member, some read-only or hidden (a kept
// settings file both), the two help indexes, an older backup and a file of
// the user's in backup.
void LayOut(const std::string& dest, Layout layout)
{
    CreateDirectoryA(dest.c_str(), nullptr);
    for (int i = 0; i < MEMBER_COUNT; i++)
        WriteFileWith(dest + "\\" + MemberTable[i], std::string("earlier ") + MemberTable[i]);
    SetFileAttributesA((dest + "\\vexa32.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((dest + "\\readme.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((dest + "\\vexa.ini").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((dest + "\\popups.ini").c_str(), FILE_ATTRIBUTE_SYSTEM);
    WriteFileWith(dest + "\\vexa.gid", "earlier help index", FILE_ATTRIBUTE_HIDDEN);
    WriteFileWith(dest + "\\ircintro.gid", "earlier help index", FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA((dest + "\\backup").c_str(), nullptr);
    WriteFileWith(dest + "\\backup\\readme.txt", "older backup of readme.txt", FILE_ATTRIBUTE_READONLY);
    WriteFileWith(dest + "\\backup\\notes.txt", "the user's notes");
    if (layout == USERS_OWN) {
        // A directory where vlink32.exe's backup goes, and the user's own
        // files in the set-aside directory, one under a name like the
        // installer's own.
        CreateDirectoryA((dest + "\\backup\\vlink32.exe").c_str(), nullptr);
        WriteFileWith(dest + "\\backup\\vlink32.exe\\inside.txt", "the user's");
        CreateDirectoryA((dest + "\\~vexa").c_str(), nullptr);
        WriteFileWith(dest + "\\~vexa\\mine.txt", "the user's");
        WriteFileWith(dest + "\\~vexa\\0000.s04", "the user's, named like a set-aside file");
    }
    if (layout == LEFTOVERS) {
        // An older installation without two of today's files, so that new
        // files go where there was none; an empty lock file from an
        // installer ended from outside, and what the installers before
        // journals left in ~vexa.
        for (const char* name : {"versions.txt", "servers.ini"}) {
            std::string path = dest + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
        WriteFileWith(dest + "\\vexa.lck", "", FILE_ATTRIBUTE_HIDDEN);
        CreateDirectoryA((dest + "\\~vexa").c_str(), nullptr);
        WriteFileWith(dest + "\\~vexa\\done", "");
        WriteFileWith(dest + "\\~vexa\\urls.ini", "settings an older installer set aside");
    }
}

// The tree an installation that recovers and then is aborted must leave:
// the earlier one, less an empty lock file that an ended installer left.
Tree Earlier(Tree tree, Layout layout)
{
    if (layout == LEFTOVERS)
        tree.erase("vexa.lck");
    return tree;
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

struct Step {
    std::string what;
    std::string path;
};
std::vector<Step>* observedSteps = nullptr;

void ObserveStep(int, const char* what, const char* path)
{
    if (observedSteps)
        observedSteps->push_back({what, path});
}

class CrashSweep : public EngineTest, public ::testing::WithParamInterface<SweepCase> {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        test = MakePackage(300, 5);
        image = WriteImage(work + "\\setup.img", test.package);
        expectedChecksum = static_cast<int32_t>(test.checksum);
        dest = work + "\\dest";
    }
    void TearDown() override
    {
        Release();
        EngineTest::TearDown();
    }

    // The destination laid out afresh; the older backup held open when the
    // case says so.
    void Prepare()
    {
        Release();
        RemoveTree(dest);
        LayOut(dest, GetParam().layout);
        if (GetParam().layout == OLDER_BACKUP_HELD) {
            held = CreateFileA((dest + "\\backup\\readme.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        if (GetParam().layout == CLIENT_RUNNING) {
            client = StartClient(dest);
            ASSERT_NE(client, nullptr);
        }
    }
    void Release()
    {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
        StopClient(&client);
    }

    // This program again, running CrashSweepChild.Run in the mode given,
    // ended before its crashAt-th change (0: not ended). Its exit code, or
    // one of these.
    enum : DWORD { CHILD_NOT_STARTED = 0xFFFFFF00, CHILD_TIMED_OUT = 0xFFFFFF01 };
    DWORD RunChild(const char* mode, int crashAt)
    {
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string command = std::string("\"") + exe + "\" --gtest_filter=CrashSweepChild.Run";
        const SweepCase& c = GetParam();
        const std::pair<const char*, std::string> variables[] = {
            {"SWEEP_MODE", mode},
            {"SWEEP_DEST", dest},
            {"SWEEP_IMAGE", image},
            {"SWEEP_BACKUPS", std::to_string(c.makeBackups)},
            {"SWEEP_ANSWER", std::to_string(c.answer)},
            {"SWEEP_CHECKSUM", std::to_string(static_cast<int32_t>(test.checksum))},
            {"SETUP32_CRASH_AT", std::to_string(crashAt)},
            {"SETUP32_CRASH_LOG", CrashLog()},
        };
        DeleteFileA(CrashLog().c_str());
        for (const auto& [name, value] : variables)
            SetEnvironmentVariableA(name, value.c_str());
        // The child's output goes to a file beside the destination, shown
        // when it ends other than by finishing or by its crash point.
        std::string logPath = dest + ".child.log";
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE log = CreateFileA(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = log;
        startup.hStdOutput = log;
        startup.hStdError = log;
        // A start that fails has run nothing of the child: try again, twice.
        PROCESS_INFORMATION process = {};
        BOOL started = FALSE;
        for (int attempt = 1; attempt <= 3 && !started; attempt++) {
            started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                     &process);
            if (!started) {
                std::printf("child %s (crash at %d) not started, attempt %d: error %lu\n", mode, crashAt, attempt,
                            GetLastError());
                Sleep(1000);
            }
        }
        for (const auto& variable : variables)
            SetEnvironmentVariableA(variable.first, nullptr);
        CloseHandle(log);
        if (!started)
            return CHILD_NOT_STARTED;
        DWORD code = CHILD_TIMED_OUT;
        if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &code);
        else
            TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (code != 0 && code != static_cast<DWORD>(CRASH_EXIT_CODE)) {
            Bytes output = ReadBytes(logPath);
            std::printf("child %s (crash at %d) ended with 0x%lx; its output:\n%s\n", mode, crashAt, code,
                        std::string(output.begin(), output.end()).c_str());
        }
        return code;
    }

    // Prepare, then end an installation before its step installAt and, when
    // recoverAt is not 0, its recovery before step recoverAt: the children's
    // exit codes. A child that ends with 0xFFFFFFFF, an end that neither the
    // installer nor this program ever chooses, was ended by something else
    // (seen about once in two thousand children): the whole is done once
    // more, and said.
    struct Ended {
        DWORD install = 0;
        DWORD recovery = 0;
    };
    // Each child ended is followed by the power cut given, on what it had
    // written and not flushed.
    Ended EndChildren(int installAt, int recoverAt, PowerCut cut)
    {
        const DWORD unchosen = 0xFFFFFFFF;
        Ended ended;
        for (int attempt = 1; attempt <= 2; attempt++) {
            Prepare();
            if (::testing::Test::HasFatalFailure())
                break;
            ended.install = RunChild("install", installAt);
            CutPower(Unflushed(LoggedSteps(CrashLog()), installAt), cut);
            ended.recovery = 0;
            if (recoverAt != 0 && ended.install == static_cast<DWORD>(CRASH_EXIT_CODE)) {
                ended.recovery = RunChild("recover", recoverAt);
                CutPower(Unflushed(LoggedSteps(CrashLog()), recoverAt), cut);
            }
            if (ended.install != unchosen && ended.recovery != unchosen)
                break;
            std::printf("a child ended with 0x%lx: prepared and run again\n", unchosen);
        }
        return ended;
    }

    std::string CrashLog() const { return dest + ".crash.log"; }

    // A program (an indexer, a virus scanner) holds every journal left in
    // ~vexa open while the next installation starts: it is refused, error
    // [18] naming each, and nothing changes.
    void RecoverWhileJournalsAreHeld()
    {
        std::vector<HANDLE> journals;
        for (const std::string& name : ListNames(dest + "\\~vexa"))
            if (name.size() == 8 && name.compare(4, 4, ".jnl") == 0)
                journals.push_back(CreateFileA((dest + "\\~vexa\\" + name).c_str(), GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
        if (journals.empty())
            return;
        Tree before = Survey(dest);
        ClearMessages();
        ResetSession();
        std::snprintf(session.destinationDir, sizeof session.destinationDir, "%s", dest.c_str());
        session.makeBackups = GetParam().makeBackups;
        EXPECT_EQ(BeginTransaction(&kInstallation), TRANSACTION_REFUSED);
        for (HANDLE journal : journals)
            CloseHandle(journal);
        EXPECT_EQ(MessageNames(), std::vector<std::string>{"error 18"});
        // But for the empty lock file the ended installation left, which
        // the attempt took over and removed.
        Tree after = Survey(dest);
        before.erase("vexa.lck");
        EXPECT_EQ(before, after) << Difference(before, after);
        ClearMessages();
    }

    // The next installation, recovering what it finds, aborted at once.
    void RecoverAndAbort()
    {
        ResetSession();
        std::snprintf(session.destinationDir, sizeof session.destinationDir, "%s", dest.c_str());
        session.makeBackups = GetParam().makeBackups;
        ASSERT_EQ(BeginTransaction(&kInstallation), TRANSACTION_BEGUN);
        EndTransaction(ROLL_BACK_TRANSACTION);
    }

    // A whole installation in this process, as the shell runs it.
    int InstallHere()
    {
        Answer(GetParam().answer == IDYES);
        int result = Install(image, dest, GetParam().makeBackups);
        ReleaseDestination();
        return result;
    }

    // The reference run: the whole installation over the laid-out
    // destination, its steps recorded. The number of its last step before
    // the commit record, its steps, and the tree it leaves.
    struct Reference {
        Tree earlier;
        Tree complete;
        int commitRecord = 0;
        std::vector<Step> steps;
    };
    Reference Run()
    {
        Reference reference;
        Prepare();
        reference.earlier = Earlier(Survey(dest), GetParam().layout);
        ResetCrashPoints();
        observedSteps = &reference.steps;
        ObserveCrashPoints(ObserveStep);
        EXPECT_EQ(InstallHere(), SLICE_COMPLETE);
        ObserveCrashPoints(nullptr);
        observedSteps = nullptr;
        for (size_t i = 0; i < reference.steps.size(); i++)
            if (reference.steps[i].what == "record commit")
                reference.commitRecord = static_cast<int>(i) + 1;
        reference.complete = Survey(dest);
        Release();
        return reference;
    }

    // Which k to run: all with SETUP32_FULL_SWEEP=1, else the first few,
    // every eleventh (from an offset of the case's own, so that the cases
    // together cover more), those around the commit record and the end, and
    // two write-throughs of a new file (the first, and one of the case's
    // own), where a power cut has data to take.
    std::vector<int> Spread(const Reference& reference)
    {
        int last = static_cast<int>(reference.steps.size());
        std::vector<int> ks;
        bool full = Env("SETUP32_FULL_SWEEP") == "1";
        int writeThroughs = 0;
        for (int k = 1; k <= last; k++) {
            bool nearCommit = k >= reference.commitRecord - 2 && k <= reference.commitRecord + 3;
            bool writeThrough = reference.steps[k - 1].what == "write through" &&
                                (writeThroughs++ == 0 || writeThroughs == 1 + CaseIndex() % 9);
            if (full || k <= 4 || (k + CaseIndex()) % 11 == 0 || nearCommit || k > last - 2 || writeThrough)
                ks.push_back(k);
        }
        return ks;
    }

    // The ways to end the installation before step k: ended, and where it
    // had written data it had not flushed, both power cuts as well.
    std::vector<PowerCut> CutsAt(const Reference& reference, int k) const
    {
        std::vector<std::pair<std::string, std::string>> steps;
        for (const Step& step : reference.steps)
            steps.emplace_back(step.what, step.path);
        if (Unflushed(steps, k).empty())
            return {KILL_ONLY};
        return {KILL_ONLY, LOST_EMPTY, LOST_ZEROS};
    }

    int CaseIndex() const
    {
        for (int i = 0; i < static_cast<int>(sizeof kSweepCases / sizeof kSweepCases[0]); i++)
            if (std::strcmp(kSweepCases[i].name, GetParam().name) == 0)
                return i;
        return 0;
    }

    TestPackage test;
    std::string image;
    std::string dest;
    HANDLE held = INVALID_HANDLE_VALUE;
    HANDLE client = nullptr;
};

// A journal is left only where a file waits to move on: the earlier
// readme.txt while its older backup is held open, the earlier program while
// it runs (it cannot be deleted). Nothing else is set aside.
void ExpectWaitingOnlyForTheHeldFile(const Tree& tree, const SweepCase& c)
{
    std::vector<std::string> expected;
    if (c.layout == OLDER_BACKUP_HELD)
        expected = {"~vexa", "~vexa\\####.jnl", "~vexa\\####.s04"};
    if (c.layout == CLIENT_RUNNING)
        expected = {"~vexa", "~vexa\\####.jnl", "~vexa\\####.s00"};
    if (c.layout == USERS_OWN)
        expected = {"~vexa", "~vexa\\####.s01", "~vexa\\####.s04", "~vexa\\mine.txt"};
    if (c.layout == LEFTOVERS)
        expected = {"~vexa", "~vexa\\done", "~vexa\\urls.ini"};
    std::vector<std::string> found;
    for (const auto& entry : tree)
        if (entry.first.rfind("~vexa", 0) == 0)
            found.push_back(entry.first);
    EXPECT_EQ(found, expected);
}

// Explicit facts of the completed installation, so that the reference run
// is not only compared with itself.
void ExpectComplete(const Tree& tree, const SweepCase& c, const TestPackage& test)
{
    for (int i = 0; i < MEMBER_COUNT; i++) {
        bool kept = c.answer == IDYES && IsSettingsMember(i);
        std::string expected = kept ? std::string("earlier ") + MemberTable[i]
                                    : std::string(test.files[i].begin(), test.files[i].end());
        auto found = tree.find(MemberTable[i]);
        ASSERT_NE(found, tree.end()) << MemberTable[i];
        EXPECT_EQ(found->second, expected) << MemberTable[i];
        std::string backup = std::string("backup\\") + MemberTable[i];
        if (c.makeBackups && !kept && !(c.layout == USERS_OWN && i == 1) &&
            !(c.layout == OLDER_BACKUP_HELD && i == 4)) {
            EXPECT_EQ(tree.count(backup), 1u) << backup;
            if (tree.count(backup)) {
                EXPECT_EQ(tree.at(backup), std::string("earlier ") + MemberTable[i]) << backup;
            }
        }
    }
    EXPECT_EQ(tree.count("vexa.gid"), 0u);
    EXPECT_EQ(tree.count("ircintro.gid"), 0u);
    EXPECT_EQ(tree.count("vexa.lck"), 0u);
    EXPECT_EQ(tree.at("backup\\notes.txt"), "the user's notes");
    ExpectWaitingOnlyForTheHeldFile(tree, c);
}

}  // namespace

TEST_P(CrashSweep, EveryStepOfAnInstallation)
{
    const SweepCase& c = GetParam();
    Reference reference = Run();
    ASSERT_GT(reference.commitRecord, 0);
    ExpectComplete(reference.complete, c, test);
    std::vector<int> ks = Spread(reference);

    int runs = 0;
    for (int k : ks)
        for (PowerCut cut : CutsAt(reference, k)) {
            SCOPED_TRACE(std::string(kPowerCutNames[cut]) + " before step " + std::to_string(k) + ": " +
                         reference.steps[k - 1].what + " " + reference.steps[k - 1].path);
            runs++;
            Ended ended;
            ASSERT_NO_FATAL_FAILURE(ended = EndChildren(k, 0, cut));
            ASSERT_EQ(ended.install, static_cast<DWORD>(CRASH_EXIT_CODE));
            ASSERT_NO_FATAL_FAILURE(RecoverWhileJournalsAreHeld());
            std::string before;   // vexa.ini as the ended installation left it
            if (c.editSettings) {
                Bytes bytes = ReadBytes(dest + "\\vexa.ini");
                before.assign(bytes.begin(), bytes.end());
                SetFileAttributesA((dest + "\\vexa.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
                WriteText(dest + "\\vexa.ini", "the user's own settings");
            }
            ClearMessages();
            ASSERT_NO_FATAL_FAILURE(RecoverAndAbort());
            Tree expected = k <= reference.commitRecord ? reference.earlier : reference.complete;
            Tree found = Survey(dest);
            std::vector<std::string> names = MessageNames();
            if (c.editSettings) {
                // The user's file is never lost: it stays in its place where
                // the earlier file never left it or the commit had begun;
                // otherwise the earlier file goes back and the user's is set
                // aside, named.
                bool earlierInPlace = "read-only hidden " + before == expected.at("vexa.ini");
                if (k > reference.commitRecord || earlierInPlace) {
                    expected["vexa.ini"] = "the user's own settings";
                } else {
                    expected["~vexa"] = "dir";
                    expected["~vexa\\####.u06"] = "the user's own settings";
                    EXPECT_EQ(names, std::vector<std::string>{"error 17"});
                    names.clear();
                }
            }
            ASSERT_EQ(expected, found) << Difference(expected, found);
            // Silent, but for naming once what a roll-forward could not move
            // into backup.
            if (k <= reference.commitRecord || c.layout != USERS_OWN) {
                EXPECT_TRUE(names.empty());
            } else {
                EXPECT_LE(names.size(), 1u);
                for (const std::string& name : names)
                    EXPECT_EQ(name, "error 17");
            }

            // And one more installation completes.
            ClearMessages();
            ASSERT_EQ(InstallHere(), SLICE_COMPLETE);
            found = Survey(dest);
            if (k <= reference.commitRecord && !c.editSettings) {
                ASSERT_EQ(reference.complete, found) << Difference(reference.complete, found);
            } else {
                for (int i = 0; i < MEMBER_COUNT; i++)
                    if (!(c.answer == IDYES && IsSettingsMember(i))) {
                        EXPECT_EQ(ReadBytes(dest + "\\" + MemberTable[i]), test.files[i]) << MemberTable[i];
                    }
                EXPECT_EQ(found.count("vexa.lck"), 0u);
            }
        }
    std::printf("%s: %zu steps, commit record at step %d, %d runs\n", c.name, reference.steps.size(),
                reference.commitRecord, runs);
}

TEST_P(CrashSweep, EveryStepOfARecovery)
{
    const SweepCase& c = GetParam();
    Reference reference = Run();
    ASSERT_GT(reference.commitRecord, 0);
    int last = static_cast<int>(reference.steps.size());
    // Installations ended among the members and within the commit; with
    // SETUP32_FULL_SWEEP=1 also right before the commit record and at every
    // tenth step, the recovery of each ended at every one of its steps, else
    // at every fourth (from an offset of the case's own) and after its last.
    bool full = Env("SETUP32_FULL_SWEEP") == "1";
    std::set<int> firsts = {reference.commitRecord / 2, (reference.commitRecord + last) / 2};
    if (full) {
        firsts.insert(reference.commitRecord);
        for (int k = 10; k < last; k += 10)
            firsts.insert(k);
    }
    int runs = 0;
    for (int first : firsts) {
        for (int j = full ? 1 : 1 + CaseIndex() % 4;; j += full ? 1 : 4) {
            SCOPED_TRACE("installation ended before step " + std::to_string(first) + ", its recovery before step " +
                         std::to_string(j));
            Ended ended;
            ASSERT_NO_FATAL_FAILURE(ended = EndChildren(first, j, LOST_ZEROS));
            ASSERT_EQ(ended.install, static_cast<DWORD>(CRASH_EXIT_CODE));
            DWORD code = ended.recovery;
            ASSERT_TRUE(code == static_cast<DWORD>(CRASH_EXIT_CODE) || code == 0) << code;
            runs++;
            ClearMessages();
            ASSERT_NO_FATAL_FAILURE(RecoverAndAbort());
            const Tree& expected = first <= reference.commitRecord ? reference.earlier : reference.complete;
            Tree found = Survey(dest);
            ASSERT_EQ(expected, found) << Difference(expected, found);
            if (code == 0)
                break;   // the recovery had fewer steps than j: all were ended once
        }
        ClearMessages();
        ASSERT_EQ(InstallHere(), SLICE_COMPLETE);
    }
    std::printf("%s: recoveries of %zu installations ended, %d runs\n", c.name, firsts.size(), runs);
}

// An installation ended within its commit, the settings file then changed
// by the user, and two more installations that keep the settings: the
// user's current file stays, never the earlier one that the ended
// installation had set aside.
TEST_P(CrashSweep, LaterInstallationsKeepTheUsersCurrentFiles)
{
    Reference reference = Run();
    ASSERT_GT(reference.commitRecord, 0);
    Ended ended;
    ASSERT_NO_FATAL_FAILURE(ended = EndChildren(reference.commitRecord + 2, 0, KILL_ONLY));
    ASSERT_EQ(ended.install, static_cast<DWORD>(CRASH_EXIT_CODE));
    const std::string settings = dest + "\\vexa.ini";
    SetFileAttributesA(settings.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteText(settings, "the user's current settings");
    for (int run = 0; run < 2; run++) {
        SCOPED_TRACE(run == 0 ? "the installation after the ended one" : "the one after that");
        ClearMessages();
        Answer(true);
        ASSERT_EQ(Install(image, dest, GetParam().makeBackups), SLICE_COMPLETE);
        ReleaseDestination();
        Bytes found = ReadBytes(settings);
        EXPECT_EQ(std::string(found.begin(), found.end()), "the user's current settings");
        ExpectWaitingOnlyForTheHeldFile(Survey(dest), GetParam());
    }
}

INSTANTIATE_TEST_SUITE_P(Sweep, CrashSweep, ::testing::ValuesIn(kSweepCases),
                         [](const ::testing::TestParamInfo<SweepCase>& info) { return std::string(info.param.name); });

// The child's side: one installation (or one recovery, aborted at once) as
// the parent describes it in the environment. Skipped when run otherwise.
using CrashSweepChild = EngineTest;

TEST_F(CrashSweepChild, Run)
{
    std::string mode = Env("SWEEP_MODE");
    if (mode.empty())
        GTEST_SKIP() << "started by CrashSweep only";
    expectedChecksum = std::atoi(Env("SWEEP_CHECKSUM").c_str());
    std::string dest = Env("SWEEP_DEST");
    int backups = std::atoi(Env("SWEEP_BACKUPS").c_str());
    if (mode == "client") {
        // The installed program, running until it is ended.
        WriteText(dest + ".client.ready", "");
        Sleep(600000);
        return;
    }
    if (mode == "install") {
        Answer(std::atoi(Env("SWEEP_ANSWER").c_str()) == IDYES);
        Install(Env("SWEEP_IMAGE"), dest, backups);
        ReleaseDestination();
    } else {
        ResetSession();
        std::snprintf(session.destinationDir, sizeof session.destinationDir, "%s", dest.c_str());
        session.makeBackups = backups;
        BeginTransaction(&kInstallation);
        EndTransaction(ROLL_BACK_TRANSACTION);
    }
}
