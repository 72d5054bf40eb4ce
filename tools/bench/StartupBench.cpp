// Times start-up under Wine: from before CreateProcess until the new process's hidden window
// answers the tray icon's callback, for Pellamy and for a minimal tray program, in turn. The
// callback names another icon (131), which Pellamy answers with 0 without showing anything.
// Each process is then ended with Exit posted to its window, and waited for.
//
//   startup_bench PELLAMY.EXE MINIMAL.EXE OUTPUT-FILE
#include "tools/bench/Bench.h"

namespace {

const int kRuns = 21;
const DWORD kAnswerTimeoutMs = 20000;

// Milliseconds until the window of the class answers the callback; a negative figure when the
// program did not start, did not answer in time, or did not end on Exit.
double TimeStartUp(const char* program, const char* windowClass)
{
    const double start = Now();
    Process process(program);
    double elapsed = -1;
    HWND window = nullptr;
    WaitUntil([&] {
        window = FindWindowA(windowClass, nullptr);
        DWORD_PTR answer = 1;
        if (window && SendMessageTimeoutA(window, WM_TRAYNOTIFY, IDR_TRAYMENU + 1, WM_MOUSEMOVE, SMTO_NORMAL, 1000,
                                          &answer) &&
            answer == 0)
            elapsed = (Now() - start) * 1000;
        return elapsed >= 0 || !process.Running();
    }, kAnswerTimeoutMs);
    return process.End(window) ? elapsed : -1;
}

} // namespace

int main(int argc, char** argv)
{
    FILE* out = argc == 4 ? std::fopen(argv[3], "w") : nullptr;
    if (!out)
        return 2;

    // One start of each first, unmeasured: the first start of a program under Wine reads its
    // files from disk.
    TimeStartUp(argv[1], "AfxFrameWnd");
    TimeStartUp(argv[2], "MinimalTray");

    std::vector<double> pellamy, minimal;
    int failures = 0;
    const auto time = [&](const char* program, const char* windowClass, std::vector<double>& figures) {
        const double ms = TimeStartUp(program, windowClass);
        if (ms < 0)
            ++failures;
        else
            figures.push_back(ms);
    };
    InTurn(
        kRuns, [&] { time(argv[1], "AfxFrameWnd", pellamy); }, [&] { time(argv[2], "MinimalTray", minimal); });
    std::fprintf(out, "runs %d\n", kRuns);
    std::fprintf(out, "pellamy_median_ms %.1f\n", Median(pellamy));
    std::fprintf(out, "minimal_median_ms %.1f\n", Median(minimal));
    return Finish(out, failures);
}
