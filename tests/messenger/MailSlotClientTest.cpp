// The send action against stand-ins for the file calls, the name query and the network: the
// calls in their order, what each is given, the datagram that goes on the wire where Windows
// refuses, and the boxes that each result calls for. Nothing reaches a network: every send and
// lookup is replaced, and the only adapter is the test's.
#include "messenger/MailSlotClient.h"

#include "platform/Win32Api.h"
#include "tests/messenger/Messenger.h"
#include "tests/net/FakeNetwork.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>

namespace {

const HANDLE kSlot = reinterpret_cast<HANDLE>(0x5150);
const HWND kOwner = reinterpret_cast<HWND>(0x1234);
// The longest name, with a letter whose byte differs between the ANSI and the OEM code page.
const std::string k15 = "ABCDEFGHIJKLMN\xC9";
constexpr std::uint32_t kHere = 0x0A000005, kThere = 0x0A000007; // 10.0.0.5 and .7

struct Case {
    std::string destination;
    bool opens, nameFails;
    BOOL writeResult;
    DWORD writeError; // what GetLastError says after a failed write
    BOOL closeResult;
    bool answered; // a computer answers every name query and node status request
    std::string calls; // what must happen, in order: the calls, the boxes as [caption type]
    std::string datagram; // what went on the wire, if anything
};

// The current case and what the stand-ins were given.
Case g_case;
std::string g_calls, g_path, g_written, g_datagram;
std::deque<wire::Bytes> g_answers;

int WINAPI Box(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    g_calls += "[" + std::string(caption) + " " + std::to_string(type) + (owner == kOwner ? "] " : " elsewhere] ");
    const bool refusal = caption == std::string("Pellamy");
    EXPECT_STREQ(refusal ? "The destination is longer than 60 characters." : "DoMailSlotClient", text);
    return IDOK;
}

HANDLE WINAPI Open(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD attributes, HANDLE model)
{
    g_calls += "open ";
    g_path = path;
    EXPECT_TRUE(access == GENERIC_WRITE && share == FILE_SHARE_READ && !security && disposition == OPEN_EXISTING &&
                attributes == FILE_ATTRIBUTE_NORMAL && !model);
    return g_case.opens ? kSlot : INVALID_HANDLE_VALUE;
}

// As Windows answers: the longest name, 15 characters, fails in a buffer of less than 16.
BOOL WINAPI Name(LPSTR name, LPDWORD size)
{
    g_calls += "name ";
    if (g_case.nameFails || *size < 16) {
        std::memcpy(name, "ALPHA", 6);
        *size = g_case.nameFails ? 5 : 16;
        return FALSE;
    }
    std::memcpy(name, k15.c_str(), 16);
    *size = 15;
    return TRUE;
}

BOOL WINAPI Write(HANDLE file, LPCVOID bytes, DWORD length, LPDWORD written, LPOVERLAPPED overlapped)
{
    g_calls += std::string("write") + (file == kSlot ? " " : "(invalid) ");
    g_written.assign(static_cast<const char*>(bytes), length);
    EXPECT_TRUE(written && !overlapped);
    return g_case.writeResult;
}

DWORD WINAPI LastError() { return g_case.writeError; }

BOOL WINAPI Close(HANDLE file)
{
    g_calls += std::string("close") + (file == kSlot ? " " : "(invalid) ");
    return g_case.closeResult;
}

// The network: a computer at 10.0.0.7 answers as PC42 when the case says so.
int WSAAPI SendTo(SOCKET, const char* bytes, int length, int flags, const sockaddr* to, int toLength)
{
    const wire::ByteView sent = {reinterpret_cast<const std::uint8_t*>(bytes), static_cast<std::size_t>(length)};
    EXPECT_TRUE(!flags && toLength == sizeof(sockaddr_in));
    const net::Endpoint endpoint = FromIpv4(*reinterpret_cast<const sockaddr_in*>(to));
    const std::string where = net::FormatIp(endpoint.ip) + ":" + std::to_string(endpoint.port);
    if (const std::optional<wire::Datagram> datagram = wire::ReadDatagram(sent)) {
        g_calls += "datagram ";
        const std::optional<wire::MailslotWrite> write = wire::ReadMailslotWrite(datagram->userData);
        g_datagram = std::string(datagram->type == wire::DatagramType::DirectUnique ? "unique " : "group ") +
                     wire::NameText(datagram->destination) + " from " + wire::NameText(datagram->source) + " at " +
                     net::FormatIp(datagram->sourceIp) + " to " + where + " " + std::string(write->name) + " " +
                     std::string(reinterpret_cast<const char*>(write->data.data), write->data.size);
    } else if (const std::optional<wire::NameServicePacket> request = wire::ReadNameService(sent)) {
        const bool status = request->type == wire::RecordType::NBSTAT;
        g_calls += status ? "status " : "query " + wire::NameText(request->name) + " ";
        if (g_case.answered)
            g_answers.push_back(status ? wire::BuildNodeStatusResponse(request->id, request->name,
                                                                      {{*wire::MakeName("PC42"), 0}})
                                       : wire::BuildPositiveQueryResponse(request->id, request->name, false, kThere));
    }
    return length;
}

int WSAAPI Select(int, fd_set*, fd_set*, fd_set*, const PTIMEVAL) { return g_answers.empty() ? 0 : 1; }

int WSAAPI ReceiveFrom(SOCKET, char* buffer, int length, int, sockaddr* from, int* fromLength)
{
    if (g_answers.empty())
        return SOCKET_ERROR;
    const wire::Bytes answer = g_answers.front();
    g_answers.pop_front();
    EXPECT_LE(answer.size(), static_cast<std::size_t>(length));
    std::memcpy(buffer, answer.data(), answer.size());
    *reinterpret_cast<sockaddr_in*>(from) = Ipv4(kThere, 137);
    *fromLength = sizeof(sockaddr_in);
    return static_cast<int>(answer.size());
}

int WSAAPI NoDns(const char*, const char*, const addrinfo*, addrinfo**) { return WSAHOST_NOT_FOUND; }
int WSAAPI Connect(SOCKET, const sockaddr*, int) { return 0; }
int WSAAPI SocketName(SOCKET, sockaddr* name, int* length)
{
    *reinterpret_cast<sockaddr_in*>(name) = Ipv4(kHere, 50000);
    *length = sizeof(sockaddr_in);
    return 0;
}
NET_API_STATUS WINAPI Joined(LPCWSTR, LPWSTR* name, PNETSETUP_JOIN_STATUS status)
{
    static wchar_t workgroup[] = L"b\u00FCro";
    *name = workgroup;
    *status = NetSetupWorkgroupName;
    return NERR_Success;
}
NET_API_STATUS WINAPI FreeNothing(LPVOID) { return NERR_Success; }

TEST(DoMailSlotClient, MakesItsCallsInOrderAndReportsEachFailingStep)
{
    const std::string k60(60, 'D'), all = "open name write close ";
    const std::string broken = "[CreateFile 0] write(invalid) [WriteFile 16] close(invalid) ";
    const std::string asked = "query BETA query BETA query BETA ";
    const std::string from = " from ABCDEFGHIJKLMN\x90 at 10.0.0.5 to ";
    const Case cases[] = {
        {".", true, false, TRUE, 0, TRUE, true, all, ""},
        {k60, true, false, TRUE, 0, TRUE, true, all, ""},
        // Where Windows cannot open another computer's mailslot, the record goes on the wire:
        // to the computer that answers to the name in the OEM code page, the workgroup or the
        // address, and no box comes.
        {"CAF\xC9", false, false, FALSE, 0, TRUE, true, "open name query CAF\x90 datagram ",
         "unique CAF\x90" + from + "10.0.0.7:138"},
        {"*", false, false, FALSE, 0, TRUE, false, "open name datagram ", "group B\x9ARO" + from + "10.0.0.255:138"},
        {"10.0.0.7", false, false, FALSE, 0, TRUE, true, "open name status datagram ", "unique PC42" + from + "10.0.0.7:138"},
        // Only when that fails too is each step reported; a failed open does not end the send:
        // the write and the close report on their own.
        {"BETA", false, false, FALSE, 0, FALSE, false, "open name " + asked + broken + "[CloseHandle 16] ", ""},
        // Not on the wire: this computer's own mailslot, a name that is no NetBIOS name, no
        // sender's name to give.
        {".", false, false, FALSE, 0, FALSE, true, "open name " + broken + "[CloseHandle 16] ", ""},
        {"SIXTEEN-LETTERS!", false, false, FALSE, 0, TRUE, true, "open name " + broken, ""},
        {"BETA", false, true, FALSE, 0, TRUE, true, "open name " + broken, ""},
        // Only exactly 1 counts as success.
        {"BETA", true, false, 2, 0, TRUE, true, "open name write [WriteFile 16] close ", ""},
        {"BETA", true, false, TRUE, 0, 2, true, all + "[CloseHandle 16] ", ""},
        {"BETA", true, false, FALSE, ERROR_ACCESS_DENIED, FALSE, true, "open name write [WriteFile 16] close [CloseHandle 16] ", ""},
        // A write refused as a remote mailslot goes on the wire; the slot is closed all the same.
        {"PC42", true, false, FALSE, 3025, FALSE, true, "open name write query PC42 datagram close ",
         "unique PC42" + from + "10.0.0.7:138"},
        {"BETA", true, false, FALSE, 3025, TRUE, false, "open name write " + asked + "[WriteFile 16] close ", ""},
        {".", true, true, TRUE, 0, TRUE, true, all, ""}, // a failed name query: no sender
        // Longer than 60 would be cut and reach another computer: refused, nothing called.
        {k60 + "D", true, false, TRUE, 0, TRUE, true, "[Pellamy 16] ", ""},
    };
    const ScopedOverride<decltype(Win32Api::CreateFileA)> open(Win().CreateFileA, Open);
    const ScopedOverride<decltype(Win32Api::GetComputerNameA)> name(Win().GetComputerNameA, Name);
    const ScopedOverride<decltype(Win32Api::WriteFile)> write(Win().WriteFile, Write);
    const ScopedOverride<decltype(Win32Api::GetLastError)> lastError(Win().GetLastError, LastError);
    const ScopedOverride<decltype(Win32Api::CloseHandle)> close(Win().CloseHandle, Close);
    const ScopedOverride<decltype(Win32Api::MessageBoxA)> box(Win().MessageBoxA, Box);
    NetworkApi& network = Network();
    g_adapters = {{{{kHere, 24}}, {}}};
    const ScopedOverride<decltype(NetworkApi::GetAdaptersAddresses)> adapters(network.GetAdaptersAddresses, ListAdapters);
    const ScopedOverride<decltype(NetworkApi::sendto)> sendTo(network.sendto, SendTo);
    const ScopedOverride<decltype(NetworkApi::select)> select(network.select, Select);
    const ScopedOverride<decltype(NetworkApi::recvfrom)> receive(network.recvfrom, ReceiveFrom);
    const ScopedOverride<decltype(NetworkApi::getaddrinfo)> dns(network.getaddrinfo, NoDns);
    const ScopedOverride<decltype(NetworkApi::connect)> connect(network.connect, Connect);
    const ScopedOverride<decltype(NetworkApi::getsockname)> socketName(network.getsockname, SocketName);
    const ScopedOverride<decltype(NetworkApi::NetGetJoinInformation)> joined(network.NetGetJoinInformation, Joined);
    const ScopedOverride<decltype(NetworkApi::NetApiBufferFree)> free(network.NetApiBufferFree, FreeNothing);
    for (const Case& c : cases) {
        g_case = c;
        g_calls.clear();
        g_datagram.clear();
        CWnd owner;
        owner.m_hWnd = kOwner;
        const CString destination(c.destination.c_str()), message("Hi");
        DoMailSlotClient(&owner, destination, message);

        EXPECT_EQ(c.calls, g_calls) << c.destination;
        if (c.calls != "[Pellamy 16] ") {
            const std::string record = Record(c.nameFails ? "" : k15, c.destination, "Hi");
            EXPECT_EQ("\\\\" + c.destination + "\\mailslot\\messngr", g_path);
            if (c.calls.find("write") != std::string::npos) {
                EXPECT_EQ(record, g_written);
            }
            EXPECT_EQ(c.datagram.empty() ? "" : c.datagram + " \\MAILSLOT\\MESSNGR " + record, g_datagram)
                << c.destination;
        }
        owner.m_hWnd = nullptr;
    }
    g_adapters.clear();
}

} // namespace
