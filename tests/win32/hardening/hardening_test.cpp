// Hardening of the Windows build: setup32.exe asks for DEP and ASLR and can
// be moved (it carries its relocations), and the stack protector of the
// installer's code really stops a function whose stack buffer was overrun.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs a program to its end; its exit code and what it printed.
struct Outcome {
    DWORD exitCode = 0;
    std::string output;
};

Outcome RunProgram(const std::string& commandLine)
{
    Outcome outcome;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    bool started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    EXPECT_TRUE(started) << commandLine;
    if (started) {
        char chunk[256];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0)
            outcome.output.append(chunk, got);
        WaitForSingleObject(process.hProcess, 30000);
        GetExitCodeProcess(process.hProcess, &outcome.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return outcome;
}

TEST(Hardening, StackOverrunEndsTheProcess)
{
    Outcome smashed = RunProgram("\"" STACK_SMASH_EXE "\" smash");
    EXPECT_EQ(smashed.output.find("returned"), std::string::npos);
    EXPECT_EQ(smashed.exitCode, 0xC0000409u);   // STATUS_STACK_BUFFER_OVERRUN
}

TEST(Hardening, StackGuardIsSeededForEachProcess)
{
    Outcome first = RunProgram("\"" STACK_SMASH_EXE "\" guard");
    Outcome second = RunProgram("\"" STACK_SMASH_EXE "\" guard");
    ASSERT_EQ(first.exitCode, 0u);
    ASSERT_EQ(second.exitCode, 0u);
    EXPECT_NE(first.output, "2b992ddf\n") << "the guard kept its built-in value";
    EXPECT_NE(first.output, "00000000\n");
    EXPECT_NE(first.output, second.output);
}

#ifdef SETUP32_EXE
TEST(Hardening, InstallerAsksForDepAndAslrAndCanBeMoved)
{
    HMODULE image = LoadLibraryExA(SETUP32_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    // A data-file mapping is tagged in its low bits.
    const unsigned char* base = reinterpret_cast<const unsigned char*>(reinterpret_cast<uintptr_t>(image) & ~uintptr_t{3});
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    // The headers as this build lays them out: PE32 for setup32.exe itself,
    // PE32+ in the x86-64 test build, whose link asks for the same.
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR_MAGIC, nt->OptionalHeader.Magic);
    WORD characteristics = nt->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_FALSE(nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    const IMAGE_DATA_DIRECTORY& relocations = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    EXPECT_NE(0u, relocations.VirtualAddress);
    EXPECT_GT(relocations.Size, 8u);   // more than an empty block header
    FreeLibrary(image);
}
#endif

}  // namespace
