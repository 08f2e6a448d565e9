// The 16-bit text helpers every path and message of start-up goes through.
#include <gtest/gtest.h>

#include <string>

#include "proxy/wide_text.h"
#include "tests/unit/proxy/startup_support.h"

static const DWORD kNoRoom = (DWORD)-1;

TEST(WideText, AppendFitsExactlyOrLeavesDestUnchanged)
{
    WCHAR dest[8];
    std::u16string sentinel(8, u'#');
    sentinel.copy(dest, 8);
    EXPECT_EQ(3u, WideAppend(dest, 0, 8, u"abc"));
    EXPECT_EQ(7u, WideAppend(dest, 3, 8, u"defg")) << "7 characters and the terminator fit 8";
    EXPECT_EQ(u"abcdefg", std::u16string(dest));
    EXPECT_EQ(kNoRoom, WideAppend(dest, 7, 8, u"h")) << "no room for the terminator";
    EXPECT_EQ(kNoRoom, WideAppend(dest, 9, 8, u"")) << "start past the end";
    EXPECT_EQ(kNoRoom, WideAppend(dest, kNoRoom, 8, u"")) << "a failed append stays failed";
    EXPECT_EQ(u"abcdefg", std::u16string(dest));
}

TEST(WideText, NarrowBytesAreWidenedAsSigned)
{
    struct Case {
        const char *bytes;
        std::u16string wide;
    } cases[] = {
        {"sound", u"sound"},   {"\x7F", u"\x007F"}, {"\x80", u"\xFF80"},
        {"\xE4x", u"\xFFE4x"}, {"\xFF", u"\xFFFF"}, {"", u""},
    };
    for (const Case &c : cases) {
        WCHAR dest[16] = {u'#'};
        DWORD n = WideAppendNarrow(dest, 0, 16, c.bytes);
        EXPECT_EQ(c.wide.size(), n) << c.bytes;
        EXPECT_EQ(c.wide, std::u16string(dest)) << "bytes " << c.bytes;
    }
    WCHAR small[4] = {u'a', u'b', 0, 0};
    EXPECT_EQ(kNoRoom, WideAppendNarrow(small, 2, 4, "cd"));
    EXPECT_EQ(u"ab", std::u16string(small)) << "a narrow append that does not fit writes nothing";
}

TEST(WideText, EqualIsExactAndCaseSensitive)
{
    EXPECT_TRUE(WideEqual(u"\\a\\sound\\", u"\\a\\sound\\"));
    EXPECT_FALSE(WideEqual(u"\\a\\sound\\", u"\\a\\Sound\\"));
    EXPECT_FALSE(WideEqual(u"\\a\\sound", u"\\a\\sound\\"));
    EXPECT_FALSE(WideEqual(u"\\a\\sound\\", u"\\a\\sound"));
    EXPECT_TRUE(WideEqual(u"", u""));
}

TEST(WideText, FormatReplacesEachPercentSAndReportsCuts)
{
    WCHAR dest[64];
    EXPECT_EQ(37u, WideFormat(dest, 64, u"Die Datei %s wurde nicht gefunden!", u"x.dll"));
    EXPECT_EQ(u"Die Datei x.dll wurde nicht gefunden!", std::u16string(dest));
    WideFormat(dest, 64, u"100% %d %s%", u"ok");
    EXPECT_EQ(u"100% %d ok%", std::u16string(dest)) << "only %s is a field";
    WideFormat(dest, 64, u"%s+%s", u"a");
    EXPECT_EQ(u"a+a", std::u16string(dest));

    WCHAR small[6];
    EXPECT_EQ(kNoRoom, WideFormat(small, 6, u"ab%s", u"cdefgh"));
    EXPECT_EQ(u"abcde", std::u16string(small)) << "cut text is still terminated";
    EXPECT_EQ(5u, WideFormat(small, 6, u"ab%s", u"cde"));
}
