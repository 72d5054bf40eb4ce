#include "app/SendDlg.h"

#include "messenger/MailSlotClient.h"
#include "platform/Win32Api.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(CSendDlg, CDialog)
    ON_BN_CLICKED(IDC_SEND, OnSend)
    ON_WM_PAINT()
    ON_COMMAND(ID_APP_ABOUT, OnAppAbout)
    ON_WM_CANCELMODE()
    ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

namespace {
void RunAboutBox()
{
    CDialog about(IDD_ABOUTBOX);
    about.DoModal();
}
} // namespace

// Built before WinMain runs: the program's module handle is valid from process start.
CSendDlg::CSendDlg()
    : CDialog(IDD_SEND_DIALOG),
      m_hIcon(static_cast<HICON>(Win().LoadImageA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                                  0, 0, LR_DEFAULTSIZE)))
{
}

void CSendDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_DESTINATION, m_strDestination);
    DDX_Text(pDX, IDC_MESSAGE, m_strMessage);
}

BOOL CSendDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
        CString about;
        about.LoadString(IDS_ABOUTBOX);
        if (!about.IsEmpty()) {
            systemMenu->AppendMenu(MF_SEPARATOR);
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    SetWindowText("Pellamy");
    return TRUE; // the focus goes to the destination field
}

void CSendDlg::OnSend()
{
    UpdateData(TRUE);
    DoMailSlotClient(this, m_strDestination, m_strMessage);
}

void CSendDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    // Minimized without a taskbar of the newer kind, the window shows its icon itself.
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    const int iconWidth = Win().GetSystemMetrics(SM_CXICON);
    const int iconHeight = Win().GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(&client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    Win().DrawIcon(dc.m_hDC, x, y, m_hIcon);
}

void CSendDlg::OnAppAbout() { RunAboutBox(); }

void CSendDlg::OnSysCommand(UINT id, LPARAM)
{
    if (id == IDM_ABOUTBOX)
        RunAboutBox();
    else
        Default();
}
