// What the Linux programs make of text at both ends: the record's text from the user's, and
// what of a received text may reach a terminal. The LAN test shows the rest on the wire.
#include "linux/Options.h"
#include "linux/Text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using pellamy::Charsets;

TEST(RecordText, IsTheCodePagesBytesWithCrLfAndAtMost255OfThem)
{
    const std::optional<Charsets> toOem = Charsets::Open("UTF-8", "CP850");
    ASSERT_TRUE(toOem);
    const std::string a254(254, 'a');
    const struct {
        std::string text;
        bool standardInput;
        std::optional<std::string> expected;
    } cases[] = {
        {"Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln", false, "Gr\x81\xE1" "e aus K\x94ln"},
        // Every form of line break goes as CR LF.
        {"a\nb\r\nc\rd", false, "a\r\nb\r\nc\r\nd"},
        // What code page 850 lacks, input that is no UTF-8, and a NUL, which would end the text.
        {"\xE2\x82\xAC \xFF x" + std::string(1, '\0') + "y", false, "? ? x?y"},
        // Standard input's final line breaks are no part of the message; the words' are.
        {"hi\n\r\n", true, "hi"},
        {"hi\n", false, "hi\r\n"},
        {"\n", true, ""},
        // The limit counts bytes in the code page: 256 in UTF-8 are 255 there.
        {a254 + "\xC3\xA9", false, a254 + "\x82"},
        {a254 + "a\xC3\xA9", false, std::nullopt},
        {a254 + "\n", false, std::nullopt}, // CR LF is two
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, cli::RecordText(*toOem, toOem->Decode(c.text), c.standardInput)) << c.text;
}

TEST(ComputerName, IsUpperCasedByCharactersAndCutBetweenThem)
{
    // Code page 932: a full-width p is 82 90, its capital 82 6F; the second byte of "ッ" (83 62)
    // is an ASCII 'b', which stays. Upper case by the locale's rules, as the programs take it.
    pellamy::UseLocale();
    const std::optional<Charsets> toOem = Charsets::Open("UTF-8", "CP932");
    ASSERT_TRUE(toOem);
    EXPECT_EQ("\x83\x62PC\x82\x6F", wire::NameText(*cli::ComputerName(*toOem, toOem->Decode("\xE3\x83\x83pc\xEF\xBD\x90"))));
    // Eight of "ア" (83 41): 16 bytes, too many for a name given; this host's own is cut to
    // whole characters within 15 bytes.
    std::string eight, seven;
    for (int k = 0; k < 8; ++k)
        eight += "\xE3\x82\xA2", seven += k < 7 ? "\x83\x41" : "";
    EXPECT_FALSE(cli::ComputerName(*toOem, toOem->Decode(eight)));
    EXPECT_EQ(seven, wire::NameText(*cli::OwnComputerName(*toOem, toOem->Decode(eight))));
}

TEST(Printable, ShowsEveryControlCharacterButLineBreaksAndTabsAsQuestionMarks)
{
    const struct {
        std::wstring text;
        bool lineBreaks;
        std::wstring expected;
    } cases[] = {
        {L"a\x1B[2Jb\x07", true, L"a?[2Jb?"},             // ESC, BEL
        {L"\x9B" L"31m\x85\x7F\x80\x9F\xA0", true, L"?31m????\xA0"}, // C1 and DEL
        {L"1\r\n2\r3\n4\t5", true, L"1\n2\n3\n4\t5"},
        {L"\r\n\r\n", true, L"\n\n"},
        // In a name, a line break or tab would break the line it is shown on.
        {L"A\r\nB\tC", false, L"A??B?C"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, pellamy::Printable(c.text, c.lineBreaks));
}

TEST(Printable, ComesOutOfTheCodePageBeforeItIsJudged)
{
    // 0x1B is ESC in code page 850 too; 0x9B there is a letter, not the C1 CSI.
    const std::optional<Charsets> fromOem = Charsets::Open("CP850", "UTF-8");
    ASSERT_TRUE(fromOem);
    EXPECT_EQ("?[0m\xC3\xB8", fromOem->Encode(pellamy::Printable(fromOem->Decode("\x1B[0m\x9B"), true)));
}

TEST(JsonString, EscapesQuotesBackslashesLineBreaksAndTabs)
{
    EXPECT_EQ(L"\"say \\\"hi\\\" \\\\ \\n\\t\xE9\"", pellamy::JsonString(L"say \"hi\" \\ \n\t\xE9"));
}

} // namespace
