#include "config_test_support.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

HeapCounter Heap;

static void *CountingAlloc(size_t size)
{
    long index = Heap.calls++;
    if (index == Heap.failAt)
        return NULL;
    Heap.live++;
    return malloc(size);
}

static void CountingFree(void *block)
{
    if (block != NULL)
        Heap.live--;
    free(block);
}

void InstallCountingHeap(long failAt)
{
    Heap = HeapCounter();
    Heap.failAt = failAt;
    ConfigAllocHook = CountingAlloc;
    ConfigFreeHook = CountingFree;
}

void FailAllocationFromNow(long failAt)
{
    Heap.calls = 0;
    Heap.failAt = failAt;
}

void RemoveHooks()
{
    ConfigAllocHook = NULL;
    ConfigFreeHook = NULL;
    ConfigTellHook = NULL;
    ConfigReadHook = NULL;
}

std::string WriteConfigFile(const std::string &tag, const std::string &bytes)
{
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "config_test_";
    if (info != NULL)
        name += std::string(info->test_suite_name()) + "_" + info->name() + "_";
    name += tag + ".txt";
    for (char &c : name)
        if (c == '/' || c == '\\')
            c = '_';
    FILE *file = fopen(name.c_str(), "wb");
    EXPECT_NE(file, nullptr) << "cannot create " << name;
    if (file != NULL) {
        EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        fclose(file);
    }
    return name;
}

static std::string Escape(const char *text)
{
    std::string out;
    for (const unsigned char *p = (const unsigned char *)text; *p != 0; p++) {
        char hex[8];
        if (*p == '\r')
            out += "\\r";
        else if (*p == '\t')
            out += "\\t";
        else if (*p == '"' || *p == '\\')
            out += std::string("\\") + (char)*p;
        else if (*p < 0x20 || *p >= 0x7f) {
            snprintf(hex, sizeof hex, "\\x%02x", *p);
            out += hex;
        } else
            out += (char)*p;
    }
    return out;
}

static std::string DumpEntries(const ConfigEntry *entry)
{
    std::string out;
    for (; entry != NULL; entry = entry->next) {
        out += "\"" + Escape(entry->key) + "\"=\"" + Escape(entry->value) + "\"";
        if (entry->keyLength != strlen(entry->key) || entry->valueLength != strlen(entry->value))
            out += " !len";
        out += "\n";
    }
    return out;
}

std::string DumpStore(const ConfigStore &store)
{
    std::string out = DumpEntries(store.topLevel.entries);
    if (store.topLevel.name != NULL || store.topLevel.next != NULL)
        out += "!top-level has a name or a next\n";
    for (const ConfigSection *s = store.sections; s != NULL; s = s->next)
        out += "[" + Escape(s->name) + "]\n" + DumpEntries(s->entries);
    return out;
}
