// The .def files and coredll's export list as the writer reads them.
#include "def_file.h"
#include "name_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

std::string parse_def(const char *text, DefFile *def)
{
    Diag d;
    d.text[0] = 0;
    return DefParse(def, text, strlen(text), "x.def", &d) ? "" : d.text;
}

TEST(CeDefFile, ReadsTheKitsFormat)
{
    DefFile def;
    ASSERT_EQ("", parse_def("; comment\r\nLIBRARY pdaKVZ\r\nEXPORTS\r\n"
                            "    KVZ_FindFirstFile       @1\r\n\r\n"
                            "\tKVZ_Mount @ 10 ; spaced ordinal\n"
                            "KVZ_WriteFile @65535",
                            &def));
    EXPECT_STREQ("pdaKVZ", def.library);
    ASSERT_EQ(3u, def.count);
    EXPECT_STREQ("KVZ_FindFirstFile", def.exports[0].name);
    EXPECT_EQ(1u, def.exports[0].ordinal);
    EXPECT_STREQ("KVZ_Mount", def.exports[1].name);
    EXPECT_EQ(10u, def.exports[1].ordinal);
    EXPECT_EQ(65535u, def.exports[2].ordinal);
    DefFree(&def);
}

TEST(CeDefFile, RefusesWhatItDoesNotUnderstand)
{
    struct Case {
        const char *text, *expected;
    } cases[] = {
        {"EXPORTS\n  A\n", "x.def:2: A needs exactly one ordinal"},
        {"EXPORTS\n  A @0\n", "A needs exactly one ordinal"},
        {"EXPORTS\n  A @65536\n", "A needs exactly one ordinal"},
        {"EXPORTS\n  A @1x\n", "A needs exactly one ordinal"},
        {"EXPORTS\n  A @1 NONAME\n", "A needs exactly one ordinal"},
        {"EXPORTS\n  A=B @1\n", "\"A=B\" is not an export name"},
        {"EXPORTS\n  A @1\n  A @2\n", "x.def:3: A is exported twice"},
        {"EXPORTS\n  A @1\n  B @1\n", "ordinal 1 of B is taken by A"},
        {"NAME x\nEXPORTS\n  A @1\n", "x.def:1: unknown statement NAME"},
        {"  A @1\n", "unknown statement A"},
        {"LIBRARY\nEXPORTS\n", "exports nothing"},
        {"LIBRARY a b\n", "LIBRARY takes one name"},
    };
    for (const Case &c : cases) {
        DefFile def;
        std::string error = parse_def(c.text, &def);
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.text << "-> " << error;
    }
}

TEST(CeNameList, SortsSkipsCommentsAndRefusesBadNames)
{
    Diag d;
    NameList list;
    const char text[] = "# coredll\nwcslen\n  Sleep  \r\n\n_itow\n";
    ASSERT_TRUE(NameListParse(&list, text, strlen(text), "list", &d)) << d.text;
    ASSERT_EQ(3u, list.count);
    EXPECT_STREQ("Sleep", list.names[0]);
    EXPECT_STREQ("_itow", list.names[1]);
    EXPECT_STREQ("wcslen", list.names[2]);
    EXPECT_TRUE(NameListContains(&list, "wcslen"));
    EXPECT_FALSE(NameListContains(&list, "wcsle"));
    EXPECT_FALSE(NameListContains(&list, "# coredll"));
    NameListFree(&list);

    struct Case {
        const char *text, *expected;
    } cases[] = {
        {"Sleep\nSleep\n", "Sleep is listed twice"},
        {"Sleep\nlstr cmp\n", "list:2: \"lstr cmp\" is not a symbol name"},
        {"9lives\n", "\"9lives\" is not a symbol name"},
        {"a.b\n", "\"a.b\" is not a symbol name"},
    };
    for (const Case &c : cases) {
        d.text[0] = 0;
        EXPECT_FALSE(NameListParse(&list, c.text, strlen(c.text), "list", &d));
        EXPECT_NE(std::string(d.text).find(c.expected), std::string::npos) << d.text;
    }
}

} // namespace
