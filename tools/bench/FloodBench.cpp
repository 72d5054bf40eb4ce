// How long PellamyInbox.exe takes to answer a message sent to it while a flood of Messenger
// records arrives: a writer thread paces 20,000 records a second for 10 seconds into
// \\.\mailslot\messngr while this thread sends the Inbox's window WM_NULL every 10 ms
// (SendMessageTimeout, 5 seconds at most) and times each answer. A few rounds, the Inbox
// started afresh for each; the 99th percentile of each round and their median, the slowest
// answer, the rate the writer reached (a writer waits while the mailslot is full) and how long
// after the last write the status line counted every record. The Inbox needs a notification
// area: run this on a Wine desktop. It writes its figures to a file, one "key value..." a line.
//
//   inbox_flood_bench INBOX.EXE OUTPUT-FILE
#include "tools/bench/BenchInbox.h"
#include "tools/bench/Measure.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kRounds = 3;
const double kRecordsPerSecond = 20000;
const double kFloodSeconds = 10;
const DWORD kTimeoutMs = 60000;
const char kSlot[] = "\\\\.\\mailslot\\messngr";

MessengerDatagram g_record;

struct Flood {
    int written = 0;
    double seconds = 0; // from the first write to the last
    bool failed = false;
};

// Writes at the pace for the flood's length: each millisecond the records then due.
DWORD WINAPI WriteFlood(LPVOID parameter)
{
    Flood& flood = *static_cast<Flood*>(parameter);
    const HANDLE slot = CreateFileA(kSlot, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
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

struct Round {
    double p99 = -1, slowest = -1, rate = -1, countedSeconds = -1; // negative: failed
    double answers = 0; // messages timed
};

// One round with the Inbox, started afresh and ended with Exit.
Round Measure(const char* program)
{
    Round round;
    BenchInbox inbox(program, kTimeoutMs);
    const HWND frame = inbox.frame, status = inbox.status;

    Flood flood;
    const HANDLE writer = status ? CreateThread(nullptr, 0, WriteFlood, &flood, 0, nullptr) : nullptr;
    std::vector<double> answers;
    while (writer && WaitForSingleObject(writer, 10) == WAIT_TIMEOUT) {
        DWORD_PTR result = 0;
        const double sent = Now();
        const bool answered = SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
        answers.push_back(answered ? Now() - sent : 5.0);
    }
    const double written = Now();
    if (writer && !flood.failed && flood.written > 0) {
        char all[80];
        std::sprintf(all, "%d messages (%d older ones dropped)", flood.written, flood.written - 1000);
        const DWORD deadline = GetTickCount() + kTimeoutMs;
        bool counted = false;
        while (!(counted = TextOf(status) == all) && static_cast<LONG>(deadline - GetTickCount()) > 0)
            Sleep(1);
        if (counted) {
            round.p99 = Percentile99(answers);
            round.slowest = *std::max_element(answers.begin(), answers.end());
            round.rate = flood.written / flood.seconds;
            round.countedSeconds = Now() - written;
            round.answers = static_cast<double>(answers.size());
        }
    }
    if (writer)
        CloseHandle(writer);

    if (!inbox.End())
        round = Round();
    return round;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    FILE* out = std::fopen(argv[2], "w");
    if (!out)
        return 2;
    g_record = BenchRecord();

    std::vector<double> p99, slowest, rate, counted, answers;
    int failures = 0;
    for (int k = 0; k < kRounds; ++k) {
        const Round round = Measure(argv[1]);
        failures += round.p99 < 0;
        if (round.p99 >= 0) {
            p99.push_back(round.p99 * 1000);
            slowest.push_back(round.slowest * 1000);
            rate.push_back(round.rate);
            counted.push_back(round.countedSeconds * 1000);
            answers.push_back(round.answers);
        }
    }
    PrintList(out, "p99_ms", p99);
    PrintList(out, "slowest_ms", slowest);
    PrintList(out, "records_per_second", rate);
    PrintList(out, "counted_after_ms", counted);
    PrintList(out, "answers", answers);
    std::fprintf(out, "p99_median_ms %.1f\n", Median(p99));
    std::fprintf(out, "slowest_max_ms %.1f\n", slowest.empty() ? -1 : *std::max_element(slowest.begin(), slowest.end()));
    std::fprintf(out, "rate_median %.0f\n", Median(rate));
    std::fprintf(out, "counted_median_ms %.0f\n", Median(counted));
    std::fprintf(out, "failures %d\n", failures);
    std::fclose(out);
    return failures == 0 ? 0 : 1;
}
