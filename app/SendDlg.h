#pragma once
#include "platform/AfxWin.h"

// The dialog the user sends from. Its two texts outlive each showing.
class CSendDlg : public CDialog {
public:
    CSendDlg();

    CString m_strDestination;
    CString m_strMessage;
    HICON m_hIcon;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnSend();
    void OnPaint();
    void OnAppAbout();
    void OnSysCommand(UINT id, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};
