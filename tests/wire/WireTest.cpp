// The NetBIOS protocol against the frames of the public documents, and its readers against
// every truncation and every field one past its edge. Each input sits in a heap block of
// exactly its size, so that ASan stops a read past it.
#include "wire/NetBios.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <string>

using namespace wire;

namespace {

Bytes Hex(std::string_view hex)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); ++i)
        if (std::isxdigit(static_cast<unsigned char>(hex[i])))
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i++, 2)), nullptr, 16)));
    return bytes;
}
Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }
Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}
Name N(std::string_view text, std::uint8_t suffix = 0) { return *MakeName(text, suffix); }

using Reader = std::function<bool(ByteView)>;
const Reader kDatagram = [](ByteView v) { return ReadDatagram(v).has_value(); };
const Reader kMailslot = [](ByteView v) { return ReadMailslotWrite(v).has_value(); };
const Reader kNameService = [](ByteView v) { return ReadNameService(v).has_value(); };

// Reads the first size bytes of bytes, from a block of exactly that size.
bool ReadsExactly(const Reader& read, const Bytes& bytes, std::size_t size)
{
    const std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[size]);
    std::copy_n(bytes.begin(), size, block.get());
    return read({block.get(), size});
}
// One byte of a good input changed, and whether the reader still takes it.
struct Change { std::size_t offset; std::uint8_t value; bool taken; };
void ExpectTaken(const Reader& read, const Bytes& good, std::initializer_list<Change> changes)
{
    for (const Change& change : changes) {
        Bytes bytes = good;
        bytes[change.offset] = change.value;
        EXPECT_EQ(ReadsExactly(read, bytes, bytes.size()), change.taken) << change.offset << "=" << int(change.value);
    }
}
void ExpectOnlyWhole(const Reader& read, const Bytes& bytes)
{
    EXPECT_TRUE(ReadsExactly(read, bytes, bytes.size()));
    for (std::size_t size = 0; size < bytes.size(); ++size)
        EXPECT_FALSE(ReadsExactly(read, bytes, size)) << "taken when cut to " << size << " bytes";
}

// Microsoft's example of a mailslot write in [MS-MAIL]: 36 bytes of 0xCA to
// \MAILSLOT\test1\sample_mailslot.
const Bytes kMsMailFrame = Cat({Hex("FF 53 4D 42 25 00 00 00 00 18 04 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 FF FE"
                                    "00 00 00 00 11 00 00 24 00 02 00 00 00 00 00 02 00 00 00 00 00 00 00 00 00 68 00 24"
                                    "00 68 00 03 00 01 00 00 00 02 00 47 00"),
                                Text("\\MAILSLOT\\test1\\sample_mailslot"), Hex("00 00 00 00"), Bytes(36, 0xCA)});

// A Messenger record from SENDER to PC42 as Windows sends it.
const Bytes kRecord = Cat({Text("SENDER"), {0}, Text("PC42"), {0}, Text("Hello"), Bytes(420 - 17, 0)});
const Bytes kSmb = BuildMailslotWrite(kMessengerMailslot, View(kRecord));
const Bytes kMessenger = BuildDatagram(
    {DatagramType::DirectUnique, kWholeDatagram, 0x1234, 0x0A000005, 138, N("SENDER"), N("PC42"), View(kSmb)});

} // namespace

