// The send action against stand-ins for the file calls and the name query: the calls in their
// order, what each is given, and the boxes that each result calls for.
#include "messenger/MailSlotClient.h"

#include "tests/messenger/Messenger.h"
#include "tests/platform/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const HANDLE kSlot = reinterpret_cast<HANDLE>(0x5150);
const std::string k15 = "ABCDEFGHIJKLMNO";

struct Case {
    std::string destination;
    bool opens, nameFails;
    BOOL writeResult, closeResult;
    std::string calls, boxes; // what must happen: the calls in order, the boxes as caption/type
};

// The current case and what the stand-ins were given.
Case g_case;
std::string g_calls, g_path, g_written;

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
    const std::string k60(60, 'D');
    const Case cases[] = {
        {".", true, false, TRUE, TRUE, "open name write close ", ""},
        {k60, true, false, TRUE, TRUE, "open name write close ", ""},
        // A failed open does not end the send: the write and the close report on their own.
        {"BETA", false, false, FALSE, TRUE, "open name write(invalid) close(invalid) ", "CreateFile/0 WriteFile/16 "},
        {"BETA", false, false, FALSE, FALSE, "open name write(invalid) close(invalid) ",
         "CreateFile/0 WriteFile/16 CloseHandle/16 "},
        // Only exactly 1 counts as success.
        {"BETA", true, false, 2, TRUE, "open name write close ", "WriteFile/16 "},
        {"BETA", true, false, TRUE, 2, "open name write close ", "CloseHandle/16 "},
        {"BETA", true, false, FALSE, FALSE, "open name write close ", "WriteFile/16 CloseHandle/16 "},
        // A failed name query leaves the sender empty.
        {".", true, true, TRUE, TRUE, "open name write close ", ""},
        // Longer than 60 would be cut and reach another computer: refused, nothing called.
        {k60 + "D", true, false, TRUE, TRUE, "", "Pellamy/16 "},
    };
    const ScopedOverride<decltype(Win32Api::CreateFileA)> open(Win().CreateFileA, Open);
    const ScopedOverride<decltype(Win32Api::GetComputerNameA)> name(Win().GetComputerNameA, Name);
    const ScopedOverride<decltype(Win32Api::WriteFile)> write(Win().WriteFile, Write);
    const ScopedOverride<decltype(Win32Api::CloseHandle)> close(Win().CloseHandle, Close);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination + " " + c.boxes);
        g_case = c;
        g_calls.clear();
        g_written.clear();
        MessageBoxRecorder boxes;
        CWnd owner;
        owner.m_hWnd = reinterpret_cast<HWND>(0x1234);

        const CString destination(c.destination.c_str());
        const CString message("Hi");
        DoMailSlotClient(&owner, destination, message);

        EXPECT_EQ(c.calls, g_calls);
        std::string shown;
        for (const MessageBoxRecorder::Box& box : boxes.Boxes()) {
            shown += box.caption + "/" + std::to_string(box.type) + " ";
            EXPECT_EQ(owner.m_hWnd, box.owner);
            EXPECT_EQ(box.caption == "Pellamy" ? "The destination is longer than 60 characters." : "DoMailSlotClient",
                      box.text);
        }
        EXPECT_EQ(c.boxes, shown);
        if (!c.calls.empty()) {
            EXPECT_EQ("\\\\" + c.destination + "\\mailslot\\messngr", g_path);
            EXPECT_EQ(Record(c.nameFails ? "" : k15, c.destination, "Hi"), g_written);
        }
        EXPECT_STREQ(c.destination.c_str(), destination); // the inputs are left as they were
        EXPECT_STREQ("Hi", message);
    }
}

} // namespace
