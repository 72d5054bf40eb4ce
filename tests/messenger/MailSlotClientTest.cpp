#include "messenger/MailSlotClient.h"

#include "messenger/Datagram.h"
#include "tests/messenger/MailslotReader.h"
#include "tests/platform/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Captions = std::vector<std::string>;


std::string ComputerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    GetComputerNameA(name, &length);
    return name;
}

TEST(DoMailSlotClient, DeliversOneDatagramPerSendToTheLocalReader)
{
    MailslotReader reader;
    ASSERT_TRUE(reader.IsOpen());
    MessageBoxRecorder boxes;
    CWnd owner;
    const CString destination(".");
    const CString message("Hello\r\nthere");

    DoMailSlotClient(&owner, destination, message);
    DoMailSlotClient(&owner, destination, message);

    const std::vector<std::string> datagrams = reader.ReadAll();
    ASSERT_EQ(2u, datagrams.size());
    std::string expected = ComputerName() + std::string("\0.\0Hello\r\nthere", 15);
    expected.resize(kDatagramSize, '\0');
    EXPECT_EQ(expected, datagrams[0]);
    EXPECT_EQ(datagrams[0], datagrams[1]);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_STREQ(".", destination);
    EXPECT_STREQ("Hello\r\nthere", message);
}

TEST(DoMailSlotClient, NoReaderReportsTheOpenAndTheWrite)
{
    MessageBoxRecorder boxes;
    CWnd owner;
    owner.m_hWnd = reinterpret_cast<HWND>(0x1234);
    DoMailSlotClient(&owner, "NO-SUCH-SLOT-HERE", "Hi");

    ASSERT_EQ(2u, boxes.Boxes().size());
    for (const MessageBoxRecorder::Box& box : boxes.Boxes()) {
        EXPECT_EQ(owner.m_hWnd, box.owner);
        EXPECT_EQ("DoMailSlotClient", box.text);
    }
    EXPECT_EQ(Captions({"CreateFile", "WriteFile"}), boxes.Captions());
    EXPECT_EQ(UINT(MB_OK), boxes.Boxes()[0].type);
    EXPECT_EQ(UINT(MB_ICONHAND), boxes.Boxes()[1].type);
}

// Injected results of the three file operations, and the boxes they must bring.
struct FailureCase {
    const char* what;
    bool openRefused;
    BOOL writeResult;
    BOOL closeResult;
    Captions expected;
};

struct FileCalls {
    static FileCalls& Get()
    {
        static FileCalls calls;
        return calls;
    }
    FailureCase injected;
    std::vector<std::string> order;
    HANDLE written = nullptr;
    DWORD writeLength = 0;
    HANDLE closed = nullptr;
};

const HANDLE kSlot = reinterpret_cast<HANDLE>(0x5150);

class SendFailures : public testing::TestWithParam<FailureCase> {
protected:
    ScopedOverride<decltype(Win32Api::CreateFileA)> m_open{
        Win().CreateFileA, [](LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) WINAPI {
            FileCalls::Get().order.push_back("open");
            return FileCalls::Get().injected.openRefused ? INVALID_HANDLE_VALUE : kSlot;
        }};
    ScopedOverride<decltype(Win32Api::GetComputerNameA)> m_name{
        Win().GetComputerNameA, [](LPSTR, LPDWORD) WINAPI -> BOOL {
            FileCalls::Get().order.push_back("name");
            return FALSE;
        }};
    ScopedOverride<decltype(Win32Api::WriteFile)> m_write{
        Win().WriteFile, [](HANDLE handle, LPCVOID, DWORD length, LPDWORD, LPOVERLAPPED) WINAPI {
            FileCalls::Get().order.push_back("write");
            FileCalls::Get().written = handle;
            FileCalls::Get().writeLength = length;
            return FileCalls::Get().injected.writeResult;
        }};
    ScopedOverride<decltype(Win32Api::CloseHandle)> m_close{
        Win().CloseHandle, [](HANDLE handle) WINAPI {
            FileCalls::Get().order.push_back("close");
            FileCalls::Get().closed = handle;
            return FileCalls::Get().injected.closeResult;
        }};
    MessageBoxRecorder m_boxes;
};

