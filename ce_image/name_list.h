// The export list of coredll.dll: one name a line, "#" lines are comments,
// blank lines and surrounding blanks ignored. Names are assembler symbols
// ([A-Za-z_][A-Za-z0-9_]*), each at most once.
#ifndef KVZ_CE_IMAGE_NAME_LIST_H
#define KVZ_CE_IMAGE_NAME_LIST_H

#include "diag.h"

#include <cstddef>
#include <cstdint>

static const size_t kNameMax = 255; // longer than any Windows export name in use

struct NameList {
    char *text;   // owned copy of the file, cut into the names
    char **names; // sorted by strcmp
    uint32_t count;
};

// Parses text (size bytes, not necessarily terminated). `what` names the
// file in messages.
bool NameListParse(NameList *list, const char *text, size_t size, const char *what, Diag *d);
void NameListFree(NameList *list);

bool NameListContains(const NameList *list, const char *name);

// True for a name the thunk generator and the assembler accept.
bool NameIsSymbol(const char *name);

// The number of lines of a text file the writer reads (its line feeds plus
// one), for sizing a table of them; refuses text holding a NUL byte.
bool TextLineCount(const char *text, size_t size, const char *what, size_t *lines, Diag *d);

#endif
