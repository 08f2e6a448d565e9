// Lookups, release and reuse of a store.
#include <gtest/gtest.h>

#include <string.h>

#include "config_test_support.h"

namespace
{

class ConfigLookup : public testing::Test
{
  protected:
    void SetUp() override
    {
        memset(&store, 0x55, sizeof store);
        ConfigInit(&store);
        path = WriteConfigFile("lookup", "SoundDir=top\nKey=1\n[a]\nSoundDir=a\nOnlyA=x\n[]\n"
                                         "e=empty\n[b]\nSoundDir=b\n");
        ASSERT_EQ(ConfigLoad(&store, path.c_str()), CONFIG_LOADED);
    }
    void TearDown() override
    {
        ConfigRelease(&store);
        remove(path.c_str());
    }
    const char *Value(const ConfigSection *section, const char *key)
    {
        const ConfigEntry *entry = ConfigFindEntry(section, key);
        return entry ? entry->value : NULL;
    }
    ConfigStore store;
    std::string path;
};

TEST_F(ConfigLookup, InitEmptiesAnyStore)
{
    ConfigStore fresh;
    memset(&fresh, 0x55, sizeof fresh);
    ConfigInit(&fresh);
    EXPECT_EQ(fresh.sections, nullptr);
    EXPECT_EQ(fresh.topLevel.entries, nullptr);
    EXPECT_EQ(fresh.topLevel.name, nullptr);
    EXPECT_EQ(fresh.topLevel.next, nullptr);
    ConfigRelease(&fresh);
    EXPECT_EQ(DumpStore(fresh), "");
}

TEST_F(ConfigLookup, TopLevelKeysOnlyInTopLevelSection)
{
    EXPECT_STREQ(Value(&store.topLevel, "SoundDir"), "top");
    EXPECT_STREQ(Value(&store.topLevel, "Key"), "1");
    EXPECT_EQ(Value(&store.topLevel, "OnlyA"), nullptr);
    EXPECT_EQ(Value(&store.topLevel, "key"), nullptr);
    EXPECT_EQ(Value(&store.topLevel, "SoundDir "), nullptr);
    EXPECT_EQ(Value(&store.topLevel, ""), nullptr);
}

TEST_F(ConfigLookup, SectionsByExactName)
{
    ConfigSection *a = ConfigFindSection(&store, "a");
    ConfigSection *b = ConfigFindSection(&store, "b");
    ConfigSection *empty = ConfigFindSection(&store, "");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(Value(a, "SoundDir"), "a");
    EXPECT_STREQ(Value(a, "OnlyA"), "x");
    EXPECT_STREQ(Value(b, "SoundDir"), "b");
    EXPECT_EQ(Value(b, "OnlyA"), nullptr);
    EXPECT_STREQ(Value(empty, "e"), "empty");
    EXPECT_EQ(ConfigFindSection(&store, "A"), nullptr);
    EXPECT_EQ(ConfigFindSection(&store, "c"), nullptr);
    EXPECT_EQ(ConfigFindEntry(a, "SoundDir")->valueLength, 1u);
}

TEST_F(ConfigLookup, NullArgumentsFindNothing)
{
    EXPECT_EQ(ConfigFindSection(NULL, "a"), nullptr);
    EXPECT_EQ(ConfigFindSection(&store, NULL), nullptr);
    EXPECT_EQ(ConfigFindEntry(NULL, "Key"), nullptr);
    EXPECT_EQ(ConfigFindEntry(&store.topLevel, NULL), nullptr);
}

TEST_F(ConfigLookup, ReleaseLeavesStoreReusable)
{
    ConfigRelease(&store);
    EXPECT_EQ(DumpStore(store), "");
    EXPECT_EQ(ConfigFindSection(&store, "a"), nullptr);
    EXPECT_EQ(ConfigFindEntry(&store.topLevel, "Key"), nullptr);
    ConfigRelease(&store);
    ASSERT_EQ(ConfigLoad(&store, path.c_str()), CONFIG_LOADED);
    EXPECT_STREQ(Value(&store.topLevel, "Key"), "1");
}

} // namespace
