#include "inbox/MessageLog.h"

#include "platform/Win32Api.h"

#include <cstring>

namespace {

// Writes into a buffer, or only counts without one: the same code sizes a text, then fills it.
class Writer {
public:
    explicit Writer(char* out = nullptr) : m_out(out) {}
    void Put(char c)
    {
        if (m_out)
            m_out[m_length] = c;
        ++m_length;
    }
    void Put(const char* text)
    {
        while (*text)
            Put(*text++);
    }
    int Length() const { return m_length; }

private:
    char* m_out;
    int m_length = 0;
};

// A heading field stays on its line: a control character shows as '?'.
void PutField(Writer& out, const CString& field)
{
    for (int i = 0; i < field.GetLength(); ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        out.Put(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    }
}

// Every line break becomes CR LF, the edit control's own: a lone CR or a lone LF is one too.
void PutText(Writer& out, const CString& text)
{
    for (int i = 0; i < text.GetLength(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            out.Put(text[i]);
            continue;
        }
        out.Put("\r\n");
        if (text[i] == '\r' && text[i + 1] == '\n')
            ++i;
    }
}

void PutEntry(Writer& out, const ReceivedMessage& message, const char* arrival)
{
    out.Put("From ");
    PutField(out, message.sender);
    out.Put(" to ");
    PutField(out, message.recipient);
    out.Put(", ");
    out.Put(arrival);
    out.Put("\r\n");
    PutText(out, message.text);
}

const char* Plural(UINT count) { return count == 1 ? "" : "s"; }

// Between two messages: a blank line.
const char kSeparator[] = "\r\n\r\n";
const int kSeparatorLength = sizeof kSeparator - 1;

} // namespace

void CMessageLog::Add(const ReceivedMessage& message, const char* arrival)
{
    Writer size;
    PutEntry(size, message, arrival);

    if (m_count == kCapacity) {
        // The oldest goes; in the view, with the blank line after it.
        if (m_shown) {
            m_cut += At(0).length + kSeparatorLength;
            --m_shown;
        }
        m_first = (m_first + 1) % kCapacity;
        --m_count;
    }
    Entry& entry = At(m_count++);
    entry.length = size.Length();
    char* buffer = entry.text.GetBuffer(size.Length());
    Writer out(buffer);
    PutEntry(out, message, arrival);
    buffer[size.Length()] = '\0';
    entry.text.ReleaseBuffer();
    ++m_received;
}

CMessageLog::ViewChange CMessageLog::TakeViewChange()
{
    ViewChange change = {m_cut, m_shown == 0, CString()};
    // A blank line before each new entry but the first kept.
    int length = 0;
    for (int k = m_shown; k < m_count; ++k)
        length += (k ? kSeparatorLength : 0) + At(k).length;
    char* at = change.text.GetBuffer(length);
    for (int k = m_shown; k < m_count; ++k) {
        Entry& entry = At(k);
        if (k) {
            std::memcpy(at, kSeparator, kSeparatorLength);
            at += kSeparatorLength;
        }
        std::memcpy(at, entry.text, entry.length);
        at += entry.length;
        entry.text = CString();
    }
    *at = '\0';
    change.text.ReleaseBuffer();
    m_shown = m_count;
    m_cut = 0;
    return change;
}

CString CMessageLog::Status() const
{
    char status[160];
    int at = m_received ? Win().wsprintfA(status, "%u message%s", m_received, Plural(m_received))
                        : Win().wsprintfA(status, "No messages");
    const UINT dropped = m_received - m_count;
    if (dropped)
        at += Win().wsprintfA(status + at, " (%u older one%s dropped)", dropped, Plural(dropped));
    if (m_malformed)
        Win().wsprintfA(status + at, ", %u malformed record%s ignored", m_malformed, Plural(m_malformed));
    return status;
}
