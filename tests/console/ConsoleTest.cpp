// pellamy-send's ends on Windows, with the system's own conversions: what it makes of bytes from
// a pipe or a file, and what it writes to a console, a pipe or a file.
#include "console/Console.h"

#include "platform/WideText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DecodeInput, FollowsAByteOrderMarkThenUtf8ThenTheConsolesCodePage)
{
    const struct {
        std::string bytes;
        UINT codePage;
        std::wstring expected;
    } cases[] = {
        {"caf\xC3\xA9\r\n", 850, L"caf\u00E9\r\n"}, // UTF-8, as PowerShell 7 pipes
        {"caf\x82", 850, L"caf\u00E9"},             // cmd's echo in the console's code page
        {"caf\xE9", 1252, L"caf\u00E9"},
        {"\xC3", 437, L"\u251C"}, // a UTF-8 sequence cut short is no UTF-8
        {"\xEF\xBB\xBF" "caf\xC3\xA9", 437, L"caf\u00E9"},
        {std::string("\xFF\xFE" "c\0a\0f\0\xE9\0=\xD8\0\xDE", 14), 437, L"caf\u00E9\U0001F600"},
        {std::string("\xFE\xFF\0c\0a\0f\0\xE9", 10), 437, L"caf\u00E9"},
        {"", 437, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, console::DecodeInput(c.bytes, c.codePage)) << c.bytes;
}

TEST(Lines, GoToAConsoleAsTheyAreAndElsewhereInItsCodePage)
{
    const struct {
        std::string text; // as the program writes it, in UTF-8
        UINT codePage;
        std::wstring console;
        std::string file;
    } cases[] = {
        {"a\nb\r\n", 437, L"a\r\nb\r\n", "a\r\nb\r\n"},
        // What the code page lacks is '?', not a look-alike.
        {"caf\xC3\xA9 \xE2\x82\xAC \xC4\x80\n", 437, L"caf\u00E9 \u20AC \u0100\r\n", "caf\x82 ? ?\r\n"},
        {"caf\xC3\xA9 \xE2\x82\xAC", 1252, L"caf\u00E9 \u20AC", "caf\xE9 \x80"},
        {"caf\xC3\xA9 \xE2\x82\xAC", CP_UTF8, L"caf\u00E9 \u20AC", "caf\xC3\xA9 \xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        const std::wstring lines = console::Lines(c.text);
        EXPECT_EQ(c.console, lines) << c.text;
        EXPECT_EQ(c.file, FromWide(lines, c.codePage)) << c.text;
    }
}

} // namespace
