// Shared set-up of the engine tests: the real installation dialog (created
// modeless from its template, with a test procedure), a scratch directory per
// test, test packages built with the codec tooling and written into image
// files, and a recorder of the status line.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "message_box_script.h"

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

    // Captions of the boxes shown so far, in order.
    std::vector<std::string> Captions() const;

    HWND dialog = nullptr;
    MessageBoxScript boxes;
    std::string work;     // this test's scratch directory
    std::string tempDir;  // what GetTempPathA reports during the test
    std::vector<long> slicePositions;
    std::vector<std::string> statusLog;
    // Runs after every status line change, with the new text.
    std::function<void(const std::string&)> onStatus;

private:
    static LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static WNDPROC statusProc_;
};

// Message texts of the installer's boxes.
extern const char kReadInstallFileText[];
extern const char kExtractText[];
extern const char kCorruptText[];
extern const char kCreateDirText[];
extern const char kCopyText[];
extern const char kBackupDirText[];
extern const char kBackupFileText[];
extern const char kKeepSettingsText[];

// Exactly one box was shown: error number with text, an OK button and the
// error icon, owned by owner.
void ExpectOneError(const MessageBoxScript& boxes, HWND owner, int number, const char* text);

// Names in a directory, sorted; none when it cannot be read.
std::vector<std::string> ListNames(const std::string& dir);
