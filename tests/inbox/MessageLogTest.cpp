// The Inbox's text of messages, natively under the sanitizers: every entry and every view
// change is written to the byte into a string buffer sized for it, so that a buffer one byte
// short, of CString or of the log's own sizing, fails here (Wine has no sanitizer).
#include "inbox/MessageLog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

ReceivedMessage Message(const char* sender, const char* recipient, const std::string& text)
{
    return {sender, recipient, CString(text.data(), static_cast<int>(text.size()))};
}

// Message k of a numbered series, and its entry in the view.
void AddNumbered(CMessageLog& log, int k) { log.Add(Message("W", ".", std::to_string(k)), "t"); }
std::string Entry(int k) { return "From W to ., t\r\n" + std::to_string(k); }

TEST(MessageLog, ShowsEachMessageUnderAHeadingOfOneLineWithTheEditControlsLineBreaks)
{
    const struct {
        const char *sender, *recipient;
        std::string text, shown;
    } cases[] = {
        {"W", ".", "", "From W to ., 8.12.2026 16:49\r\n"},
        {"\x01W\x1F", "R\x7F\xE9\n", "x", "From ?W? to R?\xE9?, 8.12.2026 16:49\r\nx"},
        {"W", ".", "a\r\nb\rc\nd\n\re\r", "From W to ., 8.12.2026 16:49\r\na\r\nb\r\nc\r\nd\r\n\r\ne\r\n"},
    };
    for (const auto& c : cases) {
        CMessageLog log;
        log.Add(Message(c.sender, c.recipient, c.text), "8.12.2026 16:49");
        const CMessageLog::ViewChange change = log.TakeViewChange();
        EXPECT_EQ(c.shown, std::string(change.text, change.text.GetLength()));
    }
}

// The view across the bound of 1,000 kept: appended to, cut at its start by the entries that
// went, and set whole once none of what it shows is kept.
TEST(MessageLog, TellsTheViewWhatToCutAndAppend)
{
    const struct {
        int added;            // the next ones of the series
        int cutFrom, cutTo;   // the entries cut from the view
        bool whole;
        int first, last;      // the entries of the text
    } steps[] = {
        {2, 0, -1, true, 0, 1},       {1, 0, -1, false, 2, 2},           {997, 0, -1, false, 3, 999},
        {3, 0, 2, false, 1000, 1002}, {999, 3, 1001, false, 1003, 2001}, {1000, 0, -1, true, 2002, 3001},
    };
    CMessageLog log;
    int next = 0;
    for (const auto& step : steps) {
        for (int k = 0; k < step.added; ++k)
            AddNumbered(log, next++);
        int cut = 0;
        for (int k = step.cutFrom; k <= step.cutTo; ++k)
            cut += static_cast<int>(Entry(k).size()) + 4;
        std::string text;
        for (int k = step.first; k <= step.last; ++k)
            text += (k > step.first || !step.whole ? "\r\n\r\n" : "") + Entry(k);
        const CMessageLog::ViewChange change = log.TakeViewChange();
        EXPECT_EQ(step.whole, change.whole) << step.first;
        if (!step.whole) {
            EXPECT_EQ(cut, change.cut) << step.first;
        }
        EXPECT_EQ(text, std::string(change.text, change.text.GetLength())) << step.first;
    }
}

TEST(MessageLog, StatusCountsMessagesDroppedAndMalformedRecords)
{
    const struct {
        int added, malformed, droppedUnread;
        const char* status;
    } cases[] = {
        {0, 0, 0, "No messages"},
        {1, 0, 0, "1 message"},
        {0, 1, 0, "No messages, 1 malformed record ignored"},
        {1001, 2, 0, "1001 messages (1 older one dropped), 2 malformed records ignored"},
        {2, 0, 3, "5 messages (3 older ones dropped)"},
    };
    for (const auto& c : cases) {
        CMessageLog log;
        log.AddDropped(c.droppedUnread);
        for (int k = 0; k < c.added; ++k)
            AddNumbered(log, k);
        for (int k = 0; k < c.malformed; ++k)
            log.AddMalformed();
        EXPECT_STREQ(c.status, log.Status());
    }
}

} // namespace
