// A helper of tools/run.sh, not part of Pellamy: it plays the notification area's part and
// posts the tray icon's callback to the running program's hidden frame, then waits until the
// effect shows, so that a screenshot taken afterwards has it.
//
//   traycall menu     a right-click on the icon: the tray menu opens at the mouse pointer,
//                     which is put next to the icon first, as a real click would leave it
//   traycall dismiss  Esc on the open tray menu: it closes
//   traycall open     a double-click on the icon: the send dialog opens
//   traycall send     in the open send dialog, a message to this computer is typed and sent:
//                     Pellamy Inbox, running on the same desktop, shows it
//   traycall send DESTINATION MESSAGE
//                     in the open send dialog, the message is typed and sent to DESTINATION;
//                     the boxes the send shows are closed in turn and told by their captions:
//                       boxes CreateFile WriteFile
//
// It must run on the program's Wine desktop (windows of other desktops cannot be seen), where
// it is started by explorer, which passes no exit status on: so it also writes its status to
// the file that PELLAMY_STATUS_FILE names, if set. After menu and open, the file also gives
// the screen rectangles (left top right bottom) that the screenshot is cut to:
//   0
//   window 890 673 1024 748     the tray menu, the send dialog or the Inbox
//   taskbar 0 748 1024 768      the notification area is at its right end
#include <windows.h>

#include "res/resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const DWORD kTimeoutMs = 10000;

bool HasClass(HWND window, const char* className)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return std::strcmp(name, className) == 0;
}

bool HasTitle(HWND window, const char* title)
{
    char text[64] = {};
    GetWindowTextA(window, text, sizeof text);
    return !title || std::strcmp(text, title) == 0;
}

// The program's hidden frame; the tray icon's callback goes to it.
HWND FindFrame() { return FindWindowA("AfxFrameWnd", "ORVANTIS"); }

// The first visible top-level window of the class (and title, if given) that the frame's
// thread owns.
HWND FindVisible(HWND frame, const char* className, const char* title = nullptr)
{
    struct Search {
        DWORD thread;
        const char* className;
        const char* title;
        HWND found;
    } search = {GetWindowThreadProcessId(frame, nullptr), className, title, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) WINAPI -> BOOL {
            Search& s = *reinterpret_cast<Search*>(parameter);
            if (GetWindowThreadProcessId(window, nullptr) == s.thread && IsWindowVisible(window) &&
                HasClass(window, s.className) && HasTitle(window, s.title)) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
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
    const char* action = argc >= 2 ? argv[1] : "";
    HWND frame = nullptr;
    if (!WaitUntil([&] { return (frame = FindFrame()) != nullptr; })) {
        std::fprintf(stderr, "traycall: Pellamy's frame is not on this desktop\n");
        return 1;
    }
    if (std::strcmp(action, "menu") == 0) {
        // The notification area sits in the bottom-right corner of the taskbar.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 40, GetSystemMetrics(SM_CYSCREEN) - 12);
        PostMessageA(frame, WM_TRAYNOTIFY, IDR_TRAYMENU, WM_RBUTTONUP);
        if (WaitUntil([&] { return (shown = FindMenu(frame)) != nullptr; }))
            return 0;
        std::fprintf(stderr, "traycall: the tray menu did not open\n");
    } else if (std::strcmp(action, "dismiss") == 0) {
        const HWND menu = FindMenu(frame);
        if (menu)
            PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        if (WaitUntil([&] { return FindMenu(frame) == nullptr; }))
            return 0;
        std::fprintf(stderr, "traycall: the tray menu did not close\n");
    } else if (std::strcmp(action, "open") == 0) {
        PostMessageA(frame, WM_TRAYNOTIFY, IDR_TRAYMENU, WM_LBUTTONDBLCLK);
        if (WaitUntil([&] { return (shown = FindDialog(frame)) != nullptr; }))
            return 0;
        std::fprintf(stderr, "traycall: the send dialog did not open\n");
    } else if (std::strcmp(action, "send") == 0 && argc == 4) {
        const HWND dialog = FindDialog(frame);
        SetDlgItemTextA(dialog, IDC_DESTINATION, argv[2]);
        SetDlgItemTextA(dialog, IDC_MESSAGE, argv[3]);
        if (SendClosingBoxes(frame, dialog, report))
            return 0;
        std::fprintf(stderr, "traycall: the send did not end\n");
    } else if (std::strcmp(action, "send") == 0) {
        const HWND dialog = FindDialog(frame);
        SetDlgItemTextA(dialog, IDC_DESTINATION, ".");
        SetDlgItemTextA(dialog, IDC_MESSAGE, "Lunch at noon in the caf\xE9?\r\nBring the r\xE9sum\xE9s.");
        PostMessageA(GetDlgItem(dialog, IDC_SEND), BM_CLICK, 0, 0);
        const HWND inbox = FindWindowA("AfxFrameWnd", "Pellamy Inbox");
        if (WaitUntil([&] { return inbox && IsWindowVisible(inbox); })) {
            shown = inbox;
            return 0;
        }
        std::fprintf(stderr, "traycall: Pellamy Inbox did not show the message\n");
    } else {
        std::fprintf(stderr, "usage: traycall menu|dismiss|open|send [DESTINATION MESSAGE]\n");
    }
    return 1;
}

// Appends "name left top right bottom" for the window's rectangle on the screen.
void PutRect(std::string& text, const char* name, HWND window)
{
    RECT rect;
    if (!window || !GetWindowRect(window, &rect))
        return;
    char line[80];
    std::snprintf(line, sizeof line, "%s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right, rect.bottom);
    text += line;
}

} // namespace

int main(int argc, char** argv)
{
    HWND shown = nullptr;
    std::string report;
    const int status = Run(argc, argv, shown, report);
    if (const char* statusFile = std::getenv("PELLAMY_STATUS_FILE")) {
        std::string text = std::to_string(status) + "\n" + report;
        if (shown) {
            PutRect(text, "window", shown);
            PutRect(text, "taskbar", FindWindowA("Shell_TrayWnd", nullptr));
        }
        // In one write: tools/run.sh reads the file as soon as it is not empty.
        if (FILE* file = std::fopen(statusFile, "w")) {
            std::fputs(text.c_str(), file);
            std::fclose(file);
        }
    }
    return status;
}
