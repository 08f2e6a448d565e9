// Helpers of the proxy's start-up tests: a private temporary directory, the
// two path forms (kit paths use backslashes; the test's own file calls use
// forward slashes, which every build accepts), copies of the built
// libraries, and the message-box line the POSIX layer writes to stderr.
#ifndef KVZ_TESTS_PROXY_STARTUP_SUPPORT_H
#define KVZ_TESTS_PROXY_STARTUP_SUPPORT_H

#include <string>

#include "platform/win32.h"

// 16-bit text in every build.
typedef std::basic_string<WCHAR> WString;

std::string ToKitPath(std::string path); // '/' -> '\'
std::string ToOsPath(std::string path);  // '\' -> '/'
WString Widen(const std::string &ascii);
std::string Narrow(const WCHAR *text); // 7-bit text only; others become '?'

// The directory of the running test program (where the build puts every
// library), in OS form with a trailing '/'.
std::string BinDir();

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes. path() is in OS form, kitPath() in
// kit form, both with a trailing separator.
class TempDir
{
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string kitPath() const { return ToKitPath(path_); }
    // Writes bytes to the relative name (OS separators), creating folders.
    void write(const std::string &name, const std::string &bytes) const;
    void mkdir(const std::string &name) const;
    // Copies bin/<library> to the relative name, creating folders.
    void copyFromBin(const std::string &library, const std::string &name) const;

  private:
    std::string path_;
};

// The line MessageBoxW writes on POSIX for the proxy's caption.
std::string BoxLine(unsigned flags, const std::string &utf8_text);

// Message texts, UTF-8, \n as a real line feed.
extern const char kTextLogOpenFailed[];
extern const char kTextSameDir[];
extern const char kTextImportFailed[];

// Standard error without the loader's lines ("kvz loader: ...", written when
// KVZ_LOADER_TRACE is set), which go to standard output instead, so a test
// reads its message boxes alone and still says which file format each module
// had.
std::string WithoutLoaderLines(const std::string &err);

// Whether a message box is a line on stderr that a test can read and answer
// (POSIX layer) rather than a window (Wine, Windows).
bool BoxesOnStderr();

#endif
