#pragma once
// The class library: a thin layer of classes over Win32 with the names the program is
// written against. How a message reaches a handler:
//
//   AfxWndProc (Wnd.cpp) finds the CWnd bound to the window handle and calls its WindowProc;
//   WindowProc looks the message up in the object's message map (a static table per class,
//   falling back to the base class's table) and calls the bound handler through a thunk
//   that was type-checked when the table was compiled; a WM_COMMAND is offered to OnCmdMsg,
//   where a frame passes what it does not handle on to the application object. Whatever
//   nobody handles goes to the window's default procedure.
#include "platform/AfxRes.h"
#include "platform/CString.h"
#include "platform/Win32.h"

#include <type_traits>

class CObject;
class CCmdTarget;
class CWnd;
class CMenu;
class CArchive;
class CDumpContext;

// ---------------------------------------------------------------------------------------------
// Runtime class records

struct CRuntimeClass {
    LPCSTR m_lpszClassName;
    CObject* (*m_pfnCreateObject)(); // null when the class cannot be created by name
    const CRuntimeClass* m_pBaseClass;

    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

#define RUNTIME_CLASS(theClass) (&theClass::class##theClass)

#define DECLARE_DYNAMIC(theClass)                   \
public:                                             \
    static const CRuntimeClass class##theClass;     \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(theClass) \
    DECLARE_DYNAMIC(theClass)       \
    static CObject* CreateObject();

#define AFX_IMPLEMENT_RUNTIMECLASS(theClass, baseClass, pfnNew)                             \
    const CRuntimeClass theClass::class##theClass = {#theClass, pfnNew, RUNTIME_CLASS(baseClass)}; \
    const CRuntimeClass* theClass::GetRuntimeClass() const { return RUNTIME_CLASS(theClass); }

#define IMPLEMENT_DYNAMIC(theClass, baseClass) AFX_IMPLEMENT_RUNTIMECLASS(theClass, baseClass, nullptr)

#define IMPLEMENT_DYNCREATE(theClass, baseClass)                 \
    CObject* theClass::CreateObject() { return new theClass; } \
    AFX_IMPLEMENT_RUNTIMECLASS(theClass, baseClass, theClass::CreateObject)

class CObject {
public:
    static const CRuntimeClass classCObject;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;

