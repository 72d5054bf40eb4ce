// Times 10,000 Messenger records written back to back to \\.\mailslot\messngr, taken off by
// PellamyInbox.exe and by a bare loop of ReadFile on a thread of this program, on the same
// mailslot name, in turns (A B B A ...) so that drift in the machine's speed falls on both
// alike. The mailslot holds about ten messages, after which a writer waits for the reader: the
// writer's loop time is the reader's pace (the drain rate). For the Inbox also the time from
// the last write until its status line counts every record (none lost, none malformed: a round
// that falls short fails). Medians, and the fastest rounds beside them, since other work on
// the machine slows some rounds several times over. The Inbox needs a notification area: run
// this on a Wine desktop. It writes its figures to a file, one "key value..." a line.
//
//   inbox_bench INBOX.EXE OUTPUT-FILE
#include "tools/bench/BenchInbox.h"
#include "tools/bench/Measure.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kRecords = 10000;
const int kRounds = 11; // of each way
const char kSlot[] = "\\\\.\\mailslot\\messngr";
const DWORD kTimeoutMs = 60000;

MessengerDatagram g_record;

// The writer: the seconds its loop took to write every record whole, or a negative figure.
double WriteAll()
{
    const HANDLE slot = CreateFileA(kSlot, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
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

struct InboxRound {
    double drainSeconds = -1; // the writer's loop
    double showSeconds = -1;  // from the last write until the status line counts every record
};

// One round with the Inbox, started afresh and ended with Exit; negative figures on a failure.
InboxRound TimeInbox(const char* program)
{
    InboxRound round;
    BenchInbox inbox(program, kTimeoutMs);
    const HWND status = inbox.status;

    char all[64];
    std::sprintf(all, "%d messages (%d older ones dropped)", kRecords, kRecords - 1000);
    const double drain = status ? WriteAll() : -1;
    const double written = Now();
    if (drain >= 0) {
        const DWORD deadline = GetTickCount() + kTimeoutMs;
        bool shown = false;
        while (!(shown = TextOf(status) == all) && static_cast<LONG>(deadline - GetTickCount()) > 0)
            Sleep(1);
        if (shown) {
            round.drainSeconds = drain;
            round.showSeconds = Now() - written;
        }
    }

    if (!inbox.End())
        round = InboxRound();
    return round;
}

double Best(const std::vector<double>& values)
{
    return values.empty() ? -1 : *std::min_element(values.begin(), values.end());
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

    std::vector<double> inboxDrain, inboxShow, bareDrain;
    int failures = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (round % 2 == 0)) {
                const InboxRound inbox = TimeInbox(argv[1]);
                failures += inbox.drainSeconds < 0;
                if (inbox.drainSeconds >= 0) {
                    inboxDrain.push_back(inbox.drainSeconds);
                    inboxShow.push_back(inbox.showSeconds);
                }
            } else {
                const double bare = TimeBare();
                failures += bare < 0;
                if (bare >= 0)
                    bareDrain.push_back(bare);
            }
        }
    }

    const double inboxSeconds = Median(inboxDrain), bareSeconds = Median(bareDrain);
    const double inboxRate = inboxSeconds > 0 ? kRecords / inboxSeconds : 0;
    const double bareRate = bareSeconds > 0 ? kRecords / bareSeconds : 0;
    std::fprintf(out, "records %d\n", kRecords);
    PrintList(out, "inbox_drain_seconds", inboxDrain);
    PrintList(out, "bare_drain_seconds", bareDrain);
    PrintList(out, "inbox_show_seconds", inboxShow);
    std::fprintf(out, "inbox_per_second %.0f\n", inboxRate);
    std::fprintf(out, "bare_per_second %.0f\n", bareRate);
    std::fprintf(out, "inbox_to_bare %.2f\n", bareRate > 0 ? inboxRate / bareRate : 0);
    const double inboxBest = Best(inboxDrain) > 0 ? kRecords / Best(inboxDrain) : 0;
    const double bareBest = Best(bareDrain) > 0 ? kRecords / Best(bareDrain) : 0;
    std::fprintf(out, "inbox_best_per_second %.0f\n", inboxBest);
    std::fprintf(out, "bare_best_per_second %.0f\n", bareBest);
    std::fprintf(out, "inbox_to_bare_best %.2f\n", bareBest > 0 ? inboxBest / bareBest : 0);
    std::fprintf(out, "inbox_show_ms %.0f\n", Median(inboxShow) * 1000);
    std::fprintf(out, "failures %d\n", failures);
    std::fclose(out);
    return failures == 0 ? 0 : 1;
}
