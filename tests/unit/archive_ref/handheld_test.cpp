// _pdaKVZ.dll, loaded with LoadLibraryW and bound by ordinal as the proxy
// does: 16-bit paths and the twelve entry points the desktop build lacks.
#include "ref_test_util.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

class Handheld : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(lib.Load(&why)) << why;
    }
    void TearDown() override { lib.Unload(); }

    std::u16string P(const std::string &relative) { return W(Fx(relative)); }
    LPCWSTR C(const std::u16string &text) { return (LPCWSTR)text.c_str(); }

    DWORD Mount(const char *archive, const char *dir)
    {
        return lib.Mount(C(P(archive)), C(P(dir)), GENERIC_READ, 1);
    }
    DWORD UnMount(const char *dir) { return lib.UnMount(C(P(dir))); }

    std::vector<std::string> Names(const std::string &pattern)
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAW data;
        KVZHANDLE search = lib.FindFirstFile(C(P(pattern)), &data);
        if (search == KVZ_INVALID_HANDLE)
            return names;
        do
            names.push_back(U8(data.cFileName));
        while (lib.FindNextFile(search, &data));
        EXPECT_TRUE(lib.FindClose(search));
        return names;
    }

    HandheldLib lib;
};

TEST_F(Handheld, MountedAnswersForTheArchivePath)
{
    std::u16string archive = P("second.tar");
    EXPECT_EQ(lib.Mounted(C(archive)), 0u);
    ASSERT_EQ(lib.MountRes(C(archive), C(P("mnt2")), GENERIC_READ, 1), 1u);
    EXPECT_NE(lib.Mounted(C(archive)), 0u);
    EXPECT_NE(lib.Mounted(C(P("SECOND.TAR"))), 0u);
    EXPECT_EQ(lib.Mounted(C(P("basic.tar"))), 0u);
    EXPECT_EQ(Mount("basic.tar", "mnt2"), 0u) << "second archive on an occupied directory";
    EXPECT_EQ(UnMount("mnt2"), 1u);
    EXPECT_EQ(lib.Mounted(C(archive)), 0u);
    EXPECT_EQ(UnMount("mnt2"), 0u);
    EXPECT_EQ(Mount("bad_checksum.tar", "mnt2"), 0u);
    EXPECT_EQ(lib.GetLastError(), 13u) << "ERROR_INVALID_DATA for an archive refused";
}

