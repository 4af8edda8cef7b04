// A whole installation, timed: starts setup32.exe, turns Add Icons off (the
// program group is the shell's work, not the installer's), presses Install
// and waits for the success message. The floor is the time the slice chain
// waits by design: one 25 ms pause per slice of 10,001 bytes that the scan
// reads, up to the marker that closes the last member.
// Usage: install_timing SETUP32.EXE DESTINATION [RUNS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer_driver.h"
#include "package_format.h"

namespace {

const int kSliceBytes = 10001;
const int kPauseMs = 25;
const int kMarkers = 12;   // the one that opens member 0 and one closing each of the eleven

// Bytes the installer's scan reads: up to the last byte of the twelfth
// marker, read by the installer's own byte rule (FeedPackageByte: a byte that
// breaks a partial match does not start a new one). 0 when the file has
// fewer markers.
long ScannedBytes(const std::string& path)
{
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return 0;
    PackageScan scan;
    StartPackageScan(&scan);
    int markers = 0;
    long read = 0;
    int c;
    while ((c = std::fgetc(in)) != EOF) {
        read++;
        if (FeedPackageByte(&scan, c, nullptr) == MARKER_COMPLETE && ++markers == kMarkers)
            break;
    }
    std::fclose(in);
    return markers == kMarkers ? read : 0;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// One installation into an empty destination; its wall time in ms, or a
// negative number when it did not succeed.
double TimedInstall(const std::string& installer, const std::string& destination)
{
    RemoveTree(destination);
    InstallerRun run;
    if (!run.Start(installer, "") || !run.WaitForDialog())
        return -1;
    run.SetControlText(105, destination);
    run.SetChecked(111, false);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    if (!run.Press(IDOK))
        return -1;
    HWND box = run.WaitForBox();
    QueryPerformanceCounter(&end);
    if (!box)
        return -1;
    SeenBox seen = InstallerRun::ReadBox(box);
    run.Answer(box, IDOK);
    run.AnswerBoxesUntilExit({});
    run.WaitForExit();
    if (seen.caption != "Vexa Installation") {
        std::fprintf(stderr, "install_timing: \"%s\": %s\n", seen.caption.c_str(), seen.text.c_str());
        return -1;
    }
    return Milliseconds(start, end);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: install_timing SETUP32.EXE DESTINATION [RUNS]\n");
        return 2;
    }
    const std::string installer = argv[1], destination = argv[2];
    int runs = argc == 4 ? std::atoi(argv[3]) : 3;
    long scanned = ScannedBytes(installer);
    if (scanned == 0) {
        std::fprintf(stderr, "install_timing: %s holds no complete package\n", installer.c_str());
        return 1;
    }
    long slices = (scanned + kSliceBytes - 1) / kSliceBytes;
    double floorMs = double(slices) * kPauseMs;

    std::vector<double> times;
    for (int i = 0; i < runs; i++) {
        double ms = TimedInstall(installer, destination);
        if (ms < 0) {
            std::fprintf(stderr, "install_timing: installation %d did not succeed\n", i + 1);
            return 1;
        }
        std::printf("run %d: %.0f ms\n", i + 1, ms);
        times.push_back(ms);
    }
    RemoveTree(destination);
    std::sort(times.begin(), times.end());
    double median = times[times.size() / 2];
    std::printf("scan reads %ld bytes in %ld slices: floor %.0f ms (slices x %d ms)\n", scanned, slices, floorMs,
                kPauseMs);
    std::printf("whole install: median %.0f ms of %d runs, %+.1f%% over the floor\n", median, runs,
                100.0 * (median - floorMs) / floorMs);
    return 0;
}
