// KVZ32.DLL, loaded and bound by ordinal as the unpacker does, on archives
// the fixture made with tar.
#include "ref_test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <vector>

namespace
{

struct Found {
    std::string name;
    DWORD attributes;
    DWORD size_low;
    DWORD size_high;
};

class Desktop : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(lib.Load(&why)) << why;
    }
    void TearDown() override { lib.Unload(); }

    DWORD MountBasic()
    {
        return lib.Mount(Fx("basic.tar").c_str(), Fx("mnt").c_str(), GENERIC_READ, 1);
    }

    // Every result of a search, in order; fails the test on a bad handle.
    std::vector<Found> Search(const std::string &pattern)
    {
        std::vector<Found> all;
        WIN32_FIND_DATAA data;
        memset(&data, 0x55, sizeof data);
        KVZHANDLE search = lib.FindFirstFile(pattern.c_str(), &data);
        if (search == KVZ_INVALID_HANDLE)
            return all;
        EXPECT_NE(search, 0u);
        do
            all.push_back(
                {data.cFileName, data.dwFileAttributes, data.nFileSizeLow, data.nFileSizeHigh});
        while (lib.FindNextFile(search, &data));
        EXPECT_EQ(::GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
        EXPECT_TRUE(lib.FindClose(search));
        return all;
    }

    DesktopLib lib;
};

TEST_F(Desktop, MountsUnmountsAndRefusesASecondArchiveOnOneDirectory)
{
    ASSERT_EQ(MountBasic(), 1u);
    // The same directory in another spelling still holds the first archive.
    EXPECT_EQ(lib.Mount(Fx("second.tar").c_str(), (Fx("MNT") + "\\").c_str(), GENERIC_READ, 1), 0u);
    EXPECT_EQ(lib.UnMount((Fx("Mnt") + "\\").c_str()), 1u);
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 0u) << "unmounted twice";
    EXPECT_EQ(lib.UnMount(Fx("mnt2").c_str()), 0u) << "never mounted";
    EXPECT_EQ(lib.Mount(Fx("missing.tar").c_str(), Fx("mnt").c_str(), GENERIC_READ, 1), 0u);
    EXPECT_EQ(::GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(Desktop, RefusesArchivesItCannotServeFaithfully)
{
    const char *const kBad[] = {
        "bad_backslash.tar",  "bad_dotdot.tar",      "bad_absolute.tar",     "bad_duplicate.tar",
        "bad_case_twin.tar",  "bad_file_as_dir.tar", "bad_checksum.tar",     "bad_magic.tar",
        "bad_size_octal.tar", "bad_past_end.tar",    "bad_type.tar",         "bad_header_cut.tar",
        "bad_no_end.tar",     "bad_empty.tar",       "bad_too_long_gnu.tar", "bad_too_long_pax.tar",
    };
    for (const char *name : kBad) {
        EXPECT_EQ(lib.Mount(Fx(name).c_str(), Fx("mnt").c_str(), GENERIC_READ, 1), 0u) << name;
        EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 0u) << name << " left a mount behind";
    }
    EXPECT_EQ(lib.Mount(Fx("bad_too_long_pax.tar").c_str(), Fx("mnt").c_str(), GENERIC_READ, 1),
              0u);
    EXPECT_EQ(::GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE)
        << "a path the library cannot hold";
}

// Every directory and file below dir, depth first in search order, as
// "path/" or "path size"; "." and ".." are looked at, not listed.
static void Walk(const DesktopLib &lib, const std::string &dir, const std::string &below,
                 std::vector<std::string> *tree)
{
    WIN32_FIND_DATAA data;
    KVZHANDLE search = lib.FindFirstFile((dir + "\\*").c_str(), &data);
    ASSERT_NE(search, KVZ_INVALID_HANDLE) << dir;
    int dots = 0;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") {
            EXPECT_EQ(dots++, name == "." ? 0 : 1) << dir << ": " << name << " out of place";
            continue;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree->push_back(below + name + "/");
            Walk(lib, dir + "\\" + name, below + name + "/", tree);
        } else {
            tree->push_back(below + name + " " + std::to_string(data.nFileSizeLow));
        }
    } while (lib.FindNextFile(search, &data));
    EXPECT_EQ(dots, 2) << dir << ": \".\" and \"..\" first, as on disk";
    EXPECT_TRUE(lib.FindClose(search));
}

