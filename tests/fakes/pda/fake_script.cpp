// Script rules of the fake library, parsed from text into a fixed table.
#include "tests/fakes/pda/fake_script.h"

#include <stdio.h>
#include <string.h>

#include "archive_api/kvz_api.h"
#include "tests/fakes/fake_text.h"

struct FakeRule {
    unsigned ordinal;
    DWORD result;
    int has_path;
    WCHAR path[MAX_PATH];
};

static FakeRule g_rules[KVZ_FAKE_MAX_RULES];
static unsigned g_rule_count;
static char g_script_file_text[KVZ_FAKE_MAX_SCRIPT_BYTES + 1];

/* ---- Parsing ---- */

int FakeParseResult(const char *text, DWORD *value)
{
    if (strcmp(text, "-1") == 0) {
        *value = 0xFFFFFFFFu;
        return 1;
    }
    unsigned base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == 0)
        return 0;
    uint64_t v = 0;
    for (; *text != 0; text++) {
        char c = *text;
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = (unsigned)(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = (unsigned)(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = (unsigned)(c - 'A' + 10);
        else
            return 0;
        v = v * base + digit;
        if (v > 0xFFFFFFFFu)
            return 0;
    }
    *value = (DWORD)v;
    return 1;
}

static unsigned OrdinalOfEntry(const char *name)
{
    for (unsigned i = 0; i < KVZ_HANDHELD_ORDINAL_COUNT; i++)
        if (strcmp(kKvzEntries[i].name, name) == 0)
            return kKvzEntries[i].handheld;
    return 0;
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Cuts the next blank-separated word out of *line (in place) and returns it.
static char *NextWord(char **line)
{
    char *p = *line;
    while (IsBlank(*p))
        p++;
    char *word = p;
    while (*p != 0 && !IsBlank(*p))
        p++;
    if (*p != 0)
        *p++ = 0;
    *line = p;
    return word;
}

// Parses one line (modified in place) into rule; 1 when it holds a rule.
static int ParseRule(char *line, FakeRule *rule)
{
    char *entry = NextWord(&line);
    char *result = NextWord(&line);
    if (entry[0] == '#')
        return 0;
    rule->ordinal = OrdinalOfEntry(entry);
    if (rule->ordinal == 0 || !FakeParseResult(result, &rule->result))
        return 0;
    while (IsBlank(*line))
        line++;
    size_t length = strlen(line);
    while (length > 0 && IsBlank(line[length - 1]))
        line[--length] = 0;
    rule->has_path = length > 0;
    return FakeUtf8ToWide(line, rule->path, MAX_PATH) >= 0;
}

unsigned FakeScriptParse(const char *text)
{
    g_rule_count = 0;
    if (text == NULL)
        return 0;
    char line[3 * MAX_PATH + 64];
    while (*text != 0) {
        size_t length = strcspn(text, "\r\n");
        if (length < sizeof line && g_rule_count < KVZ_FAKE_MAX_RULES) {
            memcpy(line, text, length);
            line[length] = 0;
            if (ParseRule(line, &g_rules[g_rule_count]))
                g_rule_count++;
        }
        text += length;
        text += strspn(text, "\r\n");
    }
    return g_rule_count;
}

int FakeScriptLoadFile(const char *path)
{
    g_rule_count = 0;
    FILE *file = fopen(path, "rb");
    if (file == NULL)
        return -1;
    size_t length = fread(g_script_file_text, 1, KVZ_FAKE_MAX_SCRIPT_BYTES, file);
    fclose(file);
    g_script_file_text[length] = 0;
    return (int)FakeScriptParse(g_script_file_text);
}

/* ---- Lookup ---- */

int FakeScriptFind(unsigned ordinal, const WCHAR *path, DWORD *result)
{
    for (int pass = 0; pass < 2; pass++) {
        int want_path = pass == 0;
        if (want_path && path == NULL)
            continue;
        for (unsigned i = 0; i < g_rule_count; i++) {
            const FakeRule *rule = &g_rules[i];
            if (rule->ordinal != ordinal || rule->has_path != want_path)
                continue;
            if (want_path && !FakeWideEqual(rule->path, path))
                continue;
            *result = rule->result;
            return 1;
        }
    }
    return 0;
}
