// A small CE ARM DLL built in memory, with every header field a test may
// damage kept apart from the bytes. Used by the image tests and to make the
// image fuzzer's seeds.
//
// The image, at preferred base kBase:
//   .text  0x1000  DllMain: stores its module handle at kData + 4, calls
//                  SetLastError(0xD00 | reason) through its import, returns
//                  TRUE; GetData: returns the word at kData through a
//                  relocated address; SetError and WideLength: jumps through
//                  the import slots of SetLastError and wcslen
//   .rdata 0x2000  exports (GetData @1, SetError @2, WideLength @3,
//                  Forwarded @4 forwarded to OTHER.Func) and the COREDLL.dll
//                  imports SetLastError and wcslen, but for their slots
//   .data  0x3000  kDataWord, the two import slots at 0x3010, then zeros to
//                  0x4400 (one file sector of data)
//   .reloc 0x5000  one block: the five absolute addresses in .text
#ifndef KVZ_TESTS_PLATFORM_PE_TEST_IMAGE_H
#define KVZ_TESTS_PLATFORM_PE_TEST_IMAGE_H

#include <stdint.h>
#include <string.h>

#include <vector>

namespace pe_test
{

const uint32_t kBase = 0x30000000;
const uint32_t kDllMain = 0x1000, kGetData = 0x1040, kSetError = 0x1050, kWideLength = 0x1060;
const uint32_t kExports = 0x2000, kExportsSize = 0x160, kFunctions = 0x2040, kNames = 0x2060,
               kNameOrdinals = 0x2080, kForwarder = 0x2150;
const uint32_t kImports = 0x2200, kLookup = 0x2240, kDllName = 0x2280, kHintName1 = 0x2290,
               kHintName2 = 0x22B0;
const uint32_t kSlots = 0x3010; // the import address table, in writable data
const uint32_t kData = 0x3000, kDataWord = 0x12345678;
const uint32_t kRelocs = 0x5000, kRelocsSize = 20;
// The words the relocations name: DllMain's two literals, GetData's and the
// two thunks'.
const uint32_t kRelocated[] = {0x1028, 0x102C, 0x104C, 0x105C, 0x106C};

struct Section {
    char name[8];
    uint32_t rva, virtual_size, raw_offset, raw_size, flags;
};

struct Image {
    uint16_t machine = 0x1C0;          // ARM
    uint16_t characteristics = 0x2102; // executable, 32-bit, DLL
    uint16_t optional_magic = 0x10B;   // PE32
    uint16_t optional_size = 224;      // with 16 directories
    uint32_t pe_offset = 0x40;
    uint32_t entry = kDllMain;
    uint32_t image_base = kBase;
    uint32_t section_alignment = 0x1000, file_alignment = 0x200;
    uint32_t image_size = 0x6000, headers_size = 0x200;
    uint32_t directory_count = 16;
    uint16_t subsystem_version[2] = {4, 20}; // Windows CE 4.20
    uint32_t directories[16][2] = {};
    uint16_t section_count = 0; // 0: as many as `sections` holds
    std::vector<Section> sections;
    std::vector<uint8_t> memory; // the image as mapped; the file bytes are cut from it
    size_t file_size = 0;        // 0: up to the end of the last section's file bytes

