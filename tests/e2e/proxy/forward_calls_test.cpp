// The sixteen forwarders, through the built pdaKVZ.dll loaded in this process
// in front of the scriptable fake: each returns exactly what the next library
// returned (failure values included) and hands it every argument unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_api/kvz_api.h"
#include "tests/fakes/fake_control.h"
#include "tests/unit/proxy/startup_support.h"

namespace
{

template <typename T> T As(FARPROC entry)
{
    return (T)(void (*)(void))entry;
}

typedef std::vector<uintptr_t> Passed;

// Argument objects whose addresses the calls pass.
WCHAR gPath[] = TEXT("\\Storage Card\\Tonvaro\\sound\\a.KVZ");
WCHAR gPath2[] = TEXT("\\Storage Card\\Tonvaro\\sound");
WIN32_FIND_DATAW gFind;
char gBuffer[64];
DWORD gCount;
LONG gHigh;
int gOverlapped;

struct Case {
    unsigned ordinal;
    const char *entry;
    bool returns; // false for KVZ_SetLastError
    bool path;    // first argument is a path the fake copies
    DWORD (*call)(FARPROC entry, Passed &passed);
};

#define P(x) ((uintptr_t)(x))

const Case kCases[] = {
    {1, "KVZ_FindFirstFile", true, true,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {P(gPath), P(&gFind)};
         return As<PFN_KVZ_FindFirstFileW>(f)(gPath, &gFind);
     }},
    {2, "KVZ_FindNextFile", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {0x7654u, P(&gFind)};
         return (DWORD)As<PFN_KVZ_FindNextFileW>(f)(0x7654u, &gFind);
     }},
    {5, "KVZ_FindClose", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {0xFFFFFFFEu};
         return (DWORD)As<PFN_KVZ_FindClose>(f)(0xFFFFFFFEu);
     }},
    {6, "KVZ_GetCacheBlockSize", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {};
         return As<PFN_KVZ_GetCacheBlockSize>(f)();
     }},
    {7, "KVZ_GetCacheSize", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {};
         return As<PFN_KVZ_GetCacheSize>(f)();
     }},
    {8, "KVZ_GetLastError", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {};
         return As<PFN_KVZ_GetLastError>(f)();
     }},
    {9, "KVZ_IsFile", true, true,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {P(gPath)};
         return (DWORD)As<PFN_KVZ_IsFileW>(f)(gPath);
     }},
    {11, "KVZ_MountRes", true, true,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {P(gPath), P(gPath2), 0x80000000u, 0xA5A5A5A5u};
         return As<PFN_KVZ_MountResW>(f)(gPath, gPath2, 0x80000000u, 0xA5A5A5A5u);
     }},
    {13, "KVZ_ReadFile", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {0x1234u, P(gBuffer), 17u, P(&gCount), P(&gOverlapped)};
         return (DWORD)As<PFN_KVZ_ReadFile>(f)(0x1234u, gBuffer, 17u, &gCount, &gOverlapped);
     }},
    {14, "KVZ_SetCacheBlockSize", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {0x10000u};
         return As<PFN_KVZ_SetCacheBlockSize>(f)(0x10000u);
     }},
    {15, "KVZ_SetCacheSize", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {0xFFFFFFFFu};
         return As<PFN_KVZ_SetCacheSize>(f)(0xFFFFFFFFu);
     }},
    {16, "KVZ_SetFilePointer", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {0x4321u, (uintptr_t)(DWORD)-100, P(&gHigh), FILE_END};
         return As<PFN_KVZ_SetFilePointer>(f)(0x4321u, -100, &gHigh, FILE_END);
     }},
    {17, "KVZ_SetLastError", false, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {0xC0DEu};
         As<PFN_KVZ_SetLastError>(f)(0xC0DEu);
         return 0;
     }},
    {18, "KVZ_SupportVersion", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {};
         return As<PFN_KVZ_SupportVersion>(f)();
     }},
    {19, "KVZ_UnMount", true, true,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {P(gPath2)};
         return As<PFN_KVZ_UnMountW>(f)(gPath2);
     }},
    {20, "KVZ_WriteFile", true, false,
     [](FARPROC f, Passed &p) -> DWORD {
         p = {0x99u, P(gBuffer), 0u, P(&gCount), P(&gOverlapped)};
         return (DWORD)As<PFN_KVZ_WriteFile>(f)(0x99u, gBuffer, 0u, &gCount, &gOverlapped);
     }},
};

