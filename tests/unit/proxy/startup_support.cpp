#include "tests/unit/proxy/startup_support.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

namespace fs = std::filesystem;

const char kTextLogOpenFailed[] = "Fehler beim \xC3\x96"
                                  "ffnen der Log-Datei.\nLogging deaktiviert.";
const char kTextSameDir[] = "Obwohl eigene Sounds installiert sind, k\xC3\xB6"
                            "nnen sie nicht abgespielt werden, da sie sich im selben Verzeichnis "
                            "wie das .KVZ-Archiv befinden.\n\nTrotzdem Fortfahren?";
const char kTextImportFailed[] = "Fehler beim Importieren einer Funktion.";

std::string ToKitPath(std::string path)
{
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string ToOsPath(std::string path)
{
    for (char &c : path)
        if (c == '\\')
            c = '/';
    return path;
}

WString Widen(const std::string &ascii)
{
    WString out;
    for (char c : ascii)
        out.push_back((WCHAR)(signed char)c);
    return out;
}

std::string Narrow(const WCHAR *text)
{
    std::string out;
    for (; *text != 0; text++)
        out.push_back(*text < 0x80 ? (char)*text : '?');
    return out;
}

std::string BinDir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string os = ToOsPath(std::string(path, n));
    return os.substr(0, os.rfind('/') + 1);
}

TempDir::TempDir()
{
    static std::atomic<unsigned> serial{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path dir = fs::temp_directory_path() /
                   ("kvz-x1-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    fs::create_directories(dir);
    path_ = ToOsPath(dir.string()) + "/";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void TempDir::write(const std::string &name, const std::string &bytes) const
{
    fs::path file = path_ + name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

void TempDir::mkdir(const std::string &name) const
{
    fs::create_directories(path_ + name);
}

void TempDir::copyFromBin(const std::string &library, const std::string &name) const
{
    fs::path file = path_ + name;
    fs::create_directories(file.parent_path());
    fs::copy_file(BinDir() + library, file, fs::copy_options::overwrite_existing);
}

std::string BoxLine(unsigned flags, const std::string &utf8_text)
{
    std::string text;
    for (char c : utf8_text)
        text += c == '\n' ? std::string("\\n") : std::string(1, c);
    char hex[16];
    snprintf(hex, sizeof hex, "0x%x", flags);
    return "MessageBox: caption=\"Tonvaro - pdaKVZ.dll\" flags=" + std::string(hex) + " text=\"" +
           text + "\"";
}

bool BoxesOnStderr()
{
    return KVZ_TEST_BOXES_ON_STDERR != 0;
}

std::string WithoutLoaderLines(const std::string &err)
{
    std::string rest;
    size_t at = 0;
    while (at < err.size()) {
        size_t end = err.find('\n', at);
        end = end == std::string::npos ? err.size() : end + 1;
        std::string line = err.substr(at, end - at);
        if (line.rfind("kvz loader:", 0) == 0)
            std::cout << line;
        else
            rest += line;
        at = end;
    }
    return rest;
}