    void Put32(uint32_t rva, uint32_t value)
    {
        for (int i = 0; i < 4; i++)
            memory.at(rva + i) = (uint8_t)(value >> (8 * i));
    }
    void Put16(uint32_t rva, uint16_t value)
    {
        memory.at(rva) = (uint8_t)value;
        memory.at(rva + 1) = (uint8_t)(value >> 8);
    }
    void PutText(uint32_t rva, const char *text)
    {
        for (size_t i = 0; i <= strlen(text); i++)
            memory.at(rva + i) = (uint8_t)text[i];
    }
    void PutCode(uint32_t rva, const std::vector<uint32_t> &words)
    {
        for (size_t i = 0; i < words.size(); i++)
            Put32(rva + 4 * (uint32_t)i, words[i]);
    }
};

inline Section MakeSection(const char *name, uint32_t rva, uint32_t virtual_size,
                           uint32_t raw_offset, uint32_t raw_size, uint32_t flags)
{
    Section s = {{0}, rva, virtual_size, raw_offset, raw_size, flags};
    strncpy(s.name, name, sizeof s.name);
    return s;
}

inline Image GoodImage()
{
    Image im;
    im.memory.assign(im.image_size, 0);
    uint32_t b = im.image_base;
    im.PutCode(kDllMain, {
                             0xe92d4010, // push {r4, lr}
                             0xe59f301c, // ldr r3, [pc, #28]     =kData + 4
                             0xe5830000, // str r0, [r3]
                             0xe3810c0d, // orr r0, r1, #0xd00
                             0xe59fc014, // ldr r12, [pc, #20]    =slot of SetLastError
                             0xe59cc000, // ldr r12, [r12]
                             0xe1a0e00f, // mov lr, pc
                             0xe12fff1c, // bx r12
                             0xe3a00001, // mov r0, #1
                             0xe8bd8010, // pop {r4, pc}
                             b + kData + 4,
                             b + kSlots,
                         });
    im.PutCode(kGetData, {
                             0xe59f0004, // ldr r0, [pc, #4]      =kData
                             0xe5900000, // ldr r0, [r0]
                             0xe12fff1e, // bx lr
                             b + kData,
                         });
    const uint32_t thunk[] = {0xe59fc004, 0xe59cc000,
                              0xe12fff1c}; // ldr r12, =slot; ldr r12, [r12]; bx r12
    im.PutCode(kSetError, {thunk[0], thunk[1], thunk[2], b + kSlots});
    im.PutCode(kWideLength, {thunk[0], thunk[1], thunk[2], b + kSlots + 4});

    // Exports: names sorted, ordinals from 1.
    im.Put32(kExports + 12, 0x2140); // the DLL's own name
    im.Put32(kExports + 16, 1);      // ordinal base
    im.Put32(kExports + 20, 4);      // functions
    im.Put32(kExports + 24, 4);      // names
    im.Put32(kExports + 28, kFunctions);
    im.Put32(kExports + 32, kNames);
    im.Put32(kExports + 36, kNameOrdinals);
    const uint32_t functions[] = {kGetData, kSetError, kWideLength, kForwarder};
    const char *names[] = {"Forwarded", "GetData", "SetError", "WideLength"};
    const uint16_t name_ordinals[] = {3, 0, 1, 2};
    for (uint32_t i = 0; i < 4; i++) {
        im.Put32(kFunctions + 4 * i, functions[i]);
        im.Put32(kNames + 4 * i, 0x2100 + 0x10 * i);
        im.PutText(0x2100 + 0x10 * i, names[i]);
        im.Put16(kNameOrdinals + 2 * i, name_ordinals[i]);
    }
    im.PutText(0x2140, "test.dll");
    im.PutText(kForwarder, "OTHER.Func");

    // Imports: one descriptor and the empty one after it.
    im.Put32(kImports, kLookup);
    im.Put32(kImports + 12, kDllName);
    im.Put32(kImports + 16, kSlots);
    im.PutText(kDllName, "COREDLL.dll");
    im.PutText(kHintName1 + 2, "SetLastError");
    im.PutText(kHintName2 + 2, "wcslen");
    for (uint32_t table : {kLookup, kSlots}) {
        im.Put32(table, kHintName1);
        im.Put32(table + 4, kHintName2);
    }

    im.Put32(kData, kDataWord);

    im.Put32(kRelocs, 0x1000);
    im.Put32(kRelocs + 4, kRelocsSize);
    for (uint32_t i = 0; i < 5; i++)
        im.Put16(kRelocs + 8 + 2 * i, (uint16_t)(0x3000 | (kRelocated[i] - 0x1000)));
    im.Put16(kRelocs + 18, 0); // ABSOLUTE: padding to a 32-bit boundary

    im.directories[0][0] = kExports;
    im.directories[0][1] = kExportsSize;
    im.directories[1][0] = kImports;
    im.directories[1][1] = 40;
    im.directories[5][0] = kRelocs;
    im.directories[5][1] = kRelocsSize;
    im.sections = {
        MakeSection(".text", 0x1000, 0x70, 0x200, 0x200, 0x60000020),
        MakeSection(".rdata", 0x2000, 0x2C0, 0x400, 0x400, 0x40000040),
        MakeSection(".data", 0x3000, 0x1400, 0x800, 0x200, 0xC0000040),
        MakeSection(".reloc", 0x5000, kRelocsSize, 0xA00, 0x200, 0x42000040),
    };
    return im;
}

// The file: headers written field by field, each section's file bytes cut
// from `memory`. Fields that point outside the file are left out, so a
// damaged image can always be written.
inline std::vector<uint8_t> Emit(const Image &im)
{
    size_t end = im.headers_size;
    for (const Section &s : im.sections) {
        if ((uint64_t)s.raw_offset + s.raw_size < 0x100000 && s.raw_offset + s.raw_size > end)
            end = s.raw_offset + s.raw_size;
    }
    std::vector<uint8_t> file(im.file_size != 0 ? im.file_size : end, 0);
    auto put = [&file](uint64_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; i++) {
            if (at + i < file.size())
                file[at + i] = (uint8_t)(value >> (8 * i));
        }
    };
    put(0, 0x5A4D, 2); // MZ
    put(0x3C, im.pe_offset, 4);
    uint64_t pe = im.pe_offset, opt = pe + 24;
    put(pe, 0x00004550, 4); // PE\0\0
    put(pe + 4, im.machine, 2);
    put(pe + 6, im.section_count != 0 ? im.section_count : (uint16_t)im.sections.size(), 2);
    put(pe + 20, im.optional_size, 2);
    put(pe + 22, im.characteristics, 2);
    put(opt, im.optional_magic, 2);
    put(opt + 16, im.entry, 4);
    put(opt + 28, im.image_base, 4);
    put(opt + 32, im.section_alignment, 4);
    put(opt + 36, im.file_alignment, 4);
    put(opt + 40, 4, 2); // operating system 4.20
    put(opt + 42, 20, 2);
    put(opt + 48, im.subsystem_version[0], 2);
    put(opt + 50, im.subsystem_version[1], 2);
    put(opt + 56, im.image_size, 4);
    put(opt + 60, im.headers_size, 4);
    put(opt + 68, 9, 2); // Windows CE GUI
    put(opt + 92, im.directory_count, 4);
    for (uint32_t i = 0; i < 16 && 96 + 8 * i < im.optional_size; i++) {
        put(opt + 96 + 8 * i, im.directories[i][0], 4);
        put(opt + 100 + 8 * i, im.directories[i][1], 4);
    }
    uint64_t table = opt + im.optional_size;
    for (size_t i = 0; i < im.sections.size(); i++) {
        const Section &s = im.sections[i];
        uint64_t at = table + 40 * i;
        for (int c = 0; c < 8; c++)
            put(at + c, (uint8_t)s.name[c], 1);
        put(at + 8, s.virtual_size, 4);
        put(at + 12, s.rva, 4);
        put(at + 16, s.raw_size, 4);
        put(at + 20, s.raw_offset, 4);
        put(at + 36, s.flags, 4);
        for (uint64_t k = 0; k < s.raw_size && s.rva + k < im.memory.size(); k++)
            put(s.raw_offset + k, im.memory[s.rva + k], 1);
    }
    return file;
}

} // namespace pe_test

#endif
