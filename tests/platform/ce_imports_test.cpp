// The coredll calls served to CE images: every name a real coredll export,
// and the adapters where CE's form differs from the layer's, called through
// the table as an image's import slot would call them. Every host.
#include "platform/posix/ce/ce_imports.h"
#include "platform/posix/posix_internal.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>

namespace
{

template <typename Proc> Proc Served(const char *name)
{
    FARPROC proc = KvzCeImport(name);
    EXPECT_NE(proc, nullptr) << name << " is not served";
    return (Proc)proc;
}

TEST(CeImports, EveryServedNameIsACoredllExport)
{
    std::ifstream list(KVZ_COREDLL_EXPORTS_FILE);
    ASSERT_TRUE(list.good()) << KVZ_COREDLL_EXPORTS_FILE;
    std::set<std::string> exports;
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line[0] != '#')
            exports.insert(line);
    }
    unsigned count = 0;
    for (const char *name; (name = KvzCeImportName(count)) != NULL; count++)
        EXPECT_EQ(exports.count(name), 1u) << name << " is no coredll export";
    EXPECT_GE(count, 60u);

    const char *needed[] = {
        "GetModuleFileNameW",
        "LoadLibraryW",
        "GetProcAddressW",
        "FreeLibrary",
        "FindFirstFileW",
        "FindNextFileW",
        "FindClose",
        "GetFileAttributesW",
        "CreateFileW",
        "ReadFile",
        "WriteFile",
        "SetFilePointer",
        "GetFileSize",
        "CloseHandle",
        "CreateDirectoryW",
        "DeleteFileW",
        "GetLastError",
        "SetLastError",
        "MessageBoxW",
        "TerminateProcess",
        "InitializeCriticalSection",
        "DeleteCriticalSection",
        "EnterCriticalSection",
        "LeaveCriticalSection",
        "GetLocalTime",
        "Sleep",
        "InterlockedExchange",
        "InterlockedCompareExchange",
        "InterlockedIncrement",
        "InterlockedDecrement",
        "fopen",
        "fclose",
        "fread",
        "fwrite",
        "fseek",
        "ftell",
        "fflush",
        "malloc",
        "calloc",
        "realloc",
        "free",
        "memcpy",
        "memmove",
        "memset",
        "memcmp",
        "memchr",
        "strlen",
        "strcmp",
        "strncmp",
        "strcpy",
        "strcat",
        "strchr",
        "strrchr",
        "strcspn",
        "strspn",
        "strstr",
        "wcslen",
    };
    for (const char *name : needed)
        EXPECT_NE(KvzCeImport(name), nullptr) << name;
    EXPECT_EQ(KvzCeImport("GetCurrentProcess"), nullptr) << "CE inlines it: 0x42";
    EXPECT_EQ(KvzCeImport("wcslen "), nullptr);
}

TEST(CeImports, WideTextIsSixteenBit)
{
    typedef size_t (*Length)(const WCHAR *);
    typedef int (*Compare)(const WCHAR *, const WCHAR *);
    typedef WCHAR *(*Copy)(WCHAR *, const WCHAR *);
    Length wcslen16 = Served<Length>("wcslen");
    Compare wcscmp16 = Served<Compare>("wcscmp");
    Copy wcscpy16 = Served<Copy>("wcscpy");
    ASSERT_TRUE(wcslen16 && wcscmp16 && wcscpy16);

    // A 32-bit wcslen would read "ab" as one unit and run on past the end.
    const WCHAR text[] = {'a', 'b', 'c', 0, 'x', 'y', 'z', 'w', 0, 0};
    EXPECT_EQ(wcslen16(text), 3u);
    EXPECT_EQ(wcslen16(TEXT("")), 0u);

    struct Case {
        const WCHAR *a, *b;
        int sign;
    } cases[] = {
        {TEXT("abc"), TEXT("abc"), 0},  {TEXT("abc"), TEXT("abd"), -1},
        {TEXT("ab"), TEXT("abc"), -1},  {TEXT("\u00e4"), TEXT("z"), 1},
        {TEXT("\uffff"), TEXT("a"), 1}, {TEXT(""), TEXT(""), 0},
    };
    for (const Case &c : cases) {
        int got = wcscmp16(c.a, c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.sign) << "got " << got;
        got = wcscmp16(c.b, c.a);
        EXPECT_EQ((got > 0) - (got < 0), -c.sign) << "got " << got;
    }

    WCHAR out[8];
    for (WCHAR &w : out)
        w = 0x5555;
    EXPECT_EQ(wcscpy16(out, TEXT("\u00e4bc")), out);
    EXPECT_EQ(out[0], 0xe4);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[4], 0x5555) << "written past the terminator";
}

