// The PE/COFF constants the CE image loader reads, each named once with what
// it means. Offsets are those of a PE32 image (not PE32+).
#ifndef KVZ_POSIX_CE_PE_FORMAT_H
#define KVZ_POSIX_CE_PE_FORMAT_H

#include <stdint.h>

// ---- Headers ----
static const uint32_t kPeDosLfanewOffset = 0x3C; // file offset of the PE signature's offset
static const uint32_t kPeFileHeaderSize = 20;    // IMAGE_FILE_HEADER, after the signature
static const uint16_t kPeOptionalMagic32 = 0x10B;
static const uint32_t kPeOptionalFixedSize = 96; // PE32 optional header up to its directories
static const uint32_t kPeDirectoryCount = 16;    // IMAGE_NUMBEROF_DIRECTORY_ENTRIES
// CE reads the section table at e_lfanew + 0xF8 and 16 directories whatever
// the header says, so a CE DLL must have exactly this optional header.
static const uint32_t kPeOptionalCeSize = kPeOptionalFixedSize + 8 * kPeDirectoryCount;
static const uint16_t kPeSubsystemWinCeGui = 9;      // IMAGE_SUBSYSTEM_WINDOWS_CE_GUI
static const uint32_t kPeSectionHeaderSize = 40;     // IMAGE_SECTION_HEADER
static const uint32_t kPeImageBaseGranule = 0x10000; // image bases are multiples of 64 KiB

// ---- File header ----
static const uint16_t kPeMachineArm = 0x01C0;   // IMAGE_FILE_MACHINE_ARM: ARM code, may interwork
static const uint16_t kPeMachineThumb = 0x01C2; // IMAGE_FILE_MACHINE_THUMB: ARM or Thumb-1 code
static const uint16_t kPeMachineI386 = 0x014C;  // IMAGE_FILE_MACHINE_I386

static const uint16_t kPeFileRelocsStripped = 0x0001; // the image cannot move from its base
static const uint16_t kPeFileExecutable = 0x0002;     // IMAGE_FILE_EXECUTABLE_IMAGE
static const uint16_t kPeFileDll = 0x2000;            // IMAGE_FILE_DLL

// ---- Section characteristics ----
static const uint32_t kPeScnDiscardable = 0x02000000; // IMAGE_SCN_MEM_DISCARDABLE
static const uint32_t kPeScnExecute = 0x20000000;     // IMAGE_SCN_MEM_EXECUTE
static const uint32_t kPeScnWrite = 0x80000000;       // IMAGE_SCN_MEM_WRITE

// ---- Data directory indices ----
static const unsigned kPeDirExport = 0;    // IMAGE_DIRECTORY_ENTRY_EXPORT
static const unsigned kPeDirImport = 1;    // IMAGE_DIRECTORY_ENTRY_IMPORT
static const unsigned kPeDirBaseReloc = 5; // IMAGE_DIRECTORY_ENTRY_BASERELOC
static const unsigned kPeDirTls = 9;       // IMAGE_DIRECTORY_ENTRY_TLS

// ---- Export, import and base relocation tables ----
static const uint32_t kPeExportDirectorySize = 40;     // IMAGE_EXPORT_DIRECTORY
static const uint32_t kPeImportDescriptorSize = 20;    // IMAGE_IMPORT_DESCRIPTOR
static const uint32_t kPeImportByOrdinal = 0x80000000; // an import thunk naming an ordinal
static const uint32_t kPeRelocBlockHeaderSize = 8;     // page RVA, block size
static const uint16_t kPeRelBasedAbsolute = 0; // IMAGE_REL_BASED_ABSOLUTE: padding, no change
static const uint16_t kPeRelBasedHighLow = 3;  // IMAGE_REL_BASED_HIGHLOW: add the delta to 32 bits

#endif
