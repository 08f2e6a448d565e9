// The resolved form of the unpacker's paths: spellings of one place compare
// equal, and the result always fits the unpacker's buffers.
#include "unpack/paths.h"

#include <gtest/gtest.h>

#include <string>

TEST(ResolvePathTest, SpellingsOfOnePlaceResolveAlike)
{
    struct Case {
        const char *in;
        const char *out;
    } const kCases[] = {
        {"C:\\run\\game", "C:\\run\\game"},
        {"C:\\run\\game\\", "C:\\run\\game"},
        {"C:\\run\\.\\game", "C:\\run\\game"},
        {"C:\\run\\..\\run\\game", "C:\\run\\game"},
        {"C:\\run\\\\game//", "C:\\run\\game"},
        {"C:\\..\\..\\game", "C:\\game"},
        {"C:\\run\\..", "C:\\"},
        {"C:\\", "C:\\"},
        {"\\tmp\\x\\..\\y", "\\tmp\\y"},
        {"\\", "\\"},
        {"\\\\server\\share\\a\\..\\..\\b", "\\\\server\\share\\b"},
        {"\\\\server\\share", "\\\\server\\share\\"},
    };
    for (const Case &c : kCases) {
        char out[kPathChars];
        ASSERT_TRUE(ResolvePath(c.in, out)) << c.in;
        EXPECT_STREQ(out, c.out) << c.in;
    }
}

TEST(ResolvePathTest, RefusesWhatWouldNotFit)
{
    char out[kPathChars];
    std::string longest = "\\" + std::string(kPathMaxLength - 1, 'n');
    ASSERT_TRUE(ResolvePath(longest.c_str(), out));
    EXPECT_EQ(std::string(out), longest);
    // A drive part alone gains its backslash, one character too many here.
    std::string share = "\\\\" + std::string(kPathMaxLength - 2, 's');
    EXPECT_FALSE(ResolvePath(share.c_str(), out));
    // "C:a" gains the backslash a drive-relative path lacks.
    std::string relative = "C:" + std::string(kPathMaxLength - 2, 'r');
    EXPECT_FALSE(ResolvePath(relative.c_str(), out));
}
