// PE/COFF images (PE32) as Windows CE loads its DLLs: headers, sections,
// exports, imports and base relocations, read from bytes in memory.
//
// Pure functions over buffers, the same on every host: the loader
// (pe_loader.cpp) maps with them, the tests and the fuzzer run them on
// x86-64 too. Every offset, count and RVA taken from the image is hostile:
// each access is checked against the buffer it points into first, with sums
// computed in 64 bits. Any damage gives ERROR_BAD_EXE_FORMAT.
//
// The steps, in the order the loader takes them:
//   PeParse        headers and section table from the file
//   PeLayOut       the file's bytes into a zero-filled image buffer at their RVAs
//   PeRelocate     base relocations, checked even when the delta is 0
//   PeCheckExports the export directory
//   PeBindImports  each import slot filled by a resolver
// after which PeFindExport looks exports up by name or ordinal.
#ifndef KVZ_PLATFORM_POSIX_PE_IMAGE_H
#define KVZ_PLATFORM_POSIX_PE_IMAGE_H

#include "platform/win32.h"

#include <stddef.h>
#include <stdint.h>

// ---- Format constants ----
#define PE_MACHINE_ARM 0x01C0   // IMAGE_FILE_MACHINE_ARM: ARM code, may interwork
#define PE_MACHINE_THUMB 0x01C2 // IMAGE_FILE_MACHINE_THUMB: ARM or Thumb-1 code
#define PE_MACHINE_I386 0x014C  // IMAGE_FILE_MACHINE_I386

#define PE_FILE_RELOCS_STRIPPED 0x0001 // the image cannot move from its base
#define PE_FILE_EXECUTABLE 0x0002      // IMAGE_FILE_EXECUTABLE_IMAGE
#define PE_FILE_DLL 0x2000             // IMAGE_FILE_DLL

#define PE_SCN_UNINITIALIZED 0x00000080 // IMAGE_SCN_CNT_UNINITIALIZED_DATA
#define PE_SCN_DISCARDABLE 0x02000000   // IMAGE_SCN_MEM_DISCARDABLE
#define PE_SCN_EXECUTE 0x20000000       // IMAGE_SCN_MEM_EXECUTE
#define PE_SCN_READ 0x40000000          // IMAGE_SCN_MEM_READ
#define PE_SCN_WRITE 0x80000000         // IMAGE_SCN_MEM_WRITE

#define PE_DIR_EXPORT 0    // IMAGE_DIRECTORY_ENTRY_EXPORT
#define PE_DIR_IMPORT 1    // IMAGE_DIRECTORY_ENTRY_IMPORT
#define PE_DIR_BASERELOC 5 // IMAGE_DIRECTORY_ENTRY_BASERELOC
#define PE_DIR_TLS 9       // IMAGE_DIRECTORY_ENTRY_TLS

#define PE_REL_ABSOLUTE 0 // IMAGE_REL_BASED_ABSOLUTE: padding, no change
#define PE_REL_HIGHLOW 3  // IMAGE_REL_BASED_HIGHLOW: add the delta to 32 bits

// ---- Limits ----
// Windows' loader takes no more than 96 sections; CE DLLs have about five.
#define PE_MAX_SECTIONS 96
// A CE 5 process slot is 32 MiB, code and data together, so no handheld DLL
// is larger. Tests and the fuzzer may shrink it.
#ifndef PE_MAX_IMAGE_SIZE
#define PE_MAX_IMAGE_SIZE (32u * 1024 * 1024)
#endif
// Each section starts on a page of its own, so each keeps its own
// protection: CE's and Linux's page on ARM.
#define PE_PAGE_SIZE 0x1000u
// Longest DLL or import name, terminator included; coredll's longest is 28.
#define PE_NAME_MAX 256

// ---- The parsed headers ----
struct PeSection {
    char name[9];             // terminated copy of the 8-byte name
    uint32_t rva;             // VirtualAddress, a multiple of the section alignment
    uint32_t extent;          // bytes in memory: VirtualSize, or SizeOfRawData when 0
    uint32_t file_offset;     // PointerToRawData
    uint32_t file_size;       // bytes copied from the file, at most `extent`
    uint32_t characteristics; // PE_SCN_* flags
};

