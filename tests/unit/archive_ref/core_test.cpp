// The core's pure parts, from memory: the ustar index reader against
// hand-made headers, and the path and text helpers.
#include "archive_ref/ref_paths.h"
#include "archive_ref/tar_index.h"
#include "archive_ref/utf_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

// ---- A minimal ustar writer ----
struct Member {
    std::string name;
    char type = '0';
    std::string data;
    std::string prefix;
    std::string size_field; // written as given when not empty
    std::string magic = std::string("ustar\0", 6);
    bool bad_checksum = false;
};

static void PutOctal(std::string &block, size_t at, size_t width, unsigned long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*llo", (int)width - 1, value);
    std::memcpy(&block[at], text, width - 1);
}

static std::string Header(const Member &m)
{
    std::string block(512, '\0');
    std::memcpy(&block[0], m.name.data(), std::min<size_t>(m.name.size(), 100));
    PutOctal(block, 100, 8, 0644);
    PutOctal(block, 124, 12, m.data.size());
    if (!m.size_field.empty())
        std::memcpy(&block[124], m.size_field.data(), std::min<size_t>(m.size_field.size(), 12));
    PutOctal(block, 136, 12, 1700000000);
    block[156] = m.type;
    std::memcpy(&block[257], m.magic.data(), std::min<size_t>(m.magic.size(), 6));
    block[263] = '0';
    block[264] = '0';
    std::memcpy(&block[345], m.prefix.data(), std::min<size_t>(m.prefix.size(), 155));
    std::memset(&block[148], ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : block)
        sum += c;
    PutOctal(block, 148, 7, sum + (m.bad_checksum ? 1 : 0));
    return block;
}

static std::string Archive(const std::vector<Member> &members, int end_blocks = 2)
{
    std::string out;
    for (const Member &m : members) {
        out += Header(m);
        out += m.data;
        out.append((512 - m.data.size() % 512) % 512, '\0');
    }
    out.append(512 * end_blocks, '\0');
    return out;
}

static TarResult Index(const std::string &bytes, TarIndex *index)
{
    std::memset(index, 0, sizeof *index);
    return TarIndexFromMemory(index, bytes.data(), bytes.size());
}

static Member File(const std::string &name, const std::string &data = "x")
{
    Member m;
    m.name = name;
    m.data = data;
    return m;
}

static Member Typed(const std::string &name, char type)
{
    Member m;
    m.name = name;
    m.type = type;
    return m;
}

// ---- Index reader ----
TEST(TarIndexTest, RefusesWhatItCannotServe)
{
    Member bad_sum = File("a");
    bad_sum.bad_checksum = true;
    Member gnu = File("a");
    gnu.magic = "ustar ";
    Member big = File("a");
    big.size_field = "77777777777";
    Member non_octal = File("a");
    non_octal.size_field = "0000000001x";
    Member base256 = File("a");
    base256.size_field = std::string("\x80\0\0\0\0\0\0\0\0\0\0\x01", 12);
    struct Case {
        const char *what;
        std::string bytes;
        TarResult result;
    } const kCases[] = {
        {"hard link", Archive({File("a"), Typed("b", '1')}), TAR_UNSUPPORTED_TYPE},
        {"symlink", Archive({Typed("b", '2')}), TAR_UNSUPPORTED_TYPE},
        {"char device", Archive({Typed("b", '3')}), TAR_UNSUPPORTED_TYPE},
        {"block device", Archive({Typed("b", '4')}), TAR_UNSUPPORTED_TYPE},
        {"fifo", Archive({Typed("b", '6')}), TAR_UNSUPPORTED_TYPE},
        {"contiguous", Archive({Typed("b", '7')}), TAR_UNSUPPORTED_TYPE},
        {"pax header", Archive({Typed("b", 'x')}), TAR_UNSUPPORTED_TYPE},
        {"pax global", Archive({Typed("b", 'g')}), TAR_UNSUPPORTED_TYPE},
        {"gnu long name", Archive({Typed("b", 'L')}), TAR_UNSUPPORTED_TYPE},
        {"absolute", Archive({File("/etc/passwd")}), TAR_BAD_NAME},
        {"dot dot", Archive({File("a/../../b")}), TAR_BAD_NAME},
        {"dot dot alone", Archive({File("..")}), TAR_BAD_NAME},
        {"backslash", Archive({File("a\\b")}), TAR_BAD_NAME},
        {"colon", Archive({File("c:x")}), TAR_BAD_NAME},
        {"wildcard", Archive({File("a*")}), TAR_BAD_NAME},
        {"control", Archive({File("a\tb")}), TAR_BAD_NAME},
        {"bad utf-8", Archive({File("caf\xE9")}), TAR_BAD_NAME},
        {"overlong utf-8", Archive({File("\xC0\xAF")}), TAR_BAD_NAME},
        {"file that is only dots", Archive({File("./")}), TAR_BAD_NAME},
        {"duplicate", Archive({File("a"), File("a")}), TAR_DUPLICATE},
        {"case twin", Archive({File("Dir/a"), File("dir/A")}), TAR_DUPLICATE},
        {"file then dir", Archive({File("a"), File("a/b")}), TAR_DUPLICATE},
        {"dir then file", Archive({Typed("a", '5'), File("a")}), TAR_DUPLICATE},
        {"bad checksum", Archive({bad_sum}), TAR_BAD_CHECKSUM},
        {"gnu magic", Archive({gnu}), TAR_BAD_MAGIC},
        {"past the end", Archive({big}), TAR_PAST_END},
        {"non-octal size", Archive({non_octal}), TAR_BAD_NUMBER},
        {"base-256 size", Archive({base256}), TAR_BAD_NUMBER},
        {"no end block", Archive({File("a")}, 0), TAR_TRUNCATED},
        {"header cut short", Archive({File("a")}).substr(0, 1024 + 300), TAR_TRUNCATED},
        {"data cut short", Archive({File("a", std::string(600, 'd'))}).substr(0, 900),
         TAR_PAST_END},
        {"empty", std::string(), TAR_TRUNCATED},
        {"block of garbage", std::string(512, 'g'), TAR_BAD_NUMBER},
    };
    for (const Case &c : kCases) {
        TarIndex index;
        TarResult result = Index(c.bytes, &index);
        EXPECT_EQ(result, c.result) << c.what << ": got " << TarResultName(result);
        EXPECT_EQ(index.count, 0u) << c.what;
        TarIndexFree(&index);
    }
}

