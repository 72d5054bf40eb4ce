#include "messenger/Datagram.h"
#include "platform/HostText.h"
#include "platform/Win32Api.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The host build stands in for CharToOemBuffA with a table; it must give what the real
// call gives for every byte, so the host's fuzzing and sanitizing see the real datagram.
TEST(CharToOem, HostTableMatchesTheRealConversion)
{
    ASSERT_EQ(1252u, GetACP());
    ASSERT_EQ(437u, GetOEMCP());
    char ansi[256], oem[256];
    for (int b = 0; b < 256; ++b)
        ansi[b] = static_cast<char>(b);
    ASSERT_TRUE(CharToOemBuffA(ansi, oem, sizeof oem));
    for (int b = 0; b < 256; ++b) {
        const BYTE expected = static_cast<BYTE>(oem[b]);
        const BYTE host = b < 0x80 ? static_cast<BYTE>(b) : kAnsiToOem437[b - 0x80];
        EXPECT_EQ(expected, host) << "byte 0x" << std::hex << b;
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
