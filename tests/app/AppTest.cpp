// The program's objects (the application, its hidden frame, the send dialog) with real windows;
// the shell, the single-instance mutex and message boxes are stood in for and recorded.
#include "app/TrayApp.h"

#include "platform/Win32Api.h"
#include "res/resource.h"
#include "tests/messenger/Messenger.h"
#include "tests/platform/GuiTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const HANDLE kMutex = reinterpret_cast<HANDLE>(0x77);
std::string g_calls; // the shell calls with their flags (and "+" with a picture), and the mutex calls
HICON g_picture;     // the last picture the shell got
std::string g_boxes; // each message box's text, caption and type
HWND g_boxOwner;     // the last box's owner
BOOL g_shellResult;
HANDLE g_mutex;
DWORD g_mutexError;

// An icon's width, and whether its pixel at x, y is navy: the shadow under the envelope, which
// a picture upside down or scaled from the other size has elsewhere.
std::string Picture(HICON icon, int x, int y)
{
    ICONINFO info = {};
    BITMAP bitmap = {};
    GetIconInfo(icon, &info);
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    const HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ previous = SelectObject(dc, info.hbmColor);
    const bool navy = GetPixel(dc, x, y) == RGB(0, 0, 0x80);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return std::to_string(bitmap.bmWidth) + (navy ? " navy" : "");
}

struct RecordedPlatform {
    RecordedPlatform()
    {
        g_calls.clear();
        g_boxes.clear();
        g_picture = nullptr;
        g_shellResult = TRUE;
        g_mutex = kMutex;
        g_mutexError = 0;
    }
    ScopedOverride<decltype(Win32Api::Shell_NotifyIconA)> shell{
        Win().Shell_NotifyIconA, [](DWORD message, PNOTIFYICONDATAA record) WINAPI {
            g_calls += (message == NIM_ADD ? "ADD " : message == NIM_MODIFY ? "MODIFY " : "DELETE ") +
                       std::to_string(record->uFlags) + (record->hIcon ? "+ " : " ");
            g_picture = record->hIcon;
            EXPECT_EQ(std::to_string(NOTIFYICONDATAA_V1_SIZE) + " 130 1034 Pellamy",
                      std::to_string(record->cbSize) + " " + std::to_string(record->uID) + " " +
                          std::to_string(record->uCallbackMessage) + " " + record->szTip);
            return g_shellResult;
        }};
    ScopedOverride<decltype(Win32Api::CreateMutexA)> mutex{
        Win().CreateMutexA, [](LPSECURITY_ATTRIBUTES, BOOL owned, LPCSTR name) WINAPI {
            g_calls += "CreateMutex " + std::string(name) + " " + std::to_string(owned) + " ";
            return g_mutex;
        }};
    ScopedOverride<decltype(Win32Api::GetLastError)> error{Win().GetLastError, []() WINAPI {
        g_calls += "GetLastError ";
        return g_mutexError;
    }};
    ScopedOverride<decltype(Win32Api::ReleaseMutex)> release{Win().ReleaseMutex, [](HANDLE mutex) WINAPI -> BOOL {
        g_calls += mutex == kMutex ? "ReleaseMutex " : "ReleaseMutex(other) ";
        return TRUE;
    }};
    ScopedOverride<decltype(Win32Api::MessageBoxA)> box{
        Win().MessageBoxA, [](HWND owner, LPCSTR text, LPCSTR caption, UINT type) WINAPI {
            g_boxes += std::string(text) + "/" + caption + "/" + std::to_string(type) + " ";
            g_boxOwner = owner;
            return IDOK;
        }};
};

LRESULT TrayCallback(HWND frame, UINT event, UINT id = IDR_TRAYMENU)
{
    return SendMessageA(frame, WM_TRAYNOTIFY, id, event);
}

// The GDI objects of this process: the system's count, and under Wine, which keeps none, every
// handle value that names one.
int GdiObjects()
{
    int count = static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    for (UINT_PTR value = 0; value <= 0xFFFF; ++value)
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(value)) != 0;
    return count;
}

