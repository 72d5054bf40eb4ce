// How long PellamyInbox.exe takes to answer a message sent to it while a flood of Messenger
// records arrives: a writer thread paces 20,000 records a second for 10 seconds into
// \\.\mailslot\messngr while this thread sends the Inbox's window WM_NULL every 10 ms
// (SendMessageTimeout, 5 seconds at most) and times each answer. A few rounds, the Inbox
// started afresh for each; the 99th percentile of each round and their median, the slowest
// answer, the rate the writer reached (a writer waits while the mailslot is full) and how long
// after the last write the status line counted every record.
//
//   inbox_flood_bench INBOX.EXE OUTPUT-FILE
#include "tools/bench/Bench.h"

#include <cmath>

namespace {

const int kRounds = 3;
const double kRecordsPerSecond = 20000;
const double kFloodSeconds = 10;
const DWORD kTimeoutMs = 60000;

const MessengerDatagram g_record = BenchRecord();

struct Flood {
    int written = 0;
    double seconds = 0; // from the first write to the last
    bool failed = false;
};

// Writes at the pace for the flood's length: each millisecond the records then due.
DWORD WINAPI WriteFlood(LPVOID parameter)
{
    Flood& flood = *static_cast<Flood*>(parameter);
    const HANDLE slot = OpenSlot();
    flood.failed = slot == INVALID_HANDLE_VALUE;
    const double start = Now();
    DWORD written = 0;
    for (double elapsed = 0; !flood.failed && elapsed < kFloodSeconds; elapsed = Now() - start) {
        const int due = static_cast<int>(elapsed * kRecordsPerSecond);
        if (flood.written >= due)
            Sleep(1);
        while (!flood.failed && flood.written < due) {
            flood.failed = !WriteFile(slot, g_record.bytes, sizeof g_record.bytes, &written, nullptr);
            flood.written += !flood.failed;
        }
    }
    flood.seconds = Now() - start;
    if (slot != INVALID_HANDLE_VALUE)
        CloseHandle(slot);
    return 0;
}

double Percentile99(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(std::ceil(values.size() * 0.99)) - 1];
}

// The figures of the rounds: milliseconds, but for the rate.
std::vector<double> g_p99, g_slowest, g_rate, g_counted;

// One round with the Inbox, started afresh and ended with Exit; false when it failed.
bool Measure(const char* program)
{
    BenchInbox inbox(program, kTimeoutMs);
    Flood flood;
    const HANDLE writer = inbox.status ? CreateThread(nullptr, 0, WriteFlood, &flood, 0, nullptr) : nullptr;
    std::vector<double> answers;
    while (writer && WaitForSingleObject(writer, 10) == WAIT_TIMEOUT) {
        DWORD_PTR result = 0;
        const double sent = Now();
        const bool answered = SendMessageTimeoutA(inbox.frame, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
        answers.push_back(answered ? Now() - sent : 5.0);
    }
    const double written = Now();
    const bool counted = writer && !flood.failed && flood.written > 0 && inbox.Counts(flood.written, kTimeoutMs);
    const double countedMs = (Now() - written) * 1000;
    if (writer)
        CloseHandle(writer);
    if (!inbox.End() || !counted)
        return false;
    g_p99.push_back(Percentile99(answers) * 1000);
    g_slowest.push_back(*std::max_element(answers.begin(), answers.end()) * 1000);
    g_rate.push_back(flood.written / flood.seconds);
    g_counted.push_back(countedMs);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    FILE* out = argc == 3 ? std::fopen(argv[2], "w") : nullptr;
    if (!out)
        return 2;
    int failures = 0;
    for (int k = 0; k < kRounds; ++k)
        failures += !Measure(argv[1]);
    std::fprintf(out, "p99_median_ms %.1f\n", Median(g_p99));
    std::fprintf(out, "slowest_max_ms %.1f\n",
                 g_slowest.empty() ? -1 : *std::max_element(g_slowest.begin(), g_slowest.end()));
    std::fprintf(out, "rate_median %.0f\n", Median(g_rate));
    std::fprintf(out, "counted_median_ms %.0f\n", Median(g_counted));
    return Finish(out, failures);
}