struct PeDirectory {
    uint32_t rva; // 0: the image has none
    uint32_t size;
};

struct PeImage {
    uint16_t machine;
    uint16_t characteristics; // PE_FILE_* flags
    uint32_t image_base;      // preferred load address
    uint32_t image_size;      // SizeOfImage, a multiple of the section alignment
    uint32_t headers_size;    // SizeOfHeaders: copied to RVA 0
    uint32_t entry_rva;       // DllMain, 0 for none; bit 0 set for Thumb code
    uint32_t section_alignment;
    unsigned section_count;
    PeSection sections[PE_MAX_SECTIONS];
    PeDirectory exports, imports, relocations;
};

// ---- Steps ----

// Reads and checks the headers of the file in `data` (`size` bytes). The
// machine must be one of `machines` (`machine_count` of them). Checked: the
// MZ and PE signatures, a PE32 optional header of CE's size with its 16
// directories, a DLL flagged as executable, alignments (sections on pages of
// their own), SizeOfImage and SizeOfHeaders, every section inside the file
// and the image, in ascending order without overlap, every read-only section
// backed by file bytes in full, discardable sections holding nothing but the
// relocation directory, the entry point inside an executable section, and
// the export, import and relocation directories inside the image. An image
// with thread-local storage is refused: nothing would run its callbacks.
// Returns ERROR_SUCCESS, ERROR_BAD_EXE_FORMAT, or ERROR_OLD_WIN_VERSION for
// a Windows CE image whose subsystem version is later than 4.20, which CE
// 4.20 would refuse so; `image` is filled only on success.
DWORD PeParse(const uint8_t *data, size_t size, const uint16_t *machines, unsigned machine_count,
              PeImage *image);

// Copies the headers and each section's file bytes to their RVAs in
// `memory`, which holds `image->image_size` zero bytes. `data` and `size`
// are those PeParse accepted.
void PeLayOut(const PeImage *image, const uint8_t *data, size_t size, uint8_t *memory);

// Walks the base relocations of the laid-out image in `memory` and adds
// `new_base - image_base` to each 32-bit word they name. A target outside
// the image, a block that does not fit its directory, blocks not one per page
// in ascending page order, a word that reaches into the next page (CE patches
// each page alone) or a type other than ABSOLUTE and HIGHLOW gives
// ERROR_BAD_EXE_FORMAT. The whole table is checked
// before any word changes (so a delta of 0 only checks), and again while it
// is applied, since a relocation may rewrite the table itself. An image that
// must move but has its relocations stripped gives ERROR_BAD_EXE_FORMAT too.
DWORD PeRelocate(const PeImage *image, uint8_t *memory, uint32_t new_base);

// Checks the export directory of the laid-out image: its header, its three
// tables and every name inside the image, every name's ordinal inside the
// function table. ERROR_SUCCESS (also for an image without exports) or
// ERROR_BAD_EXE_FORMAT.
DWORD PeCheckExports(const PeImage *image, const uint8_t *memory);

// The RVA of an export, 0 when there is none. `name` NULL looks up by
// `ordinal`. Forwarded exports (an RVA inside the export directory) are
// refused: 0.
uint32_t PeFindExport(const PeImage *image, const uint8_t *memory, const char *name,
                      unsigned ordinal);

// Answers one import: the address for `name` (NULL: by `ordinal`) of
// library `dll`, stored in `*address`. Returns ERROR_SUCCESS, or the error
// the load fails with (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND).
typedef DWORD (*PeResolver)(void *context, const char *dll, const char *name, unsigned ordinal,
                            uint32_t *address);

// Fills every import address slot of the laid-out image through `resolve`.
// Damaged descriptors, thunks or names, a descriptor without a lookup table
// (CE's loader would stop there) or a slot outside a writable section:
// ERROR_BAD_EXE_FORMAT. An import the
// resolver refuses: its error, with "DLL!name" or "DLL#ordinal" in `missing`
// (cut to `missing_size`, always terminated).
DWORD PeBindImports(const PeImage *image, uint8_t *memory, PeResolver resolve, void *context,
                    char *missing, size_t missing_size);

#endif