TEST(AppStart, OneCopyRunsHiddenWithItsIcon)
{
    const std::string started = "ADD 7 MODIFY 2+ CreateMutex PreventSecondInstance 1 GetLastError ";
    static struct {
        HANDLE mutex;
        DWORD error;
        BOOL shell, picture, started;
        std::string calls; // up to the frame's end, a restarted shell's call included
    } c, cases[] = {
        {kMutex, 0, TRUE, TRUE, TRUE, started + "ReleaseMutex ADD 7+ DELETE 0+ "},
        {kMutex, ERROR_ALREADY_EXISTS, TRUE, TRUE, FALSE, started + "ReleaseMutex DELETE 0+ "}, // a second copy
        {nullptr, ERROR_ACCESS_DENIED, TRUE, TRUE, TRUE, started + "ADD 7+ DELETE 0+ "},
        {kMutex, 0, FALSE, TRUE, FALSE, "ADD 7 "},
        // Without its picture, the icon is there all the same.
        {kMutex, 0, TRUE, FALSE, TRUE,
         "ADD 7 MODIFY 2 CreateMutex PreventSecondInstance 1 GetLastError ReleaseMutex ADD 7 DELETE 0 "},
    };
    const ScopedOverride<decltype(Win32Api::LoadImageA)> picture(
        Win().LoadImageA, [](HINSTANCE module, LPCSTR name, UINT type, int cx, int cy, UINT flags) WINAPI {
            return c.picture ? LoadImageA(module, name, type, cx, cy, flags) : nullptr;
        });
    for (const auto& row : cases) {
        c = row;
        RecordedPlatform platform;
        g_mutex = c.mutex;
        g_mutexError = c.error;
        g_shellResult = c.shell;
        EXPECT_EQ(c.started, g_trayApp.InitInstance());
        if (CWnd* frame = g_trayApp.m_pMainWnd) {
            EXPECT_EQ("ORVANTIS", WindowText(frame->m_hWnd));
            EXPECT_FALSE(IsWindowVisible(frame->m_hWnd));
            EXPECT_EQ(0, TrayCallback(frame->m_hWnd, WM_RBUTTONUP, IDR_TRAYMENU + 1)); // another icon's
            if (c.started)
                SendMessageA(frame->m_hWnd, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
            frame->DestroyWindow(); // as the start-up code does after a failed start, and Exit otherwise
        }
        EXPECT_EQ(nullptr, FindWindowA("AfxFrameWnd", nullptr));
        EXPECT_EQ(c.calls, g_calls);
        EXPECT_EQ(c.shell && c.picture ? "16 navy" : "0", Picture(g_picture, 8, 12)); // the small picture
        EXPECT_EQ("", g_boxes);
        Pump();
    }
}

class App : public testing::Test {
protected:
    void SetUp() override
    {
        g_sendDialog.m_strDestination = g_sendDialog.m_strMessage = "";
        ASSERT_TRUE(g_trayApp.InitInstance());
        m_frame = g_trayApp.m_pMainWnd->m_hWnd;
    }
    void TearDown() override
    {
        if (g_trayApp.m_pMainWnd)
            g_trayApp.m_pMainWnd->DestroyWindow();
        Pump();
    }

    // The shell's double-click on the icon; the steps run while the dialog it opens is up.
    LRESULT DoubleClick(const std::vector<std::function<void()>>& steps)
    {
        return Steps::During(steps, [&] { return TrayCallback(m_frame, WM_LBUTTONDBLCLK); });
    }
    static HWND Dialog() { return g_sendDialog.m_hWnd; }
    static HWND Control(int id) { return GetDlgItem(g_sendDialog.m_hWnd, id); }
    static void Close() { PostMessageA(Dialog(), WM_COMMAND, IDCANCEL, 0); }

    RecordedPlatform m_platform;
    HWND m_frame = nullptr;
};

TEST_F(App, DoubleClickOpensTheDialogOnceAndAgainAfterItCloses)
{
    // The dialog's icon is loaded once, with the dialog object, not at each opening.
    static int s_loaded = 0;
    const ScopedOverride<decltype(Win32Api::LoadImageA)> load(
        Win().LoadImageA, [](HINSTANCE, LPCSTR, UINT, int, int, UINT) WINAPI -> HANDLE { return ++s_loaded, nullptr; });
    LRESULT second = 0;
    EXPECT_EQ(1, DoubleClick({[&] {
        const HWND dialog = Dialog();
        EXPECT_TRUE(g_bSendDialogOpen && IsWindowVisible(dialog) && !IsWindowEnabled(m_frame));
        EXPECT_EQ(m_frame, GetWindow(dialog, GW_OWNER));
        EXPECT_EQ(Control(IDC_DESTINATION), GetFocus());
        EXPECT_EQ("Pellamy", WindowText(dialog));
        EXPECT_EQ(g_sendDialog.m_hIcon, reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0)));
        EXPECT_EQ(g_sendDialog.m_hIcon, reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0)));
        EXPECT_EQ("32 navy", Picture(g_sendDialog.m_hIcon, 16, 23)); // the system's default size
        const HMENU system = GetSystemMenu(dialog, FALSE);
        EXPECT_EQ("-|&About Pellamy...=100|", MenuItems(system, GetMenuItemCount(system) - 2));

        // Centred: its template places it at 0, 0; the owner is hidden, so on the work area.
        RECT area, placed;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        GetWindowRect(dialog, &placed);
        EXPECT_NEAR(area.left + area.right, placed.left + placed.right, 2);
        EXPECT_NEAR(area.top + area.bottom, placed.top + placed.bottom, 2);

        // The styles the fields' behaviour rests on that the keyboard alone cannot show:
        // WS_CHILD, WS_VISIBLE, WS_GROUP, WS_TABSTOP and each control's own bits.
        EXPECT_EQ(0x50010088, GetWindowLongA(Control(IDC_DESTINATION), GWL_STYLE) & 0x5003FFFF);
        EXPECT_EQ(0x50011444, GetWindowLongA(Control(IDC_MESSAGE), GWL_STYLE) & 0x5003FFFF);
        EXPECT_EQ(0x50018100, GetWindowLongA(Control(IDC_SEND), GWL_STYLE) & 0x5003FFFF);
        const LONG frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        EXPECT_EQ(0x80CE0000, GetWindowLongA(dialog, GWL_STYLE) & (frame | DS_MODALFRAME));
        EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW); // a taskbar button of its own

        // A second double-click brings the minimized dialog back instead of opening another.
        ShowWindow(dialog, SW_MINIMIZE);
        second = TrayCallback(m_frame, WM_LBUTTONDBLCLK);
        EXPECT_FALSE(IsIconic(dialog));
        EXPECT_EQ(nullptr, FindWindowExA(nullptr, dialog, "#32770", "Pellamy"));
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }}));
    EXPECT_EQ(1, second);
    EXPECT_TRUE(!g_bSendDialogOpen && IsWindowEnabled(m_frame));
    EXPECT_EQ(0, s_loaded);
    DoubleClick({[&] {
        EXPECT_TRUE(IsWindowVisible(Dialog()));
        Close();
    }});
}