TEST(TarIndexTest, BuildsTheTreeWithImpliedDirectoriesInArchiveOrder)
{
    Member prefixed = File("file.txt", "long");
    prefixed.prefix = "p/" + std::string(120, 'q');
    TarIndex index;
    std::string bytes =
        Archive({File("./top.txt", "top"), File("a/b//c.txt", "abc"), Typed("a/", '5'),
                 Typed("./", '5'), File("A/d.txt"), prefixed, Typed("e", '5'), File("f", "")});
    ASSERT_EQ(Index(bytes, &index), TAR_OK);
    std::vector<std::string> top;
    for (uint32_t i = TarFirstChild(&index, TAR_ROOT); i != TAR_NONE;
         i = index.entries[i].next_sibling)
        top.push_back(index.entries[i].path);
    EXPECT_EQ(top, (std::vector<std::string>{"top.txt", "a", "p", "e", "f"}));

    uint32_t a = TarIndexFind(&index, "A", 1);
    ASSERT_NE(a, TAR_NONE);
    EXPECT_TRUE(index.entries[a].is_directory);
    std::vector<std::string> in_a;
    for (uint32_t i = TarFirstChild(&index, a); i != TAR_NONE; i = index.entries[i].next_sibling)
        in_a.push_back(index.entries[i].path + index.entries[i].name_at);
    EXPECT_EQ(in_a, (std::vector<std::string>{"b", "d.txt"}));

    const char *kLong = nullptr;
    std::string long_path = "p\\" + std::string(120, 'q') + "\\FILE.TXT";
    kLong = long_path.c_str();
    uint32_t found = TarIndexFind(&index, kLong, std::strlen(kLong));
    ASSERT_NE(found, TAR_NONE) << "prefix field not joined";
    EXPECT_EQ(index.entries[found].size, 4u);
    EXPECT_EQ(bytes.substr(index.entries[found].data_offset, 4), "long");
    uint32_t c = TarIndexFind(&index, "a\\B\\c.TXT", 9);
    ASSERT_NE(c, TAR_NONE);
    EXPECT_EQ(bytes.substr(index.entries[c].data_offset, 3), "abc");
    EXPECT_EQ(TarIndexFind(&index, "", 0), TAR_ROOT);
    EXPECT_EQ(TarIndexFind(&index, "a\\b\\c", 5), TAR_NONE);
    EXPECT_EQ(TarFirstChild(&index, c), TAR_NONE) << "a file has no children";
    TarIndexFree(&index);
}

TEST(TarIndexTest, AcceptsOctalFieldsAsToolsWriteThem)
{
    const char *const kSizes[] = {"00000000005", "5", "     5 ", "000000000005"};
    for (const char *size : kSizes) {
        Member m = File("a", "hello");
        m.size_field = std::string(size) + std::string(12 - std::strlen(size), '\0');
        TarIndex index;
        ASSERT_EQ(Index(Archive({m}), &index), TAR_OK) << '"' << size << '"';
        EXPECT_EQ(index.entries[0].size, 5u) << '"' << size << '"';
        TarIndexFree(&index);
    }
}

TEST(TarIndexTest, FindsEveryOneOfManyEntries)
{
    std::vector<Member> members;
    for (int i = 0; i < 5000; i++)
        members.push_back(File("d" + std::to_string(i % 7) + "/f" + std::to_string(i), ""));
    TarIndex index;
    ASSERT_EQ(Index(Archive(members), &index), TAR_OK);
    EXPECT_EQ(index.count, 5007u);
    for (int i = 0; i < 5000; i++) {
        std::string path = "D" + std::to_string(i % 7) + "\\F" + std::to_string(i);
        ASSERT_NE(TarIndexFind(&index, path.c_str(), path.size()), TAR_NONE) << path;
    }
    TarIndexFree(&index);
}

