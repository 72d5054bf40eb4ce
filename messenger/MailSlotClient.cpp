#include "messenger/MailSlotClient.h"

#include "messenger/Datagram.h"
#include "platform/Win32Api.h"

void DoMailSlotClient(CWnd* owner, const CString& destination, const CString& message)
{
    // A longer destination would be cut and the message go to another computer.
    if (destination.GetLength() > kMaxDestinationLength) {
        owner->MessageBox("The destination is longer than 60 characters.", "Pellamy", MB_ICONHAND);
        return;
    }

    static const char kText[] = "DoMailSlotClient";
    const MailslotPath path = FormatMailslotPath(destination);
    const HANDLE slot = Win().CreateFileA(path.text, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
    // A failed open does not end the send: the write and the close report on their own.
    if (slot == INVALID_HANDLE_VALUE)
        owner->MessageBox(kText, "CreateFile", MB_OK);

    char name[kComputerNameBufferSize] = {};
    DWORD nameLength = sizeof name;
    if (!Win().GetComputerNameA(name, &nameLength))
        nameLength = 0;
    const MessengerDatagram datagram = ComposeDatagram(name, nameLength, destination, message);

    DWORD written = 0;
    if (Win().WriteFile(slot, datagram.bytes, sizeof datagram.bytes, &written, nullptr) != TRUE)
        owner->MessageBox(kText, "WriteFile", MB_ICONHAND);
    if (Win().CloseHandle(slot) != TRUE)
        owner->MessageBox(kText, "CloseHandle", MB_ICONHAND);
}
