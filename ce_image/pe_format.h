// The PE/COFF constants the image writer uses, each named once with what it
// means. Layout offsets are those of a PE32 image (not PE32+).
#pragma once

#include <cstdint>

// ---- Image layout ----
const uint32_t kPeSectionAlignment = 0x1000; // pages in memory
const uint32_t kPeFileAlignment = 0x200;     // sectors in the file
const uint32_t kPeDosHeaderSize = 64;        // MZ header, e_lfanew at 0x3C, no stub
const uint32_t kPeDosLfanewOffset = 0x3C;
const uint16_t kPeDosMagic = 0x5A4D;      // "MZ"
const uint32_t kPeSignature = 0x00004550; // "PE\0\0"
const uint32_t kPeFileHeaderSize = 20;
const uint32_t kPeOptionalHeaderSize = 224; // PE32 with 16 data directories
const uint32_t kPeSectionHeaderSize = 40;
const uint32_t kPeSectionNameSize = 8;
const uint32_t kPeDirectoryCount = 16;

// ---- File header ----
const uint16_t kPeMachineArm = 0x01C0;          // IMAGE_FILE_MACHINE_ARM: ARM mode, interworking
const uint16_t kPeFileExecutableImage = 0x0002; // IMAGE_FILE_EXECUTABLE_IMAGE
const uint16_t kPeFile32BitMachine = 0x0100;    // IMAGE_FILE_32BIT_MACHINE
const uint16_t kPeFileDll = 0x2000;             // IMAGE_FILE_DLL
// IMAGE_FILE_RELOCS_STRIPPED (0x0001) stays clear: the image can be rebased.

// ---- Optional header ----
const uint16_t kPeOptionalMagic32 = 0x010B; // PE32
const uint16_t kPeSubsystemWinCeGui = 9;    // IMAGE_SUBSYSTEM_WINDOWS_CE_GUI
const uint16_t kPeCeVersionMajor = 4;       // Windows CE 4.20 (Pocket PC 2003)
const uint16_t kPeCeVersionMinor = 20;
const uint32_t kPeStackReserve = 0x10000; // CE takes a thread's stack from the EXE;
const uint32_t kPeStackCommit = 0x1000;   // a DLL's values are only read, keep them small
const uint32_t kPeHeapReserve = 0x100000;
const uint32_t kPeHeapCommit = 0x1000;
const uint32_t kPeOptChecksumOffset = 64;  // CheckSum, from the optional header's start
const uint32_t kPeOptDirectoryOffset = 96; // first data directory

// ---- Data directory indices ----
const uint32_t kPeDirExport = 0;    // IMAGE_DIRECTORY_ENTRY_EXPORT
const uint32_t kPeDirImport = 1;    // IMAGE_DIRECTORY_ENTRY_IMPORT
const uint32_t kPeDirResource = 2;  // IMAGE_DIRECTORY_ENTRY_RESOURCE
const uint32_t kPeDirBaseReloc = 5; // IMAGE_DIRECTORY_ENTRY_BASERELOC
const uint32_t kPeDirIat = 12;      // IMAGE_DIRECTORY_ENTRY_IAT

// ---- Section characteristics ----
const uint32_t kPeScnCode = 0x00000020;              // IMAGE_SCN_CNT_CODE
const uint32_t kPeScnInitializedData = 0x00000040;   // IMAGE_SCN_CNT_INITIALIZED_DATA
const uint32_t kPeScnUninitializedData = 0x00000080; // IMAGE_SCN_CNT_UNINITIALIZED_DATA
const uint32_t kPeScnDiscardable = 0x02000000;       // IMAGE_SCN_MEM_DISCARDABLE
const uint32_t kPeScnExecute = 0x20000000;           // IMAGE_SCN_MEM_EXECUTE
const uint32_t kPeScnRead = 0x40000000;              // IMAGE_SCN_MEM_READ
const uint32_t kPeScnWrite = 0x80000000;             // IMAGE_SCN_MEM_WRITE

// ---- Export, import and base relocation tables ----
const uint32_t kPeExportDirectorySize = 40;  // IMAGE_EXPORT_DIRECTORY
const uint32_t kPeImportDescriptorSize = 20; // IMAGE_IMPORT_DESCRIPTOR
const uint32_t kPeRelocBlockHeaderSize = 8;  // page RVA, block size
const uint32_t kPeRelocPageSize = 0x1000;    // one block covers a 4 KiB page
const uint16_t kPeRelBasedAbsolute = 0;      // IMAGE_REL_BASED_ABSOLUTE: padding
const uint16_t kPeRelBasedHighLow = 3;       // IMAGE_REL_BASED_HIGHLOW: add the delta to 32 bits
const uint32_t kPeMaxOrdinal = 0xFFFF;

// ---- Resource section ----
const uint32_t kPeResourceDirectorySize = 16;        // IMAGE_RESOURCE_DIRECTORY
const uint32_t kPeResourceEntrySize = 8;             // IMAGE_RESOURCE_DIRECTORY_ENTRY
const uint32_t kPeResourceDataEntrySize = 16;        // IMAGE_RESOURCE_DATA_ENTRY
const uint32_t kPeResourceNameIsString = 0x80000000; // the entry's name is a string's offset
const uint32_t kPeResourceSubdirectory = 0x80000000; // the entry leads to a directory
