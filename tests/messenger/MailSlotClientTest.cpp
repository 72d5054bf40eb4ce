// The send action against stand-ins for the file calls and the name query: the calls in their
// order, what each is given, and the boxes that each result calls for.
#include "messenger/MailSlotClient.h"

#include "platform/Win32Api.h"
#include "tests/messenger/Messenger.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const HANDLE kSlot = reinterpret_cast<HANDLE>(0x5150);
const HWND kOwner = reinterpret_cast<HWND>(0x1234);
const std::string k15 = "ABCDEFGHIJKLMNO";

struct Case {
    std::string destination;
    bool opens, nameFails;
    BOOL writeResult, closeResult;
    std::string calls; // what must happen, in order: the calls, and the boxes as [caption type]
};

// The current case and what the stand-ins were given.
Case g_case;
std::string g_calls, g_path, g_written;

int WINAPI Box(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    g_calls += "[" + std::string(caption) + " " + std::to_string(type) + (owner == kOwner ? "] " : " elsewhere] ");
    const bool refusal = caption == std::string("Pellamy");
    EXPECT_STREQ(refusal ? "The destination is longer than 60 characters." : "DoMailSlotClient", text);
    return IDOK;
}

HANDLE WINAPI Open(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD attributes, HANDLE model)
{
    g_calls += "open ";
    g_path = path;
    EXPECT_TRUE(access == GENERIC_WRITE && share == FILE_SHARE_READ && !security && disposition == OPEN_EXISTING &&
                attributes == FILE_ATTRIBUTE_NORMAL && !model);
    return g_case.opens ? kSlot : INVALID_HANDLE_VALUE;
}

// As Windows answers: the longest name, 15 characters, fails in a buffer of less than 16.
BOOL WINAPI Name(LPSTR name, LPDWORD size)
{
    g_calls += "name ";
    if (g_case.nameFails || *size < 16) {
        std::memcpy(name, "ALPHA", 6);
        *size = g_case.nameFails ? 5 : 16;
        return FALSE;
    }
    std::memcpy(name, k15.c_str(), 16);
    *size = 15;
    return TRUE;
}

BOOL WINAPI Write(HANDLE file, LPCVOID bytes, DWORD length, LPDWORD written, LPOVERLAPPED overlapped)
{
    g_calls += std::string("write") + (file == kSlot ? " " : "(invalid) ");
    g_written.assign(static_cast<const char*>(bytes), length);
    EXPECT_TRUE(written && !overlapped);
    return g_case.writeResult;
}

BOOL WINAPI Close(HANDLE file)
{
    g_calls += std::string("close") + (file == kSlot ? " " : "(invalid) ");
    return g_case.closeResult;
}

TEST(DoMailSlotClient, MakesItsCallsInOrderAndReportsEachFailingStep)
{
    const std::string k60(60, 'D'), all = "open name write close ";
    const Case cases[] = {
        {".", true, false, TRUE, TRUE, all},
        {k60, true, false, TRUE, TRUE, all},
        // A failed open does not end the send: the write and the close report on their own.
        {"BETA", false, false, FALSE, TRUE, "open [CreateFile 0] name write(invalid) [WriteFile 16] close(invalid) "},
        {"BETA", false, false, FALSE, FALSE,
         "open [CreateFile 0] name write(invalid) [WriteFile 16] close(invalid) [CloseHandle 16] "},
        // Only exactly 1 counts as success.
        {"BETA", true, false, 2, TRUE, "open name write [WriteFile 16] close "},
        {"BETA", true, false, TRUE, 2, all + "[CloseHandle 16] "},
        {"BETA", true, false, FALSE, FALSE, "open name write [WriteFile 16] close [CloseHandle 16] "},
        {".", true, true, TRUE, TRUE, all}, // a failed name query: no sender
        // Longer than 60 would be cut and reach another computer: refused, nothing called.
        {k60 + "D", true, false, TRUE, TRUE, "[Pellamy 16] "},
    };
    const ScopedOverride<decltype(Win32Api::CreateFileA)> open(Win().CreateFileA, Open);
    const ScopedOverride<decltype(Win32Api::GetComputerNameA)> name(Win().GetComputerNameA, Name);
    const ScopedOverride<decltype(Win32Api::WriteFile)> write(Win().WriteFile, Write);
    const ScopedOverride<decltype(Win32Api::CloseHandle)> close(Win().CloseHandle, Close);
    const ScopedOverride<decltype(Win32Api::MessageBoxA)> box(Win().MessageBoxA, Box);
    for (const Case& c : cases) {
        g_case = c;
        g_calls.clear();
        CWnd owner;
        owner.m_hWnd = kOwner;
        const CString destination(c.destination.c_str()), message("Hi");
        DoMailSlotClient(&owner, destination, message);

        EXPECT_EQ(c.calls, g_calls) << c.destination;
        if (c.calls != "[Pellamy 16] ") {
            EXPECT_EQ("\\\\" + c.destination + "\\mailslot\\messngr", g_path);
            EXPECT_EQ(Record(c.nameFails ? "" : k15, c.destination, "Hi"), g_written);
        }
        owner.m_hWnd = nullptr;
    }
}

} // namespace
