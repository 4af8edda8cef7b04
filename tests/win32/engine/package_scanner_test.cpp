// The scanner on real image files: members split out at the markers into the
// temporary file, installed, the checksum checked, and every failure shown
// in its box and rolled back.
#include <cstring>

#include "engine_fixture.h"
#include "install_session.h"
#include "member_install.h"
#include "package_format.h"
#include "package_scanner.h"
#include "resource_ids.h"
#include "transaction.h"

namespace {

using ScanTest = EngineTest;

const size_t kJunkBefore = 1000, kJunkAfter = 700;

int32_t WeightedSum(const Bytes& bytes, size_t from, size_t to)
{
    static const int32_t weights[4] = {1, 2, 3, -4};
    uint32_t sum = 0;
    for (size_t k = from; k < to; k++)
        sum += static_cast<uint32_t>(bytes[k] * weights[(k - from) % 4]);
    return static_cast<int32_t>(sum);
}

int BarWidth(HWND dialog, int id)
{
    RECT rect;
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    return rect.right - rect.left;
}

}  // namespace

TEST_F(ScanTest, InstallsEveryMemberByteIdenticalInFullSlices)
{
    TestPackage test = MakePackage();
    std::vector<Bytes> members = SplitMembers(test.package);
    ASSERT_EQ(members.size(), 11u);
    std::string image = WriteImage(work + "\\setup.img", test.package, kJunkBefore, kJunkAfter);
    std::string dest = work + "\\vexa";
    expectedChecksum = static_cast<int32_t>(test.checksum);

    // What the temporary file holds while each member is being installed.
    std::vector<Bytes> collected;
    onStatus = [&](const std::string& text) {
        if (text.rfind("Extracting file: ", 0) == 0)
            collected.push_back(ReadBytes(session.tempPath));
    };

    ASSERT_EQ(Install(image, dest, 1), SLICE_COMPLETE);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(session.memberIndex, 11);
    for (int i = 0; i < MEMBER_COUNT; i++)
        EXPECT_EQ(ReadBytes(dest + "\\" + MemberTable[i]), test.files[i]) << MemberTable[i];
    EXPECT_FALSE(PathExists(dest + "\\backup"));

    EXPECT_EQ(std::string(session.tempPath), tempDir + "vexa.tmp");
    EXPECT_FALSE(PathExists(session.tempPath));
    ASSERT_EQ(collected.size(), 11u);
    for (int i = 0; i < MEMBER_COUNT; i++)
        EXPECT_EQ(collected[i], members[i]) << "temporary file of member " << i;

    // Every slice but the last reads exactly 10,001 bytes.
    size_t imageSize = kJunkBefore + test.package.size() + kJunkAfter;
    ASSERT_EQ(slicePositions.size(), (kJunkBefore + test.package.size() - 6) / 10001);
    for (size_t k = 0; k < slicePositions.size(); k++)
        EXPECT_EQ(slicePositions[k], static_cast<long>(10001 * (k + 1)));
    // Reading ended with the eleventh closing marker: the final "ARNI" and
    // CR LF and what follows were never read.
    int width = BarWidth(dialog, IDC_OVERALL_BAR);
    EXPECT_EQ(session.overallFill,
              static_cast<int32_t>(static_cast<int64_t>(kJunkBefore + test.package.size() - 6) * width / imageSize));
    ASSERT_FALSE(overallPositions.empty());
    EXPECT_EQ(overallPositions.back(), static_cast<long>(kJunkBefore + test.package.size() - 6));

    // Member 0 is opened before the bar moves; later members after it has.
    std::vector<std::string> expected = {"Scanning files...", "Scanning files...", "Extracting file: vexa32.exe"};
    for (int i = 1; i < MEMBER_COUNT; i++) {
        expected.push_back(std::string("Scanning file: ") + MemberTable[i]);
        expected.push_back(std::string("Extracting file: ") + MemberTable[i]);
    }
    EXPECT_EQ(statusLog, expected);
}

