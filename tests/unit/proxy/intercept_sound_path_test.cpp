// IsSoundFolderPath: which archive paths count as lying in a "sound" folder,
// and the file-name index it reports for every path.
#include <gtest/gtest.h>

#include "proxy/intercept.h"
#include "tests/unit/proxy/intercept_fixture.h"

using kvztest::W;
using kvztest::WString;

namespace
{

struct SoundPathCase {
    const char *path;
    bool match;
    DWORD file_name_index;
};

const SoundPathCase kSoundPathCases[] = {
    // The component right before the file name is "sound", any case.
    {"sound\\a.KVZ", true, 6},
    {"\\SOUND\\a.KVZ", true, 7},
    {"\\Program Files\\App\\Sound\\a.KVZ", true, 25},
    {"\\a\\sOuNd\\x.kvz", true, 9},
    {"\\a\\sound\\", true, 9}, // empty file name: index equals the length
    {"sound\\", true, 6},
    // Not a sound folder.
    {"\\sounds\\a.KVZ", false, 8},
    {"\\xsound\\a.KVZ", false, 8},
    {"\\sound\\sub\\a.KVZ", false, 11},
    {"sound", false, 0},
    {"sound/a.KVZ", false, 0},
    {"\\sound", false, 1},
    {"", false, 0},
    {"\\", false, 1},
    {"a.KVZ", false, 0},
    {"\\soun\\a.KVZ", false, 6},
    {"\\s0und\\a.KVZ", false, 7},
    {"\\sound \\a.KVZ", false, 8},
    {"xsound\\a.KVZ", false, 7}, // s = 1: the character before must be a backslash
};

TEST(SoundFolderPath, MatchesOnlyTheComponentBeforeTheFileName)
{
    for (const SoundPathCase &c : kSoundPathCases) {
        WString path = W(c.path);
        DWORD index = 0x55555555;
        bool match = IsSoundFolderPath(path.c_str(), &index);
        EXPECT_EQ(match, c.match) << "path \"" << c.path << "\"";
        EXPECT_EQ(index, c.file_name_index) << "path \"" << c.path << "\"";
    }
}

TEST(SoundFolderPath, LettersOutsideAsciiDoNotFold)
{
    // U+017F (long s) and fullwidth letters must not count as 's'.
    WString path = W("\\") + (WCHAR)0x017F + W("ound\\a.KVZ");
    DWORD index = 0;
    EXPECT_FALSE(IsSoundFolderPath(path.c_str(), &index));
    EXPECT_EQ(index, 7u);
    WString upper = W("\\") + (WCHAR)('S' + 0x100) + W("OUND\\a.KVZ");
    EXPECT_FALSE(IsSoundFolderPath(upper.c_str(), &index));
}

} // namespace