// What GNU tar writes by default, with --format=pax and --format=ustar
// mounts as one tree, the hard link as a second copy of its file, symbolic
// links and fifos left out, and reads byte for byte.
TEST_F(Desktop, MountsTheThreeFormatsTarWrites)
{
    const std::string k200 = "sub/" + std::string(95, 'd') + "/" + std::string(96, 'f') + ".txt";
    const std::string k300 = "long/" + std::string(150, 'e') + "/" + std::string(141, 'g') + ".txt";
    for (const char *format : {"gnu", "pax", "ustar"}) {
        std::string archive = Fx(std::string("formats_") + format + ".tar");
        ASSERT_EQ(lib.Mount(archive.c_str(), Fx("mnt2").c_str(), GENERIC_READ, 1), 1u) << format;
        std::vector<std::string> tree;
        Walk(lib, Fx("mnt2"), "", &tree);
        std::vector<std::string> expected = {
            "empty/",     "readme.txt 7", "sub/",     k200.substr(0, 99) + "/",
            k200 + " 12", "zero.bin 0",   "zz_hard 7"};
        if (std::string(format) != "ustar")
            expected.insert(expected.begin() + 1,
                            {"long/", k300.substr(0, 155) + "/", k300 + " 14"});
        EXPECT_EQ(tree, expected) << format;
        const struct {
            std::string path;
            const char *data;
        } kFiles[] = {{"readme.txt", "readme\n"},
                      {"zero.bin", ""},
                      {k200, "two hundred\n"},
                      {"zz_hard", "readme\n"}};
        for (const auto &f : kFiles) {
            std::string path = Fx("mnt2\\" + f.path);
            KVZHANDLE file = lib.Open(path);
            ASSERT_NE(file, KVZ_INVALID_HANDLE) << format << ": " << f.path;
            std::string data, why;
            EXPECT_TRUE(ReadToEnd(lib.ReadFile, file, &data, &why)) << why;
            EXPECT_EQ(data, f.data) << format << ": " << f.path;
            EXPECT_TRUE(lib.CloseHandle(file));
        }
        EXPECT_EQ(lib.UnMount(Fx("mnt2").c_str()), 1u) << format;
    }
}

