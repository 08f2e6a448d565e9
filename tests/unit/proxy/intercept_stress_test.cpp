// Eight threads calling the intercepting exports at once with logging on
// (run under ThreadSanitizer in the host-tsan build). Every redirected open
// must reach the fake with the path composed from its own file name: the
// fake answers each such path with a handle of its own, so a path borrowed
// from another thread shows as a wrong handle. The log must hold one whole,
// well-formed line per event.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/proxy/intercept_fixture.h"

using namespace kvztest;

namespace
{

const unsigned kThreads = 8;
const unsigned kCallsPerThread = 10000;
const unsigned kNamesPerThread = 2;

// Handles the fake gives, by kind, thread and name.
KVZHANDLE Handle(unsigned kind, unsigned thread, unsigned name)
{
    return kind * 10000 + thread * 100 + name;
}
enum { kRedirected = 1, kFallback = 2, kPlain = 3, kOtherMount = 4 };

std::string Tag(unsigned thread, unsigned name)
{
    return std::to_string(thread) + "_" + std::to_string(name);
}

// The redirected names keep their letter case in the composed path.
const char *const kRedirectedExtension[kNamesPerThread] = {".ogg", ".OGG"};

// At most 64 rules: 2 + kThreads * (2 * kNamesPerThread + 4).
std::string Script(const std::string &dir)
{
    std::string s = "KVZ_CreateFile -1\nKVZ_Mount 0\n";
    for (unsigned t = 0; t < kThreads; t++) {
        for (unsigned n = 0; n < kNamesPerThread; n++)
            s += "KVZ_CreateFile " + std::to_string(Handle(kRedirected, t, n)) + " " + dir +
                 "tones\\r" + Tag(t, n) + kRedirectedExtension[n] + "\n";
        s += "KVZ_CreateFile -1 " + dir + "tones\\f" + Tag(t, 0) + ".ogg\n";
        s += "KVZ_CreateFile " + std::to_string(Handle(kFallback, t, 0)) + " \\app\\sound\\f" +
             Tag(t, 0) + ".ogg\n";
        s += "KVZ_CreateFile " + std::to_string(Handle(kPlain, t, 0)) + " \\app\\data\\o" +
             Tag(t, 0) + ".txt\n";
        s += "KVZ_Mount 1 " + dir + "packs\\m" + Tag(t, 0) + ".KVZ\n";
        s += "KVZ_Mount " + std::to_string(Handle(kOtherMount, t, 0)) + " \\app\\data\\m" +
             Tag(t, 0) + ".KVZ\n";
    }
    return s;
}

struct ThreadResult {
    unsigned logged = 0;
    unsigned wrong = 0;
    std::string first_wrong;
};

void Worker(ProxyUnderTest &proxy, unsigned t, ThreadResult &out)
{
    const WString redirected[kNamesPerThread] = {
        W("\\app\\sound\\r" + Tag(t, 0) + kRedirectedExtension[0]),
        W("\\x\\y\\r" + Tag(t, 1) + kRedirectedExtension[1])};
    const WString fallback = W("\\app\\sound\\f" + Tag(t, 0) + ".ogg");
    const WString plain = W("\\app\\data\\o" + Tag(t, 0) + ".txt");
    const WString sound_archive = W("\\app\\sound\\m" + Tag(t, 0) + ".KVZ");
    const WString other_archive = W("\\app\\data\\m" + Tag(t, 0) + ".KVZ");
    const WString mount_dir = W("\\app\\sound");
    auto check = [&](unsigned long got, unsigned long want, const char *what) {
        if (got == want)
            return;
        if (out.wrong++ == 0)
            out.first_wrong = std::string(what) + ": got " + std::to_string(got) + ", expected " +
                              std::to_string(want);
    };
    for (unsigned i = 0; i < kCallsPerThread; i++) {
        switch (i % 8) {
        case 0:
        case 1: {
            unsigned n = (i / 8) % kNamesPerThread;
            KVZHANDLE h = proxy.CreateFile(redirected[n].c_str(), 0, 0, nullptr, 3, 0, nullptr);
            check(h, Handle(kRedirected, t, n), "redirected open");
            out.logged++;
            break;
        }
        case 2:
            check(proxy.CreateFile(fallback.c_str(), 0, 0, nullptr, 3, 0, nullptr),
                  Handle(kFallback, t, 0), "fallback open");
            out.logged++;
            break;
        case 3:
            check(proxy.CreateFile(plain.c_str(), 0, 0, nullptr, 3, 0, nullptr),
                  Handle(kPlain, t, 0), "plain open");
            out.logged++;
            break;
        case 4:
            check(proxy.Mount(sound_archive.c_str(), mount_dir.c_str(), 0x80000000u, 1), 1,
                  "relocated mount");
            out.logged++;
            break;
        case 5:
            check(proxy.Mount(other_archive.c_str(), mount_dir.c_str(), 0x80000000u, 1),
                  Handle(kOtherMount, t, 0), "other mount");
            out.logged++;
            break;
        case 6:
            check(proxy.Mounted(sound_archive.c_str()), 1, "mounted");
            break;
        default:
            proxy.CloseHandle(Handle(kRedirected, t, 0));
            out.logged++;
            break;
        }
    }
}

// The file name of a kit path: the text after its last backslash.
std::string FileName(const std::string &path)
{
    size_t at = path.rfind('\\');
    return at == std::string::npos ? path : path.substr(at + 1);
}

TEST(InterceptStress, EightThreadsKeepTheirOwnPathsAndWholeLines)
{
    ProxyUnderTest proxy;
    ASSERT_TRUE(proxy.Load(ProxyOptions(), "stress"));
    proxy.SetScript(Script(proxy.KitDir()).c_str());

    std::vector<ThreadResult> results(kThreads);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; t++)
        threads.emplace_back(Worker, std::ref(proxy), t, std::ref(results[t]));
    for (std::thread &th : threads)
        th.join();

