// The access log writer on its own: timestamp text, number text, and whole
// lines of any length in UTF-16LE with CR LF, written to a scratch stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "proxy/access_log.h"
#include "proxy/proxy_state.h"
#include "tests/unit/proxy/intercept_fixture.h"

using kvztest::Narrow;
using kvztest::W;
using kvztest::WString;

namespace
{

SYSTEMTIME Time(WORD day, WORD month, WORD year, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME t = {};
    t.wDay = day;
    t.wMonth = month;
    t.wYear = year;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wDayOfWeek = 6;
    t.wMilliseconds = 999;
    return t;
}

struct TimestampCase {
    SYSTEMTIME time;
    const char *text;
};

TEST(LogTimestamp, DayMonthTwoDigitsYearAsIsTimeTwoDigitsThenBlank)
{
    const TimestampCase cases[] = {
        {Time(7, 3, 2005, 9, 5, 3), "[07.03.2005 09:05:03] "},
        {Time(1, 12, 2024, 0, 0, 0), "[01.12.2024 00:00:00] "},
        {Time(31, 1, 1999, 23, 59, 59), "[31.01.1999 23:59:59] "},
        {Time(1, 1, 999, 1, 1, 1), "[01.01.999 01:01:01] "},
        {Time(1, 1, 12345, 1, 1, 1), "[01.01.12345 01:01:01] "},
        {Time(1, 1, 0, 1, 1, 1), "[01.01.0 01:01:01] "},
        // Values beyond their range print whole, as unsigned 16-bit numbers.
        {Time(65535, 65535, 65535, 65535, 65535, 65535), "[65535.65535.65535 65535:65535:65535] "},
        {Time(100, 7, 2000, 100, 60, 61), "[100.07.2000 100:60:61] "},
    };
    for (const TimestampCase &c : cases) {
        WCHAR out[kLogTimestampCapacity];
        for (WCHAR &ch : out)
            ch = 0x5555;
        DWORD n = FormatTimestampText(&c.time, out);
        EXPECT_EQ(Narrow(out), c.text);
        EXPECT_EQ(n, std::string(c.text).size()) << c.text;
    }
}

TEST(LogNumber, UnsignedDecimalOfAll32Bits)
{
    const struct {
        DWORD value;
        const char *text;
    } cases[] = {
        {0, "0"}, {7, "7"}, {588, "588"}, {4294967295u, "4294967295"}, {1000000000, "1000000000"}};
    for (const auto &c : cases) {
        WCHAR out[kLogNumberCapacity];
        FormatUnsigned(c.value, out);
        EXPECT_EQ(Narrow(out), c.text);
    }
}

// Points the shared AccessLog at a scratch stream for one test.
class LogWriter : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        AccessLog.stream = stream;
        InitializeCriticalSection(&AccessLog.lock);
    }
    void TearDown() override
    {
        AccessLog.stream = nullptr;
        DeleteCriticalSection(&AccessLog.lock);
        std::fclose(stream);
    }
    std::string Bytes()
    {
        std::fflush(stream);
        std::rewind(stream);
        std::string bytes;
        for (int c; (c = std::fgetc(stream)) != EOF;)
            bytes.push_back((char)c);
        return bytes;
    }
    FILE *stream = nullptr;
};

TEST_F(LogWriter, EncodesLittleEndianWithoutMarkAndEndsInCrLf)
{
    WString name = W("\\a\\") + (WCHAR)0x00E9 + (WCHAR)0x20AC + W(".ogg");
    LogOrdinaryOpen(name.c_str(), 588);
    std::string bytes = Bytes();
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(bytes[0], '[');
    EXPECT_EQ(bytes[1], '\0');
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\r\0\n\0", 4));
    std::string expected_name("\\\0a\0\\\0\xE9\0\xAC\x20.\0o\0g\0g\0", 18);
    EXPECT_EQ(bytes.substr(44, 18), expected_name);
}

TEST_F(LogWriter, FiveLineFormats)
{
    LogClose(7);
    LogClose(4294967295u);
    LogRedirectedOpen(W("\\app\\sound\\a.ogg").c_str(), W("\\t\\a.ogg").c_str(), 0);
    LogOrdinaryOpen(W("x.txt").c_str(), 100);
    LogOrdinaryOpen(W("x.txt").c_str(), KVZ_INVALID_HANDLE);
    LogRelocatedMount(W("\\s\\sound\\v.KVZ").c_str(), W("\\p\\v.KVZ").c_str(), 2);
    LogRelocatedMount(W("\\s\\sound\\v.KVZ").c_str(), W("\\p\\v.KVZ").c_str(), 0);
    LogOrdinaryMount(W("\\v.KVZ").c_str(), 2);
    LogOrdinaryMount(W("\\v.KVZ").c_str(), 0);
    std::vector<WString> lines = kvztest::DecodeLogLines(Bytes());
    const char *expected[] = {
        "Closing #7",
        "Closing #4294967295",
        "\\app\\sound\\a.ogg => \\t\\a.ogg [#0]",
        "x.txt [#100]",
        "x.txt (FAILED!) [#4294967295]",
        "Archive: \\s\\sound\\v.KVZ => \\p\\v.KVZ",
        "Archive: \\s\\sound\\v.KVZ => \\p\\v.KVZ (FAILED - SKIPPED)",
        "Archive: \\v.KVZ",
        "Archive: \\v.KVZ (FAILED!)",
    };
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(kvztest::StripTimestamp(lines[i]), expected[i]) << "line " << i;
}

TEST_F(LogWriter, LongNamesAreWrittenWholeOnOneLine)
{
    for (size_t length : {1000u, 1023u, 1024u, 1025u, 5000u, 70000u}) {
        std::rewind(stream);
        WString name(length, (WCHAR)'n');
        name += W(".ogg");
        LogRedirectedOpen(name.c_str(), name.c_str(), 9);
        std::fflush(stream);
        long size = std::ftell(stream);
        std::vector<WString> lines = kvztest::DecodeLogLines(Bytes().substr(0, (size_t)size));
        ASSERT_EQ(lines.size(), 1u) << length;
        std::string narrow = Narrow(name);
        EXPECT_EQ(kvztest::StripTimestamp(lines[0]), narrow + " => " + narrow + " [#9]") << length;
    }
}

TEST_F(LogWriter, KeepsTheThreadsLastError)
{
    SetLastError(0x12345678);
    LogClose(1);
    LogOrdinaryMount(W("\\a").c_str(), 0);
    EXPECT_EQ(GetLastError(), 0x12345678u);
}

TEST(LogWriterOff, NullStreamWritesNothingAndKeepsLastError)
{
    ASSERT_EQ(AccessLog.stream, nullptr);
    SetLastError(42);
    LogClose(1);
    LogRedirectedOpen(W("a.ogg").c_str(), W("b.ogg").c_str(), 1);
    LogOrdinaryOpen(W("a").c_str(), 1);
    LogRelocatedMount(W("a").c_str(), W("b").c_str(), 1);
    LogOrdinaryMount(W("a").c_str(), 1);
    EXPECT_EQ(GetLastError(), 42u);
}

} // namespace