TEST(Names, EncodeAsTheDocumentsDo)
{
    const struct { std::optional<Name> name; const char *letters, *text; } cases[] = {
        {MakeName("FRED", 0x20), "EGFCEFEECACACACACACACACACACACACA", "FRED"},
        {MakeName("WINPC"), "FHEJEOFAEDCACACACACACACACACACAAA", "WINPC"},
        {NodeStatusName(), "CKAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", "*"},
        {MakeName("\xC9T\xC9 15 LETTERS!", 0xFF), "MJFEMJCADBDFCAEMEFFEFEEFFCFDCBPP", "\xC9T\xC9 15 LETTERS!"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.name) << c.text;
        const Bytes encoded = Cat({{0x20}, Text(c.letters), {0}});
        const auto array = EncodeName(*c.name);
        EXPECT_EQ(Bytes(array.begin(), array.end()), encoded) << c.text;
        EXPECT_EQ(NameText(*c.name), c.text);
        EXPECT_EQ(DecodeName(View(encoded)).value_or(Name{}).bytes, c.name->bytes);
    }
    // The caller upper-cases; received names compare without regard to ASCII case, but not
    // after a byte that may begin a double-byte character (code page 932's 0x83 0x62 is not
    // 0x83 0x42).
    EXPECT_EQ(NameText(N("WinPc")), "WinPc");
    const struct { const char *a, *b; bool same; } comparisons[] = {
        {"pc42", "PC42", true},      {"PC42", "PC43", false}, {"\x83\x62", "\x83\x42", false},
        {"a\x83\x62", "A\x83\x62", true}, {"\x82x", "\x82X", false}, {"\x82X", "\x82X", true},
    };
    for (const auto& c : comparisons)
        EXPECT_EQ(SameName(N(c.a), N(c.b)), c.same) << c.a << " " << c.b;
    EXPECT_FALSE(SameName(N("PC42"), N("PC42", kMessengerSuffix)));
    using namespace std::string_view_literals;
    for (std::string_view refused : {""sv, "SIXTEEN LETTERS!"sv, "A\0B"sv, "TAB\t"sv, "DEL\x7F"sv})
        EXPECT_FALSE(MakeName(refused)) << refused;
}

TEST(MailslotWrite, IsTheMsMailFrameByteForByte)
{
    EXPECT_EQ(BuildMailslotWrite("\\MAILSLOT\\test1\\sample_mailslot", View(Bytes(36, 0xCA))), kMsMailFrame);
    const auto write = ReadMailslotWrite(View(kMsMailFrame));
    ASSERT_TRUE(write);
    EXPECT_EQ(write->name, "\\MAILSLOT\\test1\\sample_mailslot");
    EXPECT_EQ(Bytes(write->data.data, write->data.data + write->data.size), Bytes(36, 0xCA));
    ExpectOnlyWhole(kMailslot, kMsMailFrame);
    EXPECT_TRUE(SameMailslot("\\mailslot\\Messngr", kMessengerMailslot));
    EXPECT_FALSE(SameMailslot("\\MAILSLOT\\MESSNGR2", kMessengerMailslot));
}

TEST(MailslotWrite, TakesOnlyWhatConforms)
{
    // The checked fields one past their edges; DataCount one short; DataOffset on the name's
    // NUL, one past; then Status, flags, PID, priority, class, ByteCount, which are ignored.
    ExpectTaken(kMailslot, kMsMailFrame,
                {{0, 0xFE, false}, {3, 'b', false}, {4, 0x32, false}, {32, 16, false}, {59, 2, false}, {61, 0, false},
                 {62, 1, false}, {55, 0x23, true}, {56, 1, false}, {57, 0x64, false}, {57, 0x69, false}, {5, 1, true},
                 {9, 0, true}, {10, 0xFF, true}, {26, 0, true}, {43, 0, true}, {63, 7, true}, {65, 1, true}, {67, 0, true}});
    // The largest write there is, and one byte more.
    EXPECT_EQ(BuildMailslotWrite(kMessengerMailslot, View(Bytes(0xFFFF - 88))).size(), 0xFFFFu);
    EXPECT_TRUE(BuildMailslotWrite(kMessengerMailslot, View(Bytes(0xFFFF - 87))).empty());
    EXPECT_TRUE(BuildMailslotWrite(std::string_view("\\MAILSLOT\\A\0B", 13), View(kRecord)).empty());
}

