// Access log lines per second, written by one thread and by eight, through
// the proxy's own line writer into a real file (wall clock).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "proxy/access_log.h"
#include "proxy/proxy_state.h"

namespace fs = std::filesystem;

static const unsigned kLines = 400000;

static void WriteLines(unsigned count, const WCHAR *name)
{
    for (unsigned i = 0; i < count; i++)
        LogOrdinaryOpen(name, i);
}

static double LinesPerSecond(unsigned threads, const WCHAR *name)
{
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; t++)
        workers.emplace_back(WriteLines, kLines / threads, name);
    for (std::thread &w : workers)
        w.join();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return kLines / took.count();
}

int main()
{
    fs::path log = fs::temp_directory_path() / "kvz-log-bench.log";
    fs::remove(log);
    AccessLog.stream = std::fopen(log.c_str(), "a+b");
    if (AccessLog.stream == nullptr)
        return 1;
    InitializeCriticalSection(&AccessLog.lock);
    std::string text = "\\Storage\\Program Files\\Game\\sound\\click.ogg";
    std::basic_string<WCHAR> name(text.begin(), text.end());
    WriteLines(1000, name.c_str()); // the stream's buffer, the page cache
    for (unsigned threads : {1u, 8u})
        std::printf("log lines per second, %u thread%s: %.0f\n", threads, threads == 1 ? "" : "s",
                    LinesPerSecond(threads, name.c_str()));
    std::fclose(AccessLog.stream);
    AccessLog.stream = nullptr;
    DeleteCriticalSection(&AccessLog.lock);
    std::printf("log file: %llu bytes\n", (unsigned long long)fs::file_size(log));
    fs::remove(log);
    return 0;
}
