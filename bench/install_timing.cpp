// A whole installation, timed: starts setup32.exe, turns Add Icons off (the
// program group is the shell's work, not the installer's), presses Install
// and waits for the success message. The floor is the time the slice chain
// waits by design: one 25 ms pause per slice of 10,001 bytes that the scan
// reads, up to the marker that closes the last member. The same chain of
// timers with no work between them is timed too: the floor this system's
// timers actually allow.
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

// The slice chain with no slice work: a posted message arms a one-shot
// timer of kPauseMs, whose tick posts the next message, as the installation
// dialog does between its slices. What this system's timers make of the
// floor, before the installer does anything.
const UINT WM_CHAIN_NEXT = WM_USER + 102;
const UINT_PTR CHAIN_TIMER = 1125;
long chainLeft;

LRESULT CALLBACK ChainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        KillTimer(window, CHAIN_TIMER);
        PostMessageA(window, WM_CHAIN_NEXT, 0, 0);
        return 0;
    }
    if (message == WM_CHAIN_NEXT) {
        if (--chainLeft > 0)
            SetTimer(window, CHAIN_TIMER, kPauseMs, nullptr);
        else
            PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Wall time of a chain of pauses one-shot timers, or a negative number.
double TimerChainMs(long pauses)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ChainProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "install_timing chain";
    static bool registered = false;
    if (!registered && !RegisterClassA(&windowClass))
        return -1;
    registered = true;
    HWND window = CreateWindowA(windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    if (!window)
        return -1;
    chainLeft = pauses + 1;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    PostMessageA(window, WM_CHAIN_NEXT, 0, 0);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    QueryPerformanceCounter(&end);
    DestroyWindow(window);
    return Milliseconds(start, end);
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
    std::vector<double> chains;
    for (int i = 0; i < runs; i++) {
        double ms = TimerChainMs(slices);
        if (ms < 0) {
            std::fprintf(stderr, "install_timing: the timer chain could not run\n");
            return 1;
        }
        chains.push_back(ms);
    }
    std::sort(chains.begin(), chains.end());
    double chain = chains[chains.size() / 2];
    std::printf("scan reads %ld bytes in %ld slices: floor %.0f ms (slices x %d ms)\n", scanned, slices, floorMs,
                kPauseMs);
    std::printf("the same chain of timers with no work: median %.0f ms, %.3f x the floor\n", chain,
                chain / floorMs);
    std::printf("whole install: median %.0f ms of %d runs, %.3f x the floor (%+.1f%%), %.3f x the bare timer chain\n",
                median, runs, median / floorMs, 100.0 * (median - floorMs) / floorMs, median / chain);
    return 0;
}
