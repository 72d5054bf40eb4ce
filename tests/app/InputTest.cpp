// Whatever a user can put into the send dialog's two fields, through the real dialog: the
// program never fails, the datagram it hands to the write is whole and right, and the boxes
// are exactly those the failing steps call for (or the one refusal of a destination longer
// than 60 characters).
#include "tests/app/AppDriver.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The file calls of one send, passed on to the system and recorded with their results.
struct FileCalls {
    std::vector<std::string> opened; // paths
    HANDLE handle = nullptr;
    std::vector<std::string> written; // the bytes handed to each write
    BOOL writeResult = FALSE;
    std::vector<HANDLE> closed;
    BOOL closeResult = FALSE;
};
FileCalls g_calls;

HANDLE WINAPI RecordedCreateFile(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE model)
{
    g_calls.opened.push_back(path);
    g_calls.handle = CreateFileA(path, access, share, security, disposition, flags, model);
    return g_calls.handle;
}

BOOL WINAPI RecordedWriteFile(HANDLE file, LPCVOID bytes, DWORD length, LPDWORD written, LPOVERLAPPED overlapped)
{
    g_calls.written.emplace_back(static_cast<const char*>(bytes), length);
    g_calls.writeResult = WriteFile(file, bytes, length, written, overlapped);
    return g_calls.writeResult;
}

BOOL WINAPI RecordedCloseHandle(HANDLE file)
{
    g_calls.closed.push_back(file);
    g_calls.closeResult = CloseHandle(file);
    return g_calls.closeResult;
}

enum Outcome {
    kArrives, // the local reader gets it, no box
    kRefused, // longer than 60: the refusal box alone, no file call
    kEither,  // whatever the system makes of the name: the boxes its results call for, and
              // a datagram that is whole wherever it arrives
};

struct Case {
    std::string what;
    std::string destination;
    std::string message;
    Outcome outcome;
};

std::string Repeat(const std::string& part, size_t length)
{
    std::string text;
    while (text.size() < length)
        text += part;
    text.resize(length);
    return text;
}

std::string EveryByte()
{
    std::string text;
    for (int byte = 1; byte < 256; ++byte)
        text += static_cast<char>(byte);
    return text;
}

std::vector<Case> Cases()
{
    std::vector<Case> cases;
    // Lines of 60 bytes: the multi-line field of Wine's edit control takes time that grows
    // steeply with the length of a line, and one unbroken line of 70,000 would take minutes.
    const std::string lines = "The quick brown fox jumps over the lazy dog, 0123456789 !?\r\n";
    for (size_t length : {0u, 1u, 15u, 16u, 60u, 61u, 255u, 256u, 4096u, 70000u}) {
        const std::string what = std::to_string(length) + "-character ";
        const Outcome destinationOutcome = length > 60 ? kRefused : length == 1 ? kArrives : kEither;
        cases.push_back({what + "destination", length == 1 ? "." : Repeat("NAME", length), "Hi", destinationOutcome});
        cases.push_back({what + "message", ".", Repeat(lines, length), kArrives});
    }
    const std::vector<Case> names = {
        {"control characters in the destination", "A\tB\x01\x1b\x7f", "Hi", kEither},
        {"a line break in the destination", ".\r\n", "Hi", kEither},
        {"characters outside the OEM code page in the destination", "\x80\x83\x99\xA4", "Hi", kEither},
        {"accented letters in the destination", "CAF\xC9", "Hi", kEither},
        {"the whole domain", "*", "Hi", kEither},
        {"a wildcard", "?", "Hi", kEither},
        {"a path of its own", ".\\mailslot\\other", "Hi", kEither},
        {"two dots", "..", "Hi", kEither},
        {"a slash", "/", "Hi", kEither},
        {"a device name", "CON", "Hi", kEither},
        {"a space inside", "NO SUCH", "Hi", kEither},
        {"a dot and a space", ". ", "Hi", kEither},
        {"an address", "127.0.0.1", "Hi", kEither},
        {"no such computer", "NO-SUCH-COMPUTER", "Hi", kEither},
        {"lower case", "beta", "Hi", kEither},
    };
    cases.insert(cases.end(), names.begin(), names.end());
    const std::vector<Case> messages = {
        {"control characters in the message", ".", "\x01\x02\x07\x08\t\x0b\x0c\x1b\x7f end", kArrives},
        {"line breaks in the message", ".", "one\r\ntwo\r\n\r\nthree", kArrives},
        {"a line break cut in two at 255", ".", Repeat("x", 254) + "\r\nafter", kArrives},
        {"characters outside the OEM code page in the message", ".", "\x80\x83\x99\xA4\xA6 \xE9\xFC\xFF", kArrives},
        {"every byte but NUL in the message", ".", EveryByte(), kArrives},
    };
    cases.insert(cases.end(), messages.begin(), messages.end());
    return cases;
}

