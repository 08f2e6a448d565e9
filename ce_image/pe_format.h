// The PE/COFF constants the image writer uses, each named once with what it
// means. Layout offsets are those of a PE32 image (not PE32+).
#ifndef KVZ_CE_IMAGE_PE_FORMAT_H
#define KVZ_CE_IMAGE_PE_FORMAT_H

#include <cstdint>

// ---- Image layout ----
static const uint32_t kPeSectionAlignment = 0x1000; // pages in memory
static const uint32_t kPeFileAlignment = 0x200;     // sectors in the file
static const uint32_t kPeDosHeaderSize = 64;        // MZ header, e_lfanew at 0x3C, no stub
static const uint32_t kPeDosLfanewOffset = 0x3C;
static const uint16_t kPeDosMagic = 0x5A4D;      // "MZ"
static const uint32_t kPeSignature = 0x00004550; // "PE\0\0"
static const uint32_t kPeFileHeaderSize = 20;
static const uint32_t kPeOptionalHeaderSize = 224; // PE32 with 16 data directories
static const uint32_t kPeSectionHeaderSize = 40;
static const uint32_t kPeSectionNameSize = 8;
static const uint32_t kPeDirectoryCount = 16;

// ---- File header ----
static const uint16_t kPeMachineArm = 0x01C0; // IMAGE_FILE_MACHINE_ARM: ARM mode, interworking
static const uint16_t kPeFileExecutableImage = 0x0002; // IMAGE_FILE_EXECUTABLE_IMAGE
static const uint16_t kPeFile32BitMachine = 0x0100;    // IMAGE_FILE_32BIT_MACHINE
static const uint16_t kPeFileDll = 0x2000;             // IMAGE_FILE_DLL
// IMAGE_FILE_RELOCS_STRIPPED (0x0001) stays clear: the image can be rebased.
static const uint32_t kPeFileSectionCountOffset = 2;  // NumberOfSections
static const uint32_t kPeFileOptionalSizeOffset = 16; // SizeOfOptionalHeader
static const uint32_t kPeFileFlagsOffset = 18;        // Characteristics

// ---- Optional header ----
static const uint16_t kPeOptionalMagic32 = 0x010B; // PE32
static const uint16_t kPeSubsystemWinCeGui = 9;    // IMAGE_SUBSYSTEM_WINDOWS_CE_GUI
static const uint16_t kPeCeVersionMajor = 4;       // Windows CE 4.20 (Pocket PC 2003)
static const uint16_t kPeCeVersionMinor = 20;
static const uint32_t kPeStackReserve = 0x10000; // CE takes a thread's stack from the EXE;
static const uint32_t kPeStackCommit = 0x1000;   // a DLL's values are only read, keep them small
static const uint32_t kPeHeapReserve = 0x100000;
static const uint32_t kPeHeapCommit = 0x1000;
// Fields, from the optional header's start.
static const uint32_t kPeOptSubsystemVersionOffset = 48; // major, then minor
static const uint32_t kPeOptChecksumOffset = 64;         // CheckSum
static const uint32_t kPeOptSubsystemOffset = 68;
static const uint32_t kPeOptDirectoryCountOffset = 92; // NumberOfRvaAndSizes
static const uint32_t kPeOptDirectoryOffset = 96;      // first data directory: RVA, size

// ---- Data directory indices ----
static const uint32_t kPeDirExport = 0;    // IMAGE_DIRECTORY_ENTRY_EXPORT
static const uint32_t kPeDirImport = 1;    // IMAGE_DIRECTORY_ENTRY_IMPORT
static const uint32_t kPeDirResource = 2;  // IMAGE_DIRECTORY_ENTRY_RESOURCE
static const uint32_t kPeDirBaseReloc = 5; // IMAGE_DIRECTORY_ENTRY_BASERELOC
static const uint32_t kPeDirIat = 12;      // IMAGE_DIRECTORY_ENTRY_IAT

// ---- Section header fields ----
static const uint32_t kPeSectionVirtualSizeOffset = 8;
static const uint32_t kPeSectionRvaOffset = 12;       // VirtualAddress
static const uint32_t kPeSectionRawSizeOffset = 16;   // SizeOfRawData
static const uint32_t kPeSectionRawOffsetOffset = 20; // PointerToRawData
static const uint32_t kPeSectionFlagsOffset = 36;     // Characteristics

// ---- Section characteristics ----
static const uint32_t kPeScnCode = 0x00000020;              // IMAGE_SCN_CNT_CODE
static const uint32_t kPeScnInitializedData = 0x00000040;   // IMAGE_SCN_CNT_INITIALIZED_DATA
static const uint32_t kPeScnUninitializedData = 0x00000080; // IMAGE_SCN_CNT_UNINITIALIZED_DATA
static const uint32_t kPeScnDiscardable = 0x02000000;       // IMAGE_SCN_MEM_DISCARDABLE
static const uint32_t kPeScnExecute = 0x20000000;           // IMAGE_SCN_MEM_EXECUTE
static const uint32_t kPeScnRead = 0x40000000;              // IMAGE_SCN_MEM_READ
static const uint32_t kPeScnWrite = 0x80000000;             // IMAGE_SCN_MEM_WRITE

// ---- Export, import and base relocation tables ----
static const uint32_t kPeExportDirectorySize = 40;  // IMAGE_EXPORT_DIRECTORY
static const uint32_t kPeImportDescriptorSize = 20; // IMAGE_IMPORT_DESCRIPTOR
static const uint32_t kPeImportLookupOffset = 0;    // OriginalFirstThunk: the lookup table
static const uint32_t kPeImportNameOffset = 12;     // the DLL's name
static const uint32_t kPeImportSlotsOffset = 16;    // FirstThunk: the import address table
static const uint32_t kPeRelocBlockHeaderSize = 8;  // page RVA, block size
static const uint32_t kPeRelocPageSize = 0x1000;    // one block covers a 4 KiB page
static const uint16_t kPeRelBasedAbsolute = 0;      // IMAGE_REL_BASED_ABSOLUTE: padding
static const uint16_t kPeRelBasedHighLow = 3; // IMAGE_REL_BASED_HIGHLOW: add the delta to 32 bits
static const uint32_t kPeMaxOrdinal = 0xFFFF;

// ---- Resource section ----
static const uint32_t kPeResourceDirectorySize = 16;        // IMAGE_RESOURCE_DIRECTORY
static const uint32_t kPeResourceEntrySize = 8;             // IMAGE_RESOURCE_DIRECTORY_ENTRY
static const uint32_t kPeResourceDataEntrySize = 16;        // IMAGE_RESOURCE_DATA_ENTRY
static const uint32_t kPeResourceNameIsString = 0x80000000; // the entry's name is a string's offset
static const uint32_t kPeResourceSubdirectory = 0x80000000; // the entry leads to a directory

#endif
