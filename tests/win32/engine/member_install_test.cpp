// Member installation through whole installations: what becomes of existing
// files, settings kept or replaced, backups, help indexes, every failure box
// and the roll-back after it.
#include <algorithm>
#include <cstring>
#include <map>

#include "engine_fixture.h"
#include "install_session.h"
#include "member_encoder.h"
#include "member_install.h"
#include "package_format.h"
#include "package_scanner.h"
#include "resource_ids.h"
#include "transaction.h"

namespace {

using MemberInstallTest = EngineTest;
using RollBackTest = EngineTest;

struct Existing {
    std::string name;  // relative to the destination directory
    std::string content;
    bool readOnly;
};

void MakeExisting(const std::string& dest, const std::vector<Existing>& files)
{
    for (const Existing& f : files) {
        std::string path = dest + "\\" + f.name;
        size_t slash = f.name.find('\\');
        if (slash != std::string::npos)
            CreateDirectoryA((dest + "\\" + f.name.substr(0, slash)).c_str(), nullptr);
        WriteText(path, f.content);
        if (f.readOnly)
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool IsReadOnly(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// Records, in order, the files removed below a directory.
class RemovalWatch {
public:
    explicit RemovalWatch(const std::string& root)
    {
        dir_ = CreateFileA(root.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        overlapped_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        Issue();
    }
    ~RemovalWatch()
    {
        CancelIo(dir_);
        CloseHandle(overlapped_.hEvent);
        CloseHandle(dir_);
    }
    std::vector<std::string> Removed()
    {
        while (WaitForSingleObject(overlapped_.hEvent, 300) == WAIT_OBJECT_0) {
            DWORD size = 0;
            if (!GetOverlappedResult(dir_, &overlapped_, &size, FALSE) || size == 0)
                break;
            for (size_t at = 0;;) {
                auto* info = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(buffer_ + at);
                if (info->Action == FILE_ACTION_REMOVED) {
                    char name[MAX_PATH] = "";
                    WideCharToMultiByte(CP_ACP, 0, info->FileName, info->FileNameLength / 2, name, sizeof name - 1,
                                        nullptr, nullptr);
                    removed_.push_back(name);
                }
                if (!info->NextEntryOffset)
                    break;
                at += info->NextEntryOffset;
            }
            Issue();
        }
        return removed_;
    }

private:
    void Issue()
    {
        ResetEvent(overlapped_.hEvent);
        ReadDirectoryChangesW(dir_, buffer_, sizeof buffer_, TRUE,
                              FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, nullptr, &overlapped_,
                              nullptr);
    }
    HANDLE dir_;
    OVERLAPPED overlapped_ = {};
    alignas(DWORD) char buffer_[65536];
    std::vector<std::string> removed_;
};

}  // namespace

TEST_F(MemberInstallTest, ExistingFilesAreKeptBackedUpOrOverwritten)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);

    struct Case {
        const char* name;
        std::vector<Existing> existing;
        int makeBackups;
        int answer;                           // to the settings question
        const char* askedDuring;              // status line when asked; null: never asked
        std::vector<std::string> kept;        // members whose existing file stays
        std::map<std::string, std::string> backup;  // expected content of dest\backup
        std::vector<std::string> gone;        // other files that must be deleted
    } cases[] = {
        {"other files, backups on",
         {{"readme.txt", "old readme", true}, {"vexa32.exe", "old program", false}},
         1, 0, nullptr, {},
         {{"readme.txt", "old readme"}, {"vexa32.exe", "old program"}}, {}},
        {"other files, backups off: read-only overwritten, help indexes deleted",
         {{"readme.txt", "old readme", true}, {"vexa.gid", "index", true}, {"ircintro.gid", "index", false}},
         0, 0, nullptr, {}, {}, {"vexa.gid", "ircintro.gid"}},
        {"settings kept: asked once, at the first existing settings file",
         {{"popups.ini", "my popups", true}, {"urls.ini", "my urls", false}},
         1, IDYES, "Extracting file: popups.ini", {"popups.ini", "urls.ini"}, {}, {}},
        {"settings replaced with backups",
         {{"popups.ini", "my popups", true}, {"urls.ini", "my urls", false}, {"vexa32.exe", "old program", false}},
         1, IDNO, "Extracting file: popups.ini", {},
         {{"popups.ini", "my popups"}, {"urls.ini", "my urls"}, {"vexa32.exe", "old program"}}, {}},
        {"settings replaced without backups",
         {{"vexa.ini", "my settings", true}, {"servers.ini", "my servers", false}},
         0, IDNO, "Extracting file: vexa.ini", {}, {}, {}},
        {"existing backup directory reused, older backup replaced",
         {{"backup\\readme.txt", "older backup", false},
          {"backup\\notes.txt", "unrelated", false},
          {"readme.txt", "previous readme", false}},
         1, 0, nullptr, {},
         {{"readme.txt", "previous readme"}, {"notes.txt", "unrelated"}}, {}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearMessages();
        std::string dest = FreshDir(std::string("outcome\\") + std::to_string(&c - cases));
        MakeExisting(dest, c.existing);
        std::map<std::string, std::string> before;
        for (const Existing& f : c.existing)
            before[f.name] = f.content;
        std::string statusWhenAsked;
        onMessage = [&](const ReportedMessage&) { statusWhenAsked = statusLog.empty() ? "" : statusLog.back(); };
        if (c.answer)
            Answer(c.answer == IDYES);
        expectedChecksum = static_cast<int32_t>(test.checksum);

        ASSERT_EQ(Install(image, dest, c.makeBackups), SLICE_COMPLETE);
        EXPECT_EQ(session.memberIndex, 11);

        if (c.askedDuring) {
            ASSERT_EQ(MessageNames(), std::vector<std::string>{"question: keep settings"});
            EXPECT_EQ(messages[0].text, QuestionText(QUESTION_KEEP_SETTINGS));
            EXPECT_EQ(statusWhenAsked, c.askedDuring);
        } else {
            EXPECT_TRUE(messages.empty());
        }

        for (int i = 0; i < MEMBER_COUNT; i++) {
            std::string path = dest + "\\" + MemberTable[i];
            bool kept = std::find(c.kept.begin(), c.kept.end(), MemberTable[i]) != c.kept.end();
            if (kept) {
                EXPECT_EQ(Text(ReadBytes(path)), before[MemberTable[i]]) << MemberTable[i];
            }
            else
                EXPECT_EQ(ReadBytes(path), test.files[i]) << MemberTable[i];
            EXPECT_FALSE(IsReadOnly(path)) << MemberTable[i];
        }
        EXPECT_EQ(IsDirectory(dest + "\\backup"), !c.backup.empty());
        for (const auto& [name, content] : c.backup)
            EXPECT_EQ(Text(ReadBytes(dest + "\\backup\\" + name)), content) << name;
        for (const std::string& name : c.gone)
            EXPECT_FALSE(PathExists(dest + "\\" + name)) << name;
        onMessage = nullptr;
    }
}

TEST_F(MemberInstallTest, BackupFailuresReturnToTheOptions)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);

    struct Case {
        const char* name;
        std::string dest;
        InstallError error;
    } cases[] = {
        // A file where the backup directory belongs: the move into it fails.
        {"file named backup", work + "\\filebackup", ERROR_BACK_UP_FILE},
        // A dangling link named backup: nothing there, yet nothing can be made.
        {"backup directory cannot be created", LinksRoot() + "\\nobackup", ERROR_CREATE_BACKUP_DIRECTORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearMessages();
        CreateDirectoryA(c.dest.c_str(), nullptr);
        if (c.error == ERROR_BACK_UP_FILE)
            WriteText(c.dest + "\\backup", "not a directory");
        else
            ASSERT_FALSE(PathExists(c.dest + "\\backup")) << "made by the test fixture engine_links";
        WriteText(c.dest + "\\readme.txt", "previous readme");

        EXPECT_EQ(Install(image, c.dest, 1), SLICE_CHOOSE_AGAIN);
        ExpectOneError(c.error);
        // The dialog's roll-back removed members 0 to 3; the existing file
        // and the directory that was already there stay.
        EXPECT_EQ(Text(ReadBytes(c.dest + "\\readme.txt")), "previous readme");
        for (int i = 0; i < 4; i++)
            EXPECT_FALSE(PathExists(c.dest + "\\" + MemberTable[i])) << MemberTable[i];
        EXPECT_TRUE(IsDirectory(c.dest));
        if (c.error == ERROR_BACK_UP_FILE) {
            EXPECT_EQ(Text(ReadBytes(c.dest + "\\backup")), "not a directory");
        }
        std::remove((c.dest + "\\readme.txt").c_str());
    }
}

TEST_F(MemberInstallTest, DestinationFileThatCannotBeWrittenShowsError4)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);

