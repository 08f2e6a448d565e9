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
//   KvzPeParse        headers and section table from the file
//   KvzPeLayOut       the file's bytes into a zero-filled image buffer at their RVAs
//   KvzPeRelocate     base relocations, checked even when the delta is 0
//   KvzPeCheckExports the export directory
//   KvzPeBindImports  each import slot filled by a resolver
// after which KvzPeFindExport looks exports up by name or ordinal.
#ifndef KVZ_POSIX_CE_PE_IMAGE_H
#define KVZ_POSIX_CE_PE_IMAGE_H

#include "platform/posix/ce/pe_format.h"
#include "platform/win32.h"

#include <stddef.h>
#include <stdint.h>

// ---- Limits ----
// Windows' loader takes no more than 96 sections; CE DLLs have about five.
static const unsigned kPeMaxSections = 96;
// A CE 5 process slot is 32 MiB, code and data together, so no handheld DLL
// is larger. Tests and the fuzzer may shrink it.
#ifndef KVZ_PE_MAX_IMAGE_SIZE
#define KVZ_PE_MAX_IMAGE_SIZE (32u * 1024 * 1024)
#endif
// Each section starts on a page of its own, so each keeps its own
// protection: CE's and Linux's page on ARM.
static const uint32_t kPePageSize = 0x1000;
// Longest DLL or import name, terminator included; coredll's longest is 28.
static const size_t kPeNameMax = 256;

// ---- The parsed headers ----
struct KvzPeSection {
    char name[9];             // terminated copy of the 8-byte name
    uint32_t rva;             // VirtualAddress, a multiple of the section alignment
    uint32_t extent;          // bytes in memory: VirtualSize, or SizeOfRawData when 0
    uint32_t fileOffset;      // PointerToRawData
    uint32_t fileSize;        // bytes copied from the file, at most `extent`
    uint32_t characteristics; // kPeScn* flags
};

struct KvzPeDirectory {
    uint32_t rva; // 0: the image has none
    uint32_t size;
};

struct KvzPeImage {
    uint16_t machine;
    uint16_t characteristics; // kPeFile* flags
    uint32_t imageBase;       // preferred load address
    uint32_t imageSize;       // SizeOfImage, a multiple of the section alignment
    uint32_t headersSize;     // SizeOfHeaders: copied to RVA 0
    uint32_t entryRva;        // DllMain, 0 for none; bit 0 set for Thumb code
    uint32_t sectionAlignment;
    unsigned sectionCount;
    KvzPeSection sections[kPeMaxSections];
    KvzPeDirectory exports, imports, relocations;
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
DWORD KvzPeParse(const uint8_t *data, size_t size, const uint16_t *machines, unsigned machine_count,
                 KvzPeImage *image);

// Copies the headers and each section's file bytes to their RVAs in
// `memory`, which holds `image->imageSize` zero bytes. `data` and `size`
// are those KvzPeParse accepted.
void KvzPeLayOut(const KvzPeImage *image, const uint8_t *data, size_t size, uint8_t *memory);

// Walks the base relocations of the laid-out image in `memory` and adds
// `new_base - image_base` to each 32-bit word they name. A target outside
// the image, a block that does not fit its directory, blocks not one per page
// in ascending page order, a word that reaches into the next page (CE patches
// each page alone) or a type other than ABSOLUTE and HIGHLOW gives
// ERROR_BAD_EXE_FORMAT. The whole table is checked
// before any word changes (so a delta of 0 only checks), and again while it
// is applied, since a relocation may rewrite the table itself. An image that
// must move but has its relocations stripped gives ERROR_BAD_EXE_FORMAT too.
DWORD KvzPeRelocate(const KvzPeImage *image, uint8_t *memory, uint32_t new_base);

// Checks the export directory of the laid-out image: its header, its three
// tables and every name inside the image, every name's ordinal inside the
// function table. ERROR_SUCCESS (also for an image without exports) or
// ERROR_BAD_EXE_FORMAT.
DWORD KvzPeCheckExports(const KvzPeImage *image, const uint8_t *memory);

// The RVA of an export, 0 when there is none. `name` NULL looks up by
// `ordinal`. Forwarded exports (an RVA inside the export directory) are
// refused: 0.
uint32_t KvzPeFindExport(const KvzPeImage *image, const uint8_t *memory, const char *name,
                         unsigned ordinal);

// Answers one import: the address for `name` (NULL: by `ordinal`) of
// library `dll`, stored in `*address`. Returns ERROR_SUCCESS, or the error
// the load fails with (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND).
typedef DWORD (*KvzPeResolver)(void *context, const char *dll, const char *name, unsigned ordinal,
                               uint32_t *address);

// Fills every import address slot of the laid-out image through `resolve`.
// Damaged descriptors, thunks or names, a descriptor without a lookup table
// (CE's loader would stop there) or a slot outside a writable section:
// ERROR_BAD_EXE_FORMAT. An import the
// resolver refuses: its error, with "DLL!name" or "DLL#ordinal" in `missing`
// (cut to `missing_size`, always terminated).
DWORD KvzPeBindImports(const KvzPeImage *image, uint8_t *memory, KvzPeResolver resolve,
                       void *context, char *missing, size_t missing_size);

#endif
