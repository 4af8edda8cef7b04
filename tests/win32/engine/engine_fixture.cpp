#include "engine_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "install_dialog.h"
#include "install_session.h"
#include "member_install.h"
#include "package_scanner.h"
#include "package_writer.h"
#include "transaction.h"

int32_t expectedChecksum;

namespace {

std::string UnixToWindows(const char* unixPath)
{
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

uint32_t NextRandom(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

INT_PTR CALLBACK TestDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

EngineTest* current = nullptr;

}  // namespace

std::string WorkRoot() { return UnixToWindows(ENGINE_WORK_DIR); }
std::string LinksRoot() { return UnixToWindows(ENGINE_LINKS_DIR); }

bool PathExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Bytes ReadBytes(const std::string& path)
{
    Bytes bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    for (int c; (c = std::fgetc(file)) != EOF;)
        bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(file);
    return bytes;
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

void WriteText(const std::string& path, const std::string& text)
{
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

std::string FreshDir(const std::string& name)
{
    std::string path = WorkRoot() + "\\" + name;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    std::filesystem::create_directories(path, ignored);
    return path;
}

Bytes Noise(size_t size, uint32_t seed)
{
    Bytes bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes)
        b = static_cast<uint8_t>(NextRandom(state) >> 11);
    return bytes;
}

Bytes Words(size_t size, uint32_t seed)
{
    static const char* const words[] = {"vexa", "server", "channel", "nick", "join", "the", "of",
                                        "[settings]", "=", "port", "6667", "help", "readme", "version"};
    uint32_t state = seed * 2246822519u + 7;
    std::string text;
    while (text.size() < size) {
        text += words[NextRandom(state) % (sizeof words / sizeof words[0])];
        text += NextRandom(state) % 9 == 0 ? "\r\n" : " ";
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

TestPackage MakePackage(size_t firstSize, uint32_t seed)
{
    const size_t sizes[11] = {firstSize, 3000, 5000, 2000, 1500, 6000, 400, 120, 250, 900, 180};
    TestPackage test;
    for (int i = 0; i < 11; i++)
        test.files[i] = (i == 0 || i == 1) ? Noise(sizes[i], seed * 31 + i) : Words(sizes[i], seed * 31 + i);
    std::string error;
    bool built = BuildPackage(test.files, test.package, test.checksum, error);
    EXPECT_TRUE(built) << error;
    return test;
}

std::string WriteImage(const std::string& path, const Bytes& package, size_t junkBefore, size_t junkAfter)
{
    Bytes image = Noise(junkBefore, 99);
    for (auto& b : image)
        if (b == 'A')
            b = 'B';
    image.insert(image.end(), package.begin(), package.end());
    Bytes tail = Noise(junkAfter, 98);
    image.insert(image.end(), tail.begin(), tail.end());
    WriteBytes(path, image);
    return path;
}

std::vector<Bytes> SplitMembers(const Bytes& package)
{
    // Members never hold the marker, so its occurrences are the boundaries.
    const uint8_t marker[4] = {'A', 'R', 'N', 'I'};
    std::vector<size_t> at;
    for (size_t i = 0; i + 4 <= package.size(); i++)
        if (std::memcmp(&package[i], marker, 4) == 0)
            at.push_back(i);
    std::vector<Bytes> members;
    for (size_t k = 0; k + 1 < at.size() && members.size() < 11; k++)
        members.emplace_back(package.begin() + at[k] + 4, package.begin() + at[k + 1]);
    return members;
}

Bytes JoinMembers(const std::vector<Bytes>& members)
{
    const Bytes marker = {'A', 'R', 'N', 'I'};
    Bytes package = marker;
    for (const Bytes& member : members) {
        package.insert(package.end(), member.begin(), member.end());
        package.insert(package.end(), marker.begin(), marker.end());
    }
    package.insert(package.end(), marker.begin(), marker.end());
    package.push_back('\r');
    package.push_back('\n');
    return package;
}

void EngineTest::SetUp()
{
    current = this;
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/')
            c = '.';
    work = FreshDir(name);
    tempDir = work + "\\temp\\";
    CreateDirectoryA(tempDir.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", tempDir.c_str());
    SetEnvironmentVariableA("TEMP", tempDir.c_str());

    // One dialog for the whole program: each top-level window that goes
    // away can cost Wine seconds without a window manager.
    static HWND shared = nullptr;
    if (!shared) {
        shared = CreateDialogParamA(GetModuleHandleA(nullptr), "INSTALL_DLG", nullptr, TestDialogProc, 0);
        ASSERT_NE(shared, nullptr);
    }
    dialog = shared;
    InvalidateRect(dialog, nullptr, TRUE);
    UpdateWindow(dialog);
    UseInstallReport(&kRecordingReport);

    std::memset(&session, 0, sizeof session);
    session.dialogWindow = dialog;
    session.appInstance = GetModuleHandleA(nullptr);
    ResetSession();
    expectedChecksum = 0;
}

void EngineTest::TearDown()
{
    if (session.packageStream || session.memberStream)
        EndTransaction(ROLL_BACK_TRANSACTION);
    ReleaseDestination();
    UseInstallReport(nullptr);
    session.dialogWindow = nullptr;
    current = nullptr;
}

// The per-file bar is the real dialog's, painted as the installer paints it.
const InstallReport EngineTest::kRecordingReport = {RecordStatus,   RecordOverallProgress, RecordError,
                                                    RecordQuestion, RecordRetry,           RecordSuccess,
                                                    &kDialogFileProgress};

void EngineTest::RecordStatus(const char* text)
{
    current->statusLog.push_back(text);
    if (current->onStatus)
        current->onStatus(text);
}

// Painted as well: which status line the scanner shows depends on whether
// the bar has moved (session.overallFill).
void EngineTest::RecordOverallProgress(ByteStream* package)
{
    current->overallPositions.push_back(package ? static_cast<long>(StreamTell(package)) : -1);
    DefaultInstallReport()->showOverallProgress(package);
}

void EngineTest::RecordError(InstallError number, const char* text)
{
    current->messages.push_back({false, number, text, false});
    if (current->onMessage)
        current->onMessage(current->messages.back());
}

bool EngineTest::RecordQuestion(InstallQuestion question, const char* text)
{
    current->messages.push_back({true, question, text, true});
    if (current->onMessage)
        current->onMessage(current->messages.back());
    bool yes = true;
    if (!current->answers_.empty()) {
        yes = current->answers_.front();
        current->answers_.erase(current->answers_.begin());
    }
    current->messages.back().answer = yes;
    return yes;
}

bool EngineTest::RecordRetry(InstallError number, const char* text)
{
    RecordError(number, text);
    return false;
}

void EngineTest::RecordSuccess(const char* text)
{
    current->statusLog.push_back(text);
}

void EngineTest::ClearMessages()
{
    messages.clear();
    answers_.clear();
}

std::vector<std::string> EngineTest::MessageNames() const
{
    static const char* const questions[] = {"keep settings", "spaces in path", "abort"};
    std::vector<std::string> names;
    for (const ReportedMessage& m : messages)
        names.push_back(m.question ? std::string("question: ") + questions[m.number]
                                   : "error " + std::to_string(m.number));
    return names;
}

void EngineTest::ExpectOneError(InstallError number) const
{
    ASSERT_EQ(MessageNames(), std::vector<std::string>{"error " + std::to_string(number)});
    EXPECT_EQ(messages[0].text, ErrorText(number));
}

int EngineTest::Install(const std::string& image, const std::string& destination, int makeBackups)
{
    int result = Scan(image, destination, makeBackups);
    if (result == SLICE_FAILED || result == SLICE_CHOOSE_AGAIN)
        EndTransaction(ROLL_BACK_TRANSACTION);
    else if (result == SLICE_COMPLETE && session.memberIndex > 0)
        EndTransaction(COMMIT_TRANSACTION);
    return result;
}

int EngineTest::Scan(const std::string& image, const std::string& destination, int makeBackups)
{
    std::snprintf(session.destinationDir, sizeof session.destinationDir, "%s", destination.c_str());
    session.makeBackups = makeBackups;
    ResetSession();
    slicePositions.clear();
    if (BeginTransaction(&kInstallation) != TRANSACTION_BEGUN)
        return SLICE_CHOOSE_AGAIN;
    int result;
    if (!OpenPackageFile(image.c_str())) {
        EndTransaction(ROLL_BACK_TRANSACTION);
        return 0;
    }
    for (;;) {
        EXPECT_NE(session.packageStream, nullptr);
        result = ScanSlice();
        if (result != SLICE_MORE)
            break;
        EXPECT_EQ(session.sliceBytes, 0);
        slicePositions.push_back(static_cast<long>(StreamTell(session.packageStream)));
    }
    EXPECT_EQ(session.packageStream, nullptr);
    return result;
}

// Names in a directory, sorted.
std::vector<std::string> ListNames(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// The installed program, running: this test program, copied over the
// earlier vexa32.exe and started from there, waiting to be ended.
HANDLE StartClient(const std::string& dest)
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string client = dest + "\\vexa32.exe";
    SetFileAttributesA(client.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(exe, client.c_str(), FALSE))
        return nullptr;
    SetFileAttributesA(client.c_str(), FILE_ATTRIBUTE_READONLY);
    std::string command = "\"" + client + "\" --gtest_filter=CrashSweepChild.Run";
    std::string ready = dest + ".client.ready";
    DeleteFileA(ready.c_str());
    SetEnvironmentVariableA("SWEEP_MODE", "client");
    SetEnvironmentVariableA("SWEEP_DEST", dest.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process);
    SetEnvironmentVariableA("SWEEP_MODE", nullptr);
    SetEnvironmentVariableA("SWEEP_DEST", nullptr);
    if (!started)
        return nullptr;
    CloseHandle(process.hThread);
    // Running, its file mapped, once it says so.
    for (int wait = 0; wait < 600 && !PathExists(ready); wait++)
        Sleep(50);
    return process.hProcess;
}

void StopClient(HANDLE* client)
{
    if (!*client)
        return;
    TerminateProcess(*client, 0);
    WaitForSingleObject(*client, 10000);
    CloseHandle(*client);
    *client = nullptr;
}
