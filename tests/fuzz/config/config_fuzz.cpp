// Loads arbitrary bytes as a configuration file and checks the store: the
// invariants of its lists, a plain model of the decoding and the line rules,
// and that nothing stays allocated. Each input is loaded again with one
// allocation failing.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "proxy/config.h"

namespace {

char FilePath[64];
long Calls = 0;
long Live = 0;
long FailAt = -1;

void *CountingAlloc(size_t size)
{
    if (Calls++ == FailAt)
        return NULL;
    Live++;
    return malloc(size);
}

void CountingFree(void *block)
{
    if (block != NULL)
        Live--;
    free(block);
}

void RemoveFile() { remove(FilePath); }

// The reader's rules restated on std::string: sections in order of first
// appearance, entries in order of first appearance of their key.
struct ModelSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
};

// What editors write, restated: a UTF-8 mark is dropped; behind FF FE each
// UTF-16LE unit below 256 is one byte, a line holding a larger one is left
// out but for its line end, a NUL unit ends the text, an odd last byte is
// no unit.
std::string Decoded(const uint8_t *data, size_t size)
{
    std::string bytes((const char *)data, size);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return bytes.substr(3);
    if (bytes.compare(0, 2, "\xFF\xFE") != 0)
        return bytes;
    std::string text, line;
    bool wide = false;
    for (size_t i = 2; i + 1 < size; i += 2) {
        unsigned unit = data[i] | data[i + 1] << 8;
        if (unit == 0)
            break;
        if (unit > 0xFF)
            wide = true;
        else
            line += (char)unit;
        if (unit == '\n') {
            text += wide ? std::string("\n") : line;
            line.clear();
            wide = false;
        }
    }
    return wide ? text : text + line;
}

std::vector<ModelSection> Model(const uint8_t *data, size_t size)
{
    std::string text = Decoded(data, size);
    text = text.substr(0, text.find('\0'));
    std::string joined;
    for (size_t i = 0; i < text.size(); i++)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            joined += text[i];
    std::vector<ModelSection> sections(1); // [0] is the top level
    size_t current = 0;
    size_t start = 0;
    for (;;) {
        size_t end = joined.find('\n', start);
        std::string line = joined.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line[0] == '[') {
            std::string name = line.substr(1, line.find(']') == std::string::npos
                                                  ? std::string::npos
                                                  : line.find(']') - 1);
            current = 0;
            for (size_t s = 1; s < sections.size(); s++)
                if (sections[s].name == name)
                    current = s;
            if (current == 0) {
                sections.push_back(ModelSection{name, {}});
                current = sections.size() - 1;
            }
        } else if (line.find('=') != std::string::npos) {
            std::string key = line.substr(0, line.find('='));
            bool known = false;
            for (const auto &entry : sections[current].entries)
                known = known || entry.first == key;
            if (!known)
                sections[current].entries.push_back({key, line.substr(line.find('=') + 1)});
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return sections;
}

// Checks one section's list against the model's (stored newest first).
void CheckEntries(const ConfigSection &section, const ModelSection &model)
{
    std::vector<const ConfigEntry *> entries;
    for (const ConfigEntry *e = section.entries; e != NULL; e = e->next) {
        if (e->keyLength != strlen(e->key) || e->valueLength != strlen(e->value))
            abort();
        for (const ConfigEntry *other : entries)
            if (strcmp(other->key, e->key) == 0)
                abort();
        entries.insert(entries.begin(), e);
    }
    if (entries.size() != model.entries.size())
        abort();
    for (size_t i = 0; i < entries.size(); i++)
        if (model.entries[i].first != entries[i]->key || model.entries[i].second != entries[i]->value)
            abort();
}

// Invariants of any store, also a partly filled one; returns its allocations.
long CheckInvariants(const ConfigStore &store)
{
    if (store.topLevel.name != NULL || store.topLevel.next != NULL)
        abort();
    long allocations = 0;
    for (const ConfigEntry *e = store.topLevel.entries; e != NULL; e = e->next)
        allocations += 3;
    for (const ConfigSection *s = store.sections; s != NULL; s = s->next) {
        allocations += 2;
        for (const ConfigSection *t = s->next; t != NULL; t = t->next)
            if (strcmp(s->name, t->name) == 0)
                abort();
        for (const ConfigEntry *e = s->entries; e != NULL; e = e->next) {
            allocations += 3;
            if (e->keyLength != strlen(e->key) || e->valueLength != strlen(e->value))
                abort();
            for (const ConfigEntry *f = e->next; f != NULL; f = f->next)
                if (strcmp(e->key, f->key) == 0)
                    abort();
        }
    }
    return allocations;
}

void CheckAgainstModel(const ConfigStore &store, const std::vector<ModelSection> &model)
{
    CheckEntries(store.topLevel, model[0]);
    std::vector<const ConfigSection *> sections;
    for (const ConfigSection *s = store.sections; s != NULL; s = s->next)
        sections.insert(sections.begin(), s);
    if (sections.size() + 1 != model.size())
        abort();
    for (size_t i = 0; i < sections.size(); i++) {
        if (model[i + 1].name != sections[i]->name)
            abort();
        CheckEntries(*sections[i], model[i + 1]);
    }
}

// Loads the file with allocation failAt failing; checks and releases.
long LoadAndCheck(long failAt, const std::vector<ModelSection> *model)
{
    Calls = 0;
    FailAt = failAt;
    ConfigStore store;
    ConfigInit(&store);
    uint32_t result = ConfigLoad(&store, FilePath);
    if (result != (failAt < 0 ? CONFIG_LOADED : CONFIG_OUT_OF_MEMORY))
        abort();
    if (CheckInvariants(store) != Live)
        abort(); // the buffer or a dropped record stayed allocated
    if (model != NULL)
        CheckAgainstModel(store, *model);
    ConfigRelease(&store);
    if (Live != 0 || store.sections != NULL || store.topLevel.entries != NULL)
        abort();
    return Calls;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *dir = getenv("TMPDIR");
    snprintf(FilePath, sizeof FilePath, "%.32s/config_fuzz_%d.txt", dir ? dir : "/tmp",
             (int)getpid());
    atexit(RemoveFile);
    ConfigAllocHook = CountingAlloc;
    ConfigFreeHook = CountingFree;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = fopen(FilePath, "wb");
    if (file == NULL || fwrite(data, 1, size, file) != size)
        abort();
    fclose(file);
    std::vector<ModelSection> model = Model(data, size);
    long calls = LoadAndCheck(-1, &model);
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; i++)
        hash = (hash ^ data[i]) * 16777619u;
    LoadAndCheck((long)(hash % (uint32_t)calls), NULL);
    return 0;
}
