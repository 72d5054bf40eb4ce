// The Messenger record both ways, and the string class it is built from. Runs on the host
// (under the sanitizers) and under Windows, where the rows of every byte show the host build's
// conversion tables to be the system's; the send's table and the fuzzer check the path.
#include "messenger/Datagram.h"
#include "tests/messenger/Messenger.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string kEveryByte = [] { // but NUL
    std::string bytes;
    for (int b = 1; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}();

TEST(ComposeDatagram, GivesTheRecordTheMessengerServiceReads)
{
    const std::string k15 = "ABCDEFGHIJKLMNO", k60(60, 'D');
    const struct {
        std::string sender; // the 16-byte name buffer, as the name query left it
        DWORD senderLength; // what the query reported
        std::string destination, message, expected;
    } cases[] = {
        {"ALPHA", 5, "BETA", "Hi", Record("ALPHA", "BETA", "Hi")},
        {"ALPHA", 5, "", "", Record("ALPHA", "", "")},
        // Every field at its longest; the message is cut at 255 bytes.
        {k15, 15, k60, std::string(255, 'm') + "cut", Record(k15, k60, std::string(255, 'm'))},
        // Only the text is converted, every byte of it; line breaks go as they are.
        {"\xC4LPHA", 5, "\xC9T\xC0", kEveryByte, Record("\xC4LPHA", "\xC9T\xC0", kEveryByte)},
        // The reported length rules, not a count of the buffer.
        {"ALPHA", 3, "BETA", "Hi", Record("ALP", "BETA", "Hi")},
        // 16 or more is no length a successful query reports: the sender stays empty.
        {"XXXXXXXXXXXXXXXX", 16, "BETA", "Hi", Record("", "BETA", "Hi")},
        {"ALPHA", 200, "BETA", "Hi", Record("", "BETA", "Hi")},
        // A recipient that cannot be a destination is cut to 60 bytes rather than overflow.
        {"ALPHA", 5, k60 + "XYZ", "Hi", Record("ALPHA", k60, "Hi")},
        // The recipient is copied as a string: the rest of its stored length stays zero.
        {"ALPHA", 5, std::string("BE\0TA", 5), "Hi", std::string("ALPHA\0BE\0\0\0\0Hi", 14) + std::string(406, '\0')},
    };
    for (const auto& c : cases) {
        char name[kComputerNameBufferSize] = {};
        std::memcpy(name, c.sender.data(), c.sender.size());
        const MessengerDatagram datagram =
            ComposeDatagram(name, c.senderLength, CString(c.destination.data(), static_cast<int>(c.destination.size())),
                            CString(c.message.data(), static_cast<int>(c.message.size())));
        EXPECT_EQ(c.expected, std::string(datagram.bytes, kDatagramSize));
    }
}

// Writing into an empty string's buffer, as a platform call may, leaves every other empty
// string empty: the buffer is its own, not the one they share.
TEST(CString, GivesAnEmptyStringABufferOfItsOwn)
{
    CString empty;
    empty.GetBuffer(0)[0] = 'x';
    EXPECT_STREQ("", CString());
}

TEST(ParseDatagram, TakesTheThreeFieldsOrRefusesTheRecord)
{
    const std::string big(65536 - 3, 'x'); // with three NULs, the largest record taken
    const std::pair<std::string, std::string> cases[] = {
        {Record("ALPHA", "BETA", "Hi"), "ALPHA|BETA|Hi"},
        {std::string(3, '\0'), "||"},
        // Only the text is converted back from code page 437; what follows it is ignored.
        {std::string("\x82\0\x82\0caf\x82\0\x82junk", 14), "\x82|\x82|caf\xE9"},
        {std::string(2, '\0') + kEveryByte + '\0', "||" + Converted(kEveryByte, kOem437ToAnsi)},
        {big + std::string(3, '\0'), big + "||"},
        {big + std::string(4, '\0'), "refused"}, // above 64 KiB
        {"", "refused"},
        {"ALPHA", "refused"},
        {std::string("ALPHA\0BETA", 10), "refused"},
        {std::string("ALPHA\0BETA\0Hi", 13), "refused"},
    };
    for (const auto& c : cases) {
        // A heap block of exactly the record's size: a read past it stops the sanitizers.
        const std::unique_ptr<char[]> record(new char[c.first.size()]);
        c.first.copy(record.get(), c.first.size());
        ReceivedMessage m;
        EXPECT_EQ(c.second, ParseDatagram(record.get(), c.first.size(), m)
                                ? std::string(m.sender) + "|" + std::string(m.recipient) + "|" + std::string(m.text)
                                : "refused");
    }
}

} // namespace