TEST_F(Desktop, SearchYieldsArchiveEntriesThenDiskEntriesOnce)
{
    ASSERT_EQ(MountBasic(), 1u);
    std::vector<Found> all = Search(Fx("mnt") + "\\*");
    ASSERT_GE(all.size(), 7u);
    EXPECT_EQ(all[0].name, ".");
    EXPECT_EQ(all[0].attributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(all[1].name, "..");
    EXPECT_EQ(all[1].attributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(all[2].name, "readme.txt");
    EXPECT_EQ(all[2].attributes, (DWORD)FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(all[2].size_low, 24u);
    EXPECT_EQ(all[3].name, "Sub");
    EXPECT_EQ(all[3].attributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(all[4].name, "emptydir");
    EXPECT_EQ(all[4].attributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    // The disk's own "." and ".." are not yielded a second time.
    std::set<std::string> disk;
    for (size_t i = 5; i < all.size(); i++)
        EXPECT_TRUE(disk.insert(all[i].name).second) << all[i].name << " twice";
    // README.TXT on disk is the archive's readme.txt and is not yielded again.
    EXPECT_EQ(disk, (std::set<std::string>{"disk_only.txt", "disksub"}));
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
}

TEST_F(Desktop, SearchesArchiveSubdirectoriesWithPatternsAndExactSizes)
{
    ASSERT_EQ(MountBasic(), 1u);
    struct Case {
        const char *pattern;
        std::vector<std::string> names;
    } const kCases[] = {
        {"mnt\\Sub\\*", {".", "..", "Deeper", "Inner.TXT", "block.bin", "zero.bin"}},
        {"mnt\\sub\\*.BIN", {"block.bin", "zero.bin"}},
        {"mnt\\SUB\\?nner.*", {"Inner.TXT"}},
        {"mnt\\Sub\\.*", {".", ".."}},
        {"mnt\\Sub\\?", {"."}},
        {"mnt\\emptydir\\*", {".", ".."}},
        {"MNT\\sub\\deeper\\*",
         {".", "..", "a_directory_name_long_enough_to_need_the_prefix_field_of_ustar_headers",
          "big.bin"}},
    };
    for (const Case &c : kCases) {
        std::vector<Found> all = Search(Fx(c.pattern));
        std::vector<std::string> names;
        for (const Found &f : all)
            names.push_back(f.name);
        EXPECT_EQ(names, c.names) << c.pattern;
    }
    std::vector<Found> sub = Search(Fx("mnt\\Sub\\*"));
    ASSERT_EQ(sub.size(), 6u);
    EXPECT_EQ(sub[2].attributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(sub[4].size_low, 512u);
    EXPECT_EQ(sub[5].size_low, 0u);
    std::vector<Found> deeper = Search(Fx("mnt\\Sub\\Deeper\\big.bin"));
    ASSERT_EQ(deeper.size(), 1u);
    EXPECT_EQ(deeper[0].size_low, 100000u);
    EXPECT_EQ(deeper[0].size_high, 0u);
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
}

TEST_F(Desktop, SearchFailuresSayWhy)
{
    ASSERT_EQ(MountBasic(), 1u);
    struct Case {
        const char *pattern;
        DWORD error;
    } const kCases[] = {
        {"mnt\\nothere\\*", ERROR_PATH_NOT_FOUND},
        {"nothere\\*", ERROR_PATH_NOT_FOUND},
        {"mnt\\Sub\\*.xyz", ERROR_NO_MORE_FILES},
        {"mnt\\emptydir\\*.*x", ERROR_NO_MORE_FILES},
    };
    for (const Case &c : kCases) {
        WIN32_FIND_DATAA data;
        ::SetLastError(0x55555555);
        EXPECT_EQ(lib.FindFirstFile(Fx(c.pattern).c_str(), &data), KVZ_INVALID_HANDLE) << c.pattern;
        EXPECT_EQ(::GetLastError(), c.error) << c.pattern;
    }
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
}

TEST_F(Desktop, ReadsWholeEntriesByteForByteIn100BytePieces)
{
    ASSERT_EQ(MountBasic(), 1u);
    const char *const kEntries[] = {
        "readme.txt",
        "Sub\\Inner.TXT",
        "Sub\\zero.bin",
        "Sub\\block.bin",
        "Sub\\Deeper\\big.bin",
        "Sub\\Deeper\\a_directory_name_long_enough_to_need_the_prefix_field_of_ustar_headers\\"
        "and_a_file_name_that_is_quite_long_too.txt",
    };
    for (const char *entry : kEntries) {
        KVZHANDLE file = lib.Open(Fx("mnt\\") + entry);
        ASSERT_NE(file, KVZ_INVALID_HANDLE) << entry;
        std::string data, why;
        EXPECT_TRUE(ReadToEnd(lib.ReadFile, file, &data, &why)) << entry << ": " << why;
        EXPECT_EQ(data, ReadFixtureFile(std::string("src\\basic\\") + entry)) << entry;
        DWORD got = 0x55555555;
        EXPECT_TRUE(lib.ReadFile(file, &why[0], 1, &got, nullptr));
        EXPECT_EQ(got, 0u) << entry << ": a read at the end must store 0 again";
        EXPECT_TRUE(lib.CloseHandle(file));
    }
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
}

// Closed entries' records and buffers serve the next opens: whatever came
// before, every piece size and two entries read in turn give the right bytes.
TEST_F(Desktop, ReusedRecordsReadRightAtEveryPieceSize)
{
    ASSERT_EQ(MountBasic(), 1u);
    const std::string big = ReadFixtureFile("src\\basic\\Sub\\Deeper\\big.bin");
    const std::string small = ReadFixtureFile("src\\basic\\readme.txt");
    ASSERT_EQ(big.size(), 100000u);
    const DWORD kPieces[] = {1, 7, 100, 511, 4096, 65535, 65536, 70000, 200000};
    for (DWORD piece : kPieces) {
        KVZHANDLE a = lib.Open(Fx("mnt\\readme.txt"));
        KVZHANDLE b = lib.Open(Fx("mnt\\Sub\\Deeper\\big.bin"));
        ASSERT_NE(a, KVZ_INVALID_HANDLE);
        ASSERT_NE(b, KVZ_INVALID_HANDLE);
        std::string got_a, got_b, buffer(piece, '\0');
        for (bool more = true; more;) {
            more = false;
            for (KVZHANDLE file : {a, b}) {
                DWORD got = 0x55555555;
                EXPECT_TRUE(lib.ReadFile(file, &buffer[0], piece, &got, nullptr));
                ASSERT_LE(got, piece);
                (file == a ? got_a : got_b).append(buffer, 0, got);
                more = more || got > 0;
            }
        }
        EXPECT_EQ(got_a, small) << "piece " << piece;
        EXPECT_TRUE(got_b == big) << "piece " << piece << ": " << got_b.size() << " bytes";
        EXPECT_TRUE(lib.CloseHandle(b));
        EXPECT_TRUE(lib.CloseHandle(a));
    }
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
}

TEST_F(Desktop, PathsIgnoreLetterCaseAndExtraSeparators)
{
    ASSERT_EQ(lib.Mount(Fx("basic.tar").c_str(), (Fx("mnt") + "\\").c_str(), GENERIC_READ, 1), 1u);
    const char *const kSpellings[] = {"mnt\\SUB\\inner.txt", "MNT\\Sub\\\\INNER.TXT",
                                      "mnt\\.\\sub\\Deeper\\..\\inner.txt"};
    for (const char *spelling : kSpellings) {
        KVZHANDLE file = lib.Open(Fx(spelling));
        ASSERT_NE(file, KVZ_INVALID_HANDLE) << spelling;
        std::string data, why;
        EXPECT_TRUE(ReadToEnd(lib.ReadFile, file, &data, &why)) << why;
        EXPECT_EQ(data, "inner text\n") << spelling;
        EXPECT_TRUE(lib.CloseHandle(file));
    }
    EXPECT_EQ(lib.UnMount(Fx("MNT").c_str()), 1u);
}

TEST_F(Desktop, OpensRealFilesWhereTheArchiveHasNoEntry)
{
    ASSERT_EQ(MountBasic(), 1u);
    struct Case {
        const char *path;
        const char *content;
    } const kCases[] = {
        {"mnt\\disk_only.txt", "on disk only\n"},
        {"mnt\\README.TXT", "Hello from the archive.\n"}, // the archive's entry wins
        {"src\\second\\notes.txt", "notes\n"},
    };
    for (const Case &c : kCases) {
        KVZHANDLE file = lib.Open(Fx(c.path));
        ASSERT_NE(file, KVZ_INVALID_HANDLE) << c.path;
        std::string data, why;
        EXPECT_TRUE(ReadToEnd(lib.ReadFile, file, &data, &why)) << c.path << ": " << why;
        EXPECT_EQ(data, c.content) << c.path;
        EXPECT_TRUE(lib.CloseHandle(file));
    }
    ::SetLastError(0x55555555);
    EXPECT_EQ(lib.Open(Fx("mnt\\nope.txt")), KVZ_INVALID_HANDLE);
    EXPECT_EQ(::GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    ::SetLastError(0x55555555);
    EXPECT_EQ(lib.Open(Fx("mnt\\nodir\\nope.txt")), KVZ_INVALID_HANDLE);
    EXPECT_EQ(::GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(lib.Open(Fx("mnt\\Sub")), KVZ_INVALID_HANDLE) << "an archive directory opened";
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
}

TEST_F(Desktop, RefusesClosedUnknownAndWrongKindHandles)
{
    ASSERT_EQ(MountBasic(), 1u);
    KVZHANDLE file = lib.Open(Fx("mnt\\readme.txt"));
    ASSERT_NE(file, KVZ_INVALID_HANDLE);
    ASSERT_NE(file, 0u);
    WIN32_FIND_DATAA data;
    KVZHANDLE search = lib.FindFirstFile(Fx("mnt\\*").c_str(), &data);
    ASSERT_NE(search, KVZ_INVALID_HANDLE);
    EXPECT_FALSE(lib.FindClose(file)) << "FindClose took a file handle";
    EXPECT_FALSE(lib.CloseHandle(search)) << "CloseHandle took a search handle";
    char byte;
    DWORD got = 0x55555555;
    EXPECT_FALSE(lib.ReadFile(search, &byte, 1, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(lib.FindClose(search));
    EXPECT_FALSE(lib.FindNextFile(search, &data));
    EXPECT_TRUE(lib.CloseHandle(file));

    KVZHANDLE reopened = lib.Open(Fx("mnt\\readme.txt"));
    EXPECT_NE(reopened, file) << "a closed handle's value came back at once";
    const KVZHANDLE kRefused[] = {file, 0u, KVZ_INVALID_HANDLE, 0x12345678u, reopened + 1};
    for (KVZHANDLE handle : kRefused) {
        got = 0x55555555;
        ::SetLastError(0x55555555);
        EXPECT_FALSE(lib.ReadFile(handle, &byte, 1, &got, nullptr)) << std::hex << handle;
        EXPECT_EQ(got, 0u) << std::hex << handle;
        EXPECT_EQ(::GetLastError(), (DWORD)ERROR_INVALID_HANDLE) << std::hex << handle;
        EXPECT_FALSE(lib.CloseHandle(handle)) << std::hex << handle;
    }
    EXPECT_TRUE(lib.CloseHandle(reopened));
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
}

TEST_F(Desktop, OpenEntriesOutliveTheirUnmount)
{
    ASSERT_EQ(MountBasic(), 1u);
    KVZHANDLE file = lib.Open(Fx("mnt\\Sub\\Deeper\\big.bin"));
    ASSERT_NE(file, KVZ_INVALID_HANDLE);
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
    EXPECT_EQ(lib.Open(Fx("mnt\\Sub\\Deeper\\big.bin")), KVZ_INVALID_HANDLE);
    std::string data, why;
    EXPECT_TRUE(ReadToEnd(lib.ReadFile, file, &data, &why)) << why;
    EXPECT_EQ(data.size(), 100000u);
    EXPECT_TRUE(lib.CloseHandle(file));
}

TEST_F(Desktop, TwoArchivesOnTwoDirectories)
{
    ASSERT_EQ(MountBasic(), 1u);
    ASSERT_EQ(lib.Mount(Fx("second.tar").c_str(), Fx("mnt2").c_str(), GENERIC_READ, 1), 1u);
    std::vector<Found> all = Search(Fx("mnt2\\*"));
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(all[2].name, "music");
    EXPECT_EQ(all[3].name, "notes.txt");
    KVZHANDLE a = lib.Open(Fx("mnt\\readme.txt"));
    KVZHANDLE b = lib.Open(Fx("mnt2\\music\\track.ogg"));
    ASSERT_NE(a, KVZ_INVALID_HANDLE);
    ASSERT_NE(b, KVZ_INVALID_HANDLE);
    std::string data, why;
    EXPECT_TRUE(ReadToEnd(lib.ReadFile, b, &data, &why)) << why;
    EXPECT_EQ(data, "two\n");
    EXPECT_EQ(lib.Open(Fx("mnt\\music\\track.ogg")), KVZ_INVALID_HANDLE) << "archives mixed up";
    EXPECT_TRUE(lib.CloseHandle(a));
    EXPECT_TRUE(lib.CloseHandle(b));
    EXPECT_EQ(lib.UnMount(Fx("mnt2").c_str()), 1u);
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
}

struct SharedRead {
    const DesktopLib *lib;
    KVZHANDLE shared;
    std::string expected;
    int failures[8];
    DWORD shared_bytes[8];
};

static void ReadFromThread(void *context, int index)
{
    SharedRead *s = static_cast<SharedRead *>(context);
    for (int round = 0; round < 3; round++) {
        KVZHANDLE own = s->lib->Open(Fx("mnt\\Sub\\Deeper\\big.bin"));
        std::string data, why;
        if (own == KVZ_INVALID_HANDLE || !ReadToEnd(s->lib->ReadFile, own, &data, &why) ||
            data != s->expected)
            s->failures[index]++;
        s->lib->CloseHandle(own);
    }
    char buffer[100];
    DWORD got;
    while (s->lib->ReadFile(s->shared, buffer, sizeof buffer, &got, nullptr) && got > 0)
        s->shared_bytes[index] += got;
}

TEST_F(Desktop, HandlesServeSeveralThreadsAtOnce)
{
    ASSERT_EQ(MountBasic(), 1u);
    SharedRead s = {&lib,
                    lib.Open(Fx("mnt\\Sub\\Deeper\\big.bin")),
                    ReadFixtureFile("src\\basic\\Sub\\Deeper\\big.bin"),
                    {},
                    {}};
    ASSERT_NE(s.shared, KVZ_INVALID_HANDLE);
    ASSERT_EQ(s.expected.size(), 100000u);
    RunThreads(8, ReadFromThread, &s);
    DWORD total = 0;
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(s.failures[i], 0) << "thread " << i;
        total += s.shared_bytes[i];
    }
    EXPECT_EQ(total, 100000u) << "one handle read from eight threads lost or repeated bytes";
    EXPECT_TRUE(lib.CloseHandle(s.shared));
    EXPECT_EQ(lib.UnMount(Fx("mnt").c_str()), 1u);
}

TEST_F(Desktop, OpensEveryEntryOfALargeArchiveQuickly)
{
    ASSERT_EQ(lib.Mount(Fx("many.tar").c_str(), Fx("mnt2").c_str(), GENERIC_READ, 1), 1u);
    auto start = std::chrono::steady_clock::now();
    int failed = 0;
    for (int i = 0; i < 20000; i++) {
        char path[64];
        std::snprintf(path, sizeof path, "mnt2\\d%02d\\f%05d.txt", i % 20, i);
        KVZHANDLE file = lib.Open(Fx(path));
        char byte;
        DWORD got = 1;
        if (file == KVZ_INVALID_HANDLE || !lib.ReadFile(file, &byte, 1, &got, nullptr) ||
            got != 0 || !lib.CloseHandle(file))
            failed++;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(failed, 0);
    EXPECT_LT(seconds, 10.0) << "20000 opens took " << seconds << " s";
    EXPECT_EQ(lib.UnMount(Fx("mnt2").c_str()), 1u);
}

} // namespace