TEST_F(ScanTest, TemporaryFileIsHeldAgainstOtherProcessesAndNeverTheirs)
{
    // Another installation holds vexa.tmp as this one does: open for
    // writing, shared with readers only. Then each member goes into a
    // unique name of its own in the same directory, and theirs is left as
    // it was.
    struct Case {
        const char* name;
        bool vexaTmpHeld;
    } cases[] = {{"vexa.tmp free", false}, {"vexa.tmp held by another installation", true}};
    TestPackage test = MakePackage();
    std::string image = WriteImage(work + "\\setup.img", test.package);
    expectedChecksum = static_cast<int32_t>(test.checksum);
    const std::string vexaTmp = tempDir + "vexa.tmp";
    const std::string theirBytes = "another installation's member, half collected";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE theirs = INVALID_HANDLE_VALUE;
        if (c.vexaTmpHeld) {
            theirs = CreateFileA(vexaTmp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(theirs, INVALID_HANDLE_VALUE);
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(theirs, theirBytes.data(), static_cast<DWORD>(theirBytes.size()), &written, nullptr));
        }
        // While each member is installed, no one else can write, truncate
        // or delete the file it is decoded from.
        std::vector<std::string> names;
        int writable = 0;
        onStatus = [&](const std::string& text) {
            if (text.rfind("Extracting file: ", 0) != 0)
                return;
            names.push_back(session.tempPath);
            HANDLE other = CreateFileA(session.tempPath, GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
            if (other != INVALID_HANDLE_VALUE) {
                CloseHandle(other);
                writable++;
            }
            if (DeleteFileA(session.tempPath))
                writable++;
        };
        std::string dest = work + "\\vexa-" + (c.vexaTmpHeld ? "held" : "free");
        ASSERT_EQ(Install(image, dest, 1), SLICE_COMPLETE);
        EXPECT_TRUE(messages.empty());
        for (int i = 0; i < MEMBER_COUNT; i++)
            EXPECT_EQ(ReadBytes(dest + "\\" + MemberTable[i]), test.files[i]) << MemberTable[i];
        EXPECT_EQ(writable, 0);
        ASSERT_EQ(names.size(), 11u);
        for (const std::string& name : names) {
            EXPECT_EQ(name.substr(0, tempDir.size()), tempDir);
            if (c.vexaTmpHeld)
                EXPECT_NE(name, vexaTmp);
            else
                EXPECT_EQ(name, vexaTmp);
            EXPECT_FALSE(PathExists(name)) << name;
        }
        if (c.vexaTmpHeld) {
            Bytes left = ReadBytes(vexaTmp);
            EXPECT_EQ(std::string(left.begin(), left.end()), theirBytes);
            CloseHandle(theirs);
            DeleteFileA(vexaTmp.c_str());
        }
        onStatus = nullptr;
    }
}

TEST_F(ScanTest, LastMemberWithoutClosingMarkerIsInstalledAtEndOfImage)
{
    // The image ends inside the closing marker of member 10: the matched
    // characters are member data after all.
    TestPackage test = MakePackage(300);
    Bytes cut(test.package.begin(), test.package.end() - 7);
    ASSERT_EQ(std::memcmp(&cut[cut.size() - 3], "ARN", 3), 0);
    std::string image = work + "\\cut.img";
    WriteBytes(image, cut);
    expectedChecksum = WeightedSum(cut, 4, cut.size());

    std::vector<Bytes> collected;
    onStatus = [&](const std::string& text) {
        if (text == "Extracting file: urls.ini")
            collected.push_back(ReadBytes(session.tempPath));
    };
    std::string dest = work + "\\vexa";
    ASSERT_EQ(Install(image, dest, 1), SLICE_COMPLETE);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(collected.size(), 1u);
    Bytes lastMember = SplitMembers(test.package)[10];
    lastMember.insert(lastMember.end(), {'A', 'R', 'N'});
    EXPECT_EQ(collected[0], lastMember);
    for (int i = 0; i < MEMBER_COUNT; i++)
        EXPECT_EQ(ReadBytes(dest + "\\" + MemberTable[i]), test.files[i]) << MemberTable[i];
}

