// Instructions per call of a forwarded export: through pdaKVZ.dll against the
// same entry point of the next library (the scriptable fake) called directly.
// Run under callgrind (tools/bench/forward_callgrind.sh): the inclusive cost
// of each Bench* function divided by the number of calls is the cost of one
// call, and Proxy minus Direct is what the forwarder adds.
//
//   forward_bench [calls] [bin dir]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive_api/kvz_api.h"
#include "tests/fakes/fake_control.h"

namespace fs = std::filesystem;
typedef std::basic_string<WCHAR> WString;

// The fake records its first KVZ_FAKE_MAX_CALLS calls and only counts later
// ones; the measured calls all come after that, so each costs the same.
static const unsigned kWarmUp = KVZ_FAKE_MAX_CALLS + 100;

static PFN_KVZ_GetCacheSize ProxyGetCacheSize, NextGetCacheSize;
static PFN_KVZ_ReadFile ProxyReadFile, NextReadFile;
static char Buffer[100];
static DWORD BytesRead;

template <typename T> static T Entry(HMODULE module, unsigned ordinal)
{
    return (T)(void (*)(void))GetProcAddressW(module, KVZ_ORDINAL_NAMEW(ordinal));
}

static std::string KitPath(const fs::path &path)
{
    std::string out = path.string();
    for (char &c : out)
        if (c == '/')
            c = '\\';
    return out;
}

static WString Widen(const std::string &text)
{
    return WString(text.begin(), text.end());
}

extern "C" __attribute__((noinline)) void WarmUp(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        NextGetCacheSize();
}

extern "C" __attribute__((noinline)) void BenchDirectGetCacheSize(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        NextGetCacheSize();
}

extern "C" __attribute__((noinline)) void BenchProxyGetCacheSize(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        ProxyGetCacheSize();
}

extern "C" __attribute__((noinline)) void BenchDirectReadFile(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        NextReadFile(100, Buffer, sizeof Buffer, &BytesRead, nullptr);
}

extern "C" __attribute__((noinline)) void BenchProxyReadFile(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        ProxyReadFile(100, Buffer, sizeof Buffer, &BytesRead, nullptr);
}

static double NanosecondsPerCall(void (*bench)(unsigned), unsigned calls)
{
    auto start = std::chrono::steady_clock::now();
    bench(calls);
    std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    return took.count() / calls;
}

int main(int argc, char **argv)
{
    unsigned calls = argc > 1 ? (unsigned)std::strtoul(argv[1], nullptr, 10) : 100000;
    const char *env = std::getenv("KVZ_BIN_DIR");
    fs::path bin = argc > 2 ? fs::path(argv[2]) : env ? fs::path(env) : fs::current_path();
    fs::path dir = fs::temp_directory_path() / ("kvz-forward-bench-" + std::to_string(std::rand()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sound"); // empty: no same-directory question
    fs::copy_file(bin / "pdaKVZ.dll", dir / "pdaKVZ.dll");
    fs::copy_file(bin / "fake_pda.dll", dir / "_pdaKVZ.dll");

    HMODULE proxy = LoadLibraryW(Widen(KitPath(dir / "pdaKVZ.dll")).c_str());
    HMODULE next = LoadLibraryW(Widen(KitPath(dir / "_pdaKVZ.dll")).c_str());
    if (proxy == NULL || next == NULL) {
        std::fprintf(stderr, "cannot load the libraries from %s\n", dir.string().c_str());
        return 1;
    }
    ProxyGetCacheSize = Entry<PFN_KVZ_GetCacheSize>(proxy, KVZ_ORD_GetCacheSize);
    NextGetCacheSize = Entry<PFN_KVZ_GetCacheSize>(next, KVZ_ORD_GetCacheSize);
    ProxyReadFile = Entry<PFN_KVZ_ReadFile>(proxy, KVZ_ORD_ReadFile);
    NextReadFile = Entry<PFN_KVZ_ReadFile>(next, KVZ_ORD_ReadFile);

    WarmUp(kWarmUp);
    std::printf("KVZ_GetCacheSize direct %.1f ns/call, through the proxy %.1f ns/call\n",
                NanosecondsPerCall(BenchDirectGetCacheSize, calls),
                NanosecondsPerCall(BenchProxyGetCacheSize, calls));
    std::printf("KVZ_ReadFile     direct %.1f ns/call, through the proxy %.1f ns/call\n",
                NanosecondsPerCall(BenchDirectReadFile, calls),
                NanosecondsPerCall(BenchProxyReadFile, calls));

    FreeLibrary(next);
    FreeLibrary(proxy);
    fs::remove_all(dir);
    return 0;
}
