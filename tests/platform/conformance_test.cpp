// The platform layer's definition: every assertion here holds on the host
// against the POSIX layer and under Wine against the real Win32 API.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <thread>

namespace
{

typedef std::basic_string<WCHAR> WideString;

const DWORD kUntouched = 0x55555555; // a last error no call leaves by chance

WideString Widen(const std::string &text)
{
    return WideString(text.begin(), text.end());
}

std::string Narrow(const WCHAR *text)
{
    std::string out;
    for (; *text != 0; text++)
        out += *text < 0x80 ? (char)*text : '?';
    return out;
}

std::string CurrentDirectory()
{
    char buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

std::string ProgramDirectory()
{
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, buffer, sizeof buffer);
    std::string path(buffer, n);
    return path.substr(0, path.rfind('\\'));
}

void WriteTextFile(const std::string &path, const std::string &content)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL));
    EXPECT_EQ(written, content.size());
    EXPECT_TRUE(CloseHandle(file));
}

void RemoveTree(const std::string &dir)
{
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(dir + "\\" + name);
            else
                DeleteFileA((dir + "\\" + name).c_str());
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

// Each test gets a fresh directory under the current one, removed afterwards.
class Scratch : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        static int serial;
        dir_ = CurrentDirectory() + "\\p_scratch_" + std::to_string(GetCurrentProcessId()) + "_" +
               std::to_string(++serial);
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), NULL)) << dir_ << " error " << GetLastError();
    }
    void TearDown() override { RemoveTree(dir_); }
    std::string Path(const std::string &name) const { return dir_ + "\\" + name; }
    std::string dir_;
};

/* ---- Attributes ---- */

typedef Scratch Attributes;

TEST_F(Attributes, OfFileAndDirectory)
{
    WriteTextFile(Path("file.txt"), "hello");
    ASSERT_TRUE(CreateDirectoryA(Path("dir").c_str(), NULL));

    DWORD file = GetFileAttributesA(Path("file.txt").c_str());
    ASSERT_NE(file, INVALID_FILE_ATTRIBUTES) << "error " << GetLastError();
    EXPECT_EQ(file & FILE_ATTRIBUTE_DIRECTORY, 0u) << std::hex << file;
    EXPECT_EQ(GetFileAttributesW(Widen(Path("file.txt")).c_str()), file);

    DWORD dir = GetFileAttributesA(Path("dir").c_str());
    ASSERT_NE(dir, INVALID_FILE_ATTRIBUTES) << "error " << GetLastError();
    EXPECT_NE(dir & FILE_ATTRIBUTE_DIRECTORY, 0u) << std::hex << dir;
    EXPECT_EQ(GetFileAttributesA(Path("dir\\").c_str()), dir);
}

