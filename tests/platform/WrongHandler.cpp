// Must not compile: a command handler takes no arguments.
#include "platform/AfxWin.h"

class CWrongFrame : public CFrameWnd {
    LRESULT OnCommandWithArguments(WPARAM, LPARAM) { return 0; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CWrongFrame, CFrameWnd)
    ON_COMMAND(1, OnCommandWithArguments)
END_MESSAGE_MAP()
