#include "name_list.h"

#include <cstdlib>
#include <cstring>

bool name_is_symbol(const char *name)
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

static int compare_names(const void *a, const void *b)
{
    return strcmp(*(char *const *)a, *(char *const *)b);
}

static char *trim(char *s)
{
    while (*s == ' ' || *s == '\t')
        s++;
    size_t n = strlen(s);
    while (n && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r'))
        s[--n] = 0;
    return s;
}

static bool add_names(NameList *list, const char *what, Diag *d)
{
    char *line = list->text;
    for (uint32_t number = 1; line; number++) {
        char *next = strchr(line, '\n');
        if (next)
            *next++ = 0;
        char *name = trim(line);
        line = next;
        if (!name[0] || name[0] == '#')
            continue;
        if (!name_is_symbol(name))
            return diag_fail(d, "%s:%u: \"%.64s\" is not a symbol name", what, number, name);
        list->names[list->count++] = name;
    }
    qsort(list->names, list->count, sizeof list->names[0], compare_names);
    for (uint32_t i = 1; i < list->count; i++)
        if (strcmp(list->names[i - 1], list->names[i]) == 0)
            return diag_fail(d, "%s: %s is listed twice", what, list->names[i]);
    return true;
}

bool name_list_parse(NameList *list, const char *text, size_t size, const char *what, Diag *d)
{
    memset(list, 0, sizeof *list);
    if (memchr(text, 0, size))
        return diag_fail(d, "%s: holds a NUL byte", what);
    size_t lines = 1;
    for (size_t i = 0; i < size; i++)
        lines += text[i] == '\n';
    list->text = (char *)malloc(size + 1);
    list->names = (char **)calloc(lines, sizeof(char *));
    if (!list->text || !list->names) {
        name_list_free(list);
        return diag_fail(d, "%s: out of memory", what);
    }
    memcpy(list->text, text, size);
    list->text[size] = 0;
    if (!add_names(list, what, d)) {
        name_list_free(list);
        return false;
    }
    return true;
}

void name_list_free(NameList *list)
{
    free(list->text);
    free(list->names);
    memset(list, 0, sizeof *list);
}

bool name_list_contains(const NameList *list, const char *name)
{
    if (!list->count)
        return false;
    return bsearch(&name, list->names, list->count, sizeof list->names[0], compare_names) !=
           nullptr;
}