TEST_F(Attributes, MissingEntryErrorDependsOnParent)
{
    WriteTextFile(Path("file.txt"), "x");
    struct Case {
        const char *name;
        DWORD error;
    } cases[] = {
        {"missing.txt", ERROR_FILE_NOT_FOUND},
        {"missing_dir\\missing.txt", ERROR_PATH_NOT_FOUND},
        {"missing_dir\\deeper\\missing.txt", ERROR_PATH_NOT_FOUND},
        {"file.txt\\below_a_file", ERROR_PATH_NOT_FOUND},
    };
    for (const Case &c : cases) {
        SetLastError(kUntouched);
        EXPECT_EQ(GetFileAttributesA(Path(c.name).c_str()), INVALID_FILE_ATTRIBUTES) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
}

/* ---- Directories ---- */

typedef Scratch Directories;

TEST_F(Directories, CreateFailsOnExistingOrMissingParent)
{
    SetLastError(kUntouched);
    EXPECT_TRUE(CreateDirectoryA(Path("new").c_str(), NULL));
    EXPECT_FALSE(CreateDirectoryA(Path("new").c_str(), NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA(Path("missing\\new").c_str(), NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(CreateDirectoryW(Widen(Path("wide")).c_str(), NULL));
}

TEST(CurrentDirectoryTest, IsAnAbsoluteBackslashPath)
{
    char buffer[MAX_PATH];
    memset(buffer, 'x', sizeof buffer);
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, sizeof buffer);
    EXPECT_EQ(strlen(buffer), n);
    std::string path(buffer);
    EXPECT_EQ(path.find('/'), std::string::npos) << path;
    EXPECT_NE(path.find('\\'), std::string::npos) << path;
    char small[2];
    EXPECT_EQ(GetCurrentDirectoryA(sizeof small, small), n + 1) << "the room needed";
}

/* ---- Files ---- */

typedef Scratch Files;

TEST_F(Files, ReadWriteSeekAndSize)
{
    std::string path = Path("data.bin");
    WriteTextFile(path, "0123456789");
    SetLastError(kUntouched);
    EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
    EXPECT_EQ(CreateFileA(Path("none").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    DWORD high = kUntouched;
    EXPECT_EQ(GetFileSize(file, &high), 10u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(SetFilePointer(file, 7, NULL, FILE_BEGIN), 7u);
    char buffer[8] = {};
    DWORD got = kUntouched;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, NULL));
    EXPECT_EQ(std::string(buffer, got), "789");
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, NULL));
    EXPECT_EQ(got, 0u) << "end of file reads nothing and succeeds";
    EXPECT_EQ(SetFilePointer(file, -4, NULL, FILE_END), 6u);
    EXPECT_EQ(SetFilePointer(file, -1, NULL, FILE_CURRENT), 5u);
    EXPECT_EQ(SetFilePointer(file, -6, NULL, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file)) << "a closed handle is refused";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

// Past 4 GiB a seek with a high part lands where it says and the size has a
// high part, also where off_t might be 32 bits. The file is sparse.
TEST_F(Files, OffsetsBeyondFourGiB)
{
    std::string path = Path("big.bin");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(file, 3, &high, FILE_BEGIN), 3u);
    EXPECT_EQ(high, 1);
    DWORD written = kUntouched;
    EXPECT_TRUE(WriteFile(file, "xyz", 3, &written, NULL));
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(CloseHandle(file));

    file = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    DWORD size_high = kUntouched;
    EXPECT_EQ(GetFileSize(file, &size_high), 6u);
    EXPECT_EQ(size_high, 1u);
    high = 1;
    EXPECT_EQ(SetFilePointer(file, 4, &high, FILE_BEGIN), 4u);
    EXPECT_EQ(high, 1);
    char buffer[4] = {};
    DWORD got = kUntouched;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, NULL));
    EXPECT_EQ(std::string(buffer, got), "yz");
    EXPECT_TRUE(CloseHandle(file));
}

/* ---- Searches ---- */

class Find : public Scratch
{
  protected:
    void SetUp() override
    {
        Scratch::SetUp();
        WriteTextFile(Path("a.ogg"), "12345");
        WriteTextFile(Path("B.OGG"), "");
        WriteTextFile(Path("c.txt"), "");
        WriteTextFile(Path("d.ogg.txt"), "");
        ASSERT_TRUE(CreateDirectoryA(Path("sub").c_str(), NULL));
    }

    // The names a search yields; `error` is the last error when nothing matches.
    std::set<std::string> Names(const std::string &pattern, DWORD *error = NULL)
    {
        std::set<std::string> names;
        WIN32_FIND_DATAW data;
        SetLastError(kUntouched);
        HANDLE search = FindFirstFileW(Widen(Path(pattern)).c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) {
            if (error != NULL)
                *error = GetLastError();
            return names;
        }
        do {
            std::string name = Narrow(data.cFileName);
            names.insert(name);
            bool is_dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            EXPECT_EQ(is_dir, name == "sub" || name == "." || name == "..") << name;
            EXPECT_EQ(data.nFileSizeLow, name == "a.ogg" ? 5u : 0u) << name;
        } while (FindNextFileW(search, &data));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
        EXPECT_TRUE(FindClose(search));
        return names;
    }
};

