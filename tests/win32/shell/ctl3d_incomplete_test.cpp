// Runs beside a Ctl3d32.dll of its own that lacks Ctl3dAutoSubclass.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "install_session.h"
#include "installer_shell.h"
#include "package_scanner.h"

int32_t expectedChecksum = 0;

namespace {

std::string Calls()
{
    char calls[64] = "";
    GetEnvironmentVariableA("CTL3D_FIXTURE_CALLS", calls, sizeof calls);
    return calls;
}

// The library beside this program.
std::string BesideThisProgram(const char* name)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string beside = path;
    return beside.substr(0, beside.find_last_of('\\') + 1) + name;
}

TEST(Ctl3d, ALibraryWithoutAutoSubclassIsUnloadedAtOnceAndNeverCalled)
{
    session.appInstance = GetModuleHandleA(nullptr);
    SetEnvironmentVariableA("CTL3D_FIXTURE_CALLS", nullptr);

    LoadCtl3dLibrary(BesideThisProgram("Ctl3d32.dll").c_str());
    EXPECT_EQ(nullptr, session.ctl3dLibrary);
    EXPECT_EQ(nullptr, GetModuleHandleA("ctl3d32.dll"));
    ReleaseCtl3d();

    // Loaded, and nothing else: neither registered nor unregistered.
    EXPECT_EQ("L", Calls());
}

TEST(LibrarySearch, TheProgramsOwnFolderIsLeftOutOnceRestricted)
{
    SetEnvironmentVariableA("CTL3D_FIXTURE_CALLS", nullptr);
    // As the system searches by default: the program's folder first.
    HMODULE library = LoadLibraryA("Ctl3d32.dll");
    ASSERT_NE(nullptr, library);
    FreeLibrary(library);
    ASSERT_EQ("L", Calls());

    SetEnvironmentVariableA("CTL3D_FIXTURE_CALLS", nullptr);
    RestrictLibrarySearch();
    library = LoadLibraryA("Ctl3d32.dll");
    if (library) {
        // Whatever was found, it is not the file beside the program.
        char loaded[MAX_PATH] = "";
        GetModuleFileNameA(library, loaded, sizeof loaded);
        EXPECT_NE(0, lstrcmpiA(BesideThisProgram("Ctl3d32.dll").c_str(), loaded)) << loaded;
        FreeLibrary(library);
    }
    EXPECT_EQ("", Calls());
}

}  // namespace
