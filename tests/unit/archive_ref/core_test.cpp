// The core's pure parts, from memory: the tar index reader against
// hand-made headers of the three formats, and the path and text helpers.
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
    std::string link;       // the linkname field
    std::string size_field; // written as given when not empty
    std::string magic = std::string("ustar\0", 6);
    bool bad_checksum = false;
    char sparse_more = 0; // GNU sparse header: an extension block follows
    std::string raw;      // 512 bytes written whole after the header (sparse extension blocks)
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
    std::memcpy(&block[157], m.link.data(), std::min<size_t>(m.link.size(), 100));
    block[263] = '0';
    block[264] = '0';
    std::memcpy(&block[257], m.magic.data(), std::min<size_t>(m.magic.size(), 8));
    std::memcpy(&block[345], m.prefix.data(), std::min<size_t>(m.prefix.size(), 155));
    block[482] = m.sparse_more;
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
        out += m.raw;
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

// An archive that must not mount, and the reason it must give.
struct RefusalCase {
    const char *what;
    std::string bytes;
    TarResult result;
};

template <size_t N> static void ExpectRefusals(const RefusalCase (&cases)[N])
{
    for (const RefusalCase &c : cases) {
        TarIndex index;
        TarResult result = Index(c.bytes, &index);
        EXPECT_EQ(result, c.result) << c.what << ": got " << TarResultName(result);
        EXPECT_EQ(index.count, 0u) << c.what;
        TarIndexFree(&index);
    }
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

static Member HardLink(const std::string &name, const std::string &target)
{
    Member m = Typed(name, '1');
    m.link = target;
    return m;
}

static const std::string kGnuMagic("ustar  \0", 8);

static Member Gnu(Member m)
{
    m.magic = kGnuMagic;
    return m;
}

// "LENGTH key=value\n", the length counting itself.
static std::string PaxRecord(const std::string &key, const std::string &value)
{
    std::string body = " " + key + "=" + value + "\n";
    size_t length = body.size() + 1;
    while (std::to_string(length).size() + body.size() != length)
        length++;
    return std::to_string(length) + body;
}

static Member Pax(const std::string &records, char type = 'x')
{
    Member m = Typed("PaxHeaders/x", type);
    m.data = records;
    return m;
}

// A GNU long-name ('L') or long-link ('K') record.
static Member LongRecord(char type, const std::string &text)
{
    Member m = Gnu(Typed("././@LongLink", type));
    m.data = text + std::string(1, '\0');
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
    Member negative = File("a");
    negative.size_field = std::string(12, '\xFF');
    Member huge = File("a");
    huge.size_field = std::string("\x80\x01\0\0\0\0\0\0\0\0\0\0", 12);
    const RefusalCase kCases[] = {
        {"multi-volume part", Archive({Typed("b", 'M')}), TAR_UNSUPPORTED_TYPE},
        {"unknown type", Archive({Typed("b", 'Z')}), TAR_UNSUPPORTED_TYPE},
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
        {"hard link named ..", Archive({File("a"), HardLink("../b", "a")}), TAR_BAD_NAME},
        {"hard link over its own file", Archive({File("a"), HardLink("A", "a")}), TAR_DUPLICATE},
        {"bad checksum", Archive({bad_sum}), TAR_BAD_CHECKSUM},
        {"gnu magic with a posix version", Archive({gnu}), TAR_BAD_MAGIC},
        {"past the end", Archive({big}), TAR_PAST_END},
        {"non-octal size", Archive({non_octal}), TAR_BAD_NUMBER},
        {"negative base-256 size", Archive({negative}), TAR_BAD_NUMBER},
        {"base-256 size past 63 bits", Archive({huge}), TAR_BAD_NUMBER},
        {"no end block", Archive({File("a")}, 0), TAR_TRUNCATED},
        {"header cut short", Archive({File("a")}).substr(0, 1024 + 300), TAR_TRUNCATED},
        {"data cut short", Archive({File("a", std::string(600, 'd'))}).substr(0, 900),
         TAR_PAST_END},
        {"empty", std::string(), TAR_TRUNCATED},
        {"block of garbage", std::string(512, 'g'), TAR_BAD_NUMBER},
    };
    ExpectRefusals(kCases);
}

// Extension records are held to the archive's end and to their own form as
// strictly as the headers.
TEST(TarIndexTest, RefusesMalformedExtensionRecords)
{
    Member pax_past_end = Pax(PaxRecord("path", "a"));
    pax_past_end.size_field = "77777";
    Member long_past_end = LongRecord('L', "a");
    long_past_end.size_field = "77777777777";
    const RefusalCase kCases[] = {
        {"pax length past its header", Archive({Pax("99 path=a\n"), File("f")}), TAR_BAD_RECORD},
        {"pax length not decimal", Archive({Pax("x path=a\n"), File("f")}), TAR_BAD_RECORD},
        {"pax record without newline", Archive({Pax("9 path=ab"), File("f")}), TAR_BAD_RECORD},
        {"pax record without key", Archive({Pax("5 =a\n"), File("f")}), TAR_BAD_RECORD},
        {"pax record without '='", Archive({Pax("8 pathx\n"), File("f")}), TAR_BAD_RECORD},
        {"pax size not decimal", Archive({Pax(PaxRecord("size", "12a")), File("f")}),
         TAR_BAD_RECORD},
        {"pax size of 25 digits",
         Archive({Pax(PaxRecord("size", std::string(25, '1'))), File("f")}), TAR_BAD_RECORD},
        {"pax size past the end", Archive({Pax(PaxRecord("size", "100000")), File("f")}),
         TAR_PAST_END},
        {"pax path holding a nul",
         Archive({Pax(PaxRecord("path", std::string("a\0b", 3))), File("f")}), TAR_BAD_NAME},
        {"pax header past the end", Archive({pax_past_end, File("f")}), TAR_PAST_END},
        {"pax header without member", Archive({Pax(PaxRecord("path", "a"))}), TAR_BAD_RECORD},
        {"long name without member", Archive({LongRecord('L', "a")}), TAR_BAD_RECORD},
        {"long name past the end", Archive({long_past_end, File("f")}), TAR_PAST_END},
        {"long name too long",
         Archive({LongRecord('L', std::string(kTarRawNameMax, 'n')), File("f")}),
         TAR_NAME_TOO_LONG},
        {"pax path too long",
         Archive({Pax(PaxRecord("path", std::string(kTarPathMax + 1, 'n'))), File("f")}),
         TAR_NAME_TOO_LONG},
        {"path too long once joined",
         Archive({Pax(PaxRecord("path", std::string(kTarPathMax / 2, 'a') + "/" +
                                            std::string(kTarPathMax / 2, 'b'))),
                  File("f")}),
         TAR_NAME_TOO_LONG},
    };
    ExpectRefusals(kCases);
}

enum Format { USTAR, GNU, PAX };

// Appends path as each format holds a name too long for the name field: the
// prefix field, a long-name record, a pax path.
static void Put(std::vector<Member> *members, Format format, const std::string &path, char type,
                const std::string &data = "")
{
    Member m = Typed(path, type);
    m.data = data;
    if (format == GNU)
        m = Gnu(m);
    if (path.size() > 100 && format == USTAR) {
        size_t split = path.rfind('/', 155);
        m.prefix = path.substr(0, split);
        m.name = path.substr(split + 1);
    } else if (path.size() > 100) {
        members->push_back(
            format == GNU ? LongRecord('L', path)
                          : Pax(PaxRecord("mtime", "1700000000.25") + PaxRecord("path", path)));
        m.name = path.substr(0, 100);
    }
    members->push_back(m);
}

// One tree in ustar, GNU and pax form gives one index: a path of 200
// characters in a subfolder (and, where the format holds it, one of 300), an
// empty directory, an empty file; symbolic links, a hard link naming no
// member, devices and fifos are left out.
TEST(TarIndexTest, ReadsUstarGnuAndPaxAlike)
{
    const std::string k200 = "dir/" + std::string(95, 'd') + "/" + std::string(100, 'f');
    const std::string k300 = "dir/" + std::string(150, 'e') + "/" + std::string(145, 'g');
    for (Format format : {USTAR, GNU, PAX}) {
        std::vector<Member> members;
        if (format == PAX)
            members.push_back(Pax(PaxRecord("comment", "global"), 'g'));
        Put(&members, format, "dir/", '5');
        Put(&members, format, k200, '0', "two hundred");
        Put(&members, format, "empty/", '5');
        Put(&members, format, "zero", '0');
        Put(&members, format, "sym", '2');
        Put(&members, format, "hard", '1');
        Put(&members, format, "dev", '3');
        Put(&members, format, "fifo", '6');
        if (format == GNU)
            members.push_back(LongRecord('K', std::string(300, 't')));
        if (format == PAX)
            members.push_back(Pax(PaxRecord("linkpath", std::string(300, 't'))));
        Put(&members, format, "longlink", '2');
        if (format != USTAR)
            Put(&members, format, k300, '0', "three hundred");
        std::string bytes = Archive(members);
        TarIndex index;
        ASSERT_EQ(Index(bytes, &index), TAR_OK) << "format " << format;
        EXPECT_EQ(index.count, format == USTAR ? 5u : 7u) << "format " << format;
        struct Want {
            std::string path;
            const char *data; // nullptr for a directory
        } const kWanted[] = {{"dir", nullptr},
                             {k200, "two hundred"},
                             {"empty", nullptr},
                             {"zero", ""},
                             {k300, "three hundred"}};
        for (const Want &w : kWanted) {
            if (format == USTAR && w.path == k300)
                continue;
            std::string path = w.path;
            for (char &c : path)
                c = c == '/' ? '\\' : c;
            uint32_t at = TarIndexFind(&index, path.c_str(), path.size());
            ASSERT_NE(at, kTarNone) << "format " << format << ": " << path;
            const TarEntry &entry = index.entries[at];
            EXPECT_EQ(entry.isDirectory, w.data == nullptr) << path;
            EXPECT_EQ(entry.mtime, 1700000000) << path;
            if (w.data != nullptr) {
                EXPECT_EQ(bytes.substr(entry.dataOffset, entry.size), w.data) << path;
            }
        }
        for (const char *left_out : {"sym", "hard", "dev", "fifo", "longlink"})
            EXPECT_EQ(TarIndexFind(&index, left_out, std::strlen(left_out)), kTarNone)
                << "format " << format << ": " << left_out;
        TarIndexFree(&index);
    }
}

// Sparse files are left out however they are written, and the reader lands
// on the member after them: past GNU's extension blocks, past a pax header
// of GNU.sparse records. So is a link whose name no path could hold.
TEST(TarIndexTest, LeavesOutSparseFilesAndLongNamedLinks)
{
    Member gnu_sparse = Gnu(Typed("sparse", 'S'));
    gnu_sparse.sparse_more = 1;
    gnu_sparse.raw = std::string(512, '\0');
    gnu_sparse.data = std::string(700, 's');
    std::string pax_sparse = PaxRecord("GNU.sparse.major", "1") +
                             PaxRecord("GNU.sparse.minor", "0") +
                             PaxRecord("GNU.sparse.name", "sparse2");
    std::string bytes =
        Archive({gnu_sparse, Pax(pax_sparse), File("GNUSparseFile.0/sparse2", "map"),
                 LongRecord('L', std::string(3 * kTarPathMax, 'n')), Typed("short", '2'),
                 File("after", "after")});
    TarIndex index;
    ASSERT_EQ(Index(bytes, &index), TAR_OK);
    ASSERT_EQ(index.count, 1u);
    EXPECT_STREQ(index.entries[0].path, "after");
    EXPECT_EQ(bytes.substr(index.entries[0].dataOffset, index.entries[0].size), "after");
    TarIndexFree(&index);
}

// A hard link is a file with the data of the earlier file it names, however
// the format spells the name; one naming anything else is left out.
TEST(TarIndexTest, ServesHardLinksToEarlierFiles)
{
    const std::string k300 = "long/" + std::string(150, 'e') + "/" + std::string(144, 'g');
    Member long_file = Gnu(File(k300.substr(0, 100), "long"));
    Member gnu_link = Gnu(Typed("gnu_link", '1'));
    std::string bytes = Archive({
        File("dir/a", "alpha"),
        Typed("d", '5'),
        Typed("sym", '2'),
        HardLink("same", "./DIR//a"),
        HardLink("chain", "same"),
        HardLink("to_later", "later"),
        HardLink("to_missing", "nothing"),
        HardLink("to_dir", "d"),
        HardLink("to_sym", "sym"),
        HardLink("to_bad", "../dir/a"),
        LongRecord('L', k300),
        long_file,
        LongRecord('K', k300),
        gnu_link,
        Pax(PaxRecord("linkpath", k300)),
        HardLink("pax_link", "ignored"),
        File("later", "later"),
    });
    TarIndex index;
    ASSERT_EQ(Index(bytes, &index), TAR_OK);
    const struct {
        const char *path;
        const char *data;
    } kServed[] = {{"same", "alpha"},
                   {"chain", "alpha"},
                   {"gnu_link", "long"},
                   {"pax_link", "long"},
                   {"later", "later"}};
    for (const auto &w : kServed) {
        uint32_t at = TarIndexFind(&index, w.path, std::strlen(w.path));
        ASSERT_NE(at, kTarNone) << w.path;
        const TarEntry &entry = index.entries[at];
        EXPECT_FALSE(entry.isDirectory) << w.path;
        EXPECT_EQ(entry.mtime, 1700000000) << w.path;
        EXPECT_EQ(bytes.substr(entry.dataOffset, entry.size), w.data) << w.path;
    }
    for (const char *left_out : {"to_later", "to_missing", "to_dir", "to_sym", "to_bad"})
        EXPECT_EQ(TarIndexFind(&index, left_out, std::strlen(left_out)), kTarNone) << left_out;
    TarIndexFree(&index);
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
    for (uint32_t i = TarFirstChild(&index, kTarRoot); i != kTarNone;
         i = index.entries[i].nextSibling)
        top.push_back(index.entries[i].path);
    EXPECT_EQ(top, (std::vector<std::string>{"top.txt", "a", "p", "e", "f"}));

    uint32_t a = TarIndexFind(&index, "A", 1);
    ASSERT_NE(a, kTarNone);
    EXPECT_TRUE(index.entries[a].isDirectory);
    std::vector<std::string> in_a;
    for (uint32_t i = TarFirstChild(&index, a); i != kTarNone; i = index.entries[i].nextSibling)
        in_a.push_back(index.entries[i].path + index.entries[i].nameAt);
    EXPECT_EQ(in_a, (std::vector<std::string>{"b", "d.txt"}));

    const char *kLong = nullptr;
    std::string long_path = "p\\" + std::string(120, 'q') + "\\FILE.TXT";
    kLong = long_path.c_str();
    uint32_t found = TarIndexFind(&index, kLong, std::strlen(kLong));
    ASSERT_NE(found, kTarNone) << "prefix field not joined";
    EXPECT_EQ(index.entries[found].size, 4u);
    EXPECT_EQ(bytes.substr(index.entries[found].dataOffset, 4), "long");
    uint32_t c = TarIndexFind(&index, "a\\B\\c.TXT", 9);
    ASSERT_NE(c, kTarNone);
    EXPECT_EQ(bytes.substr(index.entries[c].dataOffset, 3), "abc");
    EXPECT_EQ(TarIndexFind(&index, "", 0), kTarRoot);
    EXPECT_EQ(TarIndexFind(&index, "a\\b\\c", 5), kTarNone);
    EXPECT_EQ(TarFirstChild(&index, c), kTarNone) << "a file has no children";
    TarIndexFree(&index);
}

TEST(TarIndexTest, AcceptsOctalFieldsAsToolsWriteThem)
{
    const std::string kSizes[] = {"00000000005", "5", "     5 ", "000000000005",
                                  std::string("\x80\0\0\0\0\0\0\0\0\0\0\x05", 12)};
    for (const std::string &size : kSizes) {
        Member m = File("a", "hello");
        m.size_field = size + std::string(12 - size.size(), '\0');
        TarIndex index;
        ASSERT_EQ(Index(Archive({m}), &index), TAR_OK) << '"' << size << '"';
        EXPECT_EQ(index.entries[0].size, 5u) << '"' << size << '"';
        TarIndexFree(&index);
    }
    Member zero_in_header = File("a", "hello");
    zero_in_header.size_field = "0";
    TarIndex index;
    ASSERT_EQ(Index(Archive({Pax(PaxRecord("size", "5")), zero_in_header}), &index), TAR_OK);
    EXPECT_EQ(index.entries[0].size, 5u) << "the pax size overrides the header's";
    TarIndexFree(&index);
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
        ASSERT_NE(TarIndexFind(&index, path.c_str(), path.size()), kTarNone) << path;
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
        ASSERT_NE(found, kTarNone) << path;
        EXPECT_EQ(index.entries[found].path, "dir" + path.substr(3)) << path;
        EXPECT_EQ(bytes.substr(index.entries[found].dataOffset, index.entries[found].size),
                  std::to_string(i));
        uint32_t dir = TarIndexFind(&index, path.c_str(), path.find('\\'));
        ASSERT_NE(dir, kTarNone) << path;
        EXPECT_TRUE(index.entries[dir].isDirectory);
    }
    TarIndexFree(&index);
    EXPECT_EQ(index.names, nullptr);
    EXPECT_EQ(index.entries, nullptr);
}
