// Loads that fail: each allocation in turn, the stream position, a short
// read, a missing file; and a reload that must first empty the store.
#include <gtest/gtest.h>

#include <limits.h>
#include <string>

#include "config_test_support.h"

namespace
{

class ConfigFailure : public testing::Test
{
  protected:
    void SetUp() override
    {
        InstallCountingHeap();
        ConfigInit(&store);
    }
    void TearDown() override
    {
        ConfigRelease(&store);
        EXPECT_EQ(Heap.live, 0) << "allocations left after ConfigRelease";
        RemoveHooks();
        for (const std::string &path : paths)
            remove(path.c_str());
    }
    std::string File(const std::string &bytes)
    {
        paths.push_back(WriteConfigFile(std::to_string(paths.size()), bytes));
        return paths.back();
    }
    // Loads an earlier file, so every failing load below must empty the store.
    void LoadEarlierFile()
    {
        ASSERT_EQ(ConfigLoad(&store, File("old=1\n[old]\nk=v\n").c_str()), CONFIG_LOADED);
        ASSERT_NE(store.sections, nullptr);
    }
    ConfigStore store;
    std::vector<std::string> paths;
};

// Allocations of this file, numbered from 0: 0 buffer; "a=1" 1 record, 2 key,
// 3 value; "[s]" 4 record, 5 name; "b=2" 6 record, 7 key, 8 value; "b=3"
// 9 record, 10 key (a duplicate: both freed, the value never copied); the
// second "[s]" none; "c=4" 11 record, 12 key, 13 value.
const char AllocationFile[] = "a=1\n[s]\nb=2\nb=3\n[s]\nc=4\n";

struct AllocationCase {
    long failAt;
    uint32_t result;
    const char *store;
};

const char A[] = "\"a\"=\"1\"\n";
const std::string AS = std::string(A) + "[s]\n";
const std::string ASB = AS + "\"b\"=\"2\"\n";
const std::string Full = std::string(A) + "[s]\n\"c\"=\"4\"\n\"b\"=\"2\"\n";

const AllocationCase AllocationCases[] = {
    {0, CONFIG_OUT_OF_MEMORY, ""},
    {1, CONFIG_OUT_OF_MEMORY, ""},
    {2, CONFIG_OUT_OF_MEMORY, ""},
    {3, CONFIG_OUT_OF_MEMORY, ""},
    {4, CONFIG_OUT_OF_MEMORY, A},
    {5, CONFIG_OUT_OF_MEMORY, A},
    {6, CONFIG_OUT_OF_MEMORY, AS.c_str()},
    {7, CONFIG_OUT_OF_MEMORY, AS.c_str()},
    {8, CONFIG_OUT_OF_MEMORY, AS.c_str()},
    {9, CONFIG_OUT_OF_MEMORY, ASB.c_str()},
    {10, CONFIG_OUT_OF_MEMORY, ASB.c_str()},
    {11, CONFIG_OUT_OF_MEMORY, ASB.c_str()},
    {12, CONFIG_OUT_OF_MEMORY, ASB.c_str()},
    {13, CONFIG_OUT_OF_MEMORY, ASB.c_str()},
    {14, CONFIG_LOADED, Full.c_str()},
};

// Each record and each string of the store is one live allocation.
long StoreAllocations(const ConfigStore &store)
{
    long count = 0;
    for (const ConfigEntry *e = store.topLevel.entries; e != NULL; e = e->next)
        count += 3;
    for (const ConfigSection *s = store.sections; s != NULL; s = s->next) {
        count += 2;
        for (const ConfigEntry *e = s->entries; e != NULL; e = e->next)
            count += 3;
    }
    return count;
}

TEST_F(ConfigFailure, EachAllocationFailingInTurn)
{
    std::string path = File(AllocationFile);
    for (const AllocationCase &row : AllocationCases) {
        LoadEarlierFile();
        FailAllocationFromNow(row.failAt);
        uint32_t result = ConfigLoad(&store, path.c_str());
        EXPECT_EQ(result, row.result) << "allocation " << row.failAt << " failing";
        EXPECT_EQ(DumpStore(store), row.store) << "allocation " << row.failAt << " failing";
        EXPECT_EQ(Heap.live, StoreAllocations(store))
            << "allocation " << row.failAt << ": only the store may hold memory";
        if (row.result == CONFIG_LOADED) {
            EXPECT_EQ(Heap.calls, 14) << "allocations of a full load";
        }
        ConfigRelease(&store);
        EXPECT_EQ(Heap.live, 0) << "allocation " << row.failAt << ": leak after release";
        FailAllocationFromNow(-1);
        ConfigTellHook = NULL;
        ConfigReadHook = NULL;
    }
}

// The stream's answers, faked through the seams.
long FailingTell(FILE *)
{
    return -1L;
}
long HugeTell(FILE *)
{
    return LONG_MAX;
}
size_t ShortRead(void *buffer, size_t size, size_t count, FILE *stream)
{
    return fread(buffer, size, count, stream) - 1;
}

struct StreamCase {
    const char *name;
    long (*tell)(FILE *);
    size_t (*read)(void *, size_t, size_t, FILE *);
    long allocations; // calls of the allocation hook the load may make
};

const StreamCase StreamCases[] = {
    {"position_fails", FailingTell, NULL, 0},
    {"short_read", NULL, ShortRead, 1},
};

TEST_F(ConfigFailure, UnknownSizeOrShortReadGivesEmptyStore)
{
    std::string path = File("a=1\n[s]\nb=2\n");
    for (const StreamCase &row : StreamCases) {
        LoadEarlierFile();
        FailAllocationFromNow(-1);
        ConfigTellHook = row.tell;
        ConfigReadHook = row.read;
        EXPECT_EQ(ConfigLoad(&store, path.c_str()), CONFIG_UNREADABLE) << row.name;
        EXPECT_EQ(DumpStore(store), "") << row.name;
        EXPECT_EQ(Heap.calls, row.allocations) << row.name;
        EXPECT_EQ(Heap.live, 0) << row.name << ": memory left allocated";
        FailAllocationFromNow(-1);
        ConfigTellHook = NULL;
        ConfigReadHook = NULL;
    }
}

// A size beyond the 32-bit lengths is refused before anything is allocated.
TEST_F(ConfigFailure, FileTooLargeForLengthsIsRefused)
{
    if ((unsigned long)LONG_MAX <= kConfigMaxFileSize)
        GTEST_SKIP() << "a stream position cannot exceed the limit here";
    std::string path = File("a=1\n");
    LoadEarlierFile();
    FailAllocationFromNow(-1);
    ConfigTellHook = HugeTell;
    EXPECT_EQ(ConfigLoad(&store, path.c_str()), CONFIG_UNREADABLE);
    EXPECT_EQ(DumpStore(store), "");
    EXPECT_EQ(Heap.calls, 0);
}

TEST_F(ConfigFailure, MissingFileOrDirectoryGivesEmptyStore)
{
    const char *const paths[] = {"config_test_no_such_file.txt", "no_such_dir\\x.txt", "."};
    for (const char *path : paths) {
        LoadEarlierFile();
        FailAllocationFromNow(-1);
        EXPECT_EQ(ConfigLoad(&store, path), CONFIG_UNREADABLE) << path;
        EXPECT_EQ(DumpStore(store), "") << path;
        EXPECT_EQ(Heap.live, 0) << path;
        FailAllocationFromNow(-1);
        ConfigTellHook = NULL;
        ConfigReadHook = NULL;
    }
}

TEST_F(ConfigFailure, NullArgumentsAreUnreadable)
{
    LoadEarlierFile();
    EXPECT_EQ(ConfigLoad(&store, NULL), CONFIG_UNREADABLE);
    EXPECT_EQ(DumpStore(store), "");
    EXPECT_EQ(ConfigLoad(NULL, "x"), CONFIG_UNREADABLE);
    LoadEarlierFile();
    EXPECT_EQ(ConfigLoadW(&store, NULL), CONFIG_UNREADABLE);
    EXPECT_EQ(DumpStore(store), "");
    EXPECT_EQ(ConfigLoadW(NULL, TEXT("x")), CONFIG_UNREADABLE);
}

TEST_F(ConfigFailure, ReloadKeepsNothingOfTheEarlierFile)
{
    LoadEarlierFile();
    EXPECT_EQ(ConfigLoad(&store, File("new=2\n[old]\nj=w\n").c_str()), CONFIG_LOADED);
    EXPECT_EQ(DumpStore(store), "\"new\"=\"2\"\n[old]\n\"j\"=\"w\"\n");
    LoadEarlierFile();
    EXPECT_EQ(ConfigLoad(&store, File("").c_str()), CONFIG_LOADED);
    EXPECT_EQ(DumpStore(store), "");
}

} // namespace
