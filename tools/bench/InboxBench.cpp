// Times 10,000 Messenger records written back to back to \\.\mailslot\messngr, taken off by
// PellamyInbox.exe and by a bare loop of ReadFile on a thread of this program, on the same
// mailslot name, in turns. The mailslot holds about ten messages, after which a writer waits
// for the reader: the writer's loop time is the reader's pace (the drain rate). For the Inbox
// also the time from the last write until its status line counts every record (none lost, none
// malformed: a round that falls short fails). Medians, and the fastest rounds beside them,
// since other work on the machine slows some rounds several times over.
//
//   inbox_bench INBOX.EXE OUTPUT-FILE
#include "tools/bench/Bench.h"

namespace {

const int kRecords = 10000;
const int kRounds = 11; // of each way
const DWORD kTimeoutMs = 60000;

const MessengerDatagram g_record = BenchRecord();

// The writer: the seconds its loop took to write every record whole, or a negative figure.
double WriteAll()
{
    const HANDLE slot = OpenSlot();
    if (slot == INVALID_HANDLE_VALUE)
        return -1;
    int whole = 0;
    DWORD written = 0;
    const double start = Now();
    for (int k = 0; k < kRecords; ++k)
        whole += WriteFile(slot, g_record.bytes, sizeof g_record.bytes, &written, nullptr) && written == kDatagramSize;
    const double seconds = Now() - start;
    CloseHandle(slot);
    return whole == kRecords ? seconds : -1;
}

// The bare reader, with the Inbox's buffer size.
struct Bare {
    HANDLE slot;
    int read;
};

DWORD WINAPI BareLoop(LPVOID parameter)
{
    Bare& bare = *static_cast<Bare*>(parameter);
    static char buffer[kMaxRecordSize + 1];
    DWORD length = 0;
    while (bare.read < kRecords && ReadFile(bare.slot, buffer, sizeof buffer, &length, nullptr))
        ++bare.read;
    return 0;
}

// The writer's seconds with the bare reader; negative when a record went missing.
double TimeBare()
{
    Bare bare = {CreateMailslotA(kSlot, 0, MAILSLOT_WAIT_FOREVER, nullptr), 0};
    if (bare.slot == INVALID_HANDLE_VALUE)
        return -1;
    const HANDLE thread = CreateThread(nullptr, 0, BareLoop, &bare, 0, nullptr);
    const double seconds = WriteAll();
    const bool ended = WaitForSingleObject(thread, kTimeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateThread(thread, 1);
        WaitForSingleObject(thread, kTimeoutMs);
    }
    CloseHandle(thread);
    CloseHandle(bare.slot);
    return ended && bare.read == kRecords ? seconds : -1;
}

double Best(const std::vector<double>& values)
{
    return values.empty() ? -1 : *std::min_element(values.begin(), values.end());
}

} // namespace

int main(int argc, char** argv)
{
    FILE* out = argc == 3 ? std::fopen(argv[2], "w") : nullptr;
    if (!out)
        return 2;

    std::vector<double> inboxDrain, inboxShow, bareDrain;
    int failures = 0;
    InTurn(
        kRounds,
        [&] { // the Inbox, started afresh and ended with Exit
            BenchInbox inbox(argv[1], kTimeoutMs);
            const double drain = inbox.status ? WriteAll() : -1;
            const double written = Now();
            const bool shown = drain >= 0 && inbox.Counts(kRecords, kTimeoutMs);
            const double show = Now() - written;
            if (inbox.End() && shown) {
                inboxDrain.push_back(drain);
                inboxShow.push_back(show);
            } else {
                ++failures;
            }
        },
        [&] {
            const double bare = TimeBare();
            failures += bare < 0;
            if (bare >= 0)
                bareDrain.push_back(bare);
        });

    const double inboxSeconds = Median(inboxDrain), bareSeconds = Median(bareDrain);
    const double inboxRate = inboxSeconds > 0 ? kRecords / inboxSeconds : 0;
    const double bareRate = bareSeconds > 0 ? kRecords / bareSeconds : 0;
    std::fprintf(out, "records %d\n", kRecords);
    std::fprintf(out, "inbox_per_second %.0f\n", inboxRate);
    std::fprintf(out, "bare_per_second %.0f\n", bareRate);
    std::fprintf(out, "inbox_to_bare %.2f\n", bareRate > 0 ? inboxRate / bareRate : 0);
    const double inboxBest = Best(inboxDrain) > 0 ? kRecords / Best(inboxDrain) : 0;
    const double bareBest = Best(bareDrain) > 0 ? kRecords / Best(bareDrain) : 0;
    std::fprintf(out, "inbox_best_per_second %.0f\n", inboxBest);
    std::fprintf(out, "bare_best_per_second %.0f\n", bareBest);
    std::fprintf(out, "inbox_to_bare_best %.2f\n", bareBest > 0 ? inboxBest / bareBest : 0);
    std::fprintf(out, "inbox_show_ms %.0f\n", Median(inboxShow) * 1000);
    return Finish(out, failures);
}
