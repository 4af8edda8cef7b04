// What an installation finds that earlier ones left, and what it must not
// lose: journals it cannot act on, several journals at once, files that
// wait to move on, a program that runs from the destination, a file that
// appears in a place being filled, and more kept files than a message
// holds.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "content_digest.h"
#include "destination.h"
#include "engine_fixture.h"
#include "install_session.h"
#include "journal_format.h"
#include "journal_records.h"
#include "member_install.h"
#include "package_format.h"
#include "package_scanner.h"
#include "transaction.h"

namespace {

using RecoveryTest = EngineTest;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

uint32_t DigestOf(const Bytes& bytes)
{
    return DigestEnd(DigestBytes(DIGEST_START, bytes.data(), static_cast<uint32_t>(bytes.size())),
                     static_cast<uint32_t>(bytes.size()));
}

// Every file below dir with its contents, "dir" for directories.
std::vector<std::string> Listing(const std::string& dir, const std::string& prefix = "")
{
    std::vector<std::string> lines;
    for (const std::string& name : ListNames(dir)) {
        std::string path = dir + "\\" + name;
        if (IsDirectory(path)) {
            lines.push_back(prefix + name + ": dir");
            for (const std::string& line : Listing(path, prefix + name + "\\"))
                lines.push_back(line);
        } else {
            lines.push_back(prefix + name + ": " + Text(ReadBytes(path)));
        }
    }
    return lines;
}

}  // namespace

// A journal that cannot be acted on stops the installation before anything
// changes: error [18] names it, and it stays. Once it is out of the way (or
// whole), the installation goes on.
TEST_F(RecoveryTest, AJournalThatCannotBeActedOnStopsTheInstallation)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);
    const Bytes opening = JournalRecords({{RECORD_OPEN, 0, 1u << OPEN_GENERATION_SHIFT}});
    Bytes garbage = opening;
    garbage.insert(garbage.end(), {'n', 'o', 't', ' ', 'o', 'u', 'r', 's'});
    struct Case {
        const char* name;
        Bytes bytes;
        int journals;   // files of that content, 0000.jnl on
    } cases[] = {
        {"a first record that is not the opening one", JournalRecords({{RECORD_SET_ASIDE, 0, 0}, {RECORD_OPEN, 0, 0}}), 1},
        {"bytes after its records that are no record", garbage, 1},
        {"more journals than ended installations leave", opening, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dest = FreshDir("unusable");
        WriteText(dest + "\\vexa32.exe", "earlier program");
        CreateDirectoryA((dest + "\\~vexa").c_str(), nullptr);
        std::string named;
        for (int i = 0; i < c.journals; i++) {
            char name[16];
            std::snprintf(name, sizeof name, "%04x.jnl", i);
            WriteBytes(dest + "\\~vexa\\" + name, c.bytes);
            named = dest + "\\~vexa\\" + name;
        }
        std::vector<std::string> before = Listing(dest);

        ClearMessages();
        EXPECT_EQ(Install(image, dest, 1), SLICE_CHOOSE_AGAIN);
        ASSERT_EQ(MessageNames(), std::vector<std::string>{"error 18"});
        const std::string& text = messages[0].text;
        // The one it names (of many, the one found past the limit).
        named = text.substr(std::strlen(ErrorText(ERROR_JOURNAL_UNREADABLE)), named.size());
        EXPECT_EQ(text, ErrorText(ERROR_JOURNAL_UNREADABLE) + named + ErrorAdvice(ERROR_JOURNAL_UNREADABLE));
        EXPECT_EQ(Listing(dest), before);

        // Out of the way: the rest are acted on (whole, they recorded
        // nothing that is still there) and deleted, and the installation
        // completes.
        ASSERT_TRUE(DeleteFileA(named.c_str()));
        ClearMessages();
        EXPECT_EQ(Install(image, dest, 1), SLICE_COMPLETE);
        ReleaseDestination();
        EXPECT_TRUE(messages.empty());
        EXPECT_FALSE(PathExists(dest + "\\~vexa"));
        EXPECT_EQ(Text(ReadBytes(dest + "\\backup\\vexa32.exe")), "earlier program");
    }
}

