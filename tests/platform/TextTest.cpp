#include "messenger/Datagram.h"
#include "platform/HostText.h"
#include "platform/Win32Api.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The host build stands in for CharToOemBuffA and OemToCharBuffA with tables; they must give
// what the real calls give for every byte, so the host's fuzzing and sanitizing see the real
// datagram both ways.
TEST(CharToOem, HostTablesMatchTheRealConversions)
{
    ASSERT_EQ(1252u, GetACP());
    ASSERT_EQ(437u, GetOEMCP());
    char bytes[256], oem[256], ansi[256];
    for (int b = 0; b < 256; ++b)
        bytes[b] = static_cast<char>(b);
    ASSERT_TRUE(CharToOemBuffA(bytes, oem, sizeof oem));
    ASSERT_TRUE(OemToCharBuffA(bytes, ansi, sizeof ansi));
    for (int b = 0; b < 256; ++b) {
        const BYTE toOem = b < 0x80 ? static_cast<BYTE>(b) : kAnsiToOem437[b - 0x80];
        const BYTE toAnsi = b < 0x80 ? static_cast<BYTE>(b) : kOem437ToAnsi[b - 0x80];
        EXPECT_EQ(static_cast<BYTE>(oem[b]), toOem) << "ANSI byte 0x" << std::hex << b;
        EXPECT_EQ(static_cast<BYTE>(ansi[b]), toAnsi) << "OEM byte 0x" << std::hex << b;
    }
}

// Only the text is converted; sender and recipient go out in the ANSI code page.
TEST(CharToOem, OnlyTheTextIsConvertedByteForByte)
{
    std::string high;
    for (int b = 0x80; b < 0x100; ++b)
        high += static_cast<char>(b);
    const CString message(high.data(), static_cast<int>(high.size()));
    const char name[kComputerNameBufferSize] = "\xC4LPHA";
    const MessengerDatagram datagram = ComposeDatagram(name, 5, "\xC9T\xC0", message);

    char oem[128];
    ASSERT_TRUE(CharToOemBuffA(high.data(), oem, sizeof oem));
    EXPECT_EQ(std::string("\xC4LPHA\0\xC9T\xC0\0", 10), std::string(datagram.bytes, 10));
    EXPECT_EQ(std::string(oem, 128), std::string(datagram.bytes + 10, 128));
    EXPECT_EQ('\0', datagram.bytes[138]);
}

} // namespace
