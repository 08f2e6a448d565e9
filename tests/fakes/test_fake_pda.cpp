// The fake handheld library records every call and answers from its script.
#include <string.h>

#include <string>

#include "tests/fakes/fake_library.h"
#include "tests/fakes/fake_text.h"

namespace
{

const DWORD kSentinel = 0x55555555u;

std::u16string Wide(const char *utf8)
{
    WCHAR buffer[4 * MAX_PATH];
    EXPECT_GE(FakeUtf8ToWide(utf8, buffer, 4 * MAX_PATH), 0) << utf8;
    return std::u16string((const char16_t *)buffer);
}

std::u16string Text(const WCHAR *w)
{
    return std::u16string((const char16_t *)w);
}

class FakePda : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(fake.Load());
        fake.set_script("");
    }
    void TearDown() override { fake.Free(); }

    DWORD Mount(const char *archive, const char *dir)
    {
        return fake.Entry<PFN_KVZ_MountW>(KVZ_ORD_Mount)(
            (LPCWSTR)Wide(archive).c_str(), (LPCWSTR)Wide(dir).c_str(), GENERIC_READ, 1);
    }
    KVZHANDLE Open(const char *name)
    {
        return fake.Entry<PFN_KVZ_CreateFileW>(KVZ_ORD_CreateFile)((LPCWSTR)Wide(name).c_str(),
                                                                   GENERIC_READ, FILE_SHARE_READ,
                                                                   NULL, OPEN_EXISTING, 0, NULL);
    }
    BOOL Read(KVZHANDLE file, char *buffer, DWORD count, DWORD *read)
    {
        *read = kSentinel;
        return fake.Entry<PFN_KVZ_ReadFile>(KVZ_ORD_ReadFile)(file, buffer, count, read, NULL);
    }
    DWORD NoArgument(unsigned ordinal) { return fake.Entry<PFN_KVZ_GetCacheSize>(ordinal)(); }

    FakeLibrary fake;
};

TEST_F(FakePda, UnscriptedEntriesGiveTheirDefaults)
{
    EXPECT_EQ(Open("\\a\\x.ogg"), 100u);
    EXPECT_EQ(Open("\\a\\y.ogg"), 101u);

    WIN32_FIND_DATAW data;
    memset(&data, 0x55, sizeof data);
    KVZHANDLE search = fake.Entry<PFN_KVZ_FindFirstFileW>(KVZ_ORD_FindFirstFile)(
        (LPCWSTR)Wide("\\a\\*").c_str(), &data);
    EXPECT_EQ(search, 102u);
    EXPECT_EQ(Text(data.cFileName), u"fake");
    EXPECT_EQ(fake.Entry<PFN_KVZ_FindNextFileW>(KVZ_ORD_FindNextFile)(search, &data), 0);

    EXPECT_EQ(Mount("\\a\\x.KVZ", "\\a"), 1u);
    auto path_call = [&](unsigned ordinal) {
        return fake.Entry<PFN_KVZ_MountedW>(ordinal)((LPCWSTR)Wide("\\a\\x.KVZ").c_str());
    };
    EXPECT_EQ(path_call(KVZ_ORD_Mounted), 1u);
    EXPECT_EQ(path_call(KVZ_ORD_UnMount), 1u);
    EXPECT_EQ(fake.Entry<PFN_KVZ_CloseHandle>(KVZ_ORD_CloseHandle)(100), 1);
    EXPECT_EQ(fake.Entry<PFN_KVZ_FindClose>(KVZ_ORD_FindClose)(search), 1);

    char buffer[100];
    DWORD read;
    EXPECT_EQ(Read(100, buffer, sizeof buffer, &read), 1);
    EXPECT_EQ(read, 0u) << "an unscripted read must store 0 bytes";

    DWORD written = kSentinel;
    EXPECT_EQ(fake.Entry<PFN_KVZ_WriteFile>(KVZ_ORD_WriteFile)(100, "abc", 3, &written, NULL), 1);
    EXPECT_EQ(written, 3u);

    const unsigned zero_ordinals[] = {KVZ_ORD_GetCacheBlockSize, KVZ_ORD_GetCacheSize,
                                      KVZ_ORD_SupportVersion, KVZ_ORD_GetLastError};
    for (unsigned ordinal : zero_ordinals)
        EXPECT_EQ(NoArgument(ordinal), 0u) << "ordinal " << ordinal;
    EXPECT_EQ(fake.Entry<PFN_KVZ_SetCacheSize>(KVZ_ORD_SetCacheSize)(4096), 0u);
    EXPECT_EQ(fake.Entry<PFN_KVZ_SetFilePointer>(KVZ_ORD_SetFilePointer)(100, 5, NULL, 0), 0u);
}

