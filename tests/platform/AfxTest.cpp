// The class library with real windows on the (virtual) display.
#include "platform/AfxWin.h"
#include "platform/Win32Api.h"
#include "tests/platform/AfxTestResource.h"
#include "tests/platform/GuiTest.h"
#include "tests/platform/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Named, not anonymous: runtime class records are exported like any class's.
namespace afx_test {

const UINT WM_TEST_BASE = WM_APP + 1;
const UINT WM_TEST_DERIVED = WM_APP + 2;
const UINT WM_TEST_WHILE_MODAL = WM_APP + 3;

std::vector<std::string> g_calls;

class CTestApp : public CWinApp {
public:
    CTestApp() = default;

protected:
    void OnAppCommand() { g_calls.push_back("app command"); }
    void OnFrameCommand() { g_calls.push_back("app frame command"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
    ON_COMMAND(ID_TEST_APP_COMMAND, OnAppCommand)
    ON_COMMAND(ID_TEST_FRAME_COMMAND, OnFrameCommand)
END_MESSAGE_MAP()

class CBaseFrame : public CFrameWnd {
    DECLARE_DYNAMIC(CBaseFrame)

public:
    ~CBaseFrame() override { g_calls.push_back("frame deleted"); }

protected:
    LRESULT OnBaseMessage(WPARAM wParam, LPARAM) { return 100 + static_cast<LRESULT>(wParam); }
    void OnFrameCommand() { g_calls.push_back("base frame command"); }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNAMIC(CBaseFrame, CFrameWnd)

BEGIN_MESSAGE_MAP(CBaseFrame, CFrameWnd)
    ON_MESSAGE(WM_TEST_BASE, OnBaseMessage)
    ON_COMMAND(ID_TEST_FRAME_COMMAND, OnFrameCommand)
END_MESSAGE_MAP()

UINT g_registeredMessage = RegisterWindowMessageA("Pellamy.AfxTest.Registered");

class CTestFrame : public CBaseFrame {
    DECLARE_DYNCREATE(CTestFrame)

public:
    bool m_refuseCreate = false;

protected:
    int OnCreate(LPCREATESTRUCT cs)
    {
        g_calls.push_back("OnCreate");
        return m_refuseCreate ? -1 : CFrameWnd::OnCreate(cs);
    }
    LRESULT OnDerivedMessage(WPARAM, LPARAM) { return 200; }
    LRESULT OnRegistered(WPARAM, LPARAM lParam) { return 300 + lParam; }
    LRESULT OnWhileModal(WPARAM, LPARAM)
    {
        g_calls.push_back("frame message while modal");
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_DYNCREATE(CTestFrame, CBaseFrame)

BEGIN_MESSAGE_MAP(CTestFrame, CBaseFrame)
    ON_WM_CREATE()
    ON_MESSAGE(WM_TEST_DERIVED, OnDerivedMessage)
    ON_REGISTERED_MESSAGE(g_registeredMessage, OnRegistered)
    ON_MESSAGE(WM_TEST_WHILE_MODAL, OnWhileModal)
END_MESSAGE_MAP()

class CTrayLike : public CObject {
    DECLARE_DYNAMIC(CTrayLike)
};
IMPLEMENT_DYNAMIC(CTrayLike, CObject)

CTestFrame* NewFrame()
{
    CTestFrame* frame = new CTestFrame;
    EXPECT_TRUE(frame->LoadFrame(IDR_TESTFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE));
    return frame;
}

class Afx : public testing::Test {
protected:
    void SetUp() override { g_calls.clear(); }
    void TearDown() override { DropQuitMessages(); }
    CTestApp m_app;
};

TEST_F(Afx, RuntimeClassRecords)
{
    EXPECT_STREQ("CTrayLike", RUNTIME_CLASS(CTrayLike)->m_lpszClassName);
    EXPECT_EQ(nullptr, RUNTIME_CLASS(CTrayLike)->CreateObject());
    EXPECT_EQ(RUNTIME_CLASS(CObject), RUNTIME_CLASS(CTrayLike)->m_pBaseClass);

    CObject* created = RUNTIME_CLASS(CTestFrame)->CreateObject();
    ASSERT_NE(nullptr, created);
    EXPECT_EQ(RUNTIME_CLASS(CTestFrame), created->GetRuntimeClass());
    EXPECT_STREQ("CTestFrame", created->GetRuntimeClass()->m_lpszClassName);
    delete created;
}

TEST_F(Afx, MessageMapsFallBackToTheBaseAndBindRegisteredMessages)
{
    CTestFrame* frame = NewFrame();
    const HWND hWnd = frame->m_hWnd;
    EXPECT_EQ(frame, CWnd::FromHandlePermanent(hWnd));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(GetDesktopWindow()));

    EXPECT_EQ(107, SendMessageA(hWnd, WM_TEST_BASE, 7, 0));
    EXPECT_EQ(200, SendMessageA(hWnd, WM_TEST_DERIVED, 0, 0));
    EXPECT_EQ(305, SendMessageA(hWnd, g_registeredMessage, 0, 5));
    EXPECT_EQ(0, SendMessageA(hWnd, WM_APP + 50, 0, 0)); // nobody's: the default procedure

    // The frame is hidden and carries the first field of its document string as title.
    char title[64] = {};
    GetWindowTextA(hWnd, title, sizeof title);
    EXPECT_STREQ("Test Frame", title);
    EXPECT_FALSE(IsWindowVisible(hWnd));
    EXPECT_NE(nullptr, GetMenu(hWnd));
    EXPECT_EQ(std::vector<std::string>({"OnCreate"}), g_calls);

    frame->DestroyWindow();
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(std::vector<std::string>({"OnCreate", "frame deleted"}), g_calls);
}

TEST_F(Afx, CommandsTheFrameLeavesReachTheApplication)
{
    CTestFrame* frame = NewFrame();
    m_app.m_pMainWnd = frame;
    const HWND hWnd = frame->m_hWnd;

    SendMessageA(hWnd, WM_COMMAND, ID_TEST_FRAME_COMMAND, 0);       // the frame's base map has it
    SendMessageA(hWnd, WM_COMMAND, ID_TEST_APP_COMMAND, 0);         // only the application has it
    SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(ID_TEST_APP_COMMAND, 1), 0); // from an accelerator
    SendMessageA(hWnd, WM_COMMAND, ID_TEST_NOBODY, 0);
    EXPECT_EQ(std::vector<std::string>({"OnCreate", "base frame command", "app command", "app command"}), g_calls);

    // Exit closes the main window, which deletes the frame and ends the loop.
    PostMessageA(hWnd, WM_COMMAND, ID_APP_EXIT, 0);
    InsideModalLoop guard([] {});
    EXPECT_EQ(0, m_app.Run());
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(nullptr, m_app.m_pMainWnd);
    EXPECT_EQ("frame deleted", g_calls.back());
}

class CStartApp : public CWinApp {
public:
    BOOL m_result = TRUE;
    HWND m_frame = nullptr;
    BOOL InitInstance() override
    {
        CTestFrame* frame = NewFrame();
        m_pMainWnd = frame;
        m_frame = frame->m_hWnd;
        PostMessageA(m_frame, WM_COMMAND, ID_APP_EXIT, 0);
        return m_result;
    }
};

TEST(AfxWinMain, RunsTheLoopOrDestroysTheMainWindowWhenStartFails)
{
    for (BOOL result : {TRUE, FALSE}) {
        g_calls.clear();
        CStartApp app;
        app.m_result = result;
        InsideModalLoop guard([] {});
        EXPECT_EQ(0, AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
        EXPECT_FALSE(IsWindow(app.m_frame));
        EXPECT_EQ("frame deleted", g_calls.back());
        Pump(50); // the exit command posted to the destroyed frame goes nowhere
    }
}

TEST_F(Afx, LoadFrameFailsWithoutAWindowWhenOnCreateRefuses)
{
    CTestFrame* frame = new CTestFrame;
    frame->m_refuseCreate = true;
    EXPECT_FALSE(frame->LoadFrame(IDR_TESTFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE));
    EXPECT_EQ(std::vector<std::string>({"OnCreate", "frame deleted"}), g_calls);
    EXPECT_EQ(nullptr, FindWindowA("AfxFrameWnd", "Test Frame"));
}

TEST_F(Afx, MessageBoxWithoutCaptionCarriesTheApplicationTitle)
{
    MessageBoxRecorder boxes;
    CWnd wnd;
    wnd.MessageBox("text");
    wnd.MessageBox("text", "own", MB_ICONHAND);
    ASSERT_EQ(2u, boxes.Boxes().size());
    EXPECT_EQ("Afx Test", boxes.Boxes()[0].caption);
    EXPECT_EQ(UINT(MB_OK), boxes.Boxes()[0].type);
    EXPECT_EQ("own", boxes.Boxes()[1].caption);
}

class CTestDialog : public CDialog {
public:
    CTestDialog() : CDialog(IDD_TESTDIALOG) {}
    CString m_text;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_TESTEDIT, m_text); }
};

std::string ControlText(HWND dialog)
{
    const HWND edit = GetDlgItem(dialog, IDC_TESTEDIT);
    std::string text(GetWindowTextLengthA(edit) + 1, '\0');
    text.resize(GetWindowTextA(edit, &text[0], static_cast<int>(text.size())));
    return text;
}

TEST_F(Afx, DoModalDisablesItsOwnerAndDispatchesTheThreadsMessages)
{
    CTestFrame* frame = NewFrame();
    m_app.m_pMainWnd = frame;
    const HWND hFrame = frame->m_hWnd;
    CTestDialog dialog;
    HWND owner = nullptr;
    BOOL ownerEnabled = TRUE;
    RECT placed = {};

    InsideModalLoop inside([&] {
        owner = GetWindow(dialog.m_hWnd, GW_OWNER);
        ownerEnabled = IsWindowEnabled(hFrame);
        GetWindowRect(dialog.m_hWnd, &placed);
        PostMessageA(hFrame, WM_TEST_WHILE_MODAL, 0, 0);
        PostMessageA(dialog.m_hWnd, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal());

    EXPECT_EQ(hFrame, owner);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(hFrame));
    EXPECT_EQ(nullptr, dialog.m_hWnd);
    EXPECT_EQ(std::vector<std::string>({"OnCreate", "frame message while modal"}), g_calls);

    // Placed at 0, 0 in its template, it opens centred on the work area (the owner is hidden).
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_NEAR((area.left + area.right) / 2, (placed.left + placed.right) / 2, 1);
    EXPECT_NEAR((area.top + area.bottom) / 2, (placed.top + placed.bottom) / 2, 1);
    frame->DestroyWindow();
}

TEST_F(Afx, DataExchangeMovesTextsLongerThan64KiBBothWays)
{
    CTestDialog dialog;
    dialog.m_text = CString(std::string(70000, 'a').c_str());
    const std::string typed = std::string(69999, 'b') + "c";
    std::string shown;
    InsideModalLoop inside([&] {
        shown = ControlText(dialog.m_hWnd);
        SetDlgItemTextA(dialog.m_hWnd, IDC_TESTEDIT, typed.c_str());
        PostMessageA(dialog.m_hWnd, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, dialog.DoModal());
    // Compared as booleans: a failure must not print 70,000 characters.
    EXPECT_EQ(70000u, shown.size());
    EXPECT_TRUE(shown == std::string(70000, 'a'));
    EXPECT_EQ(70000, dialog.m_text.GetLength());
    EXPECT_TRUE(typed == static_cast<const char*>(dialog.m_text));
}

struct KeyCase {
    const char* what;
    WPARAM key;
    INT_PTR result;
    const char* stored;
};

class DialogKeys : public testing::TestWithParam<KeyCase> {};

// Enter in a control that does not take it gives OK (there is no default button), which
// stores the fields; Esc gives Cancel, which does not.
TEST_P(DialogKeys, CloseTheDialog)
{
    CTestDialog dialog;
    dialog.m_text = "before";
    InsideModalLoop inside([&] {
        const HWND edit = GetDlgItem(dialog.m_hWnd, IDC_TESTEDIT);
        SetWindowTextA(edit, "typed");
        SetFocus(edit);
        PostMessageA(edit, WM_KEYDOWN, GetParam().key, 1);
        PostMessageA(edit, WM_KEYUP, GetParam().key, 0xC0000001);
    });
    EXPECT_EQ(GetParam().result, dialog.DoModal());
    EXPECT_STREQ(GetParam().stored, dialog.m_text);
}

INSTANTIATE_TEST_SUITE_P(Keys, DialogKeys,
                         testing::Values(KeyCase{"Enter", VK_RETURN, IDOK, "typed"},
                                         KeyCase{"Esc", VK_ESCAPE, IDCANCEL, "before"}),
                         [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.what); });

TEST(CMenu, DestroysTheMenuItOwnsButNotOneItWraps)
{
    HMENU loaded = nullptr;
    HMENU popup = nullptr;
    {
        CMenu menu;
        ASSERT_TRUE(menu.LoadMenu(IDR_TESTFRAME));
        loaded = menu.m_hMenu;
        CMenu* sub = menu.GetSubMenu(0);
        ASSERT_NE(nullptr, sub);
        popup = sub->m_hMenu;
        EXPECT_EQ(sub, CMenu::FromHandle(popup));
    }
    EXPECT_FALSE(IsMenu(loaded));

    const HMENU foreign = CreatePopupMenu();
    EXPECT_EQ(nullptr, CMenu::FromHandle(nullptr));
    CMenu* wrapped = CMenu::FromHandle(foreign);
    ASSERT_NE(nullptr, wrapped);
    EXPECT_EQ(foreign, wrapped->m_hMenu);
    // The wrappers go when the outermost message handled returns; the menu stays.
    CTestApp app;
    CTestFrame* frame = NewFrame();
    SendMessageA(frame->m_hWnd, WM_NULL, 0, 0);
    EXPECT_TRUE(IsMenu(foreign));
    frame->DestroyWindow();

    CMenu owner;
    owner.Attach(foreign);
    EXPECT_EQ(foreign, owner.Detach());
    EXPECT_TRUE(IsMenu(foreign));
    DestroyMenu(foreign);
}

} // namespace afx_test
