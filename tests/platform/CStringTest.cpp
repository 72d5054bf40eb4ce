#include "platform/CString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(CString, StoresBytesAndLength)
{
    const CString empty;
    EXPECT_EQ(0, empty.GetLength());
    EXPECT_STREQ("", empty);

    const CString null(static_cast<const char*>(nullptr));
    EXPECT_TRUE(null.IsEmpty());

    // Bytes in the ANSI code page, counted as bytes, with an embedded NUL kept.
    const CString bytes("\xE9t\0e", 4);
    EXPECT_EQ(4, bytes.GetLength());
    EXPECT_EQ(0, std::memcmp("\xE9t\0e", static_cast<const char*>(bytes), 5));
}

TEST(CString, CopiesAreIndependent)
{
    CString a("first");
    CString b(a);
    a = "second, longer";
    EXPECT_STREQ("first", b);
    b = static_cast<const CString&>(b);
    EXPECT_STREQ("first", b);
    a = CString();
    EXPECT_STREQ("", a);
    EXPECT_EQ(0, a.GetLength());
}

TEST(CString, BufferFilledByACallTakesItsLengthOnRelease)
{
    CString s("abc");
    const std::string big(70000, 'x');
    std::memcpy(s.GetBuffer(70000), big.c_str(), big.size() + 1);
    s.ReleaseBuffer();
    EXPECT_EQ(70000, s.GetLength());
    EXPECT_EQ(big, static_cast<const char*>(s));

    std::strcpy(s.GetBuffer(0), "z");
    s.ReleaseBuffer();
    EXPECT_STREQ("z", s);
    EXPECT_EQ(1, s.GetLength());

    // Writing into the buffer of an empty string leaves every other empty string empty.
    CString empty;
    empty.GetBuffer(0)[0] = 'x';
    EXPECT_STREQ("", CString());
}

} // namespace