// Send stores the fields whole, however long, and leaves the dialog open; Enter in the
// destination gives OK, which stores them and sends nothing. The next opening shows them; edits
// closed with Esc are dropped.
TEST_F(App, SendAndOkStoreTheFieldsAndTheDialogKeepsThem)
{
    const HANDLE reader = CreateMailslotA(kMessengerSlot, 0, 0, nullptr);
    std::string lines;
    while (lines.size() < 70000) // lines of 60: Wine's edit control slows down steeply on long lines
        lines += "The quick brown fox jumps over the lazy dog, 0123456789 !?\r\n";
    DoubleClick({[&] {
        SetWindowTextA(Control(IDC_DESTINATION), ".");
        SetWindowTextA(Control(IDC_MESSAGE), lines.c_str());
        SendMessageA(Control(IDC_SEND), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsWindowVisible(Dialog()) && lines == static_cast<const char*>(g_sendDialog.m_strMessage));
        EXPECT_EQ(1u, ReadAll(reader).size());
        SetWindowTextA(Control(IDC_MESSAGE), "typed");
        SetFocus(Control(IDC_DESTINATION));
        PostMessageA(Control(IDC_DESTINATION), WM_KEYDOWN, VK_RETURN, 1);
    }});
    EXPECT_TRUE(Dialog() == nullptr && ReadAll(reader).empty());
    CloseHandle(reader);
    for (int opening = 0; opening < 2; ++opening)
        DoubleClick({[&] {
            EXPECT_EQ(".|typed", WindowText(Control(IDC_DESTINATION)) + "|" + WindowText(Control(IDC_MESSAGE)));
            SetWindowTextA(Control(IDC_DESTINATION), "OTHER");
            PostMessageA(Control(IDC_DESTINATION), WM_KEYDOWN, VK_ESCAPE, 1);
        }});
}

