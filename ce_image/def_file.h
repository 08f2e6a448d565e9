// A module-definition (.def) file as the kit writes them:
//   LIBRARY name
//   EXPORTS
//       Name @ordinal
// ";" starts a comment. Every export needs an ordinal (1 to 65535); names and
// ordinals are unique. NONAME, DATA, PRIVATE and internal names (=) are not
// used by the kit and are refused rather than half understood.
#ifndef KVZ_CE_IMAGE_DEF_FILE_H
#define KVZ_CE_IMAGE_DEF_FILE_H

#include "name_list.h"

struct DefExport {
    char name[kNameMax + 1];
    uint32_t ordinal;
};

struct DefFile {
    char library[kNameMax + 1]; // empty without a LIBRARY line
    DefExport *exports;
    uint32_t count;
};

bool DefParse(DefFile *def, const char *text, size_t size, const char *what, Diag *d);
void DefFree(DefFile *def);

#endif