TEST_F(ScanTest, CorruptImagesAreRolledBackWithError13)
{
    TestPackage test = MakePackage(300);
    Bytes changed = test.package;
    changed[changed.size() / 2] ^= 0x01;  // inside the summed range, in a member's bit stream
    Bytes junk = Noise(5000, 5);
    for (auto& b : junk)
        if (b == 'A')
            b = 'B';

    struct Case {
        const char* name;
        Bytes package;
        int32_t expected;
    } cases[] = {
        {"checksum differs", test.package, static_cast<int32_t>(test.checksum + 1)},
        {"one member byte changed", changed, static_cast<int32_t>(test.checksum)},
        {"no marker at all", junk, static_cast<int32_t>(test.checksum)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearMessages();
        std::string image = WriteImage(work + "\\corrupt.img", c.package);
        std::string dest = work + "\\vexa";
        expectedChecksum = c.expected;
        EXPECT_EQ(Scan(image, dest, 1), SLICE_FAILED);
        ExpectOneError(ERROR_CHECKSUM);
        // Rolled back before the box: members, temporary file and the
        // directory this installation created are gone.
        EXPECT_EQ(session.memberIndex, 0);
        EXPECT_FALSE(PathExists(dest));
        EXPECT_FALSE(PathExists(tempDir + "vexa.tmp"));
        EXPECT_EQ(session.memberStream, nullptr);
    }
}

TEST_F(ScanTest, ImageWithoutMembersCompletesWithNothingInstalled)
{
    // A matching checksum over nothing: complete, but no member handled,
    // which the dialog must treat as corrupt.
    Bytes junk = Noise(3000, 6);
    for (auto& b : junk)
        if (b == 'A')
            b = 'B';
    std::string image = work + "\\empty.img";
    WriteBytes(image, junk);
    expectedChecksum = 0;
    std::string dest = work + "\\vexa";
    EXPECT_EQ(Scan(image, dest, 1), SLICE_COMPLETE);
    EXPECT_EQ(session.memberIndex, 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(session.scan.checksum, 0);
}

TEST_F(ScanTest, ImageThatCannotBeOpenedShowsError9)
{
    EXPECT_EQ(OpenPackageFile((work + "\\missing.img").c_str()), 0);
    EXPECT_EQ(session.packageStream, nullptr);
    ExpectOneError(ERROR_OPEN_INSTALL_FILE);
}

TEST_F(ScanTest, OpensItsOwnExecutable)
{
    char own[MAX_PATH];
    GetModuleFileNameA(nullptr, own, sizeof own);
    ASSERT_EQ(OpenPackageImage(), 1);
    EXPECT_STREQ(session.imagePath, own);
    EXPECT_NE(session.packageStream, nullptr);
    EXPECT_GT(session.packageLength, 0);
    ASSERT_FALSE(statusLog.empty());
    EXPECT_EQ(statusLog.back(), "Scanning files...");
    EndTransaction(ROLL_BACK_TRANSACTION);
    EXPECT_EQ(session.packageStream, nullptr);
}

TEST_F(ScanTest, TemporaryFileFailuresEndWithError11)
{
    struct Case {
        const char* name;
        std::string tempDir;   // the temporary directory from the start
        const char* switchAt;  // or: switch to a missing one at this status text
        bool scannerRollsBack; // a failed write rolls back at once
    } cases[] = {
        {"temporary directory missing", work + "\\nowhere\\", nullptr, false},
        {"temporary directory gone after member 4", "", "Extracting file: readme.txt", false},
        {"disk full", LinksRoot() + "\\fulltemp\\", nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearMessages();
        if (c.tempDir.find("fulltemp") != std::string::npos) {
            FILE* full = std::fopen((c.tempDir + "vexa.tmp").c_str(), "rb");
            ASSERT_NE(full, nullptr) << "made by the test fixture engine_links";
            std::fclose(full);
        }
        TestPackage test = MakePackage();
        std::string image = WriteImage(work + "\\setup.img", test.package);
        expectedChecksum = static_cast<int32_t>(test.checksum);
        std::string temp = c.tempDir.empty() ? tempDir : c.tempDir;
        SetEnvironmentVariableA("TMP", temp.c_str());
        int installedAtFailure = -1;
        onStatus = [&](const std::string& text) {
            if (c.switchAt && text == c.switchAt)
                SetEnvironmentVariableA("TMP", (work + "\\gone\\").c_str());
        };
        onMessage = [&](const ReportedMessage&) { installedAtFailure = session.memberIndex; };

        std::string dest = work + "\\vexa";
        EXPECT_EQ(Scan(image, dest, 1), SLICE_FAILED);
        ExpectOneError(ERROR_EXTRACT_FILE);
        EXPECT_EQ(session.packageStream, nullptr);
        EXPECT_EQ(session.memberStream, nullptr);
        if (c.scannerRollsBack) {
            EXPECT_EQ(session.memberIndex, 0);
            EXPECT_FALSE(PathExists(dest));
        } else {
            // Members installed so far stay until the dialog rolls back.
            EXPECT_EQ(session.memberIndex, installedAtFailure);
            for (int i = 0; i < installedAtFailure; i++)
                EXPECT_EQ(ReadBytes(dest + "\\" + MemberTable[i]), test.files[i]);
        }
        EndTransaction(ROLL_BACK_TRANSACTION);
        EXPECT_FALSE(PathExists(dest));
        onStatus = nullptr;
        onMessage = nullptr;
        SetEnvironmentVariableA("TMP", tempDir.c_str());
    }
}