TEST_F(App, AboutFromTheTrayMenuTheSystemMenuAndTheCommand)
{
    std::vector<HWND> owners;
    const auto closeAbout = [&] {
        const HWND about = FindWindowA("#32770", "About PELLAMY");
        EXPECT_EQ("About PELLAMY", WindowText(about));
        owners.push_back(GetWindow(about, GW_OWNER));
        PostMessageA(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_RETURN, 1);
    };
    Steps::During({closeAbout}, [&] { return SendMessageA(m_frame, WM_COMMAND, ID_APP_ABOUT, 0); });
    DoubleClick({[&] { PostMessageA(Dialog(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0); }, closeAbout,
                 [&] { PostMessageA(Dialog(), WM_COMMAND, ID_APP_ABOUT, 0); }, closeAbout,
                 [&] { owners.push_back(Dialog()), Close(); }});
    // From the tray on the hidden frame, from the send dialog on top of it.
    EXPECT_EQ(std::vector<HWND>({m_frame, owners[3], owners[3], owners[3]}), owners);
    EXPECT_EQ(nullptr, FindWindowA("#32770", "About PELLAMY"));
}

TEST_F(App, OptionsShowTheirBoxUnderTheApplicationTitle)
{
    SendMessageA(m_frame, WM_COMMAND, ID_OPTION_1, 0);
    SendMessageA(m_frame, WM_COMMAND, MAKEWPARAM(ID_OPTION_2, 1), 0); // as an accelerator gives it
    EXPECT_EQ("You chose Option 1/ORVANTIS/0 You chose Option 2/ORVANTIS/0 ", g_boxes);
    EXPECT_EQ(m_frame, g_boxOwner);
}

// Minimized, the dialog draws its icon in the middle of its client area, the halves rounded
// toward zero, and gives each paint's display context back. Without a system menu it opens all
// the same.
TEST_F(App, MinimizedDialogPaintsItsIconInTheMiddle)
{
    static RECT s_client;
    static std::string s_drawn;
    const ScopedOverride<decltype(Win32Api::GetSystemMenu)> noMenu(Win().GetSystemMenu,
                                                                   [](HWND, BOOL) WINAPI -> HMENU { return nullptr; });
    const ScopedOverride<decltype(Win32Api::IsIconic)> iconic(Win().IsIconic, [](HWND) WINAPI -> BOOL { return TRUE; });
    const ScopedOverride<decltype(Win32Api::GetClientRect)> client(Win().GetClientRect,
                                                                   [](HWND, LPRECT rect) WINAPI -> BOOL {
        *rect = s_client;
        return TRUE;
    });
    const ScopedOverride<decltype(Win32Api::GetSystemMetrics)> metrics(
        Win().GetSystemMetrics, [](int index) WINAPI { return index == SM_CXICON || index == SM_CYICON ? 32 : 16; });
    const ScopedOverride<decltype(Win32Api::DrawIcon)> draw(Win().DrawIcon, [](HDC, int x, int y, HICON icon) WINAPI {
        s_drawn += std::to_string(x) + "," + std::to_string(y) + (icon == g_sendDialog.m_hIcon ? " " : "! ");
        return TRUE;
    });
    DoubleClick({[&] {
        s_drawn.clear(); // the opening's own paint
        for (const RECT& rect : {RECT{0, 0, 37, 37}, RECT{0, 0, 36, 35}, RECT{0, 0, 20, 32}}) {
            s_client = rect;
            SendMessageA(Dialog(), WM_PAINT, 0, 0);
        }
        EXPECT_EQ("3,3 2,2 -5,0 ", s_drawn);
        // A context not given back goes only with its window: counted while the window lives.
        const int before = GdiObjects();
        for (int k = 0; k < 20; ++k)
            SendMessageA(Dialog(), WM_PAINT, 0, 0);
        EXPECT_LT(GdiObjects() - before, 10);
        Close();
    }});
}

} // namespace