TEST(Datagram, CarriesTheMessengerRecordAsWindowsSendsIt)
{
    ASSERT_EQ(kMessenger.size(), 590u);
    // {offset, bytes}: type, flags, id, address, port, DGM_LENGTH 576, PACKET_OFFSET, the
    // names, then inside SMB DataCount 420, DataOffset 88, ByteCount 439 and the name.
    const std::pair<std::size_t, Bytes> fields[] = {
        {0, Hex("10 02 12 34 0A 00 00 05 00 8A 02 40 00 00")},
        {14, Cat({{0x20}, Text("FDEFEOEEEFFCCACACACACACACACACAAA"), {0}})},
        {48, Cat({{0x20}, Text("FAEDDEDCCACACACACACACACACACACAAA"), {0}})},
        {82 + 55, Hex("A4 01 58 00 03 00 01 00")},
        {82 + 67, Cat({Hex("B7 01"), Text("\\MAILSLOT\\MESSNGR"), Hex("00 00")})},
    };
    for (const auto& [offset, bytes] : fields)
        EXPECT_EQ(Bytes(kMessenger.begin() + offset, kMessenger.begin() + offset + bytes.size()), bytes) << offset;

    const auto datagram = ReadDatagram(View(kMessenger));
    ASSERT_TRUE(datagram);
    const auto write = ReadMailslotWrite(datagram->userData);
    ASSERT_TRUE(write);
    EXPECT_EQ(write->name, kMessengerMailslot);
    EXPECT_EQ(Bytes(write->data.data, write->data.data + write->data.size), kRecord);
    ExpectOnlyWhole(kDatagram, kMessenger);
}

TEST(Datagram, EachFieldAtItsEdgeAndOnePast)
{
    // DIRECT_GROUP, BROADCAST, none; SNT and reserved bits, which are not ours to judge, M set,
    // F clear; PACKET_OFFSET; DGM_LENGTH 577, 575, 64; each name's length, letters, scope.
    ExpectTaken(kDatagram, kMessenger,
                {{0, 0x11, true}, {0, 0x12, false}, {0, 0x0F, false}, {1, 0x0E, true}, {1, 0xF2, true}, {1, 0x03, false},
                 {1, 0x00, false}, {13, 1, false}, {12, 0x80, false}, {11, 0x41, false}, {11, 0x3F, false},
                 {10, 0x00, false}, {14, 0x1F, false}, {15, 'P', true}, {15, 'Q', false}, {16, 'a', false},
                 {47, 1, false}, {48, 0x21, false}, {81, 'A', false}});

    // Every number at its largest, no user data, and the largest user data there is.
    const Datagram edge{DatagramType::DirectGroup, 0xFE, 0xFFFF, 0xFFFFFFFF, 0xFFFF, N("A"), NodeStatusName(), {}};
    const Bytes empty = BuildDatagram(edge);
    ASSERT_EQ(empty.size(), 82u);
    const auto read = ReadDatagram(View(empty));
    ASSERT_TRUE(read);
    EXPECT_EQ(BuildDatagram(*read), empty);
    EXPECT_EQ(read->userData.size, 0u);
    const Bytes most(0xFFFF - 68, 0x5A);
    EXPECT_EQ(BuildDatagram({DatagramType::DirectUnique, 2, 0, 0, 138, N("A"), N("B"), View(most)}).size(), 0xFFFFu + 14);
    EXPECT_TRUE(BuildDatagram({DatagramType::DirectUnique, 2, 0, 0, 138, N("A"), N("B"), {most.data(), most.size() + 1}}).empty());
}