    // A directory where vlink32.exe belongs: member 0 is installed first.
    std::string dest = work + "\\vexa";
    CreateDirectoryA(dest.c_str(), nullptr);
    CreateDirectoryA((dest + "\\vlink32.exe").c_str(), nullptr);
    WriteText(dest + "\\vexa.gid", "index");
    bool memberZeroGoneAtBox = false;
    onMessage = [&](const ReportedMessage&) { memberZeroGoneAtBox = !PathExists(dest + "\\vexa32.exe"); };
    EXPECT_EQ(Install(image, dest, 0), SLICE_FAILED);
    ExpectOneError(ERROR_COPY_FILE);
    EXPECT_TRUE(memberZeroGoneAtBox);
    EXPECT_TRUE(IsDirectory(dest + "\\vlink32.exe"));
    // Its help file was never installed, so the help index stays.
    EXPECT_TRUE(PathExists(dest + "\\vexa.gid"));
    EXPECT_TRUE(IsDirectory(dest));
    onMessage = nullptr;

    // A destination that names a file passes the directory step and fails
    // at the first member.
    ClearMessages();
    std::string file = work + "\\plain.txt";
    WriteText(file, "a file");
    std::strcpy(session.destinationDir, file.c_str());
    EXPECT_EQ(BeginTransaction(&kInstallation), TRANSACTION_BEGUN);
    EXPECT_EQ(session.createdDestination, 0);
    EXPECT_EQ(Install(image, file, 1), SLICE_FAILED);
    ExpectOneError(ERROR_COPY_FILE);
    EXPECT_EQ(Text(ReadBytes(file)), "a file");
}