    unsigned logged = 0;
    for (unsigned t = 0; t < kThreads; t++) {
        EXPECT_EQ(results[t].wrong, 0u) << "thread " << t << ", first: " << results[t].first_wrong;
        logged += results[t].logged;
    }

    std::string dir = proxy.KitDir();
    std::vector<WString> lines = proxy.UnloadAndReadLog();
    EXPECT_EQ(lines.size(), logged);
    static const std::regex close_line(R"(Closing #(\d+))");
    static const std::regex redirect_line(R"((\S+) => (\S+) \[#(\d+)\])");
    static const std::regex open_line(R"((\S+?)( \(FAILED!\))? \[#(\d+)\])");
    static const std::regex relocate_line(R"(Archive: (\S+) => (\S+?)( \(FAILED - SKIPPED\))?)");
    static const std::regex mount_line(R"(Archive: (\S+?)( \(FAILED!\))?)");
    std::map<std::string, unsigned> kinds;
    unsigned bad = 0;
    for (const WString &line : lines) {
        std::string text = StripTimestamp(line);
        std::smatch m;
        std::string problem;
        if (std::regex_match(text, m, close_line)) {
            kinds["close"]++;
        } else if (std::regex_match(text, m, redirect_line)) {
            kinds["redirect"]++;
            if (FileName(m[1]) != FileName(m[2]) || m[2].str() != dir + "tones\\" + FileName(m[1]))
                problem = "composed path of another name";
        } else if (std::regex_match(text, m, relocate_line)) {
            kinds["relocate"]++;
            if (m[3].matched || m[2].str() != dir + "packs\\" + FileName(m[1]))
                problem = "relocated to a path of another name";
        } else if (std::regex_match(text, m, mount_line)) {
            kinds["mount"]++;
            if (m[2].matched)
                problem = "mount failed";
        } else if (std::regex_match(text, m, open_line)) {
            kinds["open"]++;
            if (m[2].matched)
                problem = "open failed";
        } else {
            problem = "matches no format";
        }
        if (!problem.empty() && bad++ < 5)
            ADD_FAILURE() << problem << ": " << text;
    }
    EXPECT_EQ(bad, 0u);
    unsigned rounds = kThreads * (kCallsPerThread / 8);
    EXPECT_EQ(kinds["redirect"], 2 * rounds);
    EXPECT_EQ(kinds["open"], 2 * rounds);
    EXPECT_EQ(kinds["relocate"], rounds);
    EXPECT_EQ(kinds["mount"], rounds);
    EXPECT_EQ(kinds["close"], rounds);
}

} // namespace