TEST(CeImports, CriticalSectionsKeepToTwentyBytes)
{
    typedef void (*Section)(void *);
    Section init = Served<Section>("InitializeCriticalSection");
    Section enter = Served<Section>("EnterCriticalSection");
    Section leave = Served<Section>("LeaveCriticalSection");
    Section remove = Served<Section>("DeleteCriticalSection");
    ASSERT_TRUE(init && enter && leave && remove);

    alignas(4) unsigned char storage[20 + 12];
    memset(storage, 0x55, sizeof storage);
    init(storage);
    unsigned long entered = KvzCriticalSectionEnterCount();
    enter(storage);
    enter(storage); // recursive, as CE's
    EXPECT_EQ(KvzCriticalSectionEnterCount(), entered + 2) << "the layer's own lock";
    leave(storage);
    leave(storage);
    remove(storage);
    for (size_t i = 20; i < sizeof storage; i++)
        EXPECT_EQ(storage[i], 0x55) << "byte " << i << " is past CE's CRITICAL_SECTION";
    for (size_t i = 0; i < 20; i++)
        EXPECT_EQ(storage[i], 0) << "byte " << i << " after DeleteCriticalSection";
}

TEST(CeImports, InterlockedCallsFollowCe)
{
    typedef LONG (*Step)(LONG volatile *);
    typedef LONG (*Exchange)(LONG volatile *, LONG);
    typedef LONG (*CompareExchange)(LONG volatile *, LONG, LONG);
    Step increment = Served<Step>("InterlockedIncrement");
    Step decrement = Served<Step>("InterlockedDecrement");
    Exchange exchange = Served<Exchange>("InterlockedExchange");
    CompareExchange compare_exchange = Served<CompareExchange>("InterlockedCompareExchange");
    ASSERT_TRUE(increment && decrement && exchange && compare_exchange);

    LONG volatile value = 5;
    EXPECT_EQ(increment(&value), 6) << "the new value";
    EXPECT_EQ(decrement(&value), 5);
    EXPECT_EQ(exchange(&value, 9), 5) << "the old value";
    EXPECT_EQ(compare_exchange(&value, 1, 8), 9) << "no match: unchanged";
    EXPECT_EQ(value, 9);
    EXPECT_EQ(compare_exchange(&value, 1, 9), 9);
    EXPECT_EQ(value, 1);
    value = -1;
    EXPECT_EQ(increment(&value), 0);
}

TEST(CeImports, FilesTakeKitPaths)
{
    typedef FILE *(*Open)(const char *, const char *);
    typedef BOOL (*Delete)(LPCWSTR);
    Open open = Served<Open>("fopen");
    Delete remove = Served<Delete>("DeleteFileW");
    ASSERT_TRUE(open && remove);

    char dir[] = "/tmp/kvz_ce_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string os_path = std::string(dir) + "/f.txt", kit_path = os_path;
    KvzArgToPath(&kit_path[0]);
    FILE *file = open(kit_path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << kit_path;
    fputs("ce", file);
    fclose(file);
    EXPECT_EQ(access(os_path.c_str(), F_OK), 0);

    WCHAR wide[kOsPathMax];
    ASSERT_TRUE(KvzUtf8ToWide(kit_path.c_str(), wide, kOsPathMax));
    EXPECT_TRUE(remove(wide));
    EXPECT_NE(access(os_path.c_str(), F_OK), 0);
    SetLastError(0);
    EXPECT_FALSE(remove(wide));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    rmdir(dir);
}

TEST(CeImports, TerminateProcessTakesCesCurrentProcess)
{
    typedef BOOL (*Terminate)(HANDLE, UINT);
    Terminate terminate = Served<Terminate>("TerminateProcess");
    ASSERT_NE(terminate, nullptr);
    EXPECT_EXIT(terminate((HANDLE)(uintptr_t)0x42, 9), testing::ExitedWithCode(9), "");
    EXPECT_FALSE(terminate((HANDLE)(uintptr_t)0x43, 1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

} // namespace
