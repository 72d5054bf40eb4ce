#pragma once
// The NetBIOS protocol as the Messenger mailslot uses it: names, the name service on UDP 137,
// the datagram service on UDP 138 and the mailslot write inside a datagram. Only bytes in and
// bytes out: no system calls, nothing else of ours, no exceptions.
//
// Readers take any bytes from the network. They read nothing past what arrived and refuse
// (nullopt) whatever does not conform. What a reader accepts, the matching builder writes
// back to the same bytes (a mailslot write but for the fields a receiver ignores).
//
// NetBIOS headers are big-endian, the SMB part little-endian. IPv4 addresses are
// std::uint32_t in host order: a.b.c.d is a << 24 | b << 16 | c << 8 | d.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wire {

using Bytes = std::vector<std::uint8_t>;

// Bytes owned by someone else; what a reader returns points into its input.
struct ByteView {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};
inline ByteView View(const Bytes& bytes) { return {bytes.data(), bytes.size()}; }

inline constexpr std::uint16_t kNameServicePort = 137;
inline constexpr std::uint16_t kDatagramPort = 138;

// ---- Names ------------------------------------------------------------------------------

// 15 characters padded with spaces, then the suffix byte (0x00 for a mailslot server's
// computer and workgroup names).
struct Name {
    std::array<std::uint8_t, 16> bytes{};
};
// The suffix of the name older senders address messages to: the computer's Messenger name.
inline constexpr std::uint8_t kMessengerSuffix = 0x03;
inline constexpr std::size_t kEncodedNameSize = 34; // length 0x20, 32 letters A..P, 0x00
inline constexpr std::uint8_t kEncodedNameLength = 0x20;

// The text as it is, padded with spaces, with the suffix: the caller upper-cases it first, by
// its code page's rules (in a double-byte code page the second byte of a character may be an
// ASCII letter). Nullopt for an empty text, one above 15 bytes, or a control character
// (0x00..0x1F, 0x7F) in it.
std::optional<Name> MakeName(std::string_view text, std::uint8_t suffix = 0x00);
// '*' and 15 zero bytes: asks a node for its whole name table.
Name NodeStatusName();
// The first 15 bytes without the trailing padding (spaces, and NULs of the '*' name).
std::string NameText(const Name& name);
// Same 16 bytes, ASCII letters compared without regard to case up to the first byte above
// 0x7F; from there on exactly, since in a double-byte code page such a byte may begin a
// character whose second byte is an ASCII letter.
bool SameName(const Name& a, const Name& b);

std::array<std::uint8_t, kEncodedNameSize> EncodeName(const Name& name);
// Decodes the first 34 bytes. Nullopt when fewer arrived, the length byte is not 0x20, a
// letter is outside A..P or a scope follows (the terminator is not 0x00).
std::optional<Name> DecodeName(ByteView encoded);

// ---- Name service (UDP 137) ---------------------------------------------------------------

enum class Opcode : std::uint8_t { Query = 0, Registration = 5, Release = 6 };
enum class RecordType : std::uint16_t { Null = 0x000A, NB = 0x0020, NBSTAT = 0x0021 };

// NM_FLAGS, the seven bits between OPCODE and RCODE.
inline constexpr std::uint8_t kAuthoritative = 0x40;
inline constexpr std::uint8_t kTruncated = 0x20;
inline constexpr std::uint8_t kRecursionDesired = 0x10;
inline constexpr std::uint8_t kRecursionAvailable = 0x08;
inline constexpr std::uint8_t kBroadcast = 0x01;
// RCODE
inline constexpr std::uint8_t kNameError = 3;   // a name server does not know the name
inline constexpr std::uint8_t kActiveError = 6; // the name is held by another node
// NB_FLAGS and NAME_FLAGS (owner node type 00: B node)
inline constexpr std::uint16_t kGroupName = 0x8000;
inline constexpr std::uint16_t kActiveName = 0x0400; // node status only
// The TTL the builders give a name they register or announce, in seconds.
inline constexpr std::uint32_t kNameTtl = 300000;

struct NameAddress {
    std::uint16_t flags = 0; // NB_FLAGS: kGroupName, owner node type
    std::uint32_t ip = 0;
};
struct NodeStatusEntry {
    Name name;
    std::uint16_t flags = 0; // NAME_FLAGS: kGroupName, kActiveName, ...
};

// One name-service packet. A request has the question and, with record set, one additional
// record that names the question's name, by the pointer to it or in full (a registration, a
// release). A response has no question and, with record set, one answer record (a name
// query's answer may have none). Every other layout is refused.
struct NameServicePacket {
    std::uint16_t id = 0;
    bool response = false;
    Opcode opcode = Opcode::Query;
    std::uint8_t nmFlags = 0; // kBroadcast, kAuthoritative, ...
    std::uint8_t rcode = 0;
    Name name;                     // the question's, or the answer's
    RecordType type = RecordType::NB; // the question's type; the answer's in a response
    bool record = false;
    bool recordNameInFull = false; // a request's record: the name again rather than the pointer
    std::uint32_t ttl = 0;
    std::vector<NameAddress> addresses;     // RDATA of an NB record
    std::vector<NodeStatusEntry> nodeNames; // RDATA of an NBSTAT record: the names,
    Bytes statistics;                       // then the statistics block
};

