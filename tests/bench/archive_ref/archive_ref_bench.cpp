// MB/s of 100-byte reads of a 256 MiB entry through KVZ32.DLL's KVZ_ReadFile
// against 100-byte fread calls on the same bytes in a plain file. The data
// and its archive are made in a scratch folder under /tmp and removed after.
// Prints the ratio (KVZ_ReadFile / fread; the goal is at least 1).
#include "archive_api/kvz_api.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace
{

const size_t kDataSize = 256u << 20;
const DWORD kPiece = 100;

std::string g_dir;     // POSIX path of the scratch folder
std::string g_kit_dir; // the same with backslashes, for the library
PFN_KVZ_MountA g_mount;
PFN_KVZ_UnMountA g_unmount;
PFN_KVZ_CreateFileA g_create;
PFN_KVZ_ReadFile g_read;
PFN_KVZ_CloseHandle g_close;

std::string KitPath(std::string path)
{
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

bool MakeData()
{
    char pattern[] = "/tmp/kvz_bench_XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return false;
    g_dir = pattern;
    g_kit_dir = KitPath(g_dir);
    FILE *file = std::fopen((g_dir + "/data.bin").c_str(), "wb");
    if (file == nullptr)
        return false;
    std::vector<unsigned char> block(1 << 20);
    unsigned long state = 12345;
    for (size_t done = 0; done < kDataSize; done += block.size()) {
        for (unsigned char &b : block)
            b = (unsigned char)((state = state * 1103515245 + 12345) >> 16);
        std::fwrite(block.data(), 1, block.size(), file);
    }
    std::fclose(file);
    std::string tar = "tar --format=ustar -C " + g_dir + " -cf " + g_dir + "/data.tar data.bin";
    return std::system(tar.c_str()) == 0 && std::system(("mkdir " + g_dir + "/mnt").c_str()) == 0;
}

void RemoveData()
{
    if (!g_dir.empty())
        std::system(("rm -rf " + g_dir).c_str());
}

template <typename T> T Bind(HMODULE module, unsigned ordinal)
{
    return reinterpret_cast<T>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(module, KVZ_ORDINAL_NAME(ordinal))));
}

bool LoadLibrary()
{
    HMODULE module = LoadLibraryA("KVZ32.DLL");
    if (module == nullptr)
        return false;
    g_mount = Bind<PFN_KVZ_MountA>(module, KVZ_DESK_Mount);
    g_unmount = Bind<PFN_KVZ_UnMountA>(module, KVZ_DESK_UnMount);
    g_create = Bind<PFN_KVZ_CreateFileA>(module, KVZ_DESK_CreateFile);
    g_read = Bind<PFN_KVZ_ReadFile>(module, KVZ_DESK_ReadFile);
    g_close = Bind<PFN_KVZ_CloseHandle>(module, KVZ_DESK_CloseHandle);
    return g_mount && g_unmount && g_create && g_read && g_close &&
           g_mount((g_kit_dir + "\\data.tar").c_str(), (g_kit_dir + "\\mnt").c_str(), GENERIC_READ,
                   1) == 1;
}

void BM_KvzReadFile100(benchmark::State &state)
{
    char buffer[kPiece];
    for (auto _ : state) {
        KVZHANDLE file = g_create((g_kit_dir + "\\mnt\\data.bin").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        size_t total = 0;
        DWORD got = 0;
        while (g_read(file, buffer, kPiece, &got, nullptr) && got > 0)
            total += got;
        g_close(file);
        if (total != kDataSize)
            state.SkipWithError("short read through KVZ_ReadFile");
        benchmark::DoNotOptimize(buffer);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kDataSize);
}

void BM_Fread100(benchmark::State &state)
{
    char buffer[kPiece];
    for (auto _ : state) {
        FILE *file = std::fopen((g_dir + "/data.bin").c_str(), "rb");
        size_t total = 0, got;
        while ((got = std::fread(buffer, 1, kPiece, file)) > 0)
            total += got;
        std::fclose(file);
        if (total != kDataSize)
            state.SkipWithError("short read through fread");
        benchmark::DoNotOptimize(buffer);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kDataSize);
}

// Five repetitions each, the ratio taken from the medians, so a moment of load
// on a shared machine does not decide it (--benchmark_enable_random_interleaving
// =true alternates them as well).
BENCHMARK(BM_KvzReadFile100)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(BM_Fread100)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);

// Keeps each benchmark's median rate for the closing ratio.
class RateReporter : public benchmark::ConsoleReporter
{
  public:
    std::map<std::string, double> rates;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end() && run.run_type == Run::RT_Aggregate &&
                run.aggregate_name == "median")
                rates[run.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (!MakeData() || !LoadLibrary()) {
        std::fprintf(stderr, "archive_ref_bench: cannot prepare the data or the library\n");
        RemoveData();
        return 1;
    }
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    g_unmount((g_kit_dir + "\\mnt").c_str());
    RemoveData();
    double kvz = reporter.rates["BM_KvzReadFile100"];
    double plain = reporter.rates["BM_Fread100"];
    if (kvz > 0 && plain > 0)
        std::printf("median: KVZ_ReadFile %.0f MB/s, fread %.0f MB/s, ratio %.2f (goal >= 1)\n",
                    kvz / 1e6, plain / 1e6, kvz / plain);
    benchmark::Shutdown();
    return 0;
}