// The boxes the send action owes for the results the system gave.
std::vector<std::string> OwedBoxes()
{
    std::vector<std::string> captions;
    if (g_calls.handle == INVALID_HANDLE_VALUE)
        captions.push_back("CreateFile");
    if (g_calls.writeResult != TRUE)
        captions.push_back("WriteFile");
    if (g_calls.closeResult != TRUE)
        captions.push_back("CloseHandle");
    return captions;
}

void Check(const Case& c, MailslotReader& reader, const std::string& sender)
{
    SCOPED_TRACE(c.what);
    g_calls = FileCalls();
    MessageBoxRecorder::Boxes().clear();
    const HWND dialog = SendDialog();
    SetWindowTextA(SendDialogControl(IDC_DESTINATION), c.destination.c_str());
    SetWindowTextA(SendDialogControl(IDC_MESSAGE), c.message.c_str());
    SendMessageA(SendDialogControl(IDC_SEND), BM_CLICK, 0, 0);

    // The dialog goes on, holding what it sent.
    ASSERT_TRUE(IsWindow(dialog));
    const std::string destination = WindowText(SendDialogControl(IDC_DESTINATION));
    const std::string message = WindowText(SendDialogControl(IDC_MESSAGE));
    EXPECT_EQ(destination, std::string(g_sendDialog.m_strDestination, g_sendDialog.m_strDestination.GetLength()));
    EXPECT_EQ(message, std::string(g_sendDialog.m_strMessage, g_sendDialog.m_strMessage.GetLength()));
    EXPECT_EQ(c.message.size(), message.size()); // no field cuts what it is given

    const std::vector<std::string> arrived = reader.ReadAll();
    const std::vector<MessageBoxRecorder::Box>& boxes = MessageBoxRecorder::Boxes();
    if (c.outcome == kRefused) {
        EXPECT_GT(destination.size(), 60u);
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("The destination is longer than 60 characters.", boxes[0].text);
        EXPECT_EQ("Pellamy", boxes[0].caption);
        EXPECT_EQ(UINT(MB_ICONHAND), boxes[0].type);
        EXPECT_EQ(dialog, boxes[0].owner);
        EXPECT_TRUE(g_calls.opened.empty());
        EXPECT_TRUE(g_calls.written.empty());
        EXPECT_TRUE(g_calls.closed.empty());
        EXPECT_TRUE(arrived.empty());
        std::printf("%-58s refused\n", c.what.c_str());
        return;
    }

    // One open of the destination's mailslot exactly as the field holds it, one write of the
    // whole datagram, one close of what the open returned.
    ASSERT_LE(destination.size(), 60u);
    EXPECT_EQ(std::vector<std::string>({"\\\\" + destination + "\\mailslot\\messngr"}), g_calls.opened);
    ASSERT_EQ(1u, g_calls.written.size());
    EXPECT_EQ(ExpectedDatagram(sender, destination, message), g_calls.written[0]);
    EXPECT_EQ(std::vector<HANDLE>({g_calls.handle}), g_calls.closed);

    std::vector<std::string> captions;
    for (const MessageBoxRecorder::Box& box : boxes) {
        captions.push_back(box.caption);
        EXPECT_EQ("DoMailSlotClient", box.text);
        EXPECT_EQ(dialog, box.owner);
        EXPECT_EQ(box.caption == "CreateFile" ? UINT(MB_OK) : UINT(MB_ICONHAND), box.type);
    }
    EXPECT_EQ(OwedBoxes(), captions);
    for (const std::string& datagram : arrived)
        EXPECT_EQ(g_calls.written[0], datagram);
    if (c.outcome == kArrives) {
        EXPECT_TRUE(captions.empty());
        EXPECT_EQ(1u, arrived.size());
    }
    std::printf("%-58s %s\n", c.what.c_str(),
                captions.empty() ? (arrived.empty() ? "sent, nothing arrived here" : "arrived whole")
                                 : ("boxes: " + testing::PrintToString(captions)).c_str());
}

TEST(SendDialogInput, EveryInputGivesAWholeDatagramOrTheBoxesItCallsFor)
{
    MailslotReader reader;
    ASSERT_TRUE(reader.IsOpen());
    MessageBoxRecorder boxes;
    const ScopedOverride<decltype(Win32Api::CreateFileA)> open(Win().CreateFileA, RecordedCreateFile);
    const ScopedOverride<decltype(Win32Api::WriteFile)> write(Win().WriteFile, RecordedWriteFile);
    const ScopedOverride<decltype(Win32Api::CloseHandle)> close(Win().CloseHandle, RecordedCloseHandle);
    PostedSteps steps;
    RunningApp app;
    ASSERT_TRUE(app.Started());

    const std::vector<Case> cases = Cases();
    const std::string sender = ComputerName();
    size_t checked = 0;
    steps.Post([&] {
        for (const Case& c : cases) {
            Check(c, reader, sender);
            ++checked;
        }
        PostMessageA(SendDialog(), WM_COMMAND, IDCANCEL, 0);
    });
    const Deadline deadline(30000);
    EXPECT_EQ(1, app.Callback(WM_LBUTTONDBLCLK));
    EXPECT_EQ(cases.size(), checked);
}

} // namespace