TEST_F(FakePda, PathRulesWinOverGeneralRulesAndTheFirstMatchWins)
{
    fake.set_script("# a comment line\n"
                    "KVZ_CreateFile -1\r\n"
                    "KVZ_CreateFile 588 \\tmp\\x\\tones\\click.ogg\n"
                    "KVZ_CreateFile 589 \\tmp\\x\\tones\\click.ogg\n"
                    "KVZ_NoSuchEntry 7\n"
                    "KVZ_Mount 2\n"
                    "KVZ_Mount 0 \\a\\x.KVZ  \n"
                    "KVZ_SupportVersion 0x10203\n"
                    "KVZ_GetCacheSize notanumber\n");
    struct {
        const char *name;
        KVZHANDLE expected;
    } opens[] = {
        {"\\tmp\\x\\tones\\click.ogg", 588},
        {"\\TMP\\x\\tones\\click.ogg", KVZ_INVALID_HANDLE}, // exact, case included
        {"\\tmp\\x\\tones\\click.og", KVZ_INVALID_HANDLE},
    };
    for (const auto &open : opens)
        EXPECT_EQ(Open(open.name), open.expected) << open.name;
    EXPECT_EQ(Mount("\\a\\x.KVZ", "\\a"), 0u) << "a trailing blank is not part of the path";
    EXPECT_EQ(Mount("\\a\\y.KVZ", "\\a"), 2u);
    EXPECT_EQ(NoArgument(KVZ_ORD_SupportVersion), 0x10203u);
    EXPECT_EQ(NoArgument(KVZ_ORD_GetCacheSize), 0u) << "a rule without a number is skipped";
}

TEST_F(FakePda, EveryCallIsRecordedWithItsArgumentsAndPaths)
{
    Mount("\\a\\sound\\x.KVZ", "\\a");
    fake.Entry<PFN_KVZ_CreateFileW>(KVZ_ORD_CreateFile)(
        (LPCWSTR)Wide("\\a\\b.ogg").c_str(), 0x80000000u, 1, (LPSECURITY_ATTRIBUTES)0x1234, 3,
        0x08000000u, (HANDLE)0x5678);
    fake.Entry<PFN_KVZ_SetLastError>(KVZ_ORD_SetLastError)(42);

    ASSERT_EQ(fake.call_count(), 3u);
    const KvzFakeCall *mount = fake.get_call(0);
    ASSERT_NE(mount, nullptr);
    EXPECT_EQ(mount->ordinal, (unsigned)KVZ_ORD_Mount);
    EXPECT_EQ(Text(mount->path), u"\\a\\sound\\x.KVZ");
    EXPECT_EQ(Text(mount->path2), u"\\a");
    EXPECT_EQ(mount->args[2], 0x80000000u);
    EXPECT_EQ(mount->args[3], 1u);

    const KvzFakeCall *open = fake.get_call(1);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->ordinal, (unsigned)KVZ_ORD_CreateFile);
    EXPECT_EQ(Text(open->path), u"\\a\\b.ogg");
    EXPECT_EQ(open->path2[0], 0);
    const uintptr_t expected[] = {0x80000000u, 1, 0x1234, 3, 0x08000000u, 0x5678};
    for (unsigned i = 0; i < 6; i++)
        EXPECT_EQ(open->args[i + 1], expected[i]) << "argument " << i + 2;

    EXPECT_EQ(fake.get_call(2)->args[0], 42u);
    EXPECT_EQ(fake.get_call(3), nullptr);

    fake.set_script(nullptr);
    EXPECT_EQ(fake.call_count(), 0u) << "a new script forgets the calls";
    EXPECT_EQ(fake.get_call(0), nullptr);
}

