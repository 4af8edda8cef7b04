// The demo's installation without a user: runs setup32.exe, installs into
// the given directory through the same driver as the end-to-end tests,
// saves screenshots along the way and prints what was installed and which
// shortcuts the program group got.
// Usage: demo_install SETUP32.EXE DESTINATION SCREENSHOT_DIR
#include <windows.h>

#include <cstdio>
#include <string>

#include "installer_driver.h"

namespace {

void Shot(const std::string& directory, const char* name, DWORD settleMs = 300)
{
    WaitServing(nullptr, settleMs);   // let the windows finish painting
    std::string path = directory + "\\" + name + ".bmp";
    if (SaveScreenshot(path))
        std::printf("  screenshot %s\n", name);
}

std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: demo_install SETUP32.EXE DESTINATION SCREENSHOT_DIR\n");
        return 2;
    }
    const std::string installer = argv[1], destination = argv[2], shots = argv[3];
    CreateDirectoryA(shots.c_str(), nullptr);

    InstallerRun run;
    if (!run.Start(installer, "")) {
        std::fprintf(stderr, "cannot start %s\n", installer.c_str());
        return 1;
    }
    if (!run.WaitForDialog()) {
        std::fprintf(stderr, "the installation dialog did not appear\n");
        return 1;
    }
    std::printf("Installation dialog: default destination %s\n", run.ControlText(105).c_str());
    Shot(shots, "1-options");

    run.SetControlText(105, destination);
    std::printf("Installing into %s\n", destination.c_str());
    Shot(shots, "2-destination");
    run.Press(IDOK);
    Shot(shots, "3-progress", 150);

    bool succeeded = false;
    while (HWND box = run.WaitForBox()) {
        SeenBox seen = InstallerRun::ReadBox(box);
        std::printf("Message box \"%s\": %s\n", seen.caption.c_str(), OneLine(seen.text).c_str());
        if (seen.caption == "Vexa Installation") {
            succeeded = true;
            Shot(shots, "4-success");
        }
        // A repeated demo finds its earlier settings: keep them.
        run.Answer(box, seen.buttons == MB_YESNO ? IDYES : IDOK);
    }
    int exitCode = run.WaitForExit();
    std::printf("setup32.exe exited with code %d\n", exitCode);

    std::printf("\nInstalled in %s:\n", destination.c_str());
    for (const std::string& name : ListFiles(destination)) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        std::string path = destination + "\\" + name;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            std::printf("  %-14s %8lu bytes\n", name.c_str(), data.nFileSizeLow);
        else
            std::printf("  %s\\\n", name.c_str());
    }

    std::string group = ProgramsFolder() + "\\Vexa";
    std::printf("\nProgram group %s:\n", group.c_str());
    for (const Shortcut& s : ReadShortcuts(group))
        std::printf("  %-14s -> %s (in %s)\n", s.name.c_str(), s.target.c_str(), s.workingDirectory.c_str());
    return succeeded && exitCode == 0 ? 0 : 1;
}