TEST_F(MemberInstallTest, FailedDecodeIsRolledBackNewestFirstWithError5)
{
    // Member 5 states a decoded size of 0, which the decoder refuses.
    TestPackage test = MakePackage(300);
    std::vector<Bytes> members = SplitMembers(test.package);
    ASSERT_EQ(members.size(), 11u);
    members[5] = Bytes{0, 0, 0, 0};
    std::string image = WriteImage(work + "\\setup.img", JoinMembers(members));

    std::string dest = work + "\\vexa";
    bool rolledBackAtBox = false;
    onMessage = [&](const ReportedMessage&) { rolledBackAtBox = !PathExists(dest); };
    std::vector<std::string> removed;
    {
        RemovalWatch watch(work);
        EXPECT_EQ(Scan(image, dest, 1), SLICE_FAILED);
        removed = watch.Removed();
    }
    ExpectOneError(ERROR_DECODE_FILE);
    EXPECT_TRUE(rolledBackAtBox);
    // The partly written member (still beside its place, in ~vexa) goes
    // first, then the installed ones from the newest, then the journal and
    // the set-aside directory, the lock file that held the directory, and
    // the directory this installation created.
    std::vector<std::string> expected = {"vexa\\~vexa\\####.n05", "vexa\\readme.txt",  "vexa\\ircintro.hlp",
                                         "vexa\\vexa.hlp",     "vexa\\vlink32.exe", "vexa\\vexa32.exe",
                                         "vexa\\~vexa\\####.jnl", "vexa\\~vexa", "vexa\\vexa.lck", "vexa"};
    std::vector<std::string> inDest;
    for (std::string name : removed)
        if (name.rfind("vexa", 0) == 0) {
            if (name.size() == 19 && name.rfind("vexa\\~vexa\\", 0) == 0)
                name.replace(11, 4, "####");
            inDest.push_back(name);
        }
    EXPECT_EQ(inDest, expected);
    EXPECT_FALSE(PathExists(dest));
    EXPECT_EQ(session.memberIndex, 0);
    EXPECT_EQ(session.createdDestination, 0);
}

TEST_F(MemberInstallTest, UnreadableTemporaryFileShowsError3AfterRollBack)
{
    std::string dest = work + "\\vexa";
    std::strcpy(session.destinationDir, dest.c_str());
    ASSERT_EQ(BeginTransaction(&kInstallation), TRANSACTION_BEGUN);
    // Members 0 and 1 written by this installation, as its journal says.
    for (int slot = 0; slot < 2; slot++) {
        int result = 0;
        ByteStream* file = CreateMemberFile(slot, &result);
        ASSERT_NE(file, nullptr);
        StreamPutByte('x', file);
        ASSERT_EQ(PlaceMemberFile(slot, file, true), DEST_DONE);
    }
    session.memberIndex = 2;
    bool rolledBackAtBox = false;
    onMessage = [&](const ReportedMessage&) { rolledBackAtBox = !PathExists(dest + "\\vexa32.exe"); };

    EXPECT_EQ(InstallMember((work + "\\missing.tmp").c_str()), MEMBER_FAILED);
    ExpectOneError(ERROR_READ_INSTALL_FILE);
    EXPECT_TRUE(rolledBackAtBox);
    EXPECT_FALSE(PathExists(dest + "\\vlink32.exe"));
    EXPECT_FALSE(PathExists(dest + "\\vexa.hlp"));
    EXPECT_FALSE(PathExists(dest));
    EXPECT_EQ(session.memberIndex, 0);
}

