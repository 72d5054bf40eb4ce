// Calls ComposeDatagram, or one of two plain versions of its work, a given number of times
// for a message of a given length. tools/bench.sh runs it under callgrind and counts the
// instructions spent inside the one function called.
//
//   compose_bench compose|plain|copy <message length> <calls>
#include "messenger/Datagram.h"
#include "platform/HostText.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kName[kComputerNameBufferSize] = "ALPHA";
const DWORD kNameLength = 5;

// The same work as ComposeDatagram, written plainly: the record zeroed, the name and the
// destination copied, the text converted by the same conversion call.
void PlainCompose(MessengerDatagram& record, const CString& destination, const CString& message)
{
    std::memset(record.bytes, 0, sizeof record.bytes);
    char* out = record.bytes;
    std::memcpy(out, kName, kNameLength);
    out += kNameLength + 1;
    std::memcpy(out, static_cast<const char*>(destination), destination.GetLength());
    out += destination.GetLength() + 1;
    const int length = message.GetLength() < kMaxTextLength ? message.GetLength() : int(kMaxTextLength);
    HostCharToOemBuffA(message, out, length);
}

// The least any composition has to do: the three fields' bytes alone, the name and the
// destination copied with their NULs, the text converted byte by byte through the
// 1252 -> 437 table.
void CopyAndConvert(MessengerDatagram& record, const CString& destination, const CString& message)
{
    char* out = record.bytes;
    std::memcpy(out, kName, kNameLength + 1);
    out += kNameLength + 1;
    std::memcpy(out, static_cast<const char*>(destination), destination.GetLength() + 1);
    out += destination.GetLength() + 1;
    const char* text = message;
    const int length = message.GetLength() < kMaxTextLength ? message.GetLength() : int(kMaxTextLength);
    for (int k = 0; k < length; ++k) {
        const BYTE byte = static_cast<BYTE>(text[k]);
        out[k] = static_cast<char>(byte < 0x80 ? byte : kAnsiToOem437[byte - 0x80]);
    }
    out[length] = '\0';
}

void Compose(MessengerDatagram& record, const CString& destination, const CString& message)
{
    record = ComposeDatagram(kName, kNameLength, destination, message);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s compose|plain|copy <message length> <calls>\n", argv[0]);
        return 2;
    }
    const int length = std::atoi(argv[2]);
    const int calls = std::atoi(argv[3]);

    // A message as a user types it: text with line breaks and a few accented letters.
    const std::string sample = "Lunch at noon in the caf\xE9, bring the r\xE9sum\xE9s.\r\n";
    std::string text;
    while (static_cast<int>(text.size()) < length)
        text += sample;
    text.resize(length);
    const CString destination("BETA");
    const CString message(text.data(), length);

    // Through a pointer, so that the one measured is a call and not inlined into the loop.
    void (*volatile run)(MessengerDatagram&, const CString&, const CString&) =
        std::strcmp(argv[1], "plain") == 0  ? PlainCompose
        : std::strcmp(argv[1], "copy") == 0 ? CopyAndConvert
                                            : Compose;
    MessengerDatagram record = {};
    unsigned sum = 0;
    for (int k = 0; k < calls; ++k) {
        run(record, destination, message);
        sum += static_cast<unsigned char>(record.bytes[k % kDatagramSize]);
    }
    std::printf("%u\n", sum);
    return 0;
}
