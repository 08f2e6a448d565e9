// The proxy's own directory and the directories resolved from the
// configuration: contents, lengths, and the limits that keep every later
// append inside its MAX_PATH buffer.
#include <gtest/gtest.h>

#include <string>

#include "proxy/proxy_state.h"
#include "proxy/startup.h"
#include "tests/unit/proxy/startup_support.h"

static void SetModuleDir(const std::u16string &dir)
{
    ASSERT_TRUE(SetModuleDirFromPath((dir + u"pdaKVZ.dll").c_str(), (DWORD)dir.size() + 10));
}

TEST(ModuleDir, KeepsEverythingUpToTheLastBackslash)
{
    struct Case {
        std::u16string path;
        BOOL ok;
        std::u16string dir;
    } cases[] = {
        {u"\\Storage Card\\Tonvaro\\pdaKVZ.dll", TRUE, u"\\Storage Card\\Tonvaro\\"},
        {u"\\pdaKVZ.dll", TRUE, u"\\"},
        {u"\\a/b\\pdaKVZ.dll", TRUE, u"\\a/b\\"},
        {u"C:\\x\\y\\", TRUE, u"C:\\x\\y\\"},
        {u"pdaKVZ.dll", FALSE, u""},
        {u"a/b/pdaKVZ.dll", FALSE, u""},
        {u"", FALSE, u""},
    };
    for (const Case &c : cases) {
        ModuleDir[0] = u'#';
        EXPECT_EQ(c.ok, SetModuleDirFromPath(c.path.c_str(), (DWORD)c.path.size()))
            << Narrow(c.path.c_str());
        EXPECT_EQ(c.dir, std::u16string(ModuleDir)) << Narrow(c.path.c_str());
        EXPECT_EQ(c.dir.size(), ModuleDirLength) << Narrow(c.path.c_str());
    }
}

TEST(ModuleDir, RefusesANameTheSystemHadToCut)
{
    std::u16string path = u"\\" + std::u16string(MAX_PATH + 10, u'd') + u"\\pdaKVZ.dll";
    EXPECT_FALSE(SetModuleDirFromPath(path.c_str(), MAX_PATH)) << "length 260 means truncated";
    EXPECT_EQ(0u, ModuleDirLength);
    EXPECT_TRUE(SetModuleDirFromPath(path.c_str(), MAX_PATH - 1));
    EXPECT_EQ(1u, ModuleDirLength) << "only the leading backslash lies within 259 characters";
}

TEST(BuildDirPath, ResolvesValuesAgainstModuleDir)
{
    SetModuleDir(u"\\dev\\app\\");
    struct Case {
        const char *value;
        std::u16string path;
    } cases[] = {
        {"", u"\\dev\\app\\"},
        {"sound", u"\\dev\\app\\sound\\"},
        {"sub\\tones\\", u"\\dev\\app\\sub\\tones\\"},
        {"a/b", u"\\dev\\app\\a/b\\"},
        {"\\snd", u"\\snd\\"},
        {"\\snd\\", u"\\snd\\"},
        {"\\", u"\\"},
        {" sound ", u"\\dev\\app\\ sound \\"},
        {"t\xE4ne", u"\\dev\\app\\t\xFFE4ne\\"},
    };
    for (const Case &c : cases) {
        WCHAR dest[MAX_PATH];
        DWORD length = 12345;
        EXPECT_TRUE(BuildDirPath(dest, &length, c.value)) << c.value;
        EXPECT_EQ(c.path, std::u16string(dest)) << "value \"" << c.value << "\"";
        EXPECT_EQ(c.path.size(), length) << "value \"" << c.value << "\"";
    }
}

// The longest directory leaves room for "*.ogg" and its terminator.
TEST(BuildDirPath, RefusesADirectoryWithoutRoomForTheProbe)
{
    SetModuleDir(u"\\m\\");
    const DWORD longest = MAX_PATH - PROXY_DIR_TAIL_ROOM;
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
        dest[MAX_PATH] = u'#';
        DWORD length = 0;
        EXPECT_EQ(c.ok, BuildDirPath(dest, &length, c.value.c_str()))
            << "value of " << c.value.size() << " bytes";
        EXPECT_EQ(u'#', dest[MAX_PATH]) << "wrote past the buffer";
        if (c.ok) {
            EXPECT_EQ(longest, length) << "value of " << c.value.size() << " bytes";
            EXPECT_EQ(0, dest[length]);
        }
    }
}