// Two installations ended before their commits, the later over the
// earlier's new file: undone newest first, the earliest file comes back.
// The older journal sorts first by name, so an order by name would undo it
// first and find the later one's file in its place.
TEST_F(RecoveryTest, EndedInstallationsAreUndoneNewestFirst)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);
    std::string dest = FreshDir("two-ended");
    const Bytes first = {'f', 'i', 'r', 's', 't'}, second = {'s', 'e', 'c', 'o', 'n', 'd', '!', '!'};
    CreateDirectoryA((dest + "\\~vexa").c_str(), nullptr);
    WriteBytes(dest + "\\~vexa\\0000.jnl", JournalRecords({{RECORD_OPEN, 0, 1u << OPEN_GENERATION_SHIFT},
                                                    {RECORD_SET_ASIDE, 0, FILE_ATTRIBUTE_NORMAL},
                                                    {RECORD_BEGUN, 0, 0},
                                                    {RECORD_DONE, 0, DigestOf(first)}}));
    WriteBytes(dest + "\\~vexa\\ffff.jnl", JournalRecords({{RECORD_OPEN, 0, 2u << OPEN_GENERATION_SHIFT},
                                                    {RECORD_SET_ASIDE, 0, FILE_ATTRIBUTE_NORMAL},
                                                    {RECORD_BEGUN, 0, 0},
                                                    {RECORD_DONE, 0, DigestOf(second)}}));
    WriteText(dest + "\\~vexa\\0000.s00", "earliest program");
    WriteBytes(dest + "\\~vexa\\ffff.s00", first);
    WriteBytes(dest + "\\vexa32.exe", second);

    std::strcpy(session.destinationDir, dest.c_str());
    session.makeBackups = 1;
    ASSERT_EQ(BeginTransaction(&kInstallation), TRANSACTION_BEGUN);
    EndTransaction(ROLL_BACK_TRANSACTION);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Listing(dest), std::vector<std::string>{"vexa32.exe: earliest program"});
}

// A journal is known by its name: four hexadecimal digits and the
// extension, as written or all in capitals. Any other file in ~vexa is
// not one, and is left as it is.
TEST_F(RecoveryTest, JournalsAreKnownByTheirNames)
{
    struct Case {
        const char* journal;
        bool actedOn;
    } cases[] = {
        {"1234.jnl", true},
        {"ABCD.JNL", true},
        {"12g4.jnl", false},
        {"123.jnl", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.journal);
        ClearMessages();
        std::string dest = FreshDir("journal-names");
        CreateDirectoryA((dest + "\\~vexa").c_str(), nullptr);
        std::string name = c.journal;
        std::string stem = name.substr(0, name.find('.'));
        WriteBytes(dest + "\\~vexa\\" + name, JournalRecords({{RECORD_OPEN, 0, 1u << OPEN_GENERATION_SHIFT},
                                                        {RECORD_SET_ASIDE, 0, FILE_ATTRIBUTE_NORMAL}}));
        WriteText(dest + "\\~vexa\\" + stem + ".s00", "earlier program");
        std::vector<std::string> before = Listing(dest);

        std::strcpy(session.destinationDir, dest.c_str());
        ASSERT_EQ(BeginTransaction(&kInstallation), TRANSACTION_BEGUN);
        EndTransaction(ROLL_BACK_TRANSACTION);
        EXPECT_TRUE(messages.empty());
        if (c.actedOn)
            EXPECT_EQ(Listing(dest), std::vector<std::string>{"vexa32.exe: earlier program"});
        else
            EXPECT_EQ(Listing(dest), before);
    }
}