TEST_F(Handheld, SearchConvertsNamesBothWays)
{
    ASSERT_EQ(Mount("second.tar", "mnt2"), 1u);
    std::vector<std::string> music = Names("mnt2\\music\\*");
    EXPECT_EQ(music, (std::vector<std::string>{".", "..", "s\xC3\xBC\xC3\x9F.ogg", "track.ogg"}));
    KVZHANDLE file = lib.Open(Fx("mnt2\\music\\s\xC3\xBC\xC3\x9F.ogg"));
    ASSERT_NE(file, KVZ_INVALID_HANDLE);
    std::string data, why;
    EXPECT_TRUE(ReadToEnd(lib.ReadFile, file, &data, &why)) << why;
    EXPECT_EQ(data, "umlaut\n");
    EXPECT_TRUE(lib.CloseHandle(file));
    WIN32_FIND_DATAW found;
    EXPECT_EQ(lib.FindFirstFile(C(P("mnt2\\nothere\\*")), &found), KVZ_INVALID_HANDLE);
    EXPECT_EQ(lib.GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    const WCHAR kLoneSurrogate[] = {'m', 0xD800, '\\', '*', 0};
    EXPECT_EQ(lib.FindFirstFile(kLoneSurrogate, &found), KVZ_INVALID_HANDLE);
    EXPECT_EQ(lib.GetLastError(), (DWORD)ERROR_INVALID_NAME);
    EXPECT_EQ(UnMount("mnt2"), 1u);
}

TEST_F(Handheld, SeeksInArchiveEntries)
{
    ASSERT_EQ(Mount("basic.tar", "mnt"), 1u);
    std::string expected = ReadFixtureFile("src\\basic\\Sub\\Deeper\\big.bin");
    KVZHANDLE file = lib.Open(Fx("mnt\\Sub\\Deeper\\big.bin"));
    ASSERT_NE(file, KVZ_INVALID_HANDLE);
    struct Case {
        LONG distance;
        DWORD method;
        DWORD position; // expected result; INVALID_SET_FILE_POINTER = refused
        DWORD error;
    } const kCases[] = {
        {70000, FILE_BEGIN, 70000, ERROR_SUCCESS},
        {-100, FILE_CURRENT, 69916, ERROR_SUCCESS}, // after the 16 bytes read
        {-10, FILE_END, 99990, ERROR_SUCCESS},
        {-100001, FILE_CURRENT, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK},
        {5, FILE_BEGIN, 5, ERROR_SUCCESS},
        {0, 7, INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER},
    };
    DWORD position = 0;
    for (const Case &c : kCases) {
        lib.SetLastError(0x55555555);
        DWORD got = lib.SetFilePointer(file, c.distance, nullptr, c.method);
        EXPECT_EQ(got, c.position) << c.distance << " from " << c.method;
        EXPECT_EQ(lib.GetLastError(), c.error) << c.distance << " from " << c.method;
        if (got != INVALID_SET_FILE_POINTER)
            position = got;
        char buffer[16];
        DWORD read = 0x55555555;
        ASSERT_TRUE(lib.ReadFile(file, buffer, sizeof buffer, &read, nullptr));
        ASSERT_EQ(read, position + 16 <= 100000 ? 16u : 100000 - position);
        EXPECT_EQ(std::string(buffer, read), expected.substr(position, read));
        position += read;
    }
    LONG high = 0;
    EXPECT_EQ(lib.SetFilePointer(file, 200000, &high, FILE_BEGIN), 200000u);
    EXPECT_EQ(high, 0);
    char byte;
    DWORD read = 0x55555555;
    EXPECT_TRUE(lib.ReadFile(file, &byte, 1, &read, nullptr));
    EXPECT_EQ(read, 0u) << "a read past the end";
    high = -1;
    EXPECT_EQ(lib.SetFilePointer(file, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(lib.GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
    EXPECT_TRUE(lib.CloseHandle(file));
    EXPECT_EQ(UnMount("mnt"), 1u);
}

TEST_F(Handheld, WritesRealFilesButNeverArchiveEntries)
{
    ASSERT_EQ(Mount("basic.tar", "mnt"), 1u);
    KVZHANDLE out = lib.CreateFile(C(P("mnt\\written.txt")), GENERIC_READ | GENERIC_WRITE, 0,
                                   nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(out, KVZ_INVALID_HANDLE);
    DWORD written = 0x55555555;
    EXPECT_TRUE(lib.WriteFile(out, "written\n", 8, &written, nullptr));
    EXPECT_EQ(written, 8u);
    EXPECT_EQ(lib.SetFilePointer(out, 0, nullptr, FILE_BEGIN), 0u);
    std::string data, why;
    EXPECT_TRUE(ReadToEnd(lib.ReadFile, out, &data, &why)) << why;
    EXPECT_EQ(data, "written\n");
    EXPECT_TRUE(lib.CloseHandle(out));
    EXPECT_EQ(ReadFixtureFile("mnt\\written.txt"), "written\n");
    std::remove(FxFile("mnt\\written.txt").c_str());

    struct Case {
        DWORD access;
        DWORD disposition;
        DWORD error;
    } const kRefused[] = {
        {GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {GENERIC_READ, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {GENERIC_READ, TRUNCATE_EXISTING, ERROR_ACCESS_DENIED},
        {GENERIC_READ, CREATE_NEW, ERROR_FILE_EXISTS},
    };
    for (const Case &c : kRefused) {
        lib.SetLastError(0x55555555);
        EXPECT_EQ(lib.CreateFile(C(P("mnt\\readme.txt")), c.access, 0, nullptr, c.disposition, 0,
                                 nullptr),
                  KVZ_INVALID_HANDLE)
            << std::hex << c.access << " " << c.disposition;
        EXPECT_EQ(lib.GetLastError(), c.error);
    }
    KVZHANDLE entry =
        lib.CreateFile(C(P("mnt\\readme.txt")), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(entry, KVZ_INVALID_HANDLE);
    written = 0x55555555;
    EXPECT_FALSE(lib.WriteFile(entry, "x", 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(lib.GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(lib.CloseHandle(entry));
    EXPECT_EQ(UnMount("mnt"), 1u);
}

TEST_F(Handheld, IsFileKnowsArchiveAndDisk)
{
    ASSERT_EQ(Mount("basic.tar", "mnt"), 1u);
    struct Case {
        const char *path;
        BOOL is_file;
    } const kCases[] = {
        {"mnt\\readme.txt", TRUE},
        {"mnt\\SUB\\zero.bin", TRUE},
        {"mnt\\Sub", FALSE},
        {"mnt\\emptydir", FALSE},
        {"mnt", FALSE},
        {"mnt\\disk_only.txt", TRUE},
        {"mnt\\disksub", FALSE},
        {"mnt\\nope.txt", FALSE},
        {"basic.tar", TRUE},
    };
    for (const Case &c : kCases)
        EXPECT_EQ(lib.IsFile(C(P(c.path))), c.is_file) << c.path;
    EXPECT_EQ(UnMount("mnt"), 1u);
}

TEST_F(Handheld, CacheVersionAndErrorCalls)
{
    DWORD block = lib.GetCacheBlockSize();
    DWORD size = lib.GetCacheSize();
    EXPECT_EQ(lib.SetCacheBlockSize(4096), block);
    EXPECT_EQ(lib.GetCacheBlockSize(), 4096u);
    EXPECT_EQ(lib.SetCacheBlockSize(block), 4096u);
    EXPECT_EQ(lib.SetCacheSize(12345), size);
    EXPECT_EQ(lib.GetCacheSize(), 12345u);
    EXPECT_EQ(lib.SetCacheSize(size), 12345u);
    EXPECT_NE(lib.SupportVersion(), 0u);
    EXPECT_EQ(lib.SupportVersion(), lib.SupportVersion());

    lib.SetLastError(1234);
    struct Context {
        HandheldLib *lib;
        DWORD seen[2];
    } context = {&lib, {}};
    RunThreads(
        2,
        [](void *p, int i) {
            Context *c = static_cast<Context *>(p);
            c->lib->SetLastError(40 + i);
            c->seen[i] = c->lib->GetLastError();
        },
        &context);
    EXPECT_EQ(context.seen[0], 40u);
    EXPECT_EQ(context.seen[1], 41u);
    EXPECT_EQ(lib.GetLastError(), 1234u) << "another thread's error leaked";
}

TEST_F(Handheld, ASmallCacheBlockStillReadsEverything)
{
    DWORD block = lib.SetCacheBlockSize(1);
    ASSERT_EQ(Mount("basic.tar", "mnt"), 1u);
    KVZHANDLE file = lib.Open(Fx("mnt\\Sub\\Deeper\\big.bin"));
    ASSERT_NE(file, KVZ_INVALID_HANDLE);
    std::string data, why;
    for (DWORD piece : {100u, 511u, 512u, 513u, 70000u}) {
        EXPECT_EQ(lib.SetFilePointer(file, 0, nullptr, FILE_BEGIN), 0u);
        EXPECT_TRUE(ReadToEnd(lib.ReadFile, file, &data, &why, piece)) << why;
        EXPECT_EQ(data, ReadFixtureFile("src\\basic\\Sub\\Deeper\\big.bin")) << piece;
    }
    EXPECT_TRUE(lib.CloseHandle(file));
    EXPECT_EQ(UnMount("mnt"), 1u);
    lib.SetCacheBlockSize(block);
}

TEST_F(Handheld, UnloadingClosesWhatWasLeftOpen)
{
    ASSERT_EQ(Mount("basic.tar", "mnt"), 1u);
    ASSERT_NE(lib.Open(Fx("mnt\\readme.txt")), KVZ_INVALID_HANDLE);
    lib.Unload();
    std::string why;
    ASSERT_TRUE(lib.Load(&why)) << why;
    EXPECT_EQ(lib.Mounted(C(P("basic.tar"))), 0u);
    EXPECT_EQ(UnMount("mnt"), 0u);
}

} // namespace
