// A helper of tools/run.sh and the Wine LAN test, not part of Pellamy: it plays the
// notification area's part, posting the tray icon's callback to Pellamy's hidden frame, and
// waits until the effect shows, so that a screenshot taken afterwards has it.
//
//   traycall menu     a right-click on the icon: the tray menu opens by the icon
//   traycall dismiss  Esc on the open tray menu: it closes
//   traycall open     a double-click on the icon: the send dialog opens
//   traycall send [DESTINATION MESSAGE]
//                     in the open send dialog, the message (a two-line one) is typed and sent
//                     to DESTINATION (this computer), the boxes the send shows closed in turn;
//                     then, when Pellamy Inbox runs on the desktop, it waits until that shows
//
// It runs on the program's Wine desktop (windows of other desktops cannot be seen), started by
// explorer, which passes no exit status on: so it writes to the file PELLAMY_STATUS_FILE names
// its status, the captions of the boxes a send showed, and the screenshot's part of the screen
// (as -crop takes it): what opened, with a margin, down to the taskbar's bottom-right corner,
// where the notification area shows the icon:
//   0
//   boxes CreateFile WriteFile
//   crop 150x103+882+665
#include <windows.h>

#include "res/resource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const DWORD kTimeoutMs = 10000;

// The first visible top-level window of the class (and title, if given) that the frame's
// thread owns.
HWND FindVisible(HWND frame, const char* className, const char* title = nullptr)
{
    const DWORD thread = GetWindowThreadProcessId(frame, nullptr);
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, className, title)) != nullptr) {
        if (GetWindowThreadProcessId(window, nullptr) == thread && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

HWND FindMenu(HWND frame) { return FindVisible(frame, "#32768"); }
HWND FindDialog(HWND frame) { return FindVisible(frame, "#32770", "Pellamy"); }

template <typename Condition>
bool WaitUntil(Condition condition)
{
    const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(50);
    }
    return true;
}

// Sends what the dialog holds, closing each box the send shows, and appends "boxes" and their
// captions to report.
bool SendClosingBoxes(HWND frame, HWND dialog, std::string& report)
{
    struct Click {
        HWND button;
        volatile LONG done;
    } click = {GetDlgItem(dialog, IDC_SEND), 0};
    // The click returns when the send has, which waits for every box to be closed.
    const HANDLE clicker = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) WINAPI -> DWORD {
            Click& c = *static_cast<Click*>(parameter);
            DWORD_PTR ignored;
            SendMessageTimeoutA(c.button, BM_CLICK, 0, 0, SMTO_NORMAL, kTimeoutMs * 3, &ignored);
            InterlockedExchange(&c.done, 1);
            return 0;
        },
        &click, 0, nullptr);
    report += "boxes";
    const bool done = WaitUntil([&] {
        for (const char* caption : {"CreateFile", "WriteFile", "CloseHandle"}) {
            if (const HWND box = FindVisible(frame, "#32770", caption)) {
                report += std::string(" ") + caption;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); });
            }
        }
        return click.done != 0;
    });
    report += "\n";
    WaitForSingleObject(clicker, kTimeoutMs);
    CloseHandle(clicker);
    return done;
}

// Sets shown to the window that opened; adds what else there is to tell to report.
int Run(int argc, char** argv, HWND& shown, std::string& report)
{
    const std::string action = argc >= 2 ? argv[1] : "";
    const auto status = [](bool done, const char* failure) {
        if (!done)
            std::fprintf(stderr, "traycall: %s\n", failure);
        return done ? 0 : 1;
    };
    HWND frame = nullptr;
    if (!WaitUntil([&] { return (frame = FindWindowA("AfxFrameWnd", "ORVANTIS")) != nullptr; }))
        return status(false, "Pellamy's frame is not on this desktop");
    if (action == "menu") {
        // The notification area sits in the bottom-right corner of the taskbar.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 40, GetSystemMetrics(SM_CYSCREEN) - 12);
        PostMessageA(frame, WM_TRAYNOTIFY, IDR_TRAYMENU, WM_RBUTTONUP);
        return status(WaitUntil([&] { return (shown = FindMenu(frame)) != nullptr; }), "the tray menu did not open");
    }
    if (action == "dismiss") {
        if (const HWND menu = FindMenu(frame))
            PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        return status(WaitUntil([&] { return FindMenu(frame) == nullptr; }), "the tray menu did not close");
    }
    if (action == "open") {
        PostMessageA(frame, WM_TRAYNOTIFY, IDR_TRAYMENU, WM_LBUTTONDBLCLK);
        const bool opened = WaitUntil([&] { return (shown = FindDialog(frame)) != nullptr; });
        return status(opened, "the send dialog did not open");
    }
    if (action == "send" && (argc == 2 || argc == 4)) {
        const HWND dialog = FindDialog(frame);
        SetDlgItemTextA(dialog, IDC_DESTINATION, argc == 4 ? argv[2] : ".");
        SetDlgItemTextA(dialog, IDC_MESSAGE,
                        argc == 4 ? argv[3] : "Lunch at noon in the caf\xE9?\r\nBring the r\xE9sum\xE9s.");
        const HWND inbox = FindWindowA("AfxFrameWnd", "Pellamy Inbox");
        const bool sent = SendClosingBoxes(frame, dialog, report);
        shown = inbox;
        return status(sent && (!inbox || WaitUntil([&] { return IsWindowVisible(inbox); })),
                      "the send did not end, or Pellamy Inbox did not show it");
    }
    return status(false, "usage: traycall menu|dismiss|open|send [DESTINATION MESSAGE]");
}

} // namespace

int main(int argc, char** argv)
{
    HWND shown = nullptr;
    std::string report;
    const int status = Run(argc, argv, shown, report);
    if (const char* statusFile = std::getenv("PELLAMY_STATUS_FILE")) {
        std::string text = std::to_string(status) + "\n" + report;
        RECT window, taskbar = {};
        if (shown && GetWindowRect(shown, &window)) {
            GetWindowRect(FindWindowA("Shell_TrayWnd", nullptr), &taskbar);
            const LONG left = std::max(window.left - 8, 0L), top = std::max(window.top - 8, 0L);
            const LONG right = std::max(window.right + 8, taskbar.right);
            const LONG bottom = std::max(window.bottom + 8, taskbar.bottom);
            char crop[80];
            std::snprintf(crop, sizeof crop, "crop %ldx%ld+%ld+%ld\n", right - left, bottom - top, left, top);
            text += crop;
        }
        // In one write: tools/run.sh reads the file as soon as it is not empty.
        if (FILE* file = std::fopen(statusFile, "w")) {
            std::fputs(text.c_str(), file);
            std::fclose(file);
        }
    }
    return status;
}