// Two completed installations whose earlier readme.txt waited for its
// older backup, held open by another program: once it is let go, both are
// finished oldest first, so that backup ends with the file replaced last.
TEST_F(RecoveryTest, WaitingInstallationsAreFinishedOldestFirst)
{
    TestPackage first = MakePackage(300, 11), second = MakePackage(300, 12);
    ASSERT_NE(first.files[4], second.files[4]);
    std::string firstImage = WriteImage(work + "\\first.img", first.package);
    std::string secondImage = WriteImage(work + "\\second.img", second.package);
    std::string dest = FreshDir("two-waiting");
    WriteText(dest + "\\readme.txt", "earliest readme");
    CreateDirectoryA((dest + "\\backup").c_str(), nullptr);
    WriteText(dest + "\\backup\\readme.txt", "older backup");
    HANDLE held = CreateFileA((dest + "\\backup\\readme.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    expectedChecksum = static_cast<int32_t>(first.checksum);
    ASSERT_EQ(Install(firstImage, dest, 1), SLICE_COMPLETE);
    ReleaseDestination();
    expectedChecksum = static_cast<int32_t>(second.checksum);
    ASSERT_EQ(Install(secondImage, dest, 1), SLICE_COMPLETE);
    ReleaseDestination();
    // Nothing to tell the person installing (the second asks about the
    // settings the first installed): the files wait, owned.
    EXPECT_EQ(MessageNames(), std::vector<std::string>{"question: keep settings"});
    EXPECT_EQ(ListNames(dest + "\\~vexa").size(), 4u);
    CloseHandle(held);
    ClearMessages();

    std::strcpy(session.destinationDir, dest.c_str());
    ASSERT_EQ(BeginTransaction(&kInstallation), TRANSACTION_BEGUN);
    EndTransaction(ROLL_BACK_TRANSACTION);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ReadBytes(dest + "\\backup\\readme.txt"), first.files[4]);
    EXPECT_EQ(ReadBytes(dest + "\\readme.txt"), second.files[4]);
    EXPECT_FALSE(PathExists(dest + "\\~vexa"));
}

// An upgrade while the program runs from the destination, without backups:
// its file is set aside (a running program's file can be renamed), the
// installation completes with no message, and the file waits in ~vexa,
// owned by its journal, until the program has ended and the next
// installation deletes it.
TEST_F(RecoveryTest, UpgradeOverTheRunningProgram)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);
    std::string dest = FreshDir("running");
    HANDLE client = StartClient(dest);
    ASSERT_NE(client, nullptr);

    ASSERT_EQ(Install(image, dest, 0), SLICE_COMPLETE);
    ReleaseDestination();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ReadBytes(dest + "\\vexa32.exe"), test.files[0]);
    std::vector<std::string> waiting = ListNames(dest + "\\~vexa");
    ASSERT_EQ(waiting.size(), 2u);
    EXPECT_EQ(waiting[0].substr(4), ".jnl");
    EXPECT_EQ(waiting[1], waiting[0].substr(0, 4) + ".s00");

    StopClient(&client);
    ASSERT_EQ(Install(image, dest, 0), SLICE_COMPLETE);
    ReleaseDestination();
    EXPECT_EQ(MessageNames(), std::vector<std::string>{"question: keep settings"});
    EXPECT_FALSE(PathExists(dest + "\\~vexa"));
    EXPECT_FALSE(PathExists(dest + "\\backup"));
}

