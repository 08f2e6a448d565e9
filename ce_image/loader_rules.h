// What Windows CE's loader demands of a DLL beyond a well-formed PE file,
// checked on the written image's bytes as a device reads them. A file that
// breaks one of these loads in a desktop loader, and in the kit's own, but
// fails or silently breaks on a device, so the writer refuses to write it.
#ifndef KVZ_CE_IMAGE_LOADER_RULES_H
#define KVZ_CE_IMAGE_LOADER_RULES_H

#include "diag.h"

#include <cstdint>

// Refuses, with the header, section, descriptor or relocation named in d:
// - an optional header other than PE32 of 0xE0 bytes with 16 directories
//   (CE reads the section table at e_lfanew + 0xF8 and 16 directories
//   whatever the header says);
// - a Windows CE subsystem version after 4.20 (CE 4.20 would not load it);
// - a read-only section with fewer file bytes than it spans (CE may take
//   its pages from a pool it does not clear);
// - a discardable section holding more than the base relocation table (CE
//   decommits it once the image is loaded);
// - an import descriptor without a lookup table (CE ends its walk there)
//   and import slots outside a writable section;
// - relocation blocks not one a page in ascending page order, and a fixup
//   reaching into the next page (CE patches each page alone, with the first
//   block for it).
// file is size bytes of a PE image whose headers and section table the
// writer made; anything they point at is checked before it is read.
bool LoaderRulesCheck(const uint8_t *file, uint32_t size, Diag *d);

#endif
