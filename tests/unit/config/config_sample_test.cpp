// The sound_config.txt shipped with the proxy: its explanations are ignored
// (none may hold an "=" or start with "["), and it sets exactly the folder
// of the user's own sounds and the next library, at top level.
#include <gtest/gtest.h>

#include <string.h>

#include "config_test_support.h"

namespace
{

// Copied into the tests' working directory by this folder's CMakeLists.txt.
const char SamplePath[] = "config_sample_sound_config.txt";

TEST(ConfigSample, SetsOwnSoundsFolderAtTopLevelOnly)
{
    ConfigStore store;
    ConfigInit(&store);
    ASSERT_EQ(ConfigLoad(&store, SamplePath), CONFIG_LOADED) << "cannot load " << SamplePath;
    EXPECT_EQ(DumpStore(store), "\"NextDLL\"=\"_pdaKVZ.dll\"\n\"SoundDir\"=\"eigene_sounds\"\n");
    const struct {
        const char *key;
        const char *value;
    } keys[] = {{"Log", NULL},
                {"ArchiveDir", NULL},
                {"SoundDir", "eigene_sounds"},
                {"NextDLL", "_pdaKVZ.dll"}};
    for (const auto &row : keys) {
        const ConfigEntry *entry = ConfigFindEntry(&store.topLevel, row.key);
        if (row.value == NULL)
            EXPECT_EQ(entry, nullptr) << row.key << " must stay absent";
        else if (entry == NULL)
            ADD_FAILURE() << row.key << " not found";
        else
            EXPECT_STREQ(entry->value, row.value) << row.key;
    }
    ConfigRelease(&store);
}

} // namespace
