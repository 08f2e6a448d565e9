// The export list of coredll.dll: one name a line, "#" lines are comments,
// blank lines and surrounding blanks ignored. Names are assembler symbols
// ([A-Za-z_][A-Za-z0-9_]*), each at most once.
#pragma once

#include "diag.h"

#include <cstddef>
#include <cstdint>

const size_t kNameMax = 255; // longer than any Windows export name in use

struct NameList {
    char *text;   // owned copy of the file, cut into the names
    char **names; // sorted by strcmp
    uint32_t count;
};

// Parses text (size bytes, not necessarily terminated). `what` names the
// file in messages.
bool name_list_parse(NameList *list, const char *text, size_t size, const char *what, Diag *d);
void name_list_free(NameList *list);

bool name_list_contains(const NameList *list, const char *name);

// True for a name the thunk generator and the assembler accept.
bool name_is_symbol(const char *name);
