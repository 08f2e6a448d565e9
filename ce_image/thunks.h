// The assembler source of coredll.dll's thunks: for every export NAME a
// function NAME in section .kvz_thunk.NAME that jumps through the import
// slot __imp_NAME in section .kvz_iat.NAME. Linked as a plain object with
// --gc-sections, it resolves every CE call the DLL makes, keeps only the
// thunks and slots in use, and leaves any other name undefined.
#ifndef KVZ_CE_IMAGE_THUNKS_H
#define KVZ_CE_IMAGE_THUNKS_H

#include "name_list.h"

#include <cstdio>

// Writes the source for every name of the list; false when writing fails.
bool ThunksWrite(const NameList *coredll, const char *list_name, FILE *out);

#endif