class Forwarders : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir;
        dir->copyFromBin("pdaKVZ.dll", "pdaKVZ.dll");
        dir->copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
        dir->mkdir("sound");
        proxy = LoadLibraryW(Widen(dir->kitPath() + "pdaKVZ.dll").c_str());
        // The proxy loaded the fake already: this only counts a reference.
        fake = LoadLibraryW(Widen(dir->kitPath() + "_pdaKVZ.dll").c_str());
        if (fake != NULL) {
            setScript = As<PFN_KvzFakeSetScript>(GetProcAddress(fake, "KvzFakeSetScript"));
            callCount = As<PFN_KvzFakeCallCount>(GetProcAddress(fake, "KvzFakeCallCount"));
            getCall = As<PFN_KvzFakeGetCall>(GetProcAddress(fake, "KvzFakeGetCall"));
        }
    }
    static void TearDownTestSuite()
    {
        if (fake != NULL)
            FreeLibrary(fake);
        if (proxy != NULL)
            FreeLibrary(proxy);
        delete dir;
    }
    void SetUp() override
    {
        ASSERT_TRUE(proxy != NULL) << "pdaKVZ.dll did not load, error " << GetLastError();
        ASSERT_TRUE(fake != NULL && setScript && callCount && getCall) << "fake controls";
    }

    static TempDir *dir;
    static HMODULE proxy, fake;
    static PFN_KvzFakeSetScript setScript;
    static PFN_KvzFakeCallCount callCount;
    static PFN_KvzFakeGetCall getCall;
};

TempDir *Forwarders::dir;
HMODULE Forwarders::proxy;
HMODULE Forwarders::fake;
PFN_KvzFakeSetScript Forwarders::setScript;
PFN_KvzFakeCallCount Forwarders::callCount;
PFN_KvzFakeGetCall Forwarders::getCall;

TEST_F(Forwarders, ExportedByNameAndOrdinalAlike)
{
    for (const KvzEntryInfo &e : kKvzEntries) {
        FARPROC by_ordinal = GetProcAddressW(proxy, KVZ_ORDINAL_NAMEW(e.handheld));
        EXPECT_TRUE(by_ordinal != NULL) << "ordinal " << e.handheld << " missing";
        EXPECT_EQ(by_ordinal, GetProcAddress(proxy, e.name)) << e.name;
    }
}

TEST_F(Forwarders, ReturnWhatTheNextLibraryReturnedAndPassEveryArgument)
{
    const char *results[] = {"0", "-1", "1", "3735928559"};
    const DWORD values[] = {0, 0xFFFFFFFFu, 1, 3735928559u};
    for (const Case &c : kCases) {
        FARPROC entry = GetProcAddressW(proxy, KVZ_ORDINAL_NAMEW(c.ordinal));
        ASSERT_TRUE(entry != NULL) << "ordinal " << c.ordinal << " missing";
        for (size_t r = 0; r < sizeof values / sizeof values[0]; r++) {
            setScript((std::string(c.entry) + " " + results[r] + "\n").c_str());
            Passed passed;
            DWORD got = c.call(entry, passed);
            if (c.returns) {
                EXPECT_EQ(values[r], got) << c.entry << " scripted " << results[r];
            }
            ASSERT_EQ(1u, callCount()) << c.entry << ": calls reaching the next library";
            const KvzFakeCall *call = getCall(0);
            EXPECT_EQ(c.ordinal, call->ordinal) << c.entry;
            for (size_t i = 0; i < passed.size(); i++)
                EXPECT_EQ(passed[i], call->args[i]) << c.entry << " argument " << i + 1;
            if (c.path) {
                EXPECT_EQ(Narrow((const WCHAR *)passed[0]), Narrow(call->path)) << c.entry;
            }
        }
    }
}

// The arguments above are compared at full width, so a forwarder that cut a
// pointer to 32 bits is caught only where the pointers passed need more: in
// every 64-bit build they must lie above 4 GiB, as the program image does.
TEST_F(Forwarders, PassedPointersNeedTheirFullWidth)
{
    const bool above_4gib = ((uint64_t)(uintptr_t)gBuffer >> 32) != 0;
    EXPECT_EQ(sizeof(void *) == 8, above_4gib)
        << sizeof(void *) * 8 << "-bit build, argument at " << (const void *)gBuffer;
}

// The loader tells the proxy of every thread; that must change nothing. Only
// the POSIX build exports DllMain by name, so only there can a test call it.
TEST_F(Forwarders, ThreadNotificationsChangeNothing)
{
    typedef BOOL(WINAPI * PFN_DllMain)(HINSTANCE, DWORD, LPVOID);
    PFN_DllMain dll_main = As<PFN_DllMain>(GetProcAddress(proxy, "DllMain"));
    if (dll_main == NULL)
        GTEST_SKIP() << "DllMain is not exported by name in this build";
    FARPROC version = GetProcAddressW(proxy, KVZ_ORDINAL_NAMEW(KVZ_ORD_SupportVersion));
    setScript("KVZ_SupportVersion 77\n");
    EXPECT_EQ(TRUE, dll_main((HINSTANCE)proxy, DLL_THREAD_ATTACH, NULL));
    EXPECT_EQ(TRUE, dll_main((HINSTANCE)proxy, DLL_THREAD_DETACH, NULL));
    EXPECT_EQ(0u, callCount()) << "a notification reached the next library";
    EXPECT_EQ(77u, As<PFN_KVZ_SupportVersion>(version)())
        << "forwarding broken after notifications";
}

} // namespace
