// kvz_ce_image's core: from a linked ARM ELF image, its .def and coredll's
// export list to a Windows CE PE32 DLL (machine ARM, subsystem Windows CE
// GUI 4.20) in memory. The ELF is read once; the layout is decided from its
// sections; headers, section bytes, exports, imports, resources and base
// relocations are written from that layout. The output depends on the
// inputs alone.
#ifndef KVZ_CE_IMAGE_CE_IMAGE_H
#define KVZ_CE_IMAGE_CE_IMAGE_H

#include "def_file.h"
#include "name_list.h"
#include "resources.h"

#include <cstddef>
#include <cstdint>

struct CeImageInput {
    const uint8_t *elf;
    size_t elfSize;
    const DefFile *def;
    const NameList *coredll;
    const char *dllName;        // the export directory's name, e.g. "pdaKVZ.dll"
    const Resources *resources; // null: no resource section
};

struct CeImage {
    uint8_t *data; // malloc'd, free with CeImageFree
    uint32_t size;
};

// Refuses, with the symbol, section or relocation named in d, an ELF that is
// not a 32-bit little-endian ARM executable; that lacks __ImageBase or
// DllMain; that has an undefined symbol, TLS, static constructors, sections
// out of place, a relocation other than ABS32 that depends on the load
// address, an import slot not in coredll's list or a broken import address
// table, a .def name it does not define as a function, or code for a later
// core than ARMv4T or using Thumb-2. A written image that breaks a rule of
// CE's loader (loader_rules.h) is refused too.
bool CeImageBuild(const CeImageInput *input, CeImage *out, Diag *d);
void CeImageFree(CeImage *image);

#endif
