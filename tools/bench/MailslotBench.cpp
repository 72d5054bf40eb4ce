// Times sends through DoMailSlotClient against two loops of bare calls writing the same 420
// bytes: the system calls a send makes (CreateFileA, GetComputerNameA, WriteFile,
// CloseHandle), and open / write / close alone. All go to a reader mailslot on this machine,
// in batches taken in turn, in every order, so that drift in the machine's speed falls on
// all alike; each way's figure is its median batch, so that a batch slowed by other work on
// the machine counts for little. The reader is drained between batches, outside the timed
// part.
//
//   mailslot_bench OUTPUT-FILE
#include "messenger/MailSlotClient.h"
#include "platform/Win32Api.h"
#include "tools/bench/Bench.h"

namespace {

const int kBatch = 100;
const int kRounds = 48; // 4,800 sends each way; every order of the three ways eight times
const int kWarmUp = 50;

struct Reader {
    HANDLE slot = CreateMailslotA(kSlot, 0, 0, nullptr);
    ~Reader() { CloseHandle(slot); }

    // Counts what arrived, and how many of those were whole 420-byte datagrams.
    void Drain(int& received, int& whole) const
    {
        char buffer[1024];
        DWORD read = 0;
        while (ReadFile(slot, buffer, sizeof buffer, &read, nullptr)) {
            ++received;
            if (read == kDatagramSize)
                ++whole;
        }
    }
};

struct Way {
    std::vector<double> batchSeconds;
    int received = 0;
    int whole = 0;
};

const CString g_destination(".");
const CString g_message(kText);
const MessengerDatagram g_record = BenchRecord();
CWnd g_owner;

void SendThroughClient() { DoMailSlotClient(&g_owner, g_destination, g_message); }

// What a send asks of the system, with the record composed once beforehand; without the
// computer name, the bare calls.
template <bool kAskName>
void SendCalls()
{
    const HANDLE file = OpenSlot();
    char name[kComputerNameBufferSize];
    DWORD nameLength = sizeof name;
    if constexpr (kAskName)
        GetComputerNameA(name, &nameLength);
    DWORD written = 0;
    WriteFile(file, g_record.bytes, sizeof g_record.bytes, &written, nullptr);
    CloseHandle(file);
}

} // namespace

int main(int argc, char** argv)
{
    Reader reader;
    FILE* out = argc == 2 ? std::fopen(argv[1], "w") : nullptr;
    if (!out || reader.slot == INVALID_HANDLE_VALUE)
        return 2;
    // A failure would show a modal box and stop the run; they are counted instead.
    static int s_boxes = 0;
    const ScopedOverride<decltype(Win32Api::MessageBoxA)> boxes(
        Win().MessageBoxA, [](HWND, LPCSTR, LPCSTR, UINT) WINAPI { return ++s_boxes, IDOK; });

    void (*const sends[])() = {SendThroughClient, SendCalls<true>, SendCalls<false>};
    Way ways[3];
    Way warmUp;
    for (int k = 0; k < kWarmUp; ++k) {
        for (auto send : sends)
            send();
    }
    reader.Drain(warmUp.received, warmUp.whole);

    // The six orders in turn, so that no way always goes first or last.
    const int orders[6][3] = {{0, 1, 2}, {2, 1, 0}, {1, 2, 0}, {0, 2, 1}, {2, 0, 1}, {1, 0, 2}};
    for (int round = 0; round < kRounds; ++round) {
        for (int way : orders[round % 6]) {
            const double start = Now();
            for (int k = 0; k < kBatch; ++k)
                sends[way]();
            ways[way].batchSeconds.push_back(Now() - start);
            reader.Drain(ways[way].received, ways[way].whole);
        }
    }

    const char* const names[] = {"client", "calls", "bare"};
    std::fprintf(out, "sends %d\n", kBatch * kRounds);
    std::fprintf(out, "batch %d\n", kBatch);
    for (int way = 0; way < 3; ++way) {
        std::fprintf(out, "%s_batch_seconds %.6f\n", names[way], Median(ways[way].batchSeconds));
        std::fprintf(out, "%s_received %d %d\n", names[way], ways[way].received, ways[way].whole);
    }
    std::fprintf(out, "boxes %d\n", s_boxes);
    return Finish(out, 0);
}
