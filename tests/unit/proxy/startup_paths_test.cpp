// The proxy's own directory and the directories resolved from the
// configuration: contents, lengths, and the limits that keep every later
// append inside its MAX_PATH buffer.
#include <gtest/gtest.h>

#include <string>

#include "proxy/proxy_state.h"
#include "proxy/startup.h"
#include "tests/unit/proxy/startup_support.h"

static void SetModuleDir(const WString &dir)
{
    ASSERT_TRUE(SetModuleDirFromPath((dir + TEXT("pdaKVZ.dll")).c_str(), (DWORD)dir.size() + 10));
}

TEST(ModuleDir, KeepsEverythingUpToTheLastBackslash)
{
    struct Case {
        WString path;
        BOOL ok;
        WString dir;
    } cases[] = {
        {TEXT("\\Storage Card\\Tonvaro\\pdaKVZ.dll"), TRUE, TEXT("\\Storage Card\\Tonvaro\\")},
        {TEXT("\\pdaKVZ.dll"), TRUE, TEXT("\\")},
        {TEXT("\\a/b\\pdaKVZ.dll"), TRUE, TEXT("\\a/b\\")},
        {TEXT("C:\\x\\y\\"), TRUE, TEXT("C:\\x\\y\\")},
        {TEXT("pdaKVZ.dll"), FALSE, TEXT("")},
        {TEXT("a/b/pdaKVZ.dll"), FALSE, TEXT("")},
        {TEXT(""), FALSE, TEXT("")},
    };
    for (const Case &c : cases) {
        ModuleDir[0] = (WCHAR)'#';
        EXPECT_EQ(c.ok, SetModuleDirFromPath(c.path.c_str(), (DWORD)c.path.size()))
            << Narrow(c.path.c_str());
        EXPECT_EQ(c.dir, WString(ModuleDir)) << Narrow(c.path.c_str());
        EXPECT_EQ(c.dir.size(), ModuleDirLength) << Narrow(c.path.c_str());
    }
}

TEST(ModuleDir, RefusesANameTheSystemHadToCut)
{
    WString path = TEXT("\\") + WString(MAX_PATH + 10, (WCHAR)'d') + TEXT("\\pdaKVZ.dll");
    EXPECT_FALSE(SetModuleDirFromPath(path.c_str(), MAX_PATH)) << "length 260 means truncated";
    EXPECT_EQ(0u, ModuleDirLength);
    EXPECT_TRUE(SetModuleDirFromPath(path.c_str(), MAX_PATH - 1));
    EXPECT_EQ(1u, ModuleDirLength) << "only the leading backslash lies within 259 characters";
}

TEST(BuildDirPath, ResolvesValuesAgainstModuleDir)
{
    SetModuleDir(TEXT("\\dev\\app\\"));
    struct Case {
        const char *value;
        WString path;
    } cases[] = {
        {"", TEXT("\\dev\\app\\")},
        {"sound", TEXT("\\dev\\app\\sound\\")},
        {"sub\\tones\\", TEXT("\\dev\\app\\sub\\tones\\")},
        {"a/b", TEXT("\\dev\\app\\a/b\\")},
        {"\\snd", TEXT("\\snd\\")},
        {"\\snd\\", TEXT("\\snd\\")},
        {"\\", TEXT("\\")},
        {" sound ", TEXT("\\dev\\app\\ sound \\")},
        {"t\xE4ne", TEXT("\\dev\\app\\t\xFFE4ne\\")},
    };
    for (const Case &c : cases) {
        WCHAR dest[MAX_PATH];
        DWORD length = 12345;
        EXPECT_TRUE(BuildDirPath(dest, &length, c.value)) << c.value;
        EXPECT_EQ(c.path, WString(dest)) << "value \"" << c.value << "\"";
        EXPECT_EQ(c.path.size(), length) << "value \"" << c.value << "\"";
    }
}

// The longest directory leaves room for "*.ogg" and its terminator.
TEST(BuildDirPath, RefusesADirectoryWithoutRoomForTheProbe)
{
    SetModuleDir(TEXT("\\m\\"));
    const DWORD longest = MAX_PATH - kDirTailRoom;
    struct Case {
        std::string value;
        BOOL ok;
    } cases[] = {
        {std::string(longest - 4, 'r'), TRUE}, // "\m\" + value + "\"
        {std::string(longest - 3, 'r'), FALSE},
        {std::string(longest - 4, 'r') + "\\", TRUE}, // its own backslash
        {"\\" + std::string(longest - 2, 'a'), TRUE}, // absolute: "\" + value + "\"
        {"\\" + std::string(longest - 1, 'a'), FALSE},
        {"\\" + std::string(longest - 2, 'a') + "\\", TRUE},
        {"\\" + std::string(longest, 'a') + "\\", FALSE},
        {std::string(5000, 'x'), FALSE},
    };
    for (const Case &c : cases) {
        WCHAR dest[MAX_PATH + 1];
        dest[MAX_PATH] = (WCHAR)'#';
        DWORD length = 0;
        EXPECT_EQ(c.ok, BuildDirPath(dest, &length, c.value.c_str()))
            << "value of " << c.value.size() << " bytes";
        EXPECT_EQ((WCHAR)'#', dest[MAX_PATH]) << "wrote past the buffer";
        if (c.ok) {
            EXPECT_EQ(longest, length) << "value of " << c.value.size() << " bytes";
            EXPECT_EQ(0, dest[length]);
        }
    }
}
