// The ARM build attributes of a linked image (.ARM.attributes, vendor
// "aeabi", file scope) and the check that CE ARMv4I cores can run the code.
#ifndef KVZ_CE_IMAGE_ARM_ATTRIBUTES_H
#define KVZ_CE_IMAGE_ARM_ATTRIBUTES_H

#include "elf_file.h"

struct ArmAttributes {
    uint32_t cpuArch;     // Tag_CPU_arch, 0 when absent
    uint32_t thumbIsaUse; // Tag_THUMB_ISA_use
    uint32_t wcharSize;   // Tag_ABI_PCS_wchar_t
    uint32_t enumSize;    // Tag_ABI_enum_size
};

// Parses the attribute section's bytes (starting with the format byte 'A').
bool ArmAttributesParse(const uint8_t *p, uint32_t size, ArmAttributes *out, Diag *d);

// Refuses an image without .ARM.attributes, built for a later core than
// ARMv4T, holding Thumb-2 code, or compiled with 4-byte wchar_t or short
// enums (CE text is 16-bit and its enums int-sized).
bool ArmAttributesCheck(const ElfFile *elf, Diag *d);

#endif
