// Loads of a typical ten-line file and of large files of many lines, in
// bytes per second. The large files' lines are comment-like text and repeated
// keys, so the work is the read, the in-place split and the few entries;
// distinct keys in one section cost a walk of the section per line and are
// measured apart, on smaller files, to show that growth.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <string>

#include "proxy/config.h"

namespace
{

const char TypicalFile[] = "; sound_config.txt\r\n"
                           "Log = path of the access log; absent: no log\r\n"
                           "ArchiveDir = sound archives, beside the proxy\r\n"
                           "SoundDir = replacement .ogg files\r\n"
                           "NextDLL = the real library\r\n"
                           "\r\n"
                           "ArchiveDir=sound\r\n"
                           "SoundDir=sound\r\n"
                           "NextDLL=_pdaKVZ.dll\r\n"
                           "Log=\\Temp\\pdaKVZ.log\r\n";

std::string WriteFile(const char *name, const std::string &bytes)
{
    FILE *file = fopen(name, "wb");
    if (file == NULL || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        abort();
    fclose(file);
    return name;
}

// Comment-like lines and lines of eight keys repeated, about size bytes.
std::string ManyLines(size_t size)
{
    std::string text;
    for (unsigned i = 0; text.size() < size; i++) {
        if (i % 2 == 0)
            text +=
                "This line explains a setting and has no equals sign " + std::to_string(i) + "\r\n";
        else
            text += "Key" + std::to_string(i % 16) + "=value of line " + std::to_string(i) + "\r\n";
    }
    return text;
}

// One section of distinct keys, about size bytes.
std::string DistinctKeys(size_t size)
{
    std::string text = "[many]\n";
    for (unsigned i = 0; text.size() < size; i++)
        text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    return text;
}

void LoadLoop(benchmark::State &state, const std::string &path, size_t bytes)
{
    ConfigStore store;
    ConfigInit(&store);
    for (auto _ : state) {
        if (ConfigLoad(&store, path.c_str()) != CONFIG_LOADED)
            abort();
        ConfigRelease(&store);
    }
    state.SetBytesProcessed((int64_t)(state.iterations() * bytes));
    remove(path.c_str());
}

void BM_TypicalFile(benchmark::State &state)
{
    std::string bytes = TypicalFile;
    LoadLoop(state, WriteFile("config_bench_typical.txt", bytes), bytes.size());
}

void BM_ManyLines(benchmark::State &state)
{
    std::string bytes = ManyLines((size_t)state.range(0));
    LoadLoop(state, WriteFile("config_bench_many.txt", bytes), bytes.size());
}

void BM_DistinctKeys(benchmark::State &state)
{
    std::string bytes = DistinctKeys((size_t)state.range(0));
    LoadLoop(state, WriteFile("config_bench_distinct.txt", bytes), bytes.size());
}

} // namespace

BENCHMARK(BM_TypicalFile);
BENCHMARK(BM_ManyLines)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistinctKeys)
    ->Arg(16 << 10)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