TEST(NameService, EveryMessageBuildsAsListedAndReadsBack)
{
    const std::vector<NodeStatusEntry> names = {{N("PC42"), kActiveName}, {N("WORKGROUP"), kGroupName | kActiveName}};
    const Name pc42 = N("PC42");
    const std::uint32_t ip = 0x0A000007;
    // {message, flags word, size, the address it names or 0}
    const struct { Bytes packet; std::uint16_t flags; std::size_t size; std::uint32_t address; } cases[] = {
        {BuildNameQuery(1, pc42, true), 0x0110, 50, 0},
        {BuildNameQuery(2, pc42, false), 0x0100, 50, 0},
        {BuildPositiveQueryResponse(3, pc42, true, ip), 0x8500, 62, ip},
        {BuildNegativeQueryResponse(4, pc42), 0x8583, 56, 0},
        {BuildNodeStatusRequest(5), 0x0000, 50, 0},
        {BuildNodeStatusResponse(6, NodeStatusName(), names), 0x8400, 12 + 34 + 10 + 1 + 2 * 18 + 46, 0},
        {BuildRegistration(7, pc42, false, ip), 0x2910, 68, ip},
        {BuildNegativeRegistrationResponse(8, pc42, ip), 0xAD86, 62, ip},
        {BuildRelease(9, pc42, true, ip), 0x3010, 68, ip},
        {Hex("00 0A 85 83 00 00 00 00 00 00 00 00"), 0x8583, 12, 0}, // a name server's bare "no such name"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(c.packet.size(), c.size);
        EXPECT_EQ(c.packet[2] << 8 | c.packet[3], c.flags);
        const auto packet = ReadNameService(View(c.packet));
        ASSERT_TRUE(packet);
        EXPECT_EQ(BuildNameService(*packet), c.packet);
        EXPECT_EQ(packet->addresses.empty() ? 0 : packet->addresses[0].ip, c.address);
        ExpectOnlyWhole(kNameService, c.packet);
    }
    // The registration field by field: the additional record points to the question's name.
    EXPECT_EQ(cases[6].packet, Cat({Hex("00 07 29 10 00 01 00 00 00 00 00 01 20"), Text("FAEDDEDCCACACACACACACACACACACAAA"),
                                    Hex("00 00 20 00 01 C0 0C 00 20 00 01 00 04 93 E0 00 06 00 00 0A 00 00 07")}));
    // RFC 1002 lets it carry the name in full instead: taken, and written back as it came; a
    // record for another name, or with a scope, is refused.
    const Bytes inFull = Cat({Bytes(cases[6].packet.begin(), cases[6].packet.begin() + 50), {0x20},
                              Text("FAEDDEDCCACACACACACACACACACACAAA"), {0}, Bytes(cases[6].packet.begin() + 52, cases[6].packet.end())});
    EXPECT_EQ(BuildNameService(ReadNameService(View(inFull)).value_or(NameServicePacket{})), inFull);
    ExpectTaken(kNameService, inFull, {{50 + 32, 'B', false}, {50 + 33, 0x20, false}});
    const auto status = ReadNameService(View(cases[5].packet));
    ASSERT_EQ(status->nodeNames.size(), 2u);
    EXPECT_EQ(status->nodeNames[1].flags, 0x8400);
    EXPECT_TRUE(SameName(status->nodeNames[1].name, N("workgroup")));
    EXPECT_EQ(ReadNameService(View(cases[8].packet))->addresses[0].flags, kGroupName);

    NameServicePacket tooMany = *status;
    tooMany.nodeNames.resize(256);
    EXPECT_TRUE(BuildNameService(tooMany).empty());
}

TEST(NameService, RefusesWhatDoesNotConform)
{
    const Bytes registration = BuildRegistration(7, N("PC42"), false, 0x0A000007);
    const Bytes status = BuildNodeStatusResponse(6, N("PC42"), {{N("PC42"), kActiveName}});
    // OPCODE 7 (wait for acknowledgement) and 8 (refresh); two questions; an authority record;
    // an answer in a request; a response with a question; question class and type; a pointer
    // elsewhere; a record type not the question's; NB data not whole addresses; a record
    // past the end.
    ExpectTaken(kNameService, registration,
                {{2, 0x39, false}, {2, 0x41, false}, {5, 2, false}, {9, 1, false}, {7, 1, false}, {2, 0xA9, false},
                 {49, 2, false}, {47, 0x22, false}, {51, 0x0D, false}, {53, 0x21, false}, {61, 5, false}, {61, 7, false}});
    // More node names than the record holds; an answer name's letter.
    ExpectTaken(kNameService, status, {{56, 5, false}, {13, 'Q', false}});
    Bytes longer = registration;
    longer.push_back(0);
    EXPECT_FALSE(ReadsExactly(kNameService, longer, longer.size()));
}
