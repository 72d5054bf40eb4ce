// Times start-up under Wine: from before CreateProcess until the new process's hidden window
// answers the tray icon's callback, for Pellamy and for a minimal tray program, alternately
// (A B B A ...) so that drift in the machine's speed falls on both alike. The callback names
// another icon (131), which Pellamy answers with 0 without showing anything. Each process is
// then ended with Exit posted to its window, and waited for. tools/bench.sh runs it on a Wine
// desktop, which has a notification area (without one, neither program starts), and reads
// the figures it writes.
//
//   startup_bench PELLAMY.EXE MINIMAL.EXE OUTPUT-FILE [RUNS]
#include <windows.h>

#include "res/resource.h"
#include "tools/bench/Measure.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const DWORD kAnswerTimeoutMs = 20000;
const DWORD kExitTimeoutMs = 10000;

// Milliseconds until the window of the class answers the callback; a negative figure when the
// program did not start, did not answer in time, or did not end on Exit.
double TimeStartUp(const char* program, const char* windowClass)
{
    std::string commandLine = std::string("\"") + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double start = Now();
    if (!CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;

    double elapsed = -1;
    HWND window = nullptr;
    const DWORD deadline = GetTickCount() + kAnswerTimeoutMs;
    while (static_cast<LONG>(deadline - GetTickCount()) > 0 &&
           WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        window = FindWindowA(windowClass, nullptr);
        DWORD_PTR answer = 1;
        if (window && SendMessageTimeoutA(window, WM_TRAYNOTIFY, IDR_TRAYMENU + 1, WM_MOUSEMOVE, SMTO_NORMAL, 1000,
                                          &answer) &&
            answer == 0) {
            elapsed = (Now() - start) * 1000;
            break;
        }
        Sleep(1);
    }

    if (window)
        PostMessageA(window, WM_COMMAND, ID_APP_EXIT, 0);
    if (WaitForSingleObject(process.hProcess, kExitTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, kExitTimeoutMs);
        elapsed = -1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    const int runs = argc > 4 ? std::atoi(argv[4]) : 11;
    FILE* out = std::fopen(argv[3], "w");
    if (!out)
        return 2;

    // One start of each first, unmeasured: the first start of a program under Wine reads its
    // files from disk.
    TimeStartUp(argv[1], "AfxFrameWnd");
    TimeStartUp(argv[2], "MinimalTray");

    std::vector<double> pellamy, minimal;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool pellamyTurn = (turn == 0) == (run % 2 == 0);
            const double ms = pellamyTurn ? TimeStartUp(argv[1], "AfxFrameWnd") : TimeStartUp(argv[2], "MinimalTray");
            if (ms < 0)
                ++failures;
            else
                (pellamyTurn ? pellamy : minimal).push_back(ms);
        }
    }
    std::fprintf(out, "runs %d\n", runs);
    PrintList(out, "pellamy_ms", pellamy);
    PrintList(out, "minimal_ms", minimal);
    std::fprintf(out, "pellamy_median_ms %.1f\n", Median(pellamy));
    std::fprintf(out, "minimal_median_ms %.1f\n", Median(minimal));
    std::fprintf(out, "failures %d\n", failures);
    std::fclose(out);
    return failures == 0 ? 0 : 1;
}
