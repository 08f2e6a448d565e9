// No intercepting path allocates heap memory, and with logging off none of
// them enters a critical section or reads the clock. This program counts
// every malloc of the process by defining malloc itself (over glibc's
// __libc_ entry points), so it is built for the host only: not under the
// sanitizers that own malloc (address, thread), and not for Windows.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "tests/unit/proxy/intercept_fixture.h"

extern "C" void *__libc_malloc(size_t size);
extern "C" void *__libc_calloc(size_t count, size_t size);
extern "C" void *__libc_realloc(void *block, size_t size);

namespace
{
std::atomic<bool> counting{false};
std::atomic<unsigned long> allocations{0};

void Count()
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

extern "C" void *malloc(size_t size)
{
    Count();
    return __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size)
{
    Count();
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *block, size_t size)
{
    Count();
    return __libc_realloc(block, size);
}

using namespace kvztest;

namespace
{

// What one batch of calls cost: allocations, lock entries, clock reads.
struct Cost {
    unsigned long allocations, locks, clock_reads;
};

// The host's view of the library: the proxy's exports or the fake's own.
struct Entries {
    PFN_KVZ_CreateFileW CreateFile;
    PFN_KVZ_MountW Mount;
    PFN_KVZ_MountedW Mounted;
    PFN_KVZ_CloseHandle CloseHandle;
};

Entries EntriesOf(HMODULE module)
{
    return {BindOrdinal<PFN_KVZ_CreateFileW>(module, KVZ_ORD_CreateFile),
            BindOrdinal<PFN_KVZ_MountW>(module, KVZ_ORD_Mount),
            BindOrdinal<PFN_KVZ_MountedW>(module, KVZ_ORD_Mounted),
            BindOrdinal<PFN_KVZ_CloseHandle>(module, KVZ_ORD_CloseHandle)};
}

const WString kRedirected = W("\\app\\sound\\click.ogg");
const WString kFallback = W("\\app\\sound\\missing.ogg");
const WString kPlain = W("\\app\\data\\level1.dat");
const WString kSoundArchive = W("\\app\\sound\\voice.KVZ");
const WString kOtherArchive = W("\\app\\data\\maps.KVZ");
const WString kMountDir = W("\\app\\sound");
const WString kLongName = W("\\app\\sound\\" + std::string(400, 'x') + ".ogg");

// Ten calls of every kind the proxy intercepts, seven of them logged.
void MixedCalls(const Entries &e)
{
    KVZHANDLE h = e.CreateFile(kRedirected.c_str(), GENERIC_READ, 0, nullptr, 3, 0, nullptr);
    e.CloseHandle(h);
    e.CreateFile(kFallback.c_str(), GENERIC_READ, 0, nullptr, 3, 0, nullptr);
    e.CreateFile(kPlain.c_str(), GENERIC_READ, 0, nullptr, 3, 0, nullptr);
    e.CreateFile(kLongName.c_str(), GENERIC_READ, 0, nullptr, 3, 0, nullptr);
    e.Mount(kSoundArchive.c_str(), kMountDir.c_str(), 0x80000000u, 1);
    e.Mount(kOtherArchive.c_str(), kMountDir.c_str(), 0x80000000u, 1);
    e.Mounted(kSoundArchive.c_str());
    e.Mounted(kOtherArchive.c_str());
    e.CloseHandle(12345);
}
const unsigned kCallsPerRound = 10;
const unsigned kLinesPerRound = 8;
const unsigned kRounds = 1000;

Cost Measure(const Entries &e)
{
    unsigned long locks = KvzCriticalSectionEnterCount();
    unsigned long clock = KvzLocalTimeReadCount();
    allocations = 0;
    counting = true;
    for (unsigned i = 0; i < kRounds; i++)
        MixedCalls(e);
    counting = false;
    return {allocations.load(), KvzCriticalSectionEnterCount() - locks,
            KvzLocalTimeReadCount() - clock};
}

void CheckProxy(bool log)
{
    ProxyUnderTest proxy;
    ProxyOptions options;
    options.log = log;
    ASSERT_TRUE(proxy.Load(options, log ? "alloc-on" : "alloc-off"));
    std::string script = "KVZ_CreateFile -1 \\app\\sound\\missing.ogg\nKVZ_CreateFile -1 " +
                         proxy.KitDir() + "tones\\missing.ogg\n";
    proxy.SetScript(script.c_str());
    Entries through_proxy = EntriesOf(proxy.proxy);
    Entries direct = EntriesOf(proxy.next);
    MixedCalls(through_proxy); // the log stream's own buffer comes with its first write
    MixedCalls(direct);

    Cost next_alone = Measure(direct);
    Cost with_proxy = Measure(through_proxy);
    EXPECT_EQ(with_proxy.allocations, next_alone.allocations)
        << kRounds * kCallsPerRound << " calls, logging " << (log ? "on" : "off");
    EXPECT_EQ(next_alone.allocations, 0u) << "the fake itself allocates";
    unsigned long lines = log ? kRounds * kLinesPerRound : 0;
    EXPECT_EQ(with_proxy.locks - next_alone.locks, lines) << "one lock entry per log line";
    EXPECT_EQ(with_proxy.clock_reads - next_alone.clock_reads, lines) << "one clock read per line";
    if (log) {
        EXPECT_EQ(proxy.UnloadAndReadLog().size(), (kRounds + 1) * kLinesPerRound);
    }
}

TEST(InterceptCost, TheCounterSeesAllocationsOfTheProcess)
{
    allocations = 0;
    counting = true;
    std::string *grown = new std::string(1000, 'x');
    counting = false;
    delete grown;
    EXPECT_GE(allocations.load(), 2u);
}

TEST(InterceptCost, NoAllocationNoLockNoClockWithLoggingOff)
{
    CheckProxy(false);
}

TEST(InterceptCost, NoAllocationAndOneLockPerLineWithLoggingOn)
{
    CheckProxy(true);
}

} // namespace
