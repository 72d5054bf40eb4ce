// The Inbox's start-up failures, in process: the mailslot and the shell are stood in for,
// and message boxes are recorded. (tests/inbox/InboxEndToEndTest.cpp runs the real program.)
#include "inbox/InboxApp.h"
#include "platform/Win32Api.h"
#include "tests/platform/GuiTest.h"
#include "tests/platform/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

DWORD g_mailslotError;
BOOL g_shellResult;
int g_icons; // registered and not removed

struct StartFailure {
    DWORD mailslotError;
    BOOL shellResult;
    std::string text;
    UINT type;
};

TEST(Inbox, AFailedStartShowsOneBoxAndEndsWithExitCode1)
{
    char denied[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED, 0, denied,
                   sizeof denied, nullptr);
    const StartFailure failures[] = {
        {ERROR_ALREADY_EXISTS, TRUE, "Another program already receives Messenger messages on this computer.",
         MB_ICONINFORMATION},
        {ERROR_ACCESS_DENIED, TRUE, denied, MB_ICONERROR},
        {ERROR_SUCCESS, FALSE, "Pellamy Inbox cannot show its icon: there is no notification area.", MB_ICONERROR},
    };
    for (const StartFailure& failure : failures) {
        g_mailslotError = failure.mailslotError;
        g_shellResult = failure.shellResult;
        g_icons = 0;
        ScopedOverride<decltype(Win32Api::CreateMailslotA)> slot(
            Win().CreateMailslotA, [](LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES) WINAPI {
                SetLastError(g_mailslotError);
                return g_mailslotError ? INVALID_HANDLE_VALUE : CreateEventA(nullptr, TRUE, FALSE, nullptr);
            });
        ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> shell(
            Win().Shell_NotifyIconA, [](DWORD message, PNOTIFYICONDATAA) WINAPI {
                g_icons += message == NIM_ADD && g_shellResult ? 1 : message == NIM_DELETE ? -1 : 0;
                return g_shellResult;
            });
        MessageBoxRecorder boxes;
        CInboxApp app;

        EXPECT_EQ(1, AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
        ASSERT_EQ(1u, boxes.Boxes().size());
        EXPECT_EQ(failure.text, boxes.Boxes()[0].text);
        EXPECT_EQ("Pellamy Inbox", boxes.Boxes()[0].caption);
        EXPECT_EQ(MB_OK | failure.type, boxes.Boxes()[0].type);
        EXPECT_EQ(0, g_icons);
        EXPECT_EQ(nullptr, FindWindowA("AfxFrameWnd", "Pellamy Inbox"));
        Pump();
    }
}

} // namespace