TEST_F(FakePda, LongPathsAreCutToTheRecordAndCountGoesOnPastTheArray)
{
    std::string long_name(2 * MAX_PATH, 'n');
    Open(long_name.c_str());
    EXPECT_EQ(Text(fake.get_call(0)->path), Wide(long_name.substr(0, MAX_PATH - 1).c_str()));

    for (unsigned i = 1; i < KVZ_FAKE_MAX_CALLS + 10; i++)
        NoArgument(KVZ_ORD_SupportVersion);
    EXPECT_EQ(fake.call_count(), KVZ_FAKE_MAX_CALLS + 10u);
    ASSERT_NE(fake.get_call(KVZ_FAKE_MAX_CALLS - 1), nullptr);
    EXPECT_EQ(fake.get_call(KVZ_FAKE_MAX_CALLS - 1)->ordinal, (unsigned)KVZ_ORD_SupportVersion);
    EXPECT_EQ(fake.get_call(KVZ_FAKE_MAX_CALLS), nullptr);
}

TEST_F(FakePda, ScriptedReadsServeThatManyBytesPerFile)
{
    fake.set_script("KVZ_ReadFile 250\n");
    KVZHANDLE first = Open("\\a\\one");
    char buffer[100];
    DWORD read;
    const DWORD pieces[] = {100, 100, 50, 0, 0};
    for (DWORD expected : pieces) {
        memset(buffer, 0, sizeof buffer);
        EXPECT_EQ(Read(first, buffer, sizeof buffer, &read), 250);
        EXPECT_EQ(read, expected);
        EXPECT_EQ(std::string(buffer, read), std::string(expected, 'x'));
    }
    KVZHANDLE second = Open("\\a\\two");
    EXPECT_EQ(Read(second, buffer, 30, &read), 250);
    EXPECT_EQ(read, 30u) << "each file starts at its beginning";

    struct {
        const char *script;
        DWORD result;
    } failures[] = {{"KVZ_ReadFile 0\n", 0}, {"KVZ_ReadFile -1\n", 0xFFFFFFFFu}};
    for (const auto &failure : failures) {
        fake.set_script(failure.script);
        BOOL result = Read(Open("\\a\\one"), buffer, sizeof buffer, &read);
        EXPECT_EQ((DWORD)result, failure.result) << failure.script;
        EXPECT_EQ(read, 0u) << failure.script;
    }
}

TEST_F(FakePda, ScriptedSearchesGiveOneMoreEntryAndLastErrorRemembers)
{
    fake.set_script("KVZ_FindNextFile 7\nKVZ_FindFirstFile 9 \\a\\*\n");
    WIN32_FIND_DATAW data;
    auto find_next = fake.Entry<PFN_KVZ_FindNextFileW>(KVZ_ORD_FindNextFile);
    KVZHANDLE search = fake.Entry<PFN_KVZ_FindFirstFileW>(KVZ_ORD_FindFirstFile)(
        (LPCWSTR)Wide("\\a\\*").c_str(), &data);
    EXPECT_EQ(search, 9u);
    EXPECT_EQ(find_next(search, &data), 7);
    EXPECT_EQ(Text(data.cFileName), u"fake2");
    EXPECT_EQ(find_next(search, &data), 0);

    auto set_last_error = fake.Entry<PFN_KVZ_SetLastError>(KVZ_ORD_SetLastError);
    set_last_error(42);
    EXPECT_EQ(NoArgument(KVZ_ORD_GetLastError), 42u);
    fake.set_script("KVZ_GetLastError 5\n");
    set_last_error(42);
    EXPECT_EQ(NoArgument(KVZ_ORD_GetLastError), 5u);
}

TEST(FakePdaVariants, MissingOrdinalAndBrokenFile)
{
    HMODULE missing = LoadLibraryW(TEXT("fake_pda_missing13.dll"));
    ASSERT_NE(missing, (HMODULE)NULL) << "error " << GetLastError();
    for (unsigned ordinal = 1; ordinal <= KVZ_HANDHELD_ORDINAL_COUNT; ordinal++) {
        FARPROC entry = GetProcAddressW(missing, KVZ_ORDINAL_NAMEW(ordinal));
        if (ordinal == KVZ_ORD_ReadFile)
            EXPECT_EQ(entry, nullptr) << "ordinal 13 must be missing";
        else
            EXPECT_NE(entry, nullptr) << "ordinal " << ordinal;
    }
    FreeLibrary(missing);

    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(TEXT("fake_pda_broken.dll")), (HMODULE)NULL);
    EXPECT_NE(GetLastError(), 0u);
}

} // namespace