TEST_F(Find, PatternsMatchWithoutRegardToCase)
{
    typedef std::set<std::string> Names_;
    struct Case {
        const char *pattern;
        Names_ expected;
    } cases[] = {
        {"*.ogg", {"a.ogg", "B.OGG"}},
        {"*.OgG", {"a.ogg", "B.OGG"}},
        {"A.OGG", {"a.ogg"}},
        {"?.txt", {"c.txt"}},
        {"d*.txt", {"d.ogg.txt"}},
        {"*", {".", "..", "a.ogg", "B.OGG", "c.txt", "d.ogg.txt", "sub"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Names(c.pattern), c.expected) << c.pattern;
}

TEST_F(Find, NothingMatchingIsNoMoreFiles)
{
    DWORD error = 0;
    EXPECT_TRUE(Names("*.mp3", &error).empty());
    EXPECT_EQ(error, (DWORD)ERROR_NO_MORE_FILES);
}

TEST_F(Find, MissingDirectoryIsNotNoMoreFiles)
{
    DWORD error = 0;
    EXPECT_TRUE(Names("missing\\*.ogg", &error).empty());
    EXPECT_NE(error, (DWORD)ERROR_NO_MORE_FILES);
    EXPECT_EQ(error, (DWORD)ERROR_PATH_NOT_FOUND);
}

/* ---- Libraries ---- */

typedef int(WINAPI *IntProc)(void);
typedef int(WINAPI *AddProc)(int, int);
typedef void(WINAPI *WatchProc)(int *);
typedef HINSTANCE(WINAPI *InstanceProc)(void);
typedef const WCHAR *(WINAPI *NameProc)(void);

const WCHAR kProbe[] = TEXT("kvz_probe.dll");

template <typename Proc> Proc Bind(HMODULE module, unsigned ordinal)
{
    FARPROC proc = GetProcAddressW(module, (LPCWSTR)(ULONG_PTR)ordinal);
    EXPECT_NE(proc, nullptr) << "ordinal " << ordinal << " missing, error " << GetLastError();
    return (Proc)(void (*)(void))proc; // via void(*)(void): mingw's FARPROC is int(*)()
}

TEST(Loader, FindsAPlainNameInTheProgramDirectory)
{
    ASSERT_NE(CurrentDirectory(), ProgramDirectory()) << "the test must run elsewhere";
    HMODULE probe = LoadLibraryW(kProbe);
    ASSERT_NE(probe, nullptr) << "error " << GetLastError();
    EXPECT_TRUE(FreeLibrary(probe));
}

TEST(Loader, EachOrdinalBindsItsFunctionAndAMissingOneIsNull)
{
    HMODULE probe = LoadLibraryW(kProbe);
    ASSERT_NE(probe, nullptr) << "error " << GetLastError();
    IntProc one = Bind<IntProc>(probe, 1);
    AddProc add = Bind<AddProc>(probe, 2);
    ASSERT_TRUE(one != nullptr && add != nullptr);
    EXPECT_EQ(one(), 1);
    EXPECT_EQ(add(2, 40), 42);
    EXPECT_EQ((void *)add, (void *)GetProcAddress(probe, "ProbeAdd")) << "name and ordinal agree";
    for (unsigned missing : {3u, 99u}) {
        SetLastError(kUntouched);
        EXPECT_EQ(GetProcAddressW(probe, (LPCWSTR)(ULONG_PTR)missing), nullptr) << missing;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND) << missing;
    }
    EXPECT_TRUE(FreeLibrary(probe));
}

TEST(Loader, DllMainSeesOneAttachAndOneDetach)
{
    HMODULE probe = LoadLibraryW(kProbe);
    ASSERT_NE(probe, nullptr) << "error " << GetLastError();
    EXPECT_EQ(LoadLibraryW(kProbe), probe) << "a second load counts a reference";
    IntProc attaches = Bind<IntProc>(probe, 4);
    WatchProc watch = Bind<WatchProc>(probe, 5);
    ASSERT_TRUE(attaches != nullptr && watch != nullptr);
    EXPECT_EQ(attaches(), 1);
    int detaches = 0;
    watch(&detaches);
    EXPECT_TRUE(FreeLibrary(probe));
    EXPECT_EQ(detaches, 0) << "still referenced";
    EXPECT_TRUE(FreeLibrary(probe));
    EXPECT_EQ(detaches, 1);
}

TEST(Loader, ALibraryStillLoadedIsDetachedAtProcessExit)
{
    EXPECT_EXIT(
        {
            if (LoadLibraryW(kProbe) == NULL)
                exit(2);
            exit(0);
        },
        testing::ExitedWithCode(0), "kvz_probe: detached at process exit");
}

TEST(Loader, ModuleFileNameIsTheFullBackslashPath)
{
    HMODULE probe = LoadLibraryW(kProbe);
    ASSERT_NE(probe, nullptr) << "error " << GetLastError();
    WCHAR name[MAX_PATH];
    DWORD n = GetModuleFileNameW(probe, name, MAX_PATH);
    std::string expected = ProgramDirectory() + "\\kvz_probe.dll";
    EXPECT_EQ(n, expected.size());
    EXPECT_EQ(Narrow(name), expected);

    InstanceProc instance = Bind<InstanceProc>(probe, 6);
    NameProc name_at_attach = Bind<NameProc>(probe, 7);
    ASSERT_TRUE(instance != nullptr && name_at_attach != nullptr);
    EXPECT_EQ((HMODULE)instance(), probe) << "DllMain gets the module handle";
    EXPECT_EQ(Narrow(name_at_attach()), expected) << "the name is known inside DllMain";

    // A cut name is reported by a result equal to the room; whether it is also
    // terminated differs between Windows versions, so callers must not rely on it.
    WCHAR small[5];
    EXPECT_EQ(GetModuleFileNameW(probe, small, 5), 5u);
    EXPECT_TRUE(FreeLibrary(probe));
}

typedef Scratch LoaderFailures;

TEST_F(LoaderFailures, MissingFileAndNonLibrary)
{
    SetLastError(kUntouched);
    EXPECT_EQ(LoadLibraryA("no_such_library.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    WriteTextFile(Path("text.dll"), "this is not a library\n");
    EXPECT_EQ(LoadLibraryA(Path("text.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_EXE_FORMAT);
}

/* ---- Critical sections ---- */

TEST(CriticalSectionTest, NestsOnOneThreadAndExcludesAnother)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    std::atomic<bool> entered(false);
    std::thread other([&] {
        EnterCriticalSection(&section);
        entered = true;
        LeaveCriticalSection(&section);
    });
    Sleep(50);
    EXPECT_FALSE(entered) << "held twice";
    LeaveCriticalSection(&section);
    Sleep(50);
    EXPECT_FALSE(entered) << "still held once";
    LeaveCriticalSection(&section);
    other.join();
    EXPECT_TRUE(entered);
    DeleteCriticalSection(&section);
}

/* ---- Time ---- */

// time() may read a coarser clock than GetLocalTime, a tick behind it, so
// the local time given must lie in the seconds the two reads of time()
// straddle, or the next one; and each field must be in range, so that the
// C library reads the same fields back from it.
TEST(LocalTimeTest, AgreesWithTheCLibrary)
{
    time_t before = time(NULL);
    SYSTEMTIME now;
    memset(&now, 0x55, sizeof now);
    GetLocalTime(&now);
    time_t after = time(NULL);
    struct tm fields = {};
    fields.tm_year = now.wYear - 1900;
    fields.tm_mon = now.wMonth - 1;
    fields.tm_mday = now.wDay;
    fields.tm_hour = now.wHour;
    fields.tm_min = now.wMinute;
    fields.tm_sec = now.wSecond;
    fields.tm_isdst = -1;
    time_t seen = mktime(&fields);
    EXPECT_GE(seen, before);
    EXPECT_LE(seen, after + 1);
    struct tm expected = *localtime(&seen);
    EXPECT_EQ(now.wYear, expected.tm_year + 1900);
    EXPECT_EQ(now.wMonth, expected.tm_mon + 1);
    EXPECT_EQ(now.wDay, expected.tm_mday);
    EXPECT_EQ(now.wDayOfWeek, expected.tm_wday);
    EXPECT_EQ(now.wHour, expected.tm_hour);
    EXPECT_EQ(now.wMinute, expected.tm_min);
    EXPECT_EQ(now.wSecond, expected.tm_sec);
    EXPECT_LT(now.wMilliseconds, 1000);
}

} // namespace