// The program running from the new file of an installation that was ended
// before its commit: the roll-back cannot delete it, so the earlier file
// cannot go back. Nothing is installed (error [16] names the earlier file,
// which waits with its journal) until the program has ended.
TEST_F(RecoveryTest, AnEndedInstallationsProgramStillRunning)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);
    std::string dest = FreshDir("running-new");
    HANDLE client = StartClient(dest);
    ASSERT_NE(client, nullptr);
    Bytes program = ReadBytes(dest + "\\vexa32.exe");
    CreateDirectoryA((dest + "\\~vexa").c_str(), nullptr);
    WriteBytes(dest + "\\~vexa\\1234.jnl", JournalRecords({{RECORD_OPEN, 0, 1u << OPEN_GENERATION_SHIFT},
                                                    {RECORD_SET_ASIDE, 0, FILE_ATTRIBUTE_NORMAL},
                                                    {RECORD_BEGUN, 0, 0},
                                                    {RECORD_DONE, 0, DigestOf(program)}}));
    WriteText(dest + "\\~vexa\\1234.s00", "earlier program");

    EXPECT_EQ(Install(image, dest, 1), SLICE_CHOOSE_AGAIN);
    ASSERT_EQ(MessageNames(), std::vector<std::string>{"error 16"});
    EXPECT_NE(messages[0].text.find(dest + "\\~vexa\\1234.s00"), std::string::npos);
    EXPECT_TRUE(PathExists(dest + "\\~vexa\\1234.jnl"));
    EXPECT_EQ(Text(ReadBytes(dest + "\\~vexa\\1234.s00")), "earlier program");

    StopClient(&client);
    ClearMessages();
    ASSERT_EQ(Install(image, dest, 1), SLICE_COMPLETE);
    ReleaseDestination();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Text(ReadBytes(dest + "\\backup\\vexa32.exe")), "earlier program");
    EXPECT_FALSE(PathExists(dest + "\\~vexa"));
}

// A file that appears in a member's place while the member is written
// beside it is not overwritten: error [4], rolled back, the file as it came.
TEST_F(RecoveryTest, AFileThatAppearsInItsPlaceIsKept)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);
    std::string dest = FreshDir("appearing");
    static std::string appearing;
    appearing = dest + "\\vlink32.exe";
    ObserveCrashPoints([](int, const char* what, const char* path) {
        std::string text(path);
        if (std::strcmp(what, "create") == 0 && text.size() > 4 && text.compare(text.size() - 4, 4, ".n01") == 0)
            WriteText(appearing, "someone else's");
    });
    int result = Install(image, dest, 1);
    ObserveCrashPoints(nullptr);
    EXPECT_EQ(result, SLICE_FAILED);
    ExpectOneError(ERROR_COPY_FILE);
    EXPECT_EQ(Listing(dest), std::vector<std::string>{"vlink32.exe: someone else's"});
}

// More files to name than a message holds: those that fit are named whole,
// and a last line counts the rest.
TEST_F(RecoveryTest, KeptFilesBeyondTheMessageAreCounted)
{
    TestPackage test = MakePackage(300);
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);
    // As long as the system's limits let every path be (a directory's path
    // has at most 248 characters): 220 characters, whose set-aside files
    // have 235, three of five names fit.
    std::string dest = work + "\\";
    dest.append(220 - dest.size(), 'd');
    CreateDirectoryA(dest.c_str(), nullptr);
    // Directories of the user's where five backups go: each earlier file
    // stays set aside, named.
    for (int member = 0; member < 5; member++) {
        WriteText(dest + "\\" + MemberTable[member], "earlier");
        CreateDirectoryA((dest + "\\backup").c_str(), nullptr);
        CreateDirectoryA((dest + "\\backup\\" + MemberTable[member]).c_str(), nullptr);
    }
    ASSERT_EQ(Install(image, dest, 1), SLICE_COMPLETE);
    ReleaseDestination();
    ASSERT_EQ(MessageNames(), std::vector<std::string>{"error 17"});
    const std::string& text = messages[0].text;
    EXPECT_NE(text.find(dest + "\\~vexa\\"), std::string::npos);
    EXPECT_NE(text.find("\n(and 2 more in the same folder)" + std::string(ErrorAdvice(ERROR_KEPT_ASIDE))),
              std::string::npos)
        << text;
}
