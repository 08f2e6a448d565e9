// What the POSIX layer adds where Windows would show a window or has no
// equivalent: message boxes on standard error, answers from standard input,
// process termination, UTF-8 names on disk and the test probes. Host only.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

// Runs a box with `answer` as the whole of standard input; returns its result
// and what it wrote to standard error.
int BoxWithInput(const char *answer, UINT flags, const WCHAR *text, std::string *line)
{
    char path[] = "/tmp/kvz_box_input_XXXXXX";
    FILE *input = fdopen(mkstemp(path), "w");
    fputs(answer, input);
    fclose(input);
    EXPECT_NE(freopen(path, "r", stdin), nullptr);
    testing::internal::CaptureStderr();
    int result = MessageBoxW(NULL, text, TEXT("Tonvaro - pdaKVZ.dll"), flags);
    *line = testing::internal::GetCapturedStderr();
    remove(path);
    return result;
}

TEST(MessageBox, WritesOneLineWithEscapedLineFeeds)
{
    std::string line;
    EXPECT_EQ(BoxWithInput("", MB_OK | MB_ICONERROR, TEXT("Zeile 1\nZeile \u00e4"), &line), IDOK);
    EXPECT_EQ(line, "MessageBox: caption=\"Tonvaro - pdaKVZ.dll\" flags=0x10 "
                    "text=\"Zeile 1\\nZeile \xc3\xa4\"\n");
}

TEST(MessageBox, YesNoReadsOneAnswerLine)
{
    struct Case {
        const char *input;
        int expected;
    } cases[] = {
        {"j\n", IDYES},   {"Ja\n", IDYES}, {"y\n", IDYES}, {"Y", IDYES}, {"n\n", IDNO},
        {"Nein\n", IDNO}, {"", 0},         {"\n", 0},      {"x\n", 0},
    };
    for (const Case &c : cases) {
        std::string line;
        EXPECT_EQ(BoxWithInput(c.input, 0x10034, TEXT("?"), &line), c.expected) << c.input;
        EXPECT_NE(line.find("flags=0x10034"), std::string::npos) << line;
    }
}

TEST(Process, TerminateEndsAtOnceWithTheCode)
{
    EXPECT_EXIT(
        {
            printf("flushed before the end");
            TerminateProcess(GetCurrentProcess(), 7);
        },
        testing::ExitedWithCode(7), "");
    EXPECT_FALSE(TerminateProcess((HANDLE)0x1234, 1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST(Paths, ArgumentsTurnIntoBackslashPaths)
{
    char arg[] = "/tmp/a/b.kvz";
    KvzArgToPath(arg);
    EXPECT_STREQ(arg, "\\tmp\\a\\b.kvz");
}

TEST(Paths, WideNamesAreUtf8OnDisk)
{
    char dir[] = "/tmp/kvz_wide_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string base = dir;
    KvzArgToPath(&base[0]);
    std::basic_string<WCHAR> wide(base.begin(), base.end());
    wide += TEXT("\\Kl\u00e4nge \U0001F3B5.ogg");
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(file);
    std::string on_disk = std::string(dir) + "/Kl\xc3\xa4nge \xf0\x9f\x8e\xb5.ogg";
    EXPECT_EQ(remove(on_disk.c_str()), 0) << "the file has its UTF-8 name";
    rmdir(dir);

    const WCHAR lone_surrogate[] = {'\\', 't', 'm', 'p', '\\', 0xD800, 0};
    EXPECT_EQ(GetFileAttributesW(lone_surrogate), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
}

// A file dated after January 2038 is there for every call, also where time_t
// might be 32 bits. touch sets the date: the test's own time_t may be short.
TEST(Paths, FileDatedAfter2038IsSeen)
{
    char dir[] = "/tmp/kvz_2040_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/late.txt";
    ASSERT_EQ(std::system(("touch -d 2040-01-01T00:00:00Z " + file).c_str()), 0);
    std::string kit = file;
    KvzArgToPath(&kit[0]);
    EXPECT_NE(GetFileAttributesA(kit.c_str()), INVALID_FILE_ATTRIBUTES) << GetLastError();
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(kit.c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_STREQ(data.cFileName, "late.txt");
    unsigned long long written = (unsigned long long)data.ftLastWriteTime.dwHighDateTime << 32 |
                                 data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(written, (2208988800ull + 11644473600ull) * 10000000ull) << "2040-01-01";
    FindClose(search);
    remove(file.c_str());
    rmdir(dir);
}

TEST(Probes, CountCriticalSectionEntriesAndTimeReads)
{
    unsigned long enters = KvzCriticalSectionEnterCount(), reads = KvzLocalTimeReadCount();
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(KvzCriticalSectionEnterCount(), enters + 1);
    EXPECT_EQ(KvzLocalTimeReadCount(), reads + 1);
}

TEST(Loader, RefusesUnknownModuleHandles)
{
    int not_a_module = 0;
    EXPECT_FALSE(FreeLibrary((HMODULE)&not_a_module));
    EXPECT_EQ(GetProcAddress((HMODULE)&not_a_module, "DllMain"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    WCHAR name[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameW((HMODULE)&not_a_module, name, MAX_PATH), 0u);
}

} // namespace