TEST_F(MemberInstallTest, DestinationDirectoryRefusedWithError1)
{
    std::string tooLong = work + "\\";
    tooLong.append(MAX_DESTINATION_DIR + 1 - tooLong.size(), 'd');
    struct Case {
        const char* name;
        std::string dest;
    } cases[] = {
        {"empty", ""},
        {"parent missing", work + "\\missing\\vexa"},
        {"longer than 279 characters", tooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearMessages();
        std::strcpy(session.destinationDir, c.dest.c_str());
        session.createdDestination = 0;
        EXPECT_EQ(BeginTransaction(&kInstallation), TRANSACTION_REFUSED);
        ExpectOneError(ERROR_CREATE_DIRECTORY);
        EXPECT_EQ(session.createdDestination, 0);
        if (!c.dest.empty()) {
            EXPECT_FALSE(PathExists(c.dest));
        }
    }
    EXPECT_FALSE(PathExists(work + "\\missing"));
}

TEST_F(MemberInstallTest, LongestDestinationStaysInsideThePathBuffers)
{
    // The dialog accepts 299 characters. Paths built from such a directory
    // must never run on into the fields after their buffers.
    std::string dest = "c:\\" + std::string(PATH_BUFFER_SIZE - 4, 'd');
    std::strcpy(session.destinationDir, dest.c_str());
    std::memset(session.backupDir, '#', sizeof session.backupDir);
    std::memset(&session.pathParts, '#', sizeof session.pathParts);
    auto intact = [](const char* field, size_t size) {
        return std::all_of(field, field + size, [](char c) { return c == '#'; });
    };

    for (int i = 0; i < MEMBER_COUNT; i++) {
        SlotPath(session.memberPath, i);
        EXPECT_STREQ(session.memberPath, "");
    }
    session.overallFill = 1;
    ShowScanningStatus();
    EXPECT_EQ(statusLog.back(), "Scanning file: vexa32.exe");
    session.memberIndex = MEMBER_COUNT;
    EndTransaction(ROLL_BACK_TRANSACTION);
    EXPECT_EQ(session.memberIndex, 0);
    EXPECT_TRUE(intact(session.backupDir, sizeof session.backupDir));
    EXPECT_TRUE(intact(reinterpret_cast<const char*>(&session.pathParts), sizeof session.pathParts));

    EXPECT_EQ(BeginTransaction(&kInstallation), TRANSACTION_REFUSED);
    ExpectOneError(ERROR_CREATE_DIRECTORY);

    // 279 characters still give every member's full path.
    dest.resize(MAX_DESTINATION_DIR);
    std::strcpy(session.destinationDir, dest.c_str());
    for (int i = 0; i < MEMBER_COUNT; i++) {
        SlotPath(session.memberPath, i);
        EXPECT_EQ(std::string(session.memberPath), dest + "\\" + MemberTable[i]);
    }
}

TEST_F(RollBackTest, SecondRunFindsNothingToUndo)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum + 1);  // fails after the last member
    std::string dest = work + "\\vexa";
    ASSERT_EQ(Install(image, dest, 1), SLICE_FAILED);
    EXPECT_FALSE(PathExists(dest));
    EXPECT_EQ(session.memberIndex, 0);

    // Whatever appears afterwards is not this installation's.
    CreateDirectoryA(dest.c_str(), nullptr);
    WriteText(dest + "\\vexa32.exe", "someone else's");
    EndTransaction(ROLL_BACK_TRANSACTION);
    EXPECT_EQ(Text(ReadBytes(dest + "\\vexa32.exe")), "someone else's");
    EXPECT_EQ(ListNames(dest), (std::vector<std::string>{"vexa32.exe"}));
}

