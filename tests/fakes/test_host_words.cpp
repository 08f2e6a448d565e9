// The host application's word splitting, numbers and checksum, and the
// 16-bit text conversion it shares with the fake.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fakes/fake_text.h"
#include "tests/fakes/host/host_words.h"

namespace
{

TEST(HostWords, SplitsOnBlanksAndKeepsQuotedBlanks)
{
    struct {
        const char *line;
        int count;
        std::vector<std::string> words;
    } cases[] = {
        {"", 0, {}},
        {"   \t ", 0, {}},
        {"read $", 2, {"read", "$"}},
        {"  mount \\a\\x.KVZ\t\\a  ", 3, {"mount", "\\a\\x.KVZ", "\\a"}},
        {"write 100 \"two words\"", 3, {"write", "100", "two words"}},
        {"open \"\"", 2, {"open", ""}},
        {"open \"a b", -1, {}},
        {"open \"a\"b", -1, {}},
        {"a b c d e f g h", 8, {"a", "b", "c", "d", "e", "f", "g", "h"}},
        {"a b c d e f g h i", -1, {}},
    };
    for (const auto &c : cases) {
        char line[256];
        strcpy(line, c.line);
        char *words[KVZ_HOST_MAX_WORDS];
        int count = HostSplitWords(line, words, KVZ_HOST_MAX_WORDS);
        EXPECT_EQ(count, c.count) << "line \"" << c.line << "\"";
        for (int i = 0; i < count && i < (int)c.words.size(); i++)
            EXPECT_EQ(words[i], c.words[i]) << "line \"" << c.line << "\" word " << i;
    }
}

TEST(HostWords, ReadsDecimalHexAndNegativeNumbers)
{
    struct {
        const char *text;
        int ok;
        DWORD value;
    } cases[] = {
        {"0", 1, 0},
        {"4294967295", 1, 0xFFFFFFFFu},
        {"4294967296", 0, 0},
        {"0x80000000", 1, 0x80000000u},
        {"0XfF", 1, 0xFF},
        {"0x100000000", 0, 0},
        {"-1", 1, 0xFFFFFFFFu},
        {"-2147483648", 1, 0x80000000u},
        {"-2147483649", 0, 0},
        {"", 0, 0},
        {"-", 0, 0},
        {"0x", 0, 0},
        {"12a", 0, 0},
        {"-0x1", 0, 0},
    };
    for (const auto &c : cases) {
        DWORD value = 0x55555555u;
        EXPECT_EQ(HostParseNumber(c.text, &value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(HostWords, Crc32MatchesTheKnownCheckValue)
{
    EXPECT_EQ(HostCrc32(0, "123456789", 9), 0xCBF43926u);
    DWORD piecewise = HostCrc32(HostCrc32(0, "1234", 4), "56789", 5);
    EXPECT_EQ(piecewise, 0xCBF43926u);
    EXPECT_EQ(HostCrc32(0, "", 0), 0u);
}

TEST(FakeText, ConvertsUtf8ToUtf16AndBack)
{
    struct {
        const char *utf8;
        std::u16string wide;
        const char *back; // null: same as utf8
    } cases[] = {
        {"\\a\\x.KVZ", u"\\a\\x.KVZ", nullptr},
        {"Gr\xC3\xBC\xC3\x9F", u"Gr\u00FC\u00DF", nullptr},
        {"\xE2\x82\xAC", u"\u20AC", nullptr},
        {"\xF0\x9F\x8E\xB5", u"\U0001F3B5", nullptr},
        {"a\xFF"
         "b",
         u"a\uFFFD"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"\xC0\xAF", u"\uFFFD\uFFFD", "\xEF\xBF\xBD\xEF\xBF\xBD"}, // overlong
        {"\xE2\x82", u"\uFFFD\uFFFD", "\xEF\xBF\xBD\xEF\xBF\xBD"}, // cut short
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto &c : cases) {
        WCHAR wide[16];
        int units = FakeUtf8ToWide(c.utf8, wide, 16);
        EXPECT_EQ(units, (int)c.wide.size()) << c.utf8;
        EXPECT_EQ(std::u16string((const char16_t *)wide), c.wide) << c.utf8;
        char back[32];
        EXPECT_GE(FakeWideToUtf8(wide, back, sizeof back), 0);
        EXPECT_STREQ(back, c.back ? c.back : c.utf8);
    }
}

TEST(FakeText, RefusesTextThatDoesNotFit)
{
    WCHAR wide[4];
    EXPECT_EQ(FakeUtf8ToWide("abc", wide, 4), 3);
    EXPECT_EQ(FakeUtf8ToWide("abcd", wide, 4), -1);
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(FakeUtf8ToWide("ab\xF0\x9F\x8E\xB5", wide, 4), -1) << "a pair must not be split";
    EXPECT_EQ(FakeUtf8ToWide("", wide, 0), -1);

    const WCHAR lone[] = {0xD800, 'a', 0};
    char text[8];
    EXPECT_EQ(FakeWideToUtf8(lone, text, sizeof text), 4);
    EXPECT_STREQ(text, "\xEF\xBF\xBD"
                       "a");
    EXPECT_EQ(FakeWideToUtf8(TEXT("\u20AC"), text, 3), -1);
    EXPECT_EQ(text[0], 0);

    WCHAR copy[3];
    EXPECT_EQ(FakeWideCopy(copy, 3, TEXT("ab")), 1);
    EXPECT_EQ(FakeWideCopy(copy, 3, TEXT("abc")), 0);
    EXPECT_EQ(std::u16string((const char16_t *)copy), u"ab");
    EXPECT_EQ(FakeWideCopy(copy, 3, nullptr), 1);
    EXPECT_EQ(copy[0], 0);
}

} // namespace
