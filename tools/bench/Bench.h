#pragma once
// What the Windows bench programs share: the clock, bounded waits and the figures of a series
// of runs; the record they write to the Messenger mailslot; programs started and ended with
// Exit. Each program writes its figures to the file given last, one "key value..." a line;
// tools/bench.sh runs it on a Wine desktop of its own, which has a notification area.
#include "messenger/Datagram.h"
#include "res/resource.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

const char kSlot[] = "\\\\.\\mailslot\\messngr";
const char kText[] = "Lunch at noon in the caf\xE9?\r\nBring the r\xE9sum\xE9s."; // as typed, in code page 1252

// Seconds on the performance counter.
inline double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Whether the condition came true within the time, asked every pause.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs, DWORD pauseMs = 1)
{
    const DWORD deadline = GetTickCount() + timeoutMs;
    while (!condition()) {
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0)
            return false;
        Sleep(pauseMs);
    }
    return true;
}

// Runs a and b in turn, A B B A A B ..., so that drift in the machine's speed falls on both.
template <typename A, typename B>
void InTurn(int rounds, A a, B b)
{
    for (int round = 0; round < rounds; ++round) {
        round % 2 ? b() : a();
        round % 2 ? a() : b();
    }
}

// The middle of the values, -1 for none.
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Ends the figures with the count of failures, which tools/bench.sh looks for; the status.
inline int Finish(FILE* out, int failures)
{
    std::fprintf(out, "failures %d\n", failures);
    std::fclose(out);
    return failures == 0 ? 0 : 1;
}

// The record written: from this computer to ".", two lines with accented letters.
inline MessengerDatagram BenchRecord()
{
    char name[kComputerNameBufferSize] = {};
    DWORD nameLength = sizeof name;
    GetComputerNameA(name, &nameLength);
    return ComposeDatagram(name, nameLength, ".", kText);
}

inline HANDLE OpenSlot()
{
    return CreateFileA(kSlot, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// A window's text, asked for with a bound: the Inbox may be busy.
inline std::string TextOf(HWND window)
{
    char text[256] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &length);
    return std::string(text, length);
}

// A program in a process of its own, ended with Exit.
class Process {
public:
    explicit Process(const char* program)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        CreateProcessA(program, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_process);
    }

    bool Running() const { return m_process.hProcess && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT; }

    // Posts Exit to its window and waits for it to end; false when it had to be ended by
    // force, or never started.
    bool End(HWND window)
    {
        if (!m_process.hProcess)
            return false;
        if (window)
            PostMessageA(window, WM_COMMAND, ID_APP_EXIT, 0);
        const bool ended = WaitForSingleObject(m_process.hProcess, 10000) == WAIT_OBJECT_0;
        if (!ended) {
            TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, 10000);
        }
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
        return ended;
    }

private:
    PROCESS_INFORMATION m_process = {};
};

// PellamyInbox.exe, waited for up to timeoutMs until its status line counts no messages;
// status stays null when it does not come.
struct BenchInbox : Process {
    BenchInbox(const char* program, DWORD timeoutMs) : Process(program)
    {
        WaitUntil([&] {
            frame = FindWindowA("AfxFrameWnd", "Pellamy Inbox");
            status = frame ? GetDlgItem(frame, IDC_INBOX_STATUS) : nullptr;
            return (status && TextOf(status) == "No messages") || !Running();
        }, timeoutMs, 10);
    }

    // Whether the status line comes to count all the records written, within the time.
    bool Counts(int records, DWORD timeoutMs) const
    {
        char all[80];
        std::snprintf(all, sizeof all, "%d messages (%d older ones dropped)", records, records - 1000);
        return WaitUntil([&] { return TextOf(status) == all; }, timeoutMs);
    }

    bool End() { return Process::End(frame); }

    HWND frame = nullptr;
    HWND status = nullptr;
};
