// Shared set-up of the engine tests: a report (install_report.h) that records
// what the engine tells the person installing and answers its questions, the
// real installation dialog for the bars to be painted on (created modeless
// from its template, with a test procedure), a scratch directory per test,
// and test packages built with the codec tooling and written into image
// files.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install_report.h"

using Bytes = std::vector<uint8_t>;

// Windows path of the tests' work area in the build tree.
std::string WorkRoot();
// Unix-side links made by the test fixture engine_links (see CMakeLists).
std::string LinksRoot();

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
void WriteText(const std::string& path, const std::string& text);
// An empty directory of that name below the work area, made afresh.
std::string FreshDir(const std::string& name);

// Deterministic test data: incompressible noise, or lines of words.
Bytes Noise(size_t size, uint32_t seed);
Bytes Words(size_t size, uint32_t seed);

struct TestPackage {
    Bytes files[11];   // decoded contents by member index
    Bytes package;
    uint32_t checksum = 0;
};

// Eleven files of mixed kinds; with the default size member 0 spans more
// than one slice.
TestPackage MakePackage(size_t firstSize = 14000, uint32_t seed = 1);
// The members of a package, split at its markers.
std::vector<Bytes> SplitMembers(const Bytes& package);
// junkBefore bytes (no 'A' among them), the package, junkAfter bytes.
std::string WriteImage(const std::string& path, const Bytes& package, size_t junkBefore = 1000,
                       size_t junkAfter = 700);
// The bytes of a package from raw members: marker, member, marker, ...,
// marker, then "ARNI" and CR LF. Members are taken as given.
Bytes JoinMembers(const std::vector<Bytes>& members);

// A numbered error or a question, as the engine reported it.
struct ReportedMessage {
    bool question;
    int number;        // the error's number, or the InstallQuestion
    std::string text;  // whole: for an error, its text, the files it names and its advice
    bool answer;       // a question's answer
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs an installation into destination the way the dialog does: reset,
    // create the directory, open the image and run slices until a result
    // other than 3. Collects the read position after every slice that
    // returned 3. Scan stops there; Install adds what the dialog does after
    // it: the roll-back after the results 0 and 2, the commit after 1.
    int Scan(const std::string& image, const std::string& destination, int makeBackups);
    int Install(const std::string& image, const std::string& destination, int makeBackups);

    // The answers to the next questions, in order; Yes once they are used up.
    void Answer(bool yes) { answers_.push_back(yes); }
    // Forgets the errors and questions reported so far and the answers not
    // yet given.
    void ClearMessages();
    // The errors and questions in order, by name: "error 13",
    // "question: keep settings".
    std::vector<std::string> MessageNames() const;
    // Exactly one error or question was reported, error number, with its
    // text from the installer's table.
    void ExpectOneError(InstallError number) const;

    HWND dialog = nullptr;
    std::string work;     // this test's scratch directory
    std::string tempDir;  // what GetTempPathA reports during the test
    std::vector<long> slicePositions;
    // What the engine reported while the test ran.
    std::vector<std::string> statusLog;
    std::vector<ReportedMessage> messages;
    std::vector<long> overallPositions;   // the package's read position at each overall progress report
    // Run as the engine reports a status text, or an error or question
    // (before it is answered).
    std::function<void(const std::string&)> onStatus;
    std::function<void(const ReportedMessage&)> onMessage;

private:
    static void RecordStatus(const char* text);
    static void RecordOverallProgress(ByteStream* package);
    static void RecordError(InstallError number, const char* text);
    static bool RecordQuestion(InstallQuestion question, const char* text);
    // The program group's retry and the success come from the shell, never
    // from the engine: recorded all the same, the retry answered No.
    static bool RecordRetry(InstallError number, const char* text);
    static void RecordSuccess(const char* text);
    static const InstallReport kRecordingReport;
    std::vector<bool> answers_;
};

// Names in a directory, sorted; none when it cannot be read.
std::vector<std::string> ListNames(const std::string& dir);

// The installed program running: this test program copied over
// dest\vexa32.exe (read-only, as an earlier installation may leave it) and
// started from there, waiting (CrashSweepChild.Run) until it is ended; its
// process once it runs, or null. A running program's file can be renamed
// but not deleted or written.
HANDLE StartClient(const std::string& dest);
void StopClient(HANDLE* client);
