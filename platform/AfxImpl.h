#pragma once
// Shared by the class library's own sources only.
#include "platform/Win32.h"

// Marks one message being handled, for CWnd::Default(); when the outermost one is done,
// the temporary menu wrappers handed out meanwhile are deleted.
class AfxDispatchScope {
public:
    AfxDispatchScope(UINT message, WPARAM wParam, LPARAM lParam);
    ~AfxDispatchScope();
    AfxDispatchScope(const AfxDispatchScope&) = delete;
    AfxDispatchScope& operator=(const AfxDispatchScope&) = delete;

private:
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
};
