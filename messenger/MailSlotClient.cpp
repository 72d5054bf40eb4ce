#include "messenger/MailSlotClient.h"

#include "messenger/Datagram.h"
#include "net/Sender.h"
#include "net/WinsockSockets.h"
#include "platform/Win32Api.h"
#include "platform/WideText.h"

#include <string_view>

namespace {

// Windows 11 24H2 and Server 2025 refuse remote mailslots with this error.
constexpr DWORD kRemoteMailslotsDeprecated = 3025;

// A name as the receivers read it: in the OEM code page, as the record's text goes; nullopt
// for what can be no NetBIOS name. Upper case already: the dialog's field makes what it is
// given upper case, and Windows gives its computer name so.
std::optional<wire::Name> OemName(const char* ansi, std::size_t length)
{
    char oem[kMaxDestinationLength];
    if (length > sizeof oem)
        return std::nullopt;
    Win().CharToOemBuffA(ansi, oem, static_cast<DWORD>(length));
    return wire::MakeName({oem, length});
}

// Sends the record as the datagram Windows would have sent for the write, through the sending
// core: true when it went out. Not asked for a destination that can be no NetBIOS name.
bool SendOnTheWire(const CString& destination, const char* name, DWORD nameLength, const MessengerDatagram& record)
{
    net::Destination to;
    std::optional<wire::Name> named;
    if (const std::optional<std::uint32_t> ip = net::ParseIp(static_cast<const char*>(destination))) {
        to.kind = net::Destination::Kind::Address;
        to.ip = *ip;
    } else if (std::string_view(destination) == "*") {
        to.kind = net::Destination::Kind::Group;
        named = wire::MakeName(FromWide(net::Workgroup(), CP_OEMCP));
    } else {
        named = OemName(destination, destination.GetLength());
    }
    const std::optional<wire::Name> source = OemName(name, nameLength);
    if (!source || (to.kind != net::Destination::Kind::Address && !named))
        return false;
    to.name = named.value_or(wire::Name());

    net::WinsockSockets sockets;
    net::SendOptions options;
    options.source = *source;
    const wire::ByteView bytes = {reinterpret_cast<const std::uint8_t*>(record.bytes), sizeof record.bytes};
    return net::SendMailslot(sockets, to, options, wire::kMessengerMailslot, bytes).status == net::Status::Sent;
}

} // namespace

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

    char name[kComputerNameBufferSize] = {};
    DWORD nameLength = sizeof name;
    if (!Win().GetComputerNameA(name, &nameLength))
        nameLength = 0;
    const MessengerDatagram datagram = ComposeDatagram(name, nameLength, destination, message);

    // Where Windows cannot open another computer's mailslot, or refuses to write to it, the
    // record goes on the wire all the same; only when that fails too is each step reported.
    const bool opened = slot != INVALID_HANDLE_VALUE;
    if (!opened && std::string_view(destination) != "." && SendOnTheWire(destination, name, nameLength, datagram))
        return;
    // A failed open does not end the send: the write and the close report on their own.
    if (!opened)
        owner->MessageBox(kText, "CreateFile", MB_OK);

    DWORD written = 0;
    const BOOL wrote = Win().WriteFile(slot, datagram.bytes, sizeof datagram.bytes, &written, nullptr);
    bool sent = false;
    if (wrote != TRUE) {
        sent = opened && Win().GetLastError() == kRemoteMailslotsDeprecated &&
               SendOnTheWire(destination, name, nameLength, datagram);
        if (!sent)
            owner->MessageBox(kText, "WriteFile", MB_ICONHAND);
    }
    if (Win().CloseHandle(slot) != TRUE && !sent)
        owner->MessageBox(kText, "CloseHandle", MB_ICONHAND);
}