TEST_P(SendFailures, ReportsEachFailingStepInOrder)
{
    FileCalls& calls = FileCalls::Get();
    calls = FileCalls{GetParam(), {}, nullptr, 0, nullptr};
    CWnd owner;

    DoMailSlotClient(&owner, "BETA", "Hi");

    // The open comes first, and a failed open still leads to the write and the close.
    EXPECT_EQ(std::vector<std::string>({"open", "name", "write", "close"}), calls.order);
    const HANDLE opened = GetParam().openRefused ? INVALID_HANDLE_VALUE : kSlot;
    EXPECT_EQ(opened, calls.written);
    EXPECT_EQ(opened, calls.closed);
    EXPECT_EQ(DWORD(kDatagramSize), calls.writeLength);
    EXPECT_EQ(GetParam().expected, m_boxes.Captions());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendFailures,
    testing::Values(FailureCase{"AllSucceed", false, TRUE, TRUE, {}},
                    FailureCase{"OpenWriteRefused", true, FALSE, TRUE, {"CreateFile", "WriteFile"}},
                    FailureCase{"AllRefused", true, FALSE, FALSE, {"CreateFile", "WriteFile", "CloseHandle"}},
                    FailureCase{"WriteReturnsTwo", false, 2, TRUE, {"WriteFile"}},
                    FailureCase{"CloseReturnsTwo", false, TRUE, 2, {"CloseHandle"}},
                    FailureCase{"WriteAndCloseRefused", false, FALSE, FALSE, {"WriteFile", "CloseHandle"}}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.what); });

int g_platformCalls = 0;

int WINAPIV CountedFormat(LPSTR, LPCSTR, ...) { return ++g_platformCalls; }

TEST(DoMailSlotClient, RefusesADestinationLongerThanSixtyWithOneBoxOnly)
{
    g_platformCalls = 0;
    ScopedOverride<decltype(Win32Api::wsprintfA)> format(Win().wsprintfA, CountedFormat);
    ScopedOverride<decltype(Win32Api::CreateFileA)> open(
        Win().CreateFileA, [](LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) WINAPI {
            ++g_platformCalls;
            return INVALID_HANDLE_VALUE;
        });
    ScopedOverride<decltype(Win32Api::GetComputerNameA)> name(Win().GetComputerNameA, [](LPSTR, LPDWORD) WINAPI {
        return BOOL(++g_platformCalls);
    });
    ScopedOverride<decltype(Win32Api::WriteFile)> write(
        Win().WriteFile, [](HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) WINAPI { return BOOL(++g_platformCalls); });
    ScopedOverride<decltype(Win32Api::CloseHandle)> close(Win().CloseHandle,
                                                          [](HANDLE) WINAPI { return BOOL(++g_platformCalls); });
    MessageBoxRecorder boxes;
    CWnd owner;

    DoMailSlotClient(&owner, CString(std::string(61, 'D').c_str()), "Hi");

    EXPECT_EQ(0, g_platformCalls);
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ("The destination is longer than 60 characters.", boxes.Boxes()[0].text);
    EXPECT_EQ("Pellamy", boxes.Boxes()[0].caption);
    EXPECT_EQ(UINT(MB_ICONHAND), boxes.Boxes()[0].type);
}

// Whatever a failed name query leaves in the buffer and the size word, the sender field
// stays empty and nothing past the 16-byte buffer is read.
TEST(DoMailSlotClient, FailedNameQueryLeavesTheSenderEmpty)
{
    MailslotReader reader;
    ASSERT_TRUE(reader.IsOpen());
    using NameQuery = decltype(Win32Api::GetComputerNameA);
    const NameQuery failures[] = {
        [](LPSTR name, LPDWORD size) WINAPI -> BOOL {
            memset(name, 'X', *size);
            *size = 200;
            return FALSE;
        },
        [](LPSTR name, LPDWORD size) WINAPI -> BOOL {
            memset(name, 'X', *size);
            *size = 16;
            return TRUE;
        },
        [](LPSTR name, LPDWORD size) WINAPI -> BOOL {
            memcpy(name, "ALPHA", 6);
            *size = 5;
            return FALSE;
        },
    };
    for (NameQuery failure : failures) {
        ScopedOverride<NameQuery> name(Win().GetComputerNameA, failure);
        MessageBoxRecorder boxes;
        CWnd owner;
        DoMailSlotClient(&owner, ".", "Hi");
        const std::vector<std::string> datagrams = reader.ReadAll();
        ASSERT_EQ(1u, datagrams.size());
        EXPECT_EQ(std::string("\0.\0Hi\0", 6), datagrams[0].substr(0, 6));
        EXPECT_TRUE(boxes.Boxes().empty());
    }
}

} // namespace