    // Housekeeping every object offers; nothing in this program stores or dumps objects.
    virtual void Serialize(CArchive&) {}
    virtual void AssertValid() const {}
    virtual void Dump(CDumpContext&) const {}
};

// ---------------------------------------------------------------------------------------------
// Message maps

typedef LRESULT (*AFX_PMSG)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;            // the window message; WM_COMMAND for a command
    UINT nCode;               // a command's notification code
    UINT nID;                 // a command's identifier
    const UINT* pnRegistered; // a registered message, read when the message arrives
    AFX_PMSG pfn;             // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// A handler is bound through a thunk made for its exact signature: a handler that does not
// fit the message fails to compile at the map entry.
template <class Member>
struct AfxMember;
template <class Signature, class Class>
struct AfxMember<Signature Class::*> {
    using Fn = Signature;
};

template <class T, class Handler>
LRESULT AfxCall(T* target, Handler handler, WPARAM, LPARAM) // void OnXxx()
{
    (target->*handler)();
    return 0;
}
template <class T, class C>
LRESULT AfxCall(T* target, int (C::*handler)(LPCREATESTRUCT), WPARAM, LPARAM lParam)
{
    return (target->*handler)(reinterpret_cast<LPCREATESTRUCT>(lParam));
}
template <class T, class C>
LRESULT AfxCall(T* target, void (C::*handler)(UINT, LPARAM), WPARAM wParam, LPARAM lParam)
{
    (target->*handler)(static_cast<UINT>(wParam), lParam);
    return 0;
}
template <class T, class C>
LRESULT AfxCall(T* target, void (C::*handler)(UINT, int, int), WPARAM wParam, LPARAM lParam)
{
    (target->*handler)(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
    return 0;
}
template <class T, class C>
LRESULT AfxCall(T* target, void (C::*handler)(CWnd*), WPARAM wParam, LPARAM)
{
    (target->*handler)(T::FromHandlePermanent(reinterpret_cast<HWND>(wParam)));
    return 0;
}
template <class T, class C>
LRESULT AfxCall(T* target, LRESULT (C::*handler)(WPARAM, LPARAM), WPARAM wParam, LPARAM lParam)
{
    return (target->*handler)(wParam, lParam);
}

template <class T, class Signature, auto Handler>
LRESULT AfxThunk(CCmdTarget* target, WPARAM wParam, LPARAM lParam)
{
    static_assert(std::is_same_v<typename AfxMember<decltype(Handler)>::Fn, Signature>,
                  "the handler's signature does not fit its message");
    return AfxCall(static_cast<T*>(target), Handler, wParam, lParam);
}

#define DECLARE_MESSAGE_MAP()                        \
protected:                                           \
    static const AFX_MSGMAP* GetThisMessageMap();    \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                             \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                      \
    {                                                                                    \
        using ThisClass = theClass;                                                      \
        using TheBaseClass = baseClass;                                                  \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                       \
        {0, 0, 0, nullptr, nullptr}};                                           \
        static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                            \
    }

#define AFX_ENTRY(message, code, id, registered, signature, handler) \
    {message, code, id, registered, &AfxThunk<ThisClass, signature, &ThisClass::handler>},

#define ON_COMMAND(id, handler) AFX_ENTRY(WM_COMMAND, 0, id, nullptr, void(), handler)
#define ON_BN_CLICKED(id, handler) AFX_ENTRY(WM_COMMAND, BN_CLICKED, id, nullptr, void(), handler)
#define ON_MESSAGE(message, handler) AFX_ENTRY(message, 0, 0, nullptr, LRESULT(WPARAM, LPARAM), handler)
#define ON_REGISTERED_MESSAGE(messageVariable, handler) \
    AFX_ENTRY(0, 0, 0, &messageVariable, LRESULT(WPARAM, LPARAM), handler)
#define ON_WM_CREATE() AFX_ENTRY(WM_CREATE, 0, 0, nullptr, int(LPCREATESTRUCT), OnCreate)
#define ON_WM_PAINT() AFX_ENTRY(WM_PAINT, 0, 0, nullptr, void(), OnPaint)
#define ON_WM_SYSCOMMAND() AFX_ENTRY(WM_SYSCOMMAND, 0, 0, nullptr, void(UINT, LPARAM), OnSysCommand)
#define ON_WM_CANCELMODE() AFX_ENTRY(WM_CANCELMODE, 0, 0, nullptr, void(), OnCancelMode)
#define ON_WM_CLOSE() AFX_ENTRY(WM_CLOSE, 0, 0, nullptr, void(), OnClose)
#define ON_WM_SIZE() AFX_ENTRY(WM_SIZE, 0, 0, nullptr, void(UINT, int, int), OnSize)
// The window that lost the focus reaches the handler only when this library made it.
#define ON_WM_SETFOCUS() AFX_ENTRY(WM_SETFOCUS, 0, 0, nullptr, void(CWnd*), OnSetFocus)

// Something that handles commands through its message map.
class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)

public:
    // Runs the handler bound to the command; FALSE when there is none.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // The first entry of this object's map, or of its bases', for the message.
    const AFX_MSGMAP_ENTRY* FindEntry(UINT message, UINT code, UINT id) const;
};

// ---------------------------------------------------------------------------------------------
// Windows

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)

public:
    ~CWnd() override;

    // The object of a window this library created; null for any other window.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Shows a message box modal to this window; without a caption it carries the
    // application's title.
    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK);

    BOOL ShowWindow(int nCmdShow);
    void SetWindowText(LPCSTR text);
    BOOL IsIconic() const;
    void GetClientRect(LPRECT rect) const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    HICON SetIcon(HICON icon, BOOL bigIcon);
    CMenu* GetSystemMenu(BOOL revert) const;
    BOOL DestroyWindow();

    // Moves data between the controls and the fields: TRUE stores the controls' contents
    // into the fields, FALSE fills the controls from the fields.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL PreTranslateMessage(MSG* msg);

    HWND m_hWnd = nullptr;