// The packet as it is, whatever it holds. Empty when it cannot be written (more than 255
// node names, a record above 65535 bytes).
Bytes BuildNameService(const NameServicePacket& packet);
std::optional<NameServicePacket> ReadNameService(ByteView packet);

// The messages of a broadcast node. Flags word, counts and TTL as listed:
// 0x0110 (broadcast) or 0x0100, 1/0/0/0; question name, NB.
Bytes BuildNameQuery(std::uint16_t id, const Name& name, bool broadcast);
// 0x8500, 0/1/0/0, TTL kNameTtl, one address.
Bytes BuildPositiveQueryResponse(std::uint16_t id, const Name& name, bool group, std::uint32_t ip);
// 0x8583 (RCODE 3), 0/1/0/0, a NULL record, TTL 0, no RDATA.
Bytes BuildNegativeQueryResponse(std::uint16_t id, const Name& name);
// 0x0000, 1/0/0/0, the '*' name, NBSTAT.
Bytes BuildNodeStatusRequest(std::uint16_t id);
// 0x8400, 0/1/0/0, the request's name, NBSTAT, TTL 0; the names, then a 46-byte statistics
// block of zeros (the adapter's address is not known here).
Bytes BuildNodeStatusResponse(std::uint16_t id, const Name& name, const std::vector<NodeStatusEntry>& names);
// 0x2910, 1/0/0/1, TTL kNameTtl, the registrant's address.
Bytes BuildRegistration(std::uint16_t id, const Name& name, bool group, std::uint32_t ip);
// 0xAD86 (RCODE 6), 0/1/0/0, TTL 0: the unique name and the address of its owner, who sends it.
Bytes BuildNegativeRegistrationResponse(std::uint16_t id, const Name& name, std::uint32_t ownerIp);
// 0x3010, 1/0/0/1, TTL 0, the address that gives the name up.
Bytes BuildRelease(std::uint16_t id, const Name& name, bool group, std::uint32_t ip);

// ---- Datagram service (UDP 138) -----------------------------------------------------------

enum class DatagramType : std::uint8_t { DirectUnique = 0x10, DirectGroup = 0x11 };

// FLAGS
inline constexpr std::uint8_t kMoreFragments = 0x01;
inline constexpr std::uint8_t kFirstFragment = 0x02;
// SNT (bits 0x0C) 00: sent by a B node. A whole datagram from us: first, no more.
inline constexpr std::uint8_t kWholeDatagram = kFirstFragment;

inline constexpr std::size_t kDatagramHeaderSize = 14 + 2 * kEncodedNameSize; // user data at 82

struct Datagram {
    DatagramType type = DatagramType::DirectUnique;
    std::uint8_t flags = kWholeDatagram;
    std::uint16_t id = 0;
    std::uint32_t sourceIp = 0;
    std::uint16_t sourcePort = kDatagramPort;
    Name source;
    Name destination;
    ByteView userData; // read: points into the datagram read
};

// PACKET_OFFSET 0, DGM_LENGTH the bytes after the 14-byte header. Empty when the user data
// makes DGM_LENGTH exceed 65535.
Bytes BuildDatagram(const Datagram& datagram);
// Refuses another type, a fragment (M set, F clear or PACKET_OFFSET not 0), a DGM_LENGTH
// other than the bytes after the 14-byte header, malformed or scoped names.
std::optional<Datagram> ReadDatagram(ByteView datagram);

// ---- The mailslot write (SMB_COM_TRANSACTION) ---------------------------------------------

inline constexpr std::string_view kMessengerMailslot = "\\MAILSLOT\\MESSNGR";

// Mailslot names compare without regard to ASCII case.
bool SameMailslot(std::string_view a, std::string_view b);

// The SMB request writing data to the mailslot, as a Windows client sends it: Flags 0x18,
// Flags2 0x0004, PIDLow 0xFEFF, MaxParameterCount 2, transaction Flags 0x0002, priority 0,
// class 2, the data at the next multiple of 4 after the name. Empty when the name holds a
// NUL or the request would exceed 65535 bytes.
Bytes BuildMailslotWrite(std::string_view mailslotName, ByteView data);

struct MailslotWrite {
    std::string_view name; // as sent, without its NUL; points into the request read
    ByteView data;         // exactly DataCount bytes at DataOffset
};
// Checks what a receiver must: magic and command, WordCount 17, SetupCount 3, opcode 1, the
// name's NUL and DataOffset + DataCount within what arrived, the data after the name; ignores
// the fields a receiver ignores (status, flags, PIDs, TID, UID, MID, timeout, priority, class,
// ByteCount).
std::optional<MailslotWrite> ReadMailslotWrite(ByteView request);

} // namespace wire
