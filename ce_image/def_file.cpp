#include "def_file.h"

#include "pe_format.h"

#include <cstdlib>
#include <cstring>

static const size_t kLineMax = 1024; // a .def line of the kit is under 80 characters
static const uint32_t kMaxTokens = 8;

struct DefLine {
    char text[kLineMax];
    char *tokens[kMaxTokens];
    uint32_t count;
};

// Splits one line into blank-separated tokens up to a ";" comment.
static bool SplitLine(DefLine *line, const char *start, size_t length)
{
    if (length >= kLineMax)
        return false;
    memcpy(line->text, start, length);
    line->text[length] = 0;
    char *semicolon = strchr(line->text, ';');
    if (semicolon)
        *semicolon = 0;
    line->count = 0;
    for (char *p = line->text; *p;) {
        while (*p == ' ' || *p == '\t' || *p == '\r')
            *p++ = 0;
        if (!*p)
            break;
        if (line->count == kMaxTokens)
            return false;
        line->tokens[line->count++] = p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\r')
            p++;
    }
    return true;
}

static bool ParseOrdinal(const char *text, uint32_t *out)
{
    if (!*text)
        return false;
    uint32_t value = 0;
    for (const char *c = text; *c; c++) {
        if (*c < '0' || *c > '9')
            return false;
        value = value * 10 + (uint32_t)(*c - '0');
        if (value > kPeMaxOrdinal)
            return false;
    }
    *out = value;
    return value != 0;
}

static bool AddExport(DefFile *def, const DefLine *line, const char *what, uint32_t number, Diag *d)
{
    const char *name = line->tokens[0];
    const char *ordinal_text = nullptr;
    if (line->count == 2 && line->tokens[1][0] == '@')
        ordinal_text = line->tokens[1] + 1;
    else if (line->count == 3 && strcmp(line->tokens[1], "@") == 0)
        ordinal_text = line->tokens[2];
    if (!NameIsSymbol(name))
        return DiagFail(d, "%s:%u: \"%.64s\" is not an export name this writer supports", what,
                        number, name);
    uint32_t ordinal;
    if (!ordinal_text || !ParseOrdinal(ordinal_text, &ordinal))
        return DiagFail(d, "%s:%u: %s needs exactly one ordinal \"@1\" to \"@65535\"", what, number,
                        name);
    for (uint32_t i = 0; i < def->count; i++) {
        if (strcmp(def->exports[i].name, name) == 0)
            return DiagFail(d, "%s:%u: %s is exported twice", what, number, name);
        if (def->exports[i].ordinal == ordinal)
            return DiagFail(d, "%s:%u: ordinal %u of %s is taken by %s", what, number, ordinal,
                            name, def->exports[i].name);
    }
    DefExport *e = &def->exports[def->count++];
    strcpy(e->name, name); // NameIsSymbol bounded it by kNameMax
    e->ordinal = ordinal;
    return true;
}

static bool ParseLines(DefFile *def, const char *text, size_t size, const char *what, Diag *d)
{
    DefLine line;
    bool in_exports = false;
    size_t pos = 0;
    for (uint32_t number = 1; pos < size; number++) {
        const char *end = (const char *)memchr(text + pos, '\n', size - pos);
        size_t length = end ? (size_t)(end - (text + pos)) : size - pos;
        if (!SplitLine(&line, text + pos, length))
            return DiagFail(d, "%s:%u: line too long", what, number);
        pos += length + 1;
        if (line.count == 0)
            continue;
        if (strcmp(line.tokens[0], "LIBRARY") == 0) {
            if (line.count > 2 || (line.count == 2 && strlen(line.tokens[1]) > kNameMax))
                return DiagFail(d, "%s:%u: LIBRARY takes one name", what, number);
            strcpy(def->library, line.count == 2 ? line.tokens[1] : "");
            in_exports = false;
        } else if (strcmp(line.tokens[0], "EXPORTS") == 0 && line.count == 1) {
            in_exports = true;
        } else if (!in_exports) {
            return DiagFail(d, "%s:%u: unknown statement %.64s", what, number, line.tokens[0]);
        } else if (!AddExport(def, &line, what, number, d)) {
            return false;
        }
    }
    return true;
}

bool DefParse(DefFile *def, const char *text, size_t size, const char *what, Diag *d)
{
    memset(def, 0, sizeof *def);
    size_t lines = 0;
    if (!TextLineCount(text, size, what, &lines, d))
        return false;
    def->exports = (DefExport *)calloc(lines, sizeof(DefExport));
    if (!def->exports)
        return DiagFail(d, "%s: out of memory", what);
    if (!ParseLines(def, text, size, what, d)) {
        DefFree(def);
        return false;
    }
    if (def->count == 0) {
        DefFree(def);
        return DiagFail(d, "%s: exports nothing", what);
    }
    return true;
}

void DefFree(DefFile *def)
{
    free(def->exports);
    memset(def, 0, sizeof *def);
}