protected:
    // The default processing of the message being handled.
    LRESULT Default();

    virtual void DoDataExchange(class CDataExchange* pDX);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // After the window is gone; a frame deletes itself here.
    virtual void PostNcDestroy() {}

    void OnCancelMode() { Default(); }

    // Binds this object to hWnd; superProc takes what the map does not handle.
    void Attach(HWND hWnd, WNDPROC superProc);

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);

private:
    WNDPROC m_pfnSuper = nullptr;
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

class CFrameWnd : public CWnd {
    DECLARE_DYNAMIC(CFrameWnd)

public:
    // Creates the window with the menu, accelerators and title of resource nIDResource
    // and runs OnCreate. When OnCreate refuses, the window is destroyed, which deletes the
    // object as it always does, and FALSE comes back.
    virtual BOOL LoadFrame(UINT nIDResource, DWORD style, CWnd* parent = nullptr, void* context = nullptr);

    BOOL OnCmdMsg(UINT nID, int nCode) override;
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    int OnCreate(LPCREATESTRUCT cs);
    void PostNcDestroy() override;

    HACCEL m_hAccelTable = nullptr;

    DECLARE_MESSAGE_MAP()
};

// ---------------------------------------------------------------------------------------------
// Dialogs and data exchange

class CDataExchange {
public:
    CDataExchange(CWnd* dlgWnd, BOOL saveAndValidate) : m_pDlgWnd(dlgWnd), m_bSaveAndValidate(saveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Moves an edit control's text, of any length, to or from a string.
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)

public:
    explicit CDialog(UINT nIDTemplate, CWnd* parent = nullptr);

    // Runs the dialog on its own message loop and returns how it ended (IDOK, IDCANCEL),
    // -1 when it could not be created.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

protected:
    // Fills the controls from the fields.
    virtual BOOL OnInitDialog();
    // Stores the fields and ends the dialog.
    virtual void OnOK();
    // Ends the dialog without storing.
    virtual void OnCancel();

    DECLARE_MESSAGE_MAP()

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    BOOL InitDialog(HWND hWnd);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    bool m_bCenter = false;
};

// ---------------------------------------------------------------------------------------------
// Menus and painting

class CMenu : public CObject {
public:
    CMenu() = default;
    ~CMenu() override;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    // A wrapper for a menu this object does not own (null for a null handle). It stays
    // valid until the outermost message being handled returns.
    static CMenu* FromHandle(HMENU hMenu);

    BOOL Attach(HMENU hMenu);
    HMENU Detach();
    BOOL LoadMenu(UINT nIDResource);
    BOOL DestroyMenu();
    CMenu* GetSubMenu(int position) const;
    BOOL AppendMenu(UINT flags, UINT_PTR idNewItem = 0, LPCSTR newItem = nullptr);

    HMENU m_hMenu = nullptr;

private:
    friend class AfxDispatchScope;
    static void DeleteTemporaries();
};

class CPaintDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC m_hDC;
    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
};

// ---------------------------------------------------------------------------------------------
// The application

class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)

public:
    // Without a name, the title is the application title string of the resources.
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    // The message loop; when the main window is gone it returns ExitInstance().
    virtual int Run();
    // The program's exit code, asked for once the loop has ended or InitInstance has failed:
    // the quit message's wParam, 0 when no loop ran.
    virtual int ExitInstance();

    // Windows 4 and later draw dialog controls three-dimensional already.
    BOOL Enable3dControls() { return TRUE; }

    CWnd* m_pMainWnd = nullptr;
    CString m_strAppName;
    MSG m_msgCur = {}; // the message the loop handles; the quit message once it has ended

protected:
    void OnAppExit();

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
