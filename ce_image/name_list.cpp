#include "name_list.h"

#include <cstdlib>
#include <cstring>

bool NameIsSymbol(const char *name)
{
    if (!name[0] || (name[0] >= '0' && name[0] <= '9') || strlen(name) > kNameMax)
        return false;
    for (const char *c = name; *c; c++) {
        bool ok = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                  (*c >= '0' && *c <= '9') || *c == '_';
        if (!ok)
            return false;
    }
    return true;
}

bool TextLineCount(const char *text, size_t size, const char *what, size_t *lines, Diag *d)
{
    if (memchr(text, 0, size))
        return DiagFail(d, "%s: holds a NUL byte", what);
    *lines = 1;
    for (size_t i = 0; i < size; i++)
        *lines += text[i] == '\n';
    return true;
}

static int CompareNames(const void *a, const void *b)
{
    return strcmp(*(char *const *)a, *(char *const *)b);
}

static char *Trim(char *s)
{
    while (*s == ' ' || *s == '\t')
        s++;
    size_t n = strlen(s);
    while (n && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r'))
        s[--n] = 0;
    return s;
}

static bool AddNames(NameList *list, const char *what, Diag *d)
{
    char *line = list->text;
    for (uint32_t number = 1; line; number++) {
        char *next = strchr(line, '\n');
        if (next)
            *next++ = 0;
        char *name = Trim(line);
        line = next;
        if (!name[0] || name[0] == '#')
            continue;
        if (!NameIsSymbol(name))
            return DiagFail(d, "%s:%u: \"%.64s\" is not a symbol name", what, number, name);
        list->names[list->count++] = name;
    }
    qsort(list->names, list->count, sizeof list->names[0], CompareNames);
    for (uint32_t i = 1; i < list->count; i++)
        if (strcmp(list->names[i - 1], list->names[i]) == 0)
            return DiagFail(d, "%s: %s is listed twice", what, list->names[i]);
    return true;
}

bool NameListParse(NameList *list, const char *text, size_t size, const char *what, Diag *d)
{
    memset(list, 0, sizeof *list);
    size_t lines = 0;
    if (!TextLineCount(text, size, what, &lines, d))
        return false;
    list->text = (char *)malloc(size + 1);
    list->names = (char **)calloc(lines, sizeof(char *));
    if (!list->text || !list->names) {
        NameListFree(list);
        return DiagFail(d, "%s: out of memory", what);
    }
    memcpy(list->text, text, size);
    list->text[size] = 0;
    if (!AddNames(list, what, d)) {
        NameListFree(list);
        return false;
    }
    return true;
}

void NameListFree(NameList *list)
{
    free(list->text);
    free(list->names);
    memset(list, 0, sizeof *list);
}

bool NameListContains(const NameList *list, const char *name)
{
    if (!list->count)
        return false;
    return bsearch(&name, list->names, list->count, sizeof list->names[0], CompareNames) != nullptr;
}
