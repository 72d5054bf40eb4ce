#pragma once
#include "platform/AfxWin.h"

// Writes one Messenger datagram to the destination's mailslot and reports each failing
// step in a message box on owner. Nothing is shown on success.
void DoMailSlotClient(CWnd* owner, const CString& destination, const CString& message);
