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

TEST(Ctl3d, ALibraryWithoutAutoSubclassIsUnloadedAtOnceAndNeverCalled)
{
    session.appInstance = GetModuleHandleA(nullptr);

    LoadCtl3d();
    EXPECT_EQ(nullptr, session.ctl3dLibrary);
    EXPECT_EQ(nullptr, GetModuleHandleA("ctl3d32.dll"));
    ReleaseCtl3d();

    // Loaded, and nothing else: neither registered nor unregistered.
    EXPECT_EQ("L", Calls());
}

}  // namespace
