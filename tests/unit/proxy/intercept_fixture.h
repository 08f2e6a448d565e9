// A proxy under test: pdaKVZ.dll copied into a fresh directory beside a next
// library (the scriptable fake or the reference library) named _pdaKVZ.dll,
// with its own sound_config.txt, loaded in this process. Each instance is a
// separate copy of the files, so each load runs the proxy's start-up anew.
#ifndef KVZ_TESTS_INTERCEPT_FIXTURE_H
#define KVZ_TESTS_INTERCEPT_FIXTURE_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "archive_api/kvz_api.h"
#include "tests/fakes/fake_control.h"

namespace kvztest
{

namespace fs = std::filesystem;
typedef std::basic_string<WCHAR> WString;

inline WString W(const std::string &ascii)
{
    WString out;
    for (unsigned char c : ascii)
        out.push_back((WCHAR)c);
    return out;
}

// 16-bit text as 8-bit, for messages and regular expressions; characters
// above 0x7F become '?'.
inline std::string Narrow(const WString &text)
{
    std::string out;
    for (WCHAR c : text)
        out.push_back(c < 0x80 ? (char)c : '?');
    return out;
}

inline std::string Narrow(const WCHAR *text)
{
    return text == nullptr ? std::string("(null)") : Narrow(WString(text));
}

// A native path in the kit's backslash form.
inline std::string KitPath(const fs::path &path)
{
    std::string out = path.string();
    for (char &c : out)
        if (c == '/')
            c = '\\';
    return out;
}

inline fs::path BinDir()
{
    const char *dir = std::getenv("KVZ_BIN_DIR");
    return dir != nullptr ? fs::path(dir) : fs::current_path();
}

inline fs::path FreshDir(const std::string &tag)
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path dir = fs::temp_directory_path() /
                   ("kvz-" + tag + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(dir);
    return fs::canonical(dir);
}

inline void WriteFile(const fs::path &path, const std::string &bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string ReadBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Decodes UTF-16LE bytes and splits them at CR LF; the text after the last
// CR LF, if any, is returned as a last line so a missing line end shows.
inline std::vector<WString> DecodeLogLines(const std::string &bytes)
{
    WString text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back((WCHAR)((unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8)));
    std::vector<WString> lines;
    size_t start = 0;
    for (size_t at; (at = text.find(W("\r\n"), start)) != WString::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// The timestamp that starts every log line.
inline const std::regex &TimestampPattern()
{
    static const std::regex pattern(R"(^\[\d\d\.\d\d\.\d{4,5} \d\d:\d\d:\d\d\] )");
    return pattern;
}

// The line without its timestamp, or "<no timestamp: line>".
inline std::string StripTimestamp(const WString &line)
{
    std::string text = Narrow(line);
    std::smatch m;
    if (!std::regex_search(text, m, TimestampPattern()))
        return "<no timestamp: " + text + ">";
    return m.suffix().str();
}

template <typename T> T BindOrdinal(HMODULE module, unsigned ordinal)
{
    FARPROC entry = GetProcAddress(module, KVZ_ORDINAL_NAME(ordinal));
    EXPECT_NE(entry, nullptr) << "ordinal " << ordinal << " missing";
    return (T)(void (*)(void))entry;
}

template <typename T> T BindName(HMODULE module, const char *name)
{
    FARPROC entry = GetProcAddress(module, name);
    EXPECT_NE(entry, nullptr) << name << " missing";
    return (T)(void (*)(void))entry;
}

struct ProxyOptions {
    std::string next_library = "fake_pda.dll"; // file in BinDir()
    bool log = true;
    std::string sound_dir = "tones";
    std::string archive_dir = "packs";
    // A file in BinDir() copied unchanged as sound_config.txt; the three
    // settings above are then not written.
    std::string config_file;
};

class ProxyUnderTest
{
  public:
    fs::path dir;
    fs::path log_path;
    HMODULE proxy = nullptr;
    HMODULE next = nullptr;

    PFN_KVZ_CloseHandle CloseHandle = nullptr;
    PFN_KVZ_CreateFileW CreateFile = nullptr;
    PFN_KVZ_MountW Mount = nullptr;
    PFN_KVZ_MountedW Mounted = nullptr;
    PFN_KVZ_ReadFile ReadFile = nullptr;
    PFN_KVZ_UnMountW UnMount = nullptr;

    PFN_KvzFakeSetScript SetScript = nullptr;
    PFN_KvzFakeCallCount CallCount = nullptr;
    PFN_KvzFakeGetCall GetCall = nullptr;

    // Returns false (with a test failure) when the proxy cannot be loaded.
    bool Load(const ProxyOptions &options, const std::string &tag = "proxy")
    {
        dir = FreshDir(tag);
        fs::copy_file(BinDir() / "pdaKVZ.dll", dir / "pdaKVZ.dll");
        fs::copy_file(BinDir() / options.next_library, dir / "_pdaKVZ.dll");
        std::string config =
            "SoundDir=" + options.sound_dir + "\r\n" + "ArchiveDir=" + options.archive_dir + "\r\n";
        if (options.log) {
            log_path = dir / "access.log";
            config += "Log=" + log_path.string() + "\r\n";
        }
        if (options.config_file.empty())
            WriteFile(dir / "sound_config.txt", config);
        else
            fs::copy_file(BinDir() / options.config_file, dir / "sound_config.txt");
        proxy = LoadLibraryA(KitPath(dir / "pdaKVZ.dll").c_str());
        EXPECT_NE(proxy, nullptr) << "cannot load the proxy from " << dir;
        if (proxy == nullptr)
            return false;
        CloseHandle = BindOrdinal<PFN_KVZ_CloseHandle>(proxy, KVZ_ORD_CloseHandle);
        CreateFile = BindOrdinal<PFN_KVZ_CreateFileW>(proxy, KVZ_ORD_CreateFile);
        Mount = BindOrdinal<PFN_KVZ_MountW>(proxy, KVZ_ORD_Mount);
        Mounted = BindOrdinal<PFN_KVZ_MountedW>(proxy, KVZ_ORD_Mounted);
        ReadFile = BindOrdinal<PFN_KVZ_ReadFile>(proxy, KVZ_ORD_ReadFile);
        UnMount = BindOrdinal<PFN_KVZ_UnMountW>(proxy, KVZ_ORD_UnMount);
        next = LoadLibraryA(KitPath(dir / "_pdaKVZ.dll").c_str());
        EXPECT_NE(next, nullptr);
        if (next != nullptr && options.next_library == "fake_pda.dll") {
            SetScript = BindName<PFN_KvzFakeSetScript>(next, "KvzFakeSetScript");
            CallCount = BindName<PFN_KvzFakeCallCount>(next, "KvzFakeCallCount");
            GetCall = BindName<PFN_KvzFakeGetCall>(next, "KvzFakeGetCall");
        }
        return CreateFile != nullptr && Mount != nullptr && next != nullptr;
    }

    // Unloads the proxy, which closes the log, and gives the log's lines.
    std::vector<WString> UnloadAndReadLog()
    {
        Unload();
        return DecodeLogLines(ReadBytes(log_path));
    }

    void Unload()
    {
        if (next != nullptr)
            FreeLibrary(next);
        if (proxy != nullptr)
            FreeLibrary(proxy);
        next = proxy = nullptr;
    }

    ~ProxyUnderTest()
    {
        Unload();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // The directory as the proxy sees it: kit form, ending in a backslash.
    std::string KitDir() const { return KitPath(dir) + "\\"; }
};

} // namespace kvztest

#endif
