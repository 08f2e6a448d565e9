// The ELF and ARM ELF (AAELF, addenda) constants the image writer reads,
// each named once with what it means.
#ifndef KVZ_CE_IMAGE_ELF_ARM_H
#define KVZ_CE_IMAGE_ELF_ARM_H

#include <cstdint>

// ---- ELF header ----
static const uint32_t kElfHeaderSize = 52; // Elf32_Ehdr
static const uint8_t kElfClass32 = 1;      // ELFCLASS32
static const uint8_t kElfData2Lsb = 1;     // ELFDATA2LSB: little-endian
static const uint16_t kElfTypeExec = 2;    // ET_EXEC: a linked image at fixed addresses
static const uint16_t kElfMachineArm = 40; // EM_ARM

// ---- Section headers ----
static const uint32_t kElfSectionHeaderSize = 40;        // Elf32_Shdr
static const uint32_t kElfShtProgbits = 1;               // SHT_PROGBITS
static const uint32_t kElfShtSymtab = 2;                 // SHT_SYMTAB
static const uint32_t kElfShtStrtab = 3;                 // SHT_STRTAB
static const uint32_t kElfShtRela = 4;                   // SHT_RELA (ARM uses REL; refused)
static const uint32_t kElfShtNobits = 8;                 // SHT_NOBITS: zero-filled
static const uint32_t kElfShtRel = 9;                    // SHT_REL
static const uint32_t kElfShtInitArray = 14;             // SHT_INIT_ARRAY
static const uint32_t kElfShtFiniArray = 15;             // SHT_FINI_ARRAY
static const uint32_t kElfShtPreinitArray = 16;          // SHT_PREINIT_ARRAY
static const uint32_t kElfShtArmAttributes = 0x70000003; // SHT_ARM_ATTRIBUTES
static const uint32_t kElfShfWrite = 0x1;                // SHF_WRITE
static const uint32_t kElfShfAlloc = 0x2;                // SHF_ALLOC: part of the loaded image
static const uint32_t kElfShfExecinstr = 0x4;            // SHF_EXECINSTR
static const uint32_t kElfShfTls = 0x400;                // SHF_TLS

// ---- Symbols ----
static const uint32_t kElfSymSize = 16;          // Elf32_Sym
static const uint16_t kElfShnUndef = 0;          // SHN_UNDEF
static const uint16_t kElfShnLoreserve = 0xFF00; // SHN_LORESERVE: start of special indices
static const uint16_t kElfShnAbs = 0xFFF1;       // SHN_ABS: an absolute value
static const uint16_t kElfShnCommon = 0xFFF2;    // SHN_COMMON: never in a linked image
static const uint8_t kElfStbGlobal = 1;          // STB_GLOBAL
static const uint8_t kElfStbWeak = 2;            // STB_WEAK
static const uint8_t kElfSttFunc = 2;            // STT_FUNC
static const uint8_t kElfSttSection = 3;         // STT_SECTION
static const uint8_t kElfSttTls = 6;             // STT_TLS

// ---- Relocations (ARM) ----
static const uint32_t kElfRelSize = 8;    // Elf32_Rel
static const uint32_t kArmRelNone = 0;    // R_ARM_NONE
static const uint32_t kArmRelPc24 = 1;    // R_ARM_PC24: PC-relative branch
static const uint32_t kArmRelAbs32 = 2;   // R_ARM_ABS32: a 32-bit address
static const uint32_t kArmRelRel32 = 3;   // R_ARM_REL32: PC-relative word
static const uint32_t kArmRelCall = 28;   // R_ARM_CALL: BL
static const uint32_t kArmRelJump24 = 29; // R_ARM_JUMP24: B
static const uint32_t kArmRelV4bx = 40;   // R_ARM_V4BX: marks a BX for ARMv4
static const uint32_t kArmRelPrel31 = 42; // R_ARM_PREL31: PC-relative, unwind tables

// The R_ARM_ name of a relocation type, or null for one the writer cannot
// name: the types above and those it refuses by name (elf_arm.cpp).
const char *ArmRelocName(uint32_t type);

// ---- Build attributes (Tag_*, "aeabi" vendor) ----
static const uint8_t kArmAttrFormatVersion = 'A';
static const uint32_t kArmAttrTagFile = 1;       // attributes of the whole file
static const uint32_t kArmTagCpuRawName = 4;     // string
static const uint32_t kArmTagCpuName = 5;        // string
static const uint32_t kArmTagCpuArch = 6;        // 0 pre-v4, 1 v4, 2 v4T, 3 v5T, ...
static const uint32_t kArmTagThumbIsaUse = 9;    // 0 none, 1 Thumb-1, 2 Thumb-2
static const uint32_t kArmTagWcharT = 18;        // Tag_ABI_PCS_wchar_t: 0 none, 2 or 4 bytes
static const uint32_t kArmTagEnumSize = 26;      // Tag_ABI_enum_size: 1 smallest, 2 int, 3 32-bit
static const uint32_t kArmTagCompatibility = 32; // number, then string
static const uint32_t kArmTagAlsoCompatibleWith = 65; // string
static const uint32_t kArmTagConformance = 67;        // string
static const uint32_t kArmCpuArchV4T = 2;
static const uint32_t kArmThumbIsaThumb1 = 1;
static const uint32_t kArmWcharT4Bytes = 4;
static const uint32_t kArmEnumSizeSmallest = 1;

#endif
