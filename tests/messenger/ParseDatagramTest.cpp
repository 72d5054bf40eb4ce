// Reading a record as the Inbox receives it, on the host and under Windows alike.
#include "messenger/Datagram.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct ParseCase {
    const char* what;
    std::string record;
    bool parsed;
    std::string sender, recipient, text;
};

const std::string kLong(kMaxRecordSize - 3, 'x'); // with three NULs: 65,536 bytes

class ParseEdges : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseEdges, GivesTheFieldsOrRefuses)
{
    const ParseCase& c = GetParam();
    // A heap copy of exactly the record's bytes: a read past them is caught by ASan.
    const std::unique_ptr<char[]> bytes(new char[c.record.size()]);
    c.record.copy(bytes.get(), c.record.size());
    ReceivedMessage message;
    ASSERT_EQ(c.parsed, ParseDatagram(bytes.get(), c.record.size(), message));
    EXPECT_EQ(c.sender, static_cast<const char*>(message.sender));
    EXPECT_EQ(c.recipient, static_cast<const char*>(message.recipient));
    EXPECT_EQ(c.text, static_cast<const char*>(message.text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseEdges,
    testing::Values(
        ParseCase{"WorkedExample", std::string("ALPHA\0BETA\0Hi\0", 14) + std::string(406, '\0'), true, "ALPHA",
                  "BETA", "Hi"},
        ParseCase{"Empty", "", false, "", "", ""},
        ParseCase{"NoNul", "ALPHA", false, "", "", ""},
        ParseCase{"OneNul", std::string("ALPHA\0BETA", 10), false, "", "", ""},
        ParseCase{"TwoNuls", std::string("ALPHA\0BETA\0Hi", 13), false, "", "", ""},
        ParseCase{"ThreeEmptyFields", std::string(3, '\0'), true, "", "", ""},
        ParseCase{"AfterTheThirdNulIgnored", std::string("A\0B\0C\0\x82junk\0more", 17), true, "A", "B", "C"},
        ParseCase{"OnlyTheTextConverted", std::string("\x82\0\x82\0caf\x82\0", 9), true, "\x82", "\x82",
                  "caf\xE9"},
        ParseCase{"Exactly64KiB", kLong + std::string(3, '\0'), true, kLong, "", ""},
        ParseCase{"OneByteMore", kLong + std::string(4, '\0'), false, "", "", ""}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.what); });

} // namespace
