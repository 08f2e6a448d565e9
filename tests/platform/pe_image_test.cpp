// CE ARM images: the parser on every host, over built and damaged images;
// on 32-bit ARM also the loader, running the built image's code at and away
// from its preferred base and refusing damaged ones with nothing mapped.
#include "platform/posix/ce/ce_imports.h"
#include "platform/posix/ce/ce_loader.h"
#include "platform/posix/ce/pe_image.h"
#include "platform/posix/posix_internal.h"
#include "tests/platform/pe_test_image.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace pe_test;

namespace
{

const uint16_t kArm[] = {kPeMachineArm, kPeMachineThumb};

// The loader's policy with made-up addresses: coredll's served names only.
DWORD Resolve(void *, const char *dll, const char *name, unsigned, uint32_t *address)
{
    if (strcasecmp(dll, "COREDLL.dll") != 0)
        return ERROR_MOD_NOT_FOUND;
    if (name == NULL || KvzCeImport(name) == NULL)
        return ERROR_PROC_NOT_FOUND;
    *address = 0xC0DE0000u | (uint32_t)strlen(name);
    return ERROR_SUCCESS;
}

// Every step the loader takes, over a heap buffer placed at `new_base`.
DWORD LoadInMemory(const std::vector<uint8_t> &file, uint32_t new_base, KvzPeImage *image,
                   std::vector<uint8_t> *memory, std::string *missing)
{
    char name[2 * kPeNameMax] = "";
    DWORD result = KvzPeParse(file.data(), file.size(), kArm, 2, image);
    if (result != ERROR_SUCCESS)
        return result;
    memory->assign(image->imageSize, 0);
    KvzPeLayOut(image, file.data(), file.size(), memory->data());
    result = KvzPeRelocate(image, memory->data(), new_base);
    if (result == ERROR_SUCCESS)
        result = KvzPeCheckExports(image, memory->data());
    if (result == ERROR_SUCCESS)
        result = KvzPeBindImports(image, memory->data(), Resolve, NULL, name, sizeof name);
    *missing = name;
    return result;
}

uint32_t Word(const std::vector<uint8_t> &memory, uint32_t rva)
{
    uint32_t value;
    memcpy(&value, &memory.at(rva), 4);
    return value;
}

struct Damage {
    const char *what;
    void (*change)(Image &);
    DWORD error;
    const char *missing; // the import named for 126 and 127
};

// One image per fault; each is refused with `error`.
const Damage kDamages[] = {
    {"not MZ", [](Image &) {}, ERROR_BAD_EXE_FORMAT, ""}, // DamagedFile writes it
    {"PE header past the file", [](Image &im) { im.pe_offset = 0xFF0; }, ERROR_BAD_EXE_FORMAT, ""},
    {"x86 machine", [](Image &im) { im.machine = kPeMachineI386; }, ERROR_BAD_EXE_FORMAT, ""},
    {"ARMv7 Thumb-2 machine", [](Image &im) { im.machine = 0x1C4; }, ERROR_BAD_EXE_FORMAT, ""},
    {"not a DLL", [](Image &im) { im.characteristics = 0x0102; }, ERROR_BAD_EXE_FORMAT, ""},
    {"not executable", [](Image &im) { im.characteristics = 0x2100; }, ERROR_BAD_EXE_FORMAT, ""},
    {"no sections", [](Image &im) { im.sections.clear(); }, ERROR_BAD_EXE_FORMAT, ""},
    {"97 sections", [](Image &im) { im.section_count = 97; }, ERROR_BAD_EXE_FORMAT, ""},
    {"optional header cut", [](Image &im) { im.optional_size = 92; }, ERROR_BAD_EXE_FORMAT, ""},
    {"optional header longer than CE reads", [](Image &im) { im.optional_size = 240; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"15 directories", [](Image &im) { im.directory_count = 15; }, ERROR_BAD_EXE_FORMAT, ""},
    {"subsystem version later than CE 4.20", [](Image &im) { im.subsystem_version[1] = 21; },
     ERROR_OLD_WIN_VERSION, ""},
    {"PE32+ header", [](Image &im) { im.optional_magic = 0x20B; }, ERROR_BAD_EXE_FORMAT, ""},
    {"17 directories in room for 16", [](Image &im) { im.directory_count = 17; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"sections on 512-byte steps", [](Image &im) { im.section_alignment = 0x200; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"alignment not a power of two", [](Image &im) { im.section_alignment = 0x1800; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"file alignment above section alignment", [](Image &im) { im.file_alignment = 0x2000; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"base not on 64 KiB", [](Image &im) { im.image_base += 0x1000; }, ERROR_BAD_EXE_FORMAT, ""},
    {"image size not whole pages", [](Image &im) { im.image_size = 0x5800; }, ERROR_BAD_EXE_FORMAT,
     ""},
    {"image larger than a process slot", [](Image &im) { im.image_size = 0x4000000; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"image past 4 GiB",
     [](Image &im) {
         im.image_base = 0xFFFF0000;
         im.image_size = 0x16000;
     },
     ERROR_BAD_EXE_FORMAT, ""},
    {"headers past the file", [](Image &im) { im.headers_size = 0x10000; }, ERROR_BAD_EXE_FORMAT,
     ""},
    {"section table past the headers", [](Image &im) { im.headers_size = 0x100; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"section bytes past the file",
     [](Image &im) {
         im.sections[3].raw_offset = 0xB00;
         im.file_size = 0xC00;
     },
     ERROR_BAD_EXE_FORMAT, ""},
    {"section size past the file", [](Image &im) { im.sections[1].raw_size = 0x100000; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"section past the image", [](Image &im) { im.sections[3].virtual_size = 0x1001; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"sections overlap", [](Image &im) { im.sections[2].virtual_size = 0x2001; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"sections out of order", [](Image &im) { std::swap(im.sections[2], im.sections[3]); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"section over the headers", [](Image &im) { im.sections[0].rva = 0; }, ERROR_BAD_EXE_FORMAT,
     ""},
    {"section off its alignment", [](Image &im) { im.sections[1].rva = 0x2100; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"read-only section longer than its file bytes",
     [](Image &im) { im.sections[1].raw_size = 0x200; }, ERROR_BAD_EXE_FORMAT, ""},
    {"discardable data", [](Image &im) { im.sections[2].flags |= kPeScnDiscardable; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"entry past the image", [](Image &im) { im.entry = 0x7000; }, ERROR_BAD_EXE_FORMAT, ""},
    {"entry in data", [](Image &im) { im.entry = kData; }, ERROR_BAD_EXE_FORMAT, ""},
    {"thread-local storage",
     [](Image &im) {
         im.directories[kPeDirTls][0] = 0x2300;
         im.directories[kPeDirTls][1] = 24;
     },
     ERROR_BAD_EXE_FORMAT, ""},
    {"export table past the image", [](Image &im) { im.directories[0][0] = 0x5F00; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"export header cut", [](Image &im) { im.directories[0][1] = 20; }, ERROR_BAD_EXE_FORMAT, ""},
    {"export addresses past the image", [](Image &im) { im.Put32(kExports + 28, 0x5FF8); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"export names past the image", [](Image &im) { im.Put32(kExports + 32, 0x5FFC); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"export name past the image", [](Image &im) { im.Put32(kNames, 0x7000); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"export name without an end",
     [](Image &im) {
         im.sections[1].virtual_size = 0x600;
         memset(&im.memory[0x2300], 'A', kPeNameMax);
         im.Put32(kNames, 0x2300);
     },
     ERROR_BAD_EXE_FORMAT, ""},
    {"export ordinal past the functions", [](Image &im) { im.Put16(kNameOrdinals, 4); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"export function past the image", [](Image &im) { im.Put32(kFunctions, 0x6000); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"export ordinals past 65535", [](Image &im) { im.Put32(kExports + 16, 0xFFFE); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import table past the image", [](Image &im) { im.directories[1][0] = 0x5FF0; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import library name past the image", [](Image &im) { im.Put32(kImports + 12, 0x9000); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import library without a name", [](Image &im) { im.Put32(kImports + 12, 0); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import lookup table past the image", [](Image &im) { im.Put32(kImports, 0x5FFE); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import slots past the image", [](Image &im) { im.Put32(kImports + 16, 0x7000); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import name past the image", [](Image &im) { im.Put32(kLookup, 0x5FFF); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import ordinal with stray bits", [](Image &im) { im.Put32(kLookup, 0x80010005); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import descriptor without a lookup table", [](Image &im) { im.Put32(kImports, 0); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import slots in read-only data", [](Image &im) { im.Put32(kImports + 16, 0x2260); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocation block of size 0", [](Image &im) { im.Put32(kRelocs + 4, 0); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocation block past its table", [](Image &im) { im.Put32(kRelocs + 4, 28); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocation table cut in a header",
     [](Image &im) { im.directories[5][1] = im.sections[3].virtual_size = kRelocsSize + 4; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocation past the image", [](Image &im) { im.Put32(kRelocs, 0x5FE0); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocation across the image's end",
     [](Image &im) {
         im.Put32(kRelocs, 0x5000);
         im.Put16(kRelocs + 18, 0x3FFE); // the word at 0x5FFE
     },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocation block off a page", [](Image &im) { im.Put32(kRelocs, 0x1008); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"second relocation block for a page",
     [](Image &im) {
         im.directories[5][1] = im.sections[3].virtual_size = 2 * kRelocsSize;
         memcpy(&im.memory[kRelocs + kRelocsSize], &im.memory[kRelocs], kRelocsSize);
     },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocation across a page", [](Image &im) { im.Put16(kRelocs + 18, 0x3FFE); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocation of type DIR64", [](Image &im) { im.Put16(kRelocs + 8, 0xA028); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocation of type HIGH", [](Image &im) { im.Put16(kRelocs + 18, 0x1000); },
     ERROR_BAD_EXE_FORMAT, ""},
    {"relocations stripped", [](Image &im) { im.characteristics |= kPeFileRelocsStripped; },
     ERROR_BAD_EXE_FORMAT, ""},
    {"import from another library", [](Image &im) { im.PutText(kDllName, "OTHER.dll"); },
     ERROR_MOD_NOT_FOUND, "OTHER.dll!SetLastError"},
    {"import coredll has but the layer does not serve",
     [](Image &im) { im.PutText(kHintName2 + 2, "GetTickCount"); }, ERROR_PROC_NOT_FOUND,
     "COREDLL.dll!GetTickCount"},
    {"import coredll lacks", [](Image &im) { im.PutText(kHintName2 + 2, "CreateFileA"); },
     ERROR_PROC_NOT_FOUND, "COREDLL.dll!CreateFileA"},
    {"import by ordinal", [](Image &im) { im.Put32(kLookup + 4, 0x80000010); },
     ERROR_PROC_NOT_FOUND, "COREDLL.dll#16"},
    {"8193 imports, one more than any CE DLL may have",
     [](Image &im) {
         const uint32_t table = 0x6000, count = 8193, size = 0x8200;
         im.image_size = 0xF000;
         im.memory.resize(im.image_size);
         im.sections.push_back(MakeSection(".idata", table, size, 0xC00, size, 0xC0000040));
         for (uint32_t i = 0; i < count; i++)
             im.Put32(table + 4 * i, kHintName1);
         im.Put32(kImports, table); // the slots are the lookup table too
         im.Put32(kImports + 16, table);
     },
     ERROR_BAD_EXE_FORMAT, ""},
};

std::vector<uint8_t> DamagedFile(const Damage &damage)
{
    Image im = GoodImage();
    damage.change(im);
    std::vector<uint8_t> file = Emit(im);
    if (strcmp(damage.what, "not MZ") == 0)
        file[0] = 'X';
    return file;
}

/* ---- The parser, on every host ---- */

TEST(PeImage, TheBuiltImageParsesBindsAndExports)
{
    KvzPeImage image;
    std::vector<uint8_t> memory;
    std::string missing;
    ASSERT_EQ(LoadInMemory(Emit(GoodImage()), kBase, &image, &memory, &missing), 0u) << missing;
    EXPECT_EQ(image.machine, kPeMachineArm);
    EXPECT_EQ(image.imageBase, kBase);
    EXPECT_EQ(image.sectionCount, 4u);
    EXPECT_EQ(image.entryRva, kDllMain);
    EXPECT_EQ(Word(memory, kSlots), 0xC0DE0000u | 12) << "SetLastError's slot";
    EXPECT_EQ(Word(memory, kSlots + 4), 0xC0DE0000u | 6) << "wcslen's slot";
    EXPECT_EQ(Word(memory, kLookup), kHintName1) << "the lookup table stays as it was";

    struct Lookup {
        const char *name;
        unsigned ordinal;
        uint32_t rva;
    } lookups[] = {
        {"GetData", 0, kGetData},
        {"SetError", 0, kSetError},
        {"WideLength", 0, kWideLength},
        {NULL, 1, kGetData},
        {NULL, 3, kWideLength},
        {"Forwarded", 0, 0},
        {NULL, 4, 0},
        {NULL, 0, 0},
        {NULL, 5, 0},
        {"getdata", 0, 0},
        {"GetDat", 0, 0},
        {"", 0, 0},
    };
    for (const Lookup &l : lookups)
        EXPECT_EQ(KvzPeFindExport(&image, memory.data(), l.name, l.ordinal), l.rva)
            << (l.name != NULL ? l.name : "by ordinal") << " " << l.ordinal;
}

TEST(PeImage, ThumbImagesAndTheWantedMachines)
{
    Image thumb = GoodImage();
    thumb.machine = kPeMachineThumb;
    const uint16_t x86[] = {kPeMachineI386};
    KvzPeImage image;
    std::vector<uint8_t> good = Emit(GoodImage()), thumb_file = Emit(thumb);
    EXPECT_EQ(KvzPeParse(thumb_file.data(), thumb_file.size(), kArm, 2, &image), 0u);
    EXPECT_EQ(KvzPeParse(good.data(), good.size(), x86, 1, &image), (DWORD)ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(KvzPeParse(good.data(), good.size(), kArm, 0, &image), (DWORD)ERROR_BAD_EXE_FORMAT);
}

TEST(PeImage, RelocationAddsTheDeltaToEveryListedWordAndNothingElse)
{
    std::vector<uint8_t> file = Emit(GoodImage()), at_base, moved;
    KvzPeImage image;
    std::string missing;
    ASSERT_EQ(LoadInMemory(file, kBase, &image, &at_base, &missing), 0u);
    for (uint32_t new_base : {kBase + 0x10000u, 0x00010000u, 0xFFFF0000u - 0x6000u}) {
        ASSERT_EQ(LoadInMemory(file, new_base, &image, &moved, &missing), 0u);
        std::vector<uint32_t> changed;
        for (uint32_t rva = 0; rva < at_base.size(); rva += 4) {
            if (Word(moved, rva) != Word(at_base, rva)) {
                changed.push_back(rva);
                EXPECT_EQ(Word(moved, rva) - Word(at_base, rva), new_base - kBase) << rva;
            }
        }
        EXPECT_EQ(changed, std::vector<uint32_t>(std::begin(kRelocated), std::end(kRelocated)))
            << "moved to " << new_base;
    }
}

TEST(PeImage, SectionsAreZeroFilledPastTheirFileBytes)
{
    // Junk in the file after the 0x18 bytes .data keeps (its words and the
    // import slots) and after the 20 bytes .reloc's virtual size keeps of its 0x200.
    Image im = GoodImage();
    im.sections[2].raw_size = 0x18;
    std::vector<uint8_t> file = Emit(im);
    memset(&file[0x800 + 0x18], 0xEE, 0x200 - 0x18);
    memset(&file[0xA00 + kRelocsSize], 0xEE, 0x200 - kRelocsSize);
    KvzPeImage image;
    std::vector<uint8_t> memory;
    std::string missing;
    ASSERT_EQ(LoadInMemory(file, kBase, &image, &memory, &missing), 0u);
    EXPECT_EQ(Word(memory, kData), kDataWord);
    for (uint32_t rva = kData + 0x18; rva < 0x4400; rva++)
        ASSERT_EQ(memory[rva], 0) << "at " << rva;
    for (uint32_t rva = kRelocs + kRelocsSize; rva < 0x6000; rva++)
        ASSERT_EQ(memory[rva], 0) << "at " << rva;
}

TEST(PeImage, DamagedImagesAreRefused)
{
    for (const Damage &damage : kDamages) {
        KvzPeImage image;
        std::vector<uint8_t> memory;
        std::string missing;
        // Away from the base, so that every relocation is applied, not only checked.
        EXPECT_EQ(LoadInMemory(DamagedFile(damage), kBase + 0x10000, &image, &memory, &missing),
                  damage.error)
            << damage.what;
        EXPECT_EQ(missing, damage.missing) << damage.what;
    }
}

TEST(PeImage, EveryCutOfTheFileIsRefused)
{
    std::vector<uint8_t> file = Emit(GoodImage());
    for (size_t size = 0; size < file.size(); size++) {
        KvzPeImage image;
        ASSERT_EQ(KvzPeParse(file.data(), size, kArm, 2, &image), (DWORD)ERROR_BAD_EXE_FORMAT)
            << size << " bytes";
    }
}

/* ---- The loader ---- */

// The test program's own folder for the images it writes, removed with them
// when the program ends.
struct ImageDir {
    char path[32] = "/tmp/kvz_pe_XXXXXX";
    bool made = mkdtemp(path) != NULL;
    ~ImageDir()
    {
        if (made)
            std::filesystem::remove_all(path);
    }
};

std::string WriteImage(const std::vector<uint8_t> &file, const char *name)
{
    static ImageDir dir;
    if (!dir.made)
        return "";
    std::string path = std::string(dir.path) + "/" + name;
    FILE *out = fopen(path.c_str(), "wb");
    fwrite(file.data(), 1, file.size(), out);
    fclose(out);
    return path;
}

int MappingCount()
{
    FILE *maps = fopen("/proc/self/maps", "r");
    int count = 0;
    for (int c; (c = fgetc(maps)) != EOF;)
        count += c == '\n';
    fclose(maps);
    return count;
}

// Sets (or with NULL unsets) an environment variable for one scope, whatever
// the run's own environment holds.
class ScopedEnv
{
  public:
    ScopedEnv(const char *name, const char *value) : name_(name)
    {
        const char *old = getenv(name);
        had_ = old != NULL;
        old_ = had_ ? old : "";
        if (value != NULL)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char *name_;
    bool had_;
    std::string old_;
};

HMODULE Load(const std::string &path)
{
    return LoadLibraryA(path.c_str());
}

TEST(PeLoader, TheTraceNamesEachNewModuleAndItsFormat)
{
    char path[kOsPathMax];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 32);
    ASSERT_GT(length, 0);
    path[length] = 0;
    strcpy(strrchr(path, '/') + 1, "kvz_probe.dll"); // found beside the program
    ScopedEnv tracing("KVZ_LOADER_TRACE", "1");
    testing::internal::CaptureStderr();
    HMODULE probe = LoadLibraryA("kvz_probe.dll");
    HMODULE again = LoadLibraryA("kvz_probe.dll");
    std::string trace = testing::internal::GetCapturedStderr();
    ASSERT_NE(probe, nullptr) << GetLastError();
    EXPECT_EQ(trace, std::string("kvz loader: ELF ") + path + "\n") << "one line, for the new one";
    EXPECT_EQ(again, probe);
    EXPECT_EQ(KvzModuleFormatOf(probe), KVZ_MODULE_ELF);
    EXPECT_EQ(KvzModuleFormatOf((HMODULE)&trace), 0);
    FreeLibrary(again);
    FreeLibrary(probe);
}

#if defined(__arm__)

// The permissions ("r-xp") of the mapping holding `address`, "" for none.
std::string MappingAt(uintptr_t address)
{
    FILE *maps = fopen("/proc/self/maps", "r");
    char line[512], permissions[8];
    unsigned long low, high;
    std::string found;
    while (found.empty() && fgets(line, sizeof line, maps) != NULL) {
        if (sscanf(line, "%lx-%lx %7s", &low, &high, permissions) == 3 && address >= low &&
            address < high)
            found = permissions;
    }
    fclose(maps);
    return found;
}

typedef uint32_t (*GetDataProc)(void);
typedef void (*SetErrorProc)(DWORD);
typedef size_t (*WideLengthProc)(const WCHAR *);

// Runs every export of a loaded image and frees it: DllMain saw the attach
// and its module, relocated code and import slots work, the detach comes at
// FreeLibrary and nothing stays mapped.
void RunAndFree(HMODULE module, const std::string &path)
{
    uintptr_t base = (uintptr_t)module;
    EXPECT_EQ(GetLastError(), 0xD01u) << "DllMain's SetLastError(0xD00 | DLL_PROCESS_ATTACH)";
    EXPECT_EQ(*(const uint32_t *)(base + kData + 4), (uint32_t)base) << "DllMain's module";
    EXPECT_EQ(KvzModuleFormatOf(module), KVZ_MODULE_PE);
    // Whether a page may be written; qemu's maps drop the x of part of a
    // mapping, and ARMv5 has no execute-never: that code runs is the proof.
    struct Page {
        uint32_t rva;
        const char *access;
    } pages[] = {{0, "r-"},      {0x1000, "r-"}, {0x2000, "r-"},
                 {0x3000, "rw"}, {0x4000, "rw"}, {0x5000, "r-"}};
    for (const Page &page : pages)
        EXPECT_EQ(MappingAt(base + page.rva).substr(0, 2), page.access) << "at RVA " << page.rva;
    EXPECT_DEATH(*(volatile uint32_t *)(base + kGetData) = 0, "") << ".text is read-only";

    GetDataProc get_data = (GetDataProc)GetProcAddress(module, "GetData");
    ASSERT_NE(get_data, nullptr);
    EXPECT_EQ((uintptr_t)get_data, base + kGetData);
    EXPECT_EQ(get_data(), kDataWord);
    SetErrorProc set_error = (SetErrorProc)GetProcAddressW(module, (LPCWSTR)(uintptr_t)2);
    ASSERT_NE(set_error, nullptr) << "ordinal 2";
    set_error(0xBEEF);
    EXPECT_EQ(GetLastError(), 0xBEEFu);
    WideLengthProc wide_length = (WideLengthProc)GetProcAddressW(module, TEXT("WideLength"));
    ASSERT_NE(wide_length, nullptr);
    EXPECT_EQ(wide_length(TEXT("abcd")), 4u) << "16-bit wcslen";
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "Forwarded"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND);

    WCHAR name[kOsPathMax];
    char narrow[kOsPathMax], expected[kOsPathMax];
    ASSERT_GT(GetModuleFileNameW(module, name, kOsPathMax), 0u);
    KvzWideToUtf8(name, narrow, sizeof narrow);
    KvzOsToPath(path.c_str(), expected, sizeof expected);
    EXPECT_STREQ(narrow, expected);

    unsigned mapped = KvzPeMappedCount();
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetLastError(), 0xD00u) << "DllMain's SetLastError(0xD00 | DLL_PROCESS_DETACH)";
    EXPECT_EQ(KvzPeMappedCount(), mapped - 1);
    EXPECT_EQ(MappingAt(base + 0x1000), "") << "unmapped";
}

TEST(PeLoader, RunsAtItsPreferredBase)
{
    std::string path = WriteImage(Emit(GoodImage()), "at_base.dll");
    ScopedEnv tracing("KVZ_LOADER_TRACE", "1"), at_base("KVZ_PE_LOAD_AWAY", NULL);
    testing::internal::CaptureStderr();
    HMODULE module = Load(path);
    std::string trace = testing::internal::GetCapturedStderr();
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_EQ(trace, "kvz loader: PE " + path + " at 0x30000000 (preferred base)\n");
    EXPECT_EQ(Load(path), module) << "a second load counts a reference";
    EXPECT_TRUE(FreeLibrary(module));
    RunAndFree(module, path);
}

TEST(PeLoader, RunsAwayFromItsBase)
{
    std::string path = WriteImage(Emit(GoodImage()), "away.dll");
    ScopedEnv tracing("KVZ_LOADER_TRACE", "1"), away("KVZ_PE_LOAD_AWAY", "1");
    testing::internal::CaptureStderr();
    HMODULE module = Load(path);
    std::string trace = testing::internal::GetCapturedStderr();
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_NE((uintptr_t)module, kBase);
    EXPECT_NE(trace.find(" (relocated)\n"), std::string::npos) << trace;
    RunAndFree(module, path);
}

TEST(PeLoader, MovesWhenItsBaseIsTaken)
{
    std::string path = WriteImage(Emit(GoodImage()), "taken.dll");
    void *taken = mmap((void *)(uintptr_t)kBase, 0x1000, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    ASSERT_EQ(taken, (void *)(uintptr_t)kBase);
    HMODULE module = Load(path);
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_NE((uintptr_t)module, kBase);
    RunAndFree(module, path);

    Image stripped = GoodImage();
    stripped.characteristics |= kPeFileRelocsStripped;
    EXPECT_EQ(Load(WriteImage(Emit(stripped), "stripped.dll")), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_EXE_FORMAT);
    munmap(taken, 0x1000);
}

TEST(PeLoader, RefusedImagesLeaveNothingMapped)
{
    std::vector<Damage> damages(std::begin(kDamages), std::end(kDamages));
    damages.push_back({"DllMain says FALSE",
                       [](Image &im) { im.Put32(kDllMain + 32, 0xe3a00000); }, // mov r0, #0
                       ERROR_DLL_INIT_FAILED, ""});
    ScopedEnv away("KVZ_PE_LOAD_AWAY", "1");
    for (const Damage &damage : damages) {
        std::string path = WriteImage(DamagedFile(damage), "damaged.dll");
        int maps = MappingCount();
        unsigned mapped = KvzPeMappedCount();
        SetLastError(0);
        testing::internal::CaptureStderr();
        HMODULE module = Load(path);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(module, nullptr) << damage.what;
        EXPECT_EQ(GetLastError(), damage.error) << damage.what;
        EXPECT_EQ(KvzPeMappedCount(), mapped) << damage.what;
        EXPECT_EQ(MappingCount(), maps) << damage.what;
        if (damage.missing[0] != 0) {
            EXPECT_EQ(said, "kvz loader: " + path + " imports " + damage.missing +
                                ", which the layer does not serve\n");
        }
    }
}

// As on CE, an image whose attach fails is unmapped without a detach: its
// DllMain writes each call's reason to a word of the test.
TEST(PeLoader, AFailedAttachSeesNoDetach)
{
    static volatile uint32_t last_reason = 0x55555555;
    Image im = GoodImage();
    im.Put32(kDllMain + 8, 0xe5831000);  // str r1, [r3]: the reason, not the module
    im.Put32(kDllMain + 32, 0xe3a00000); // mov r0, #0: FALSE
    im.Put32(kDllMain + 40, (uint32_t)(uintptr_t)&last_reason);
    im.Put16(kRelocs + 8, 0); // an address outside the image: never moved
    std::string path = WriteImage(Emit(im), "no_detach.dll");
    unsigned mapped = KvzPeMappedCount();
    EXPECT_EQ(Load(path), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DLL_INIT_FAILED);
    EXPECT_EQ(last_reason, (uint32_t)DLL_PROCESS_ATTACH) << "the last call DllMain saw";
    EXPECT_EQ(KvzPeMappedCount(), mapped);
}

// As on CE, an image already loaded is the module for every path naming its
// file, in any folder and case, with or without ".dll"; each load counts.
TEST(PeLoader, ALoadedImageIsFoundByItsFileNameAlone)
{
    std::string path = WriteImage(Emit(GoodImage()), "named.dll");
    unsigned mapped = KvzPeMappedCount();
    HMODULE module = Load(path);
    ASSERT_NE(module, nullptr) << GetLastError();
    const char *const same[] = {"/nowhere/named.dll", "/nowhere/NAMED.DLL", "/nowhere/Named",
                                "named"};
    for (const char *name : same)
        EXPECT_EQ(Load(name), module) << name;
    const char *const others[] = {"/nowhere/named.dl", "/nowhere/named.dll.dll",
                                  "/nowhere/unnamed.dll"};
    for (const char *name : others) {
        EXPECT_EQ(Load(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND) << name;
    }
    for (size_t i = 0; i <= sizeof same / sizeof same[0]; i++)
        EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(KvzPeMappedCount(), mapped) << "unmapped with the last reference";
}

#else

TEST(PeLoader, ImagesForAnotherCpuAreRefused)
{
    std::string path = WriteImage(Emit(GoodImage()), "arm.dll");
    int maps = MappingCount();
    EXPECT_EQ(Load(path), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(KvzPeMappedCount(), 0u);
    EXPECT_EQ(MappingCount(), maps);
}

#endif

} // namespace