TEST_F(RollBackTest, NeverDeletesSettingsTheUserKept)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum + 1);  // fails after the last member
    std::string dest = work + "\\vexa";
    CreateDirectoryA(dest.c_str(), nullptr);
    WriteText(dest + "\\aliases.ini", "my aliases");
    Answer(true);

    EXPECT_EQ(Install(image, dest, 1), SLICE_FAILED);
    ASSERT_EQ(MessageNames(), (std::vector<std::string>{"question: keep settings", "error 13"}));
    EXPECT_EQ(Text(ReadBytes(dest + "\\aliases.ini")), "my aliases");
    for (int i = 0; i < MEMBER_COUNT; i++)
        if (std::string(MemberTable[i]) != "aliases.ini") {
            EXPECT_FALSE(PathExists(dest + "\\" + MemberTable[i])) << MemberTable[i];
        }
    EXPECT_TRUE(IsDirectory(dest));
}

// An earlier file whose place another program holds when the roll-back
// wants it back: reported once, kept in ~vexa with its attributes, and put
// back by the next installation before it starts.
TEST_F(RollBackTest, AnEarlierFileThatCannotGoBackWaitsForTheNextInstallation)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    std::string dest = FreshDir("held-place");
    MakeExisting(dest, {{"vexa32.exe", "old program", true}, {"readme.txt", "old readme", false}});

    // The checksum is off, so the failure comes once every member is in
    // place; the new vexa32.exe is held open without sharing by then.
    expectedChecksum = static_cast<int32_t>(test.checksum + 1);
    HANDLE held = INVALID_HANDLE_VALUE;
    onStatus = [&](const std::string& text) {
        if (held == INVALID_HANDLE_VALUE && text == "Extracting file: vlink32.exe")
            held = CreateFileA((dest + "\\vexa32.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    EXPECT_EQ(Install(image, dest, 1), SLICE_FAILED);
    onStatus = nullptr;
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_EQ(MessageNames(), (std::vector<std::string>{"error 16", "error 13"}));
    // Named once, where it is kept: ~vexa, under this installation's own
    // name for member 0's earlier file.
    std::vector<std::string> setAside = ListNames(dest + "\\~vexa");
    ASSERT_EQ(setAside.size(), 2u);   // the journal and the file
    std::string kept = dest + "\\~vexa\\" + setAside[1];
    EXPECT_EQ(setAside[0].substr(4), ".jnl");
    EXPECT_EQ(setAside[1], setAside[0].substr(0, 4) + ".s00");
    EXPECT_EQ(messages[0].text, ErrorText(ERROR_NOT_RESTORED) + kept + ErrorAdvice(ERROR_NOT_RESTORED));
    EXPECT_EQ(Text(ReadBytes(kept)), "old program");
    EXPECT_TRUE(IsReadOnly(kept));
    EXPECT_EQ(Text(ReadBytes(dest + "\\readme.txt")), "old readme");
    EXPECT_FALSE(PathExists(dest + "\\backup"));
    CloseHandle(held);

    ClearMessages();
    expectedChecksum = static_cast<int32_t>(test.checksum);
    EXPECT_EQ(Install(image, dest, 1), SLICE_COMPLETE);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ReadBytes(dest + "\\vexa32.exe"), test.files[0]);
    EXPECT_EQ(Text(ReadBytes(dest + "\\backup\\vexa32.exe")), "old program");
    EXPECT_EQ(Text(ReadBytes(dest + "\\backup\\readme.txt")), "old readme");
    EXPECT_FALSE(PathExists(dest + "\\~vexa"));
    ReleaseDestination();   // as the shell does once the installation is reported
    EXPECT_FALSE(PathExists(dest + "\\vexa.lck"));
}

// The journal cannot be written (a file stands where the set-aside
// directory goes): the installation stops at Install with error [1] before
// anything in the destination has changed.
TEST_F(MemberInstallTest, NoJournalNoChange)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);
    std::string dest = FreshDir("no-journal");
    MakeExisting(dest, {{"vexa32.exe", "old program", true}, {"~vexa", "the user's file", false}});
    EXPECT_EQ(Install(image, dest, 1), SLICE_CHOOSE_AGAIN);
    ExpectOneError(ERROR_CREATE_DIRECTORY);
    EXPECT_EQ(ListNames(dest), (std::vector<std::string>{"vexa32.exe", "~vexa"}));
    EXPECT_EQ(Text(ReadBytes(dest + "\\vexa32.exe")), "old program");
    EXPECT_TRUE(IsReadOnly(dest + "\\vexa32.exe"));
    EXPECT_EQ(Text(ReadBytes(dest + "\\~vexa")), "the user's file");
}
