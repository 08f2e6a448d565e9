// Instruction counts of KVZ_CreateFile through the proxy against a direct
// call of the next library (the scriptable fake), logging off. Run under
// callgrind (tools/bench/intercept_bench.sh): the inclusive cost of each
// Bench* function divided by kCalls is the cost of one call.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive_api/kvz_api.h"
#include "tests/fakes/fake_control.h"

namespace fs = std::filesystem;
typedef std::basic_string<WCHAR> WString;

static const unsigned kCalls = 1000;
// The fake keeps the first KVZ_FAKE_MAX_CALLS calls and only counts later
// ones; the measured calls all come after that, so each costs the same.
static const unsigned kWarmUp = KVZ_FAKE_MAX_CALLS + 100;

static PFN_KVZ_CreateFileW ProxyCreateFile;
static PFN_KVZ_CreateFileW NextCreateFile;
static WString PlainName;     // 40 characters, not .ogg
static WString SoundName;     // 40 characters, .ogg, redirected
static WString ComposedSound; // what the proxy hands the next library

static WString Widen(const std::string &text)
{
    return WString(text.begin(), text.end());
}

static std::string KitPath(const fs::path &path)
{
    std::string out = path.string();
    for (char &c : out)
        if (c == '/')
            c = '\\';
    return out;
}

extern "C" __attribute__((noinline)) void WarmUp(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        NextCreateFile(PlainName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

extern "C" __attribute__((noinline)) void BenchDirectPlain(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        NextCreateFile(PlainName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

extern "C" __attribute__((noinline)) void BenchProxyPlain(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        ProxyCreateFile(PlainName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

extern "C" __attribute__((noinline)) void BenchDirectRedirect(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        NextCreateFile(ComposedSound.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       0, nullptr);
}

extern "C" __attribute__((noinline)) void BenchProxyRedirect(unsigned calls)
{
    for (unsigned i = 0; i < calls; i++)
        ProxyCreateFile(SoundName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

int main(int argc, char **argv)
{
    const char *env = std::getenv("KVZ_BIN_DIR");
    fs::path bin = argc > 1 ? fs::path(argv[1]) : env ? fs::path(env) : fs::current_path();
    fs::path dir =
        fs::temp_directory_path() / ("kvz-intercept-bench-" + std::to_string(std::rand()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    dir = fs::canonical(dir);
    fs::copy_file(bin / "pdaKVZ.dll", dir / "pdaKVZ.dll");
    fs::copy_file(bin / "fake_pda.dll", dir / "_pdaKVZ.dll");
    std::ofstream(dir / "sound_config.txt") << "SoundDir=tones\nArchiveDir=packs\n";

    HMODULE proxy = LoadLibraryA(KitPath(dir / "pdaKVZ.dll").c_str());
    HMODULE next = LoadLibraryA(KitPath(dir / "_pdaKVZ.dll").c_str());
    if (proxy == nullptr || next == nullptr) {
        std::fprintf(stderr, "cannot load the proxy or the fake from %s\n", dir.c_str());
        return 1;
    }
    ProxyCreateFile = (PFN_KVZ_CreateFileW)(void (*)(void))GetProcAddress(
        proxy, KVZ_ORDINAL_NAME(KVZ_ORD_CreateFile));
    NextCreateFile = (PFN_KVZ_CreateFileW)(void (*)(void))GetProcAddress(
        next, KVZ_ORDINAL_NAME(KVZ_ORD_CreateFile));
    auto set_script =
        (PFN_KvzFakeSetScript)(void (*)(void))GetProcAddress(next, "KvzFakeSetScript");
    if (ProxyCreateFile == nullptr || NextCreateFile == nullptr || set_script == nullptr)
        return 1;
    set_script("KVZ_CreateFile 588");

    PlainName = Widen("\\Storage\\Program Files\\Game\\data\\lvl.dat");
    SoundName = Widen("\\Storage\\Program Files\\Game\\sound\\ab.ogg");
    ComposedSound = Widen(KitPath(dir) + "\\tones\\ab.ogg");
    if (PlainName.size() != 40 || SoundName.size() != 40)
        return 1;

    WarmUp(kWarmUp);
    BenchProxyPlain(kCalls);
    BenchDirectPlain(kCalls);
    BenchProxyRedirect(kCalls);
    BenchDirectRedirect(kCalls);
    std::printf("calls per function: %u\nname length: %zu\ncomposed path length: %zu\n", kCalls,
                PlainName.size(), ComposedSound.size());
    FreeLibrary(next);
    FreeLibrary(proxy);
    fs::remove_all(dir);
    return 0;
}
