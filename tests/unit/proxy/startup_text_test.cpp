// The 16-bit text helpers every path and message of start-up goes through.
#include <gtest/gtest.h>

#include <string>

#include "proxy/wide_text.h"
#include "tests/unit/proxy/startup_support.h"

TEST(WideText, AppendFitsExactlyOrLeavesDestUnchanged)
{
    WCHAR dest[8];
    WString sentinel(8, (WCHAR)'#');
    sentinel.copy(dest, 8);
    EXPECT_EQ(3u, WideAppend(dest, 0, 8, TEXT("abc")));
    EXPECT_EQ(7u, WideAppend(dest, 3, 8, TEXT("defg"))) << "7 characters and the terminator fit 8";
    EXPECT_EQ(TEXT("abcdefg"), WString(dest));
    EXPECT_EQ(kNoRoom, WideAppend(dest, 7, 8, TEXT("h"))) << "no room for the terminator";
    EXPECT_EQ(kNoRoom, WideAppend(dest, 9, 8, TEXT(""))) << "start past the end";
    EXPECT_EQ(kNoRoom, WideAppend(dest, kNoRoom, 8, TEXT(""))) << "a failed append stays failed";
    EXPECT_EQ(TEXT("abcdefg"), WString(dest));
}

TEST(WideText, NarrowBytesAreWidenedAsSigned)
{
    struct Case {
        const char *bytes;
        WString wide;
    } cases[] = {
        {"sound", TEXT("sound")},   {"\x7F", TEXT("\x007F")}, {"\x80", TEXT("\xFF80")},
        {"\xE4x", TEXT("\xFFE4x")}, {"\xFF", TEXT("\xFFFF")}, {"", TEXT("")},
    };
    for (const Case &c : cases) {
        WCHAR dest[16] = {(WCHAR)'#'};
        DWORD n = WideAppendNarrow(dest, 0, 16, c.bytes);
        EXPECT_EQ(c.wide.size(), n) << c.bytes;
        EXPECT_EQ(c.wide, WString(dest)) << "bytes " << c.bytes;
    }
    WCHAR small[4] = {(WCHAR)'a', (WCHAR)'b', 0, 0};
    EXPECT_EQ(kNoRoom, WideAppendNarrow(small, 2, 4, "cd"));
    EXPECT_EQ(TEXT("ab"), WString(small)) << "a narrow append that does not fit writes nothing";
}

TEST(WideText, EqualIsExactAndCaseSensitive)
{
    EXPECT_TRUE(WideEqual(TEXT("\\a\\sound\\"), TEXT("\\a\\sound\\")));
    EXPECT_FALSE(WideEqual(TEXT("\\a\\sound\\"), TEXT("\\a\\Sound\\")));
    EXPECT_FALSE(WideEqual(TEXT("\\a\\sound"), TEXT("\\a\\sound\\")));
    EXPECT_FALSE(WideEqual(TEXT("\\a\\sound\\"), TEXT("\\a\\sound")));
    EXPECT_TRUE(WideEqual(TEXT(""), TEXT("")));
}

TEST(WideText, FormatReplacesEachPercentSAndReportsCuts)
{
    WCHAR dest[64];
    EXPECT_EQ(37u, WideFormat(dest, 64, TEXT("Die Datei %s wurde nicht gefunden!"), TEXT("x.dll")));
    EXPECT_EQ(TEXT("Die Datei x.dll wurde nicht gefunden!"), WString(dest));
    WideFormat(dest, 64, TEXT("100% %d %s%"), TEXT("ok"));
    EXPECT_EQ(TEXT("100% %d ok%"), WString(dest)) << "only %s is a field";
    WideFormat(dest, 64, TEXT("%s+%s"), TEXT("a"));
    EXPECT_EQ(TEXT("a+a"), WString(dest));

    WCHAR small[6];
    EXPECT_EQ(kNoRoom, WideFormat(small, 6, TEXT("ab%s"), TEXT("cdefgh")));
    EXPECT_EQ(TEXT("abcde"), WString(small)) << "cut text is still terminated";
    EXPECT_EQ(5u, WideFormat(small, 6, TEXT("ab%s"), TEXT("cde")));
}
