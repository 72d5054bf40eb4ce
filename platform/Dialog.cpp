#include "platform/AfxWin.h"

#include "platform/AfxImpl.h"

#include <cstring>

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

namespace {

// Whether a dialog template (classic or extended form) asks to be placed at 0, 0 without
// a centring style: such a dialog opens centred.
bool PlacedAtOrigin(const BYTE* dialogTemplate)
{
    WORD version[2];
    std::memcpy(version, dialogTemplate, sizeof version);
    const bool extended = version[0] == 1 && version[1] == 0xFFFF;
    DWORD style;
    short position[2];
    std::memcpy(&style, dialogTemplate + (extended ? 12 : 0), sizeof style);
    std::memcpy(position, dialogTemplate + (extended ? 18 : 10), sizeof position);
    return position[0] == 0 && position[1] == 0 && !(style & DS_CENTER);
}

// Centres the dialog on its owner when that is on the screen, else on the work area, and
// keeps it inside the work area.
void Center(HWND dialog)
{
    RECT area, frame, around;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &around);
    else
        around = area;
    GetWindowRect(dialog, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    int x = around.left + (around.right - around.left - width) / 2;
    int y = around.top + (around.bottom - around.top - height) / 2;
    if (x + width > area.right)
        x = area.right - width;
    if (y + height > area.bottom)
        y = area.bottom - height;
    if (x < area.left)
        x = area.left;
    if (y < area.top)
        y = area.top;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Only the first message is taken here: from then on the dialog's window procedure is
    // AfxWndProc, and the default dialog procedure gets what the map leaves.
    if (message != WM_INITDIALOG)
        return FALSE;
    AfxDispatchScope scope(message, wParam, lParam);
    return reinterpret_cast<CDialog*>(lParam)->InitDialog(hWnd);
}

CDialog::CDialog(UINT nIDTemplate, CWnd* parent) : m_nIDTemplate(nIDTemplate), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal()
{
    const LPCSTR name = MAKEINTRESOURCEA(m_nIDTemplate);
    const HINSTANCE instance = AfxFindResourceHandle(name, RT_DIALOG);
    const HRSRC resource = FindResourceA(instance, name, RT_DIALOG);
    const HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    const BYTE* dialogTemplate = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!dialogTemplate)
        return -1;
    m_bCenter = PlacedAtOrigin(dialogTemplate);

    // Without a parent, the owner is the main window's last active pop-up (the main window
    // itself when it has none). The dialog box disables it while it runs.
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    CWinApp* app = AfxGetApp();
    if (!owner && app && app->m_pMainWnd)
        owner = GetLastActivePopup(app->m_pMainWnd->m_hWnd);
    return DialogBoxIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate), owner, AfxDlgProc,
                                   reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::InitDialog(HWND hWnd)
{
    Attach(hWnd, reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc))));
    const BOOL result = OnInitDialog();
    if (m_bCenter)
        Center(hWnd);
    return result;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    const HWND control = GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (pDX->m_bSaveAndValidate) {
        const int length = GetWindowTextLengthA(control);
        GetWindowTextA(control, value.GetBuffer(length), length + 1);
        value.ReleaseBuffer();
    } else {
        SetWindowTextA(control, value);
    }
}