// ---- Paths ----
TEST(RefPathsTest, NormalFormOfPaths)
{
    struct Case {
        const char *in;
        const char *out;
    } const kCases[] = {
        {"a\\b", "a\\b"},
        {"a/b/", "a\\b"},
        {"a\\\\b\\.\\c", "a\\b\\c"},
        {"a\\b\\..\\c", "a\\c"},
        {"..\\x\\..\\..\\y", "..\\..\\y"},
        {"\\", "\\"},
        {"\\..\\a", "\\a"},
        {"C:\\dir\\", "C:\\dir"},
        {"c:\\", "c:\\"},
        {".", "."},
        {"a\\..", "."},
        {"\\\\server\\share", "\\\\server\\share"},
    };
    for (const Case &c : kCases) {
        char out[KVZ_REF_PATH_MAX];
        ASSERT_NE(RefNormalisePath(c.in, out, sizeof out), (size_t)-1) << c.in;
        EXPECT_STREQ(out, c.out) << c.in;
    }
    char tiny[4];
    EXPECT_EQ(RefNormalisePath("abcd", tiny, sizeof tiny), (size_t)-1);
    EXPECT_NE(RefNormalisePath("abc", tiny, sizeof tiny), (size_t)-1);
    EXPECT_EQ(RefNormalisePath("", tiny, sizeof tiny), (size_t)-1);
}

TEST(RefPathsTest, BelowAndWildcards)
{
    EXPECT_STREQ(RefPathBelow("C:\\Mnt\\a\\b", "c:\\mnt", 6), "a\\b");
    EXPECT_STREQ(RefPathBelow("C:\\Mnt", "c:\\mnt", 6), "");
    EXPECT_EQ(RefPathBelow("C:\\Mntx\\a", "c:\\mnt", 6), nullptr);
    EXPECT_STREQ(RefPathBelow("\\tmp\\a", "\\", 1), "tmp\\a");
    struct Case {
        const char *pattern;
        const char *name;
        bool match;
    } const kCases[] = {
        {"*", "anything", true},       {"*.*", "noext", true},   {"*.ogg", "A.OGG", true},
        {"*.ogg", "a.ogg.txt", false}, {"?b*", "ab", true},      {"?b*", "b", false},
        {"a*b*c", "aXbYc", true},      {"a*b*c", "aXbY", false}, {"", "a", false},
    };
    for (const Case &c : kCases)
        EXPECT_EQ(RefWildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(RefPathsTest, Utf16AndUtf8RoundTripAndRefuseMalformedText)
{
    const WCHAR kText[] = {'s', 0xFC, 0x20AC, 0xD83D, 0xDE00, 0};
    char utf8[32];
    ASSERT_EQ(Utf16ToUtf8(kText, utf8, sizeof utf8), 10u);
    EXPECT_STREQ(utf8, "s\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80");
    WCHAR back[16];
    ASSERT_EQ(Utf8ToUtf16(utf8, back, 16), 5u);
    EXPECT_EQ(std::memcmp(back, kText, sizeof kText), 0);
    const WCHAR kLone[] = {'a', 0xDC00, 0};
    EXPECT_EQ(Utf16ToUtf8(kLone, utf8, sizeof utf8), (size_t)-1);
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80", back, 16), (size_t)-1) << "encoded surrogate";
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82", back, 16), (size_t)-1) << "cut sequence";
    EXPECT_EQ(Utf16ToUtf8(kText, utf8, 10), (size_t)-1) << "no room for the terminator";
    EXPECT_EQ(Utf8ToUtf16("abc", back, 3), (size_t)-1) << "no room for the terminator";
}

} // namespace

// The index is sized from the headers; directories the archive only implies
// must still find room, in entries, buckets and path storage alike.
TEST(TarIndexTest, ImpliedDirectoriesOutgrowTheCountedRoom)
{
    std::vector<Member> members;
    for (int i = 0; i < 300; i++)
        members.push_back(File("dir" + std::to_string(i) + "/" + std::string(60, 's') + "/f.txt",
                               std::to_string(i)));
    std::string bytes = Archive(members);
    TarIndex index;
    ASSERT_EQ(Index(bytes, &index), TAR_OK);
    EXPECT_EQ(index.count, 900u);
    for (int i = 0; i < 300; i++) {
        std::string path = "DIR" + std::to_string(i) + "\\" + std::string(60, 's') + "\\f.txt";
        uint32_t found = TarIndexFind(&index, path.c_str(), path.size());
        ASSERT_NE(found, TAR_NONE) << path;
        EXPECT_EQ(index.entries[found].path, "dir" + path.substr(3)) << path;
        EXPECT_EQ(bytes.substr(index.entries[found].data_offset, index.entries[found].size),
                  std::to_string(i));
        uint32_t dir = TarIndexFind(&index, path.c_str(), path.find('\\'));
        ASSERT_NE(dir, TAR_NONE) << path;
        EXPECT_TRUE(index.entries[dir].is_directory);
    }
    TarIndexFree(&index);
    EXPECT_EQ(index.names, nullptr);
    EXPECT_EQ(index.entries, nullptr);
}
