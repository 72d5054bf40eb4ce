#include "messenger/Datagram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct NameBuffer {
    char bytes[kComputerNameBufferSize] = {};
};

NameBuffer Name(const std::string& name)
{
    NameBuffer buffer;
    std::memcpy(buffer.bytes, name.data(), name.size() < sizeof buffer.bytes ? name.size() : sizeof buffer.bytes);
    return buffer;
}

// The record the Messenger service expects: three NUL-terminated fields, then zeros.
std::string Record(const std::string& sender, const std::string& recipient, const std::string& text)
{
    std::string record = sender + '\0' + recipient + '\0' + text + '\0';
    record.resize(kDatagramSize, '\0');
    return record;
}

std::string Bytes(const MessengerDatagram& datagram) { return std::string(datagram.bytes, sizeof datagram.bytes); }

TEST(ComposeDatagram, WorkedExampleByteForByte)
{
    const MessengerDatagram datagram = ComposeDatagram(Name("ALPHA").bytes, 5, "BETA", "Hi");
    const char expected[] = "ALPHA\0BETA\0Hi";
    ASSERT_EQ(0, std::memcmp(datagram.bytes, expected, sizeof expected));
    for (size_t k = sizeof expected; k < kDatagramSize; ++k)
        ASSERT_EQ('\0', datagram.bytes[k]) << "filler byte " << k;
}

struct ComposeCase {
    const char* what;
    std::string sender;
    DWORD senderLength;
    std::string destination;
    std::string message;
    std::string expected;
};

class DatagramEdges : public testing::TestWithParam<ComposeCase> {};

TEST_P(DatagramEdges, GivesTheRecord)
{
    const ComposeCase& c = GetParam();
    const CString destination(c.destination.data(), static_cast<int>(c.destination.size()));
    const CString message(c.message.data(), static_cast<int>(c.message.size()));
    EXPECT_EQ(c.expected, Bytes(ComposeDatagram(Name(c.sender).bytes, c.senderLength, destination, message)));
}

const std::string k15 = "ABCDEFGHIJKLMNO";
const std::string k60(60, 'D');

INSTANTIATE_TEST_SUITE_P(
    Cases, DatagramEdges,
    testing::Values(
        ComposeCase{"EmptyMessage", "ALPHA", 5, "BETA", "", Record("ALPHA", "BETA", "")},
        ComposeCase{"EmptyDestination", "ALPHA", 5, "", "Hi", Record("ALPHA", "", "Hi")},
        ComposeCase{"Message255Whole", "ALPHA", 5, "BETA", std::string(255, 'm'),
                    Record("ALPHA", "BETA", std::string(255, 'm'))},
        ComposeCase{"Message300CutAt255", "ALPHA", 5, "BETA", std::string(255, 'm') + std::string(45, 'x'),
                    Record("ALPHA", "BETA", std::string(255, 'm'))},
        ComposeCase{"Sender15PutsRecipientAt16", k15, 15, "BETA", "Hi", Record(k15, "BETA", "Hi")},
        ComposeCase{"LongestContent", k15, 15, k60, std::string(300, 'm'), Record(k15, k60, std::string(255, 'm'))},
        ComposeCase{"CrLfKept", "ALPHA", 5, "BETA", "one\r\ntwo\r\n", Record("ALPHA", "BETA", "one\r\ntwo\r\n")},
        // The sender field follows the reported length, not a fresh count of the buffer.
        ComposeCase{"ReportedLengthRules", "ALPHA", 3, "BETA", "Hi", Record("ALP", "BETA", "Hi")},
        // A length above 15 only comes from a failed query: the sender is left empty.
        ComposeCase{"FailedQueryEmptySender", "ALPHA", 200, "BETA", "Hi", Record("", "BETA", "Hi")},
        ComposeCase{"FailedQueryAt16", k15, 16, "BETA", "Hi", Record("", "BETA", "Hi")},
        ComposeCase{"RecipientCutAt60", "ALPHA", 5, k60 + "XYZ", "Hi", Record("ALPHA", k60, "Hi")},
        // The recipient is copied as a string: it ends at an embedded NUL, and the rest of
        // its stored length stays zero.
        ComposeCase{"EmbeddedNulInDestination", "ALPHA", 5, std::string("BE\0TA", 5), "Hi",
                    std::string("ALPHA\0BE\0\0\0\0Hi", 14) + std::string(kDatagramSize - 14, '\0')}),
    [](const testing::TestParamInfo<ComposeCase>& info) { return std::string(info.param.what); });

struct PathCase {
    const char* what;
    std::string destination;
    std::string expected;
};

class PathEdges : public testing::TestWithParam<PathCase> {};

TEST_P(PathEdges, GivesThePath)
{
    const MailslotPath path = FormatMailslotPath(GetParam().destination.c_str());
    EXPECT_EQ(GetParam().expected, path.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathEdges,
    testing::Values(PathCase{"Plain", "BETA", "\\\\BETA\\mailslot\\messngr"},
                    PathCase{"Local", ".", "\\\\.\\mailslot\\messngr"},
                    PathCase{"EmptyGivesThreeBackslashes", "", "\\\\\\mailslot\\messngr"},
                    PathCase{"Verbatim", " be ta*", "\\\\ be ta*\\mailslot\\messngr"},
                    PathCase{"SixtyFillsTheBuffer", k60, "\\\\" + k60 + "\\mailslot\\messngr"},
                    PathCase{"LongerIsCut", k60 + "XYZ", "\\\\" + k60 + "\\mailslot\\messngr"}),
    [](const testing::TestParamInfo<PathCase>& info) { return std::string(info.param.what); });

TEST(FormatMailslotPath, SixtyCharactersUseTheWholeBuffer)
{
    const MailslotPath path = FormatMailslotPath(k60.c_str());
    EXPECT_EQ(sizeof path.text - 1, std::strlen(path.text));
}

} // namespace
