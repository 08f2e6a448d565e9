#include "ce_test_support.h"

#include "ce_image.h"

#include <cstdio>
#include <cstring>

void put_le(std::vector<uint8_t> &v, uint32_t offset, uint32_t value, int width)
{
    for (int i = 0; i < width; i++)
        v[offset + i] = (uint8_t)(value >> (8 * i));
}

uint32_t get_le(const std::vector<uint8_t> &v, uint32_t offset, int width)
{
    uint32_t value = 0;
    for (int i = 0; i < width; i++)
        value |= (uint32_t)v[offset + i] << (8 * i);
    return value;
}

namespace
{

void append_le(std::vector<uint8_t> &v, uint32_t value, int width)
{
    v.resize(v.size() + width);
    put_le(v, (uint32_t)v.size() - width, value, width);
}

uint32_t add_string(std::vector<uint8_t> &table, const std::string &s)
{
    uint32_t at = (uint32_t)table.size();
    table.insert(table.end(), s.begin(), s.end());
    table.push_back(0);
    return at;
}

void uleb(std::vector<uint8_t> &v, uint32_t value)
{
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        v.push_back(byte | (value ? 0x80 : 0));
    } while (value);
}

struct Header {
    std::string name;
    uint32_t type, flags, addr, offset, size, link, info, entsize;
};

} // namespace

uint32_t SynthElf::add_section(const std::string &name, uint32_t type, uint32_t flags,
                               uint32_t addr, uint32_t size)
{
    if (type == 8)
        sections.push_back({name, type, flags, addr, {}, size});
    else
        sections.push_back({name, type, flags, addr, std::vector<uint8_t>(size), 0});
    return (uint32_t)sections.size() - 1;
}

uint32_t SynthElf::add_symbol(const std::string &name, uint32_t value, uint8_t bind, uint8_t type,
                              uint16_t shndx, uint32_t size)
{
    symbols.push_back({name, value, size, bind, type, shndx});
    return (uint32_t)symbols.size() - 1;
}

uint32_t SynthElf::section(const std::string &name) const
{
    for (uint32_t i = 1; i < sections.size(); i++)
        if (sections[i].name == name)
            return i;
    return 0;
}

uint32_t SynthElf::symbol(const std::string &name) const
{
    for (uint32_t i = 1; i < symbols.size(); i++)
        if (symbols[i].name == name)
            return i;
    return 0;
}

void SynthElf::put32(uint32_t section_index, uint32_t offset, uint32_t value)
{
    put_le(sections[section_index].bytes, offset, value, 4);
}

void SynthElf::rel(uint32_t section_index, uint32_t offset, uint32_t type, uint32_t symbol_index)
{
    rels.push_back({section_index, sections[section_index].addr + offset, type, symbol_index});
}

// Layout: ELF header, section contents, relocation sections, symbol table,
// string tables, then the section headers.
std::vector<uint8_t> SynthElf::bytes() const
{
    std::vector<uint8_t> out(52);
    std::vector<Header> headers;
    for (const SynthSection &s : sections) {
        uint32_t size = s.type == 8 ? s.nobits_size : (uint32_t)s.bytes.size();
        headers.push_back({s.name, s.type, s.flags, s.addr, (uint32_t)out.size(), size, 0, 0, 0});
        if (s.type != 8)
            out.insert(out.end(), s.bytes.begin(), s.bytes.end());
    }
    uint32_t symtab = (uint32_t)headers.size() + 0;
    std::vector<Header> rel_headers;
    for (uint32_t target = 1; target < sections.size(); target++) {
        std::vector<uint8_t> entries;
        for (const SynthRel &r : rels) {
            if (r.section != target)
                continue;
            append_le(entries, r.offset, 4);
            append_le(entries, (r.symbol << 8) | r.type, 4);
        }
        if (!entries.empty()) {
            rel_headers.push_back({".rel" + sections[target].name, 9, 0x40, 0, (uint32_t)out.size(),
                                   (uint32_t)entries.size(), 0, target, 8});
            out.insert(out.end(), entries.begin(), entries.end());
        }
    }
    symtab += (uint32_t)rel_headers.size();
    for (Header &h : rel_headers) {
        h.link = symtab;
        headers.push_back(h);
    }
    std::vector<uint8_t> strings(1), symbols_out;
    for (const SynthSymbol &s : symbols) {
        append_le(symbols_out, s.name.empty() ? 0 : add_string(strings, s.name), 4);
        append_le(symbols_out, s.value, 4);
        append_le(symbols_out, s.size, 4);
        symbols_out.push_back((uint8_t)((s.bind << 4) | s.type));
        symbols_out.push_back(0);
        append_le(symbols_out, s.shndx, 2);
    }
    headers.push_back({".symtab", 2, 0, 0, (uint32_t)out.size(), (uint32_t)symbols_out.size(),
                       symtab + 1, 1, 16});
    out.insert(out.end(), symbols_out.begin(), symbols_out.end());
    headers.push_back(
        {".strtab", 3, 0, 0, (uint32_t)out.size(), (uint32_t)strings.size(), 0, 0, 0});
    out.insert(out.end(), strings.begin(), strings.end());
    std::vector<uint8_t> names(1);
    std::vector<uint32_t> name_offsets;
    headers.push_back({".shstrtab", 3, 0, 0, 0, 0, 0, 0, 0});
    for (const Header &h : headers)
        name_offsets.push_back(h.name.empty() ? 0 : add_string(names, h.name));
    headers.back().offset = (uint32_t)out.size();
    headers.back().size = (uint32_t)names.size();
    out.insert(out.end(), names.begin(), names.end());
    while (out.size() % 4)
        out.push_back(0);
    uint32_t shoff = (uint32_t)out.size();
    for (uint32_t i = 0; i < headers.size(); i++) {
        const Header &h = headers[i];
        uint32_t fields[10] = {name_offsets[i], h.type, h.flags, h.addr, h.offset,
                               h.size,          h.link, h.info,  4,      h.entsize};
        for (uint32_t f : fields)
            append_le(out, f, 4);
    }
    memcpy(out.data(), "\177ELF", 4);
    out[4] = elf_class;
    out[5] = data;
    out[6] = 1;
    put_le(out, 16, type, 2);
    put_le(out, 18, machine, 2);
    put_le(out, 20, 1, 4);
    put_le(out, 32, shoff, 4);
    put_le(out, 40, 52, 2);
    put_le(out, 46, 40, 2);
    put_le(out, 48, (uint32_t)headers.size(), 2);
    put_le(out, 50, (uint32_t)headers.size() - 1, 2);
    return out;
}

std::vector<uint8_t> arm_attributes(uint32_t cpu_arch, uint32_t thumb, uint32_t wchar_size,
                                    uint32_t enum_size)
{
    std::vector<uint8_t> tags;
    tags.push_back(5); // Tag_CPU_name, a string
    for (char c : std::string("4T"))
        tags.push_back((uint8_t)c);
    tags.push_back(0);
    uint32_t pairs[][2] = {{6, cpu_arch}, {8, 1}, {9, thumb}, {18, wchar_size}, {26, enum_size}};
    for (auto &p : pairs) {
        uleb(tags, p[0]);
        uleb(tags, p[1]);
    }
    std::vector<uint8_t> file{1};
    append_le(file, 5 + (uint32_t)tags.size(), 4);
    file.insert(file.end(), tags.begin(), tags.end());
    std::vector<uint8_t> out{'A'};
    append_le(out, 4 + 6 + (uint32_t)file.size(), 4);
    for (char c : std::string("aeabi"))
        out.push_back((uint8_t)c);
    out.push_back(0);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

const char kSmallDef[] = "LIBRARY small\nEXPORTS\n    CeSub @3 ; a hole at 2\n    CeAdd @1\n";
const char kSmallCoredll[] = "# test list\nSleep\nGetTickCount\n";

SynthElf small_dll()
{
    const uint32_t base = 0x10000000;
    SynthElf e;
    uint32_t text = e.add_section(".text", 1, 0x6, base + 0x1000, 0x40);
    uint32_t rdata = e.add_section(".rdata", 1, 0x2, base + 0x2000, 8);
    uint32_t data = e.add_section(".data", 1, 0x3, base + 0x3000, 12);
    e.add_section(".bss", 8, 0x3, base + 0x4000, 0x100);
    uint32_t attributes = e.add_section(".ARM.attributes", 0x70000003, 0, 0, 0);
    e.sections[attributes].bytes = arm_attributes(2, 1, 2, 2);
    uint32_t text_sym = e.add_symbol("", base + 0x1000, 0, 3, (uint16_t)text);
    e.add_symbol("__ImageBase", base, 1, 0, 0xFFF1);
    e.add_symbol("DllMain", base + 0x1000, 1, 2, (uint16_t)text, 8);
    e.add_symbol("CeAdd", base + 0x1008, 1, 2, (uint16_t)text, 8);
    e.add_symbol("CeSub", base + 0x1010, 1, 2, (uint16_t)text, 8);
    e.add_symbol("Sleep", base + 0x1020, 1, 2, (uint16_t)text, 16);
    uint32_t slot = e.add_symbol("__imp_Sleep", base + 0x3004, 1, 1, (uint16_t)data, 4);
    e.put32(text, 0x2C, base + 0x3004);
    e.rel(text, 0x2C, 2, slot);               // the thunk's literal
    e.rel(text, 0x04, 28, e.symbol("Sleep")); // a BL to the thunk
    e.rel(text, 0x08, 40, 0);                 // R_ARM_V4BX
    e.put32(rdata, 0, base + 0x1008);
    e.rel(rdata, 0, 2, text_sym); // a code address in read-only data
    return e;
}

namespace
{

void append_id(std::vector<uint8_t> &v, const std::string &id)
{
    if (id[0] == '#') {
        append_le(v, 0xFFFF, 2);
        append_le(v, (uint32_t)std::stoul(id.substr(1)), 2);
        return;
    }
    for (char c : id)
        append_le(v, (uint8_t)c, 2);
    append_le(v, 0, 2);
}

} // namespace

std::vector<uint8_t> synth_res(const std::vector<SynthResource> &resources)
{
    std::vector<uint8_t> out(32);
    out[4] = 32;
    out[8] = out[9] = out[12] = out[13] = 0xFF;
    for (const SynthResource &r : resources) {
        std::vector<uint8_t> header;
        append_id(header, r.type);
        append_id(header, r.name);
        while (header.size() % 4)
            header.push_back(0);
        append_le(header, 0, 4);      // DataVersion
        append_le(header, 0x1030, 2); // MemoryFlags
        append_le(header, r.language, 2);
        append_le(header, 0, 4); // Version
        append_le(header, 0, 4); // Characteristics
        append_le(out, (uint32_t)r.data.size(), 4);
        append_le(out, (uint32_t)header.size() + 8, 4);
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), r.data.begin(), r.data.end());
        while (out.size() % 4)
            out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> write_dll(const std::vector<uint8_t> &elf, const char *def, std::string *error,
                               const char *coredll, const char *dll_name,
                               const std::vector<uint8_t> *res)
{
    Diag d;
    d.text[0] = 0;
    DefFile parsed_def;
    NameList list;
    Resources resources;
    std::vector<uint8_t> out;
    if (!DefParse(&parsed_def, def, strlen(def), "test.def", &d)) {
        *error = d.text;
        return out;
    }
    if (!NameListParse(&list, coredll, strlen(coredll), "coredll", &d)) {
        DefFree(&parsed_def);
        *error = d.text;
        return out;
    }
    memset(&resources, 0, sizeof resources);
    if (res &&
        !ResourcesParse(&resources, (const char *)res->data(), res->size(), "test.res", &d)) {
        NameListFree(&list);
        DefFree(&parsed_def);
        *error = d.text;
        return out;
    }
    const Resources *placed = res ? &resources : nullptr;
    CeImageInput input = {elf.data(), elf.size(), &parsed_def, &list, dll_name, placed};
    CeImage image;
    if (CeImageBuild(&input, &image, &d))
        out.assign(image.data, image.data + image.size);
    else
        *error = d.text;
    CeImageFree(&image);
    ResourcesFree(&resources);
    NameListFree(&list);
    DefFree(&parsed_def);
    return out;
}

PeView::PeView(std::vector<uint8_t> bytes) : file(std::move(bytes))
{
    if (file.size() < 0x40)
        return;
    uint32_t pe = u32(0x3C);
    optional = pe + 24;
    uint32_t count = u16(pe + 6);
    uint32_t table = optional + u16(pe + 20);
    for (uint32_t i = 0; i < count; i++) {
        uint32_t h = table + 40 * i;
        char name[9] = {0};
        memcpy(name, &file[h], 8);
        sections.push_back({name, u32(h + 8), u32(h + 12), u32(h + 16), u32(h + 20), u32(h + 36)});
    }
}

uint16_t PeView::u16(uint32_t offset) const
{
    return offset + 2 <= file.size() ? (uint16_t)get_le(file, offset, 2) : 0;
}

uint32_t PeView::u32(uint32_t offset) const
{
    return offset + 4 <= file.size() ? (uint32_t)u16(offset) | (uint32_t)u16(offset + 2) << 16 : 0;
}

uint32_t PeView::offset_of(uint32_t rva) const
{
    for (const PeSection &s : sections)
        if (rva >= s.rva && rva < s.rva + s.raw_size)
            return s.raw_offset + (rva - s.rva);
    return UINT32_MAX;
}

std::string PeView::string_at(uint32_t rva) const
{
    uint32_t at = offset_of(rva);
    std::string s;
    while (at < file.size() && file[at])
        s += (char)file[at++];
    return s;
}

std::vector<uint8_t> PeView::memory_image() const
{
    std::vector<uint8_t> image(opt32(56));
    for (const PeSection &s : sections) {
        uint32_t n = s.raw_size < s.virtual_size ? s.raw_size : s.virtual_size;
        if (n && s.rva + n <= image.size() && s.raw_offset + n <= file.size())
            memcpy(&image[s.rva], &file[s.raw_offset], n);
    }
    return image;
}

std::vector<std::string> PeView::exports_by_ordinal(uint32_t *base) const
{
    uint32_t dir = dir_rva(0);
    *base = at32(dir + 16);
    std::vector<std::string> names(at32(dir + 20));
    uint32_t count = at32(dir + 24);
    for (uint32_t i = 0; i < count; i++) {
        uint32_t index = u16(offset_of(at32(dir + 36) + 2 * i));
        if (index < names.size())
            names[index] = string_at(at32(at32(dir + 32) + 4 * i));
    }
    return names;
}

std::vector<uint32_t> PeView::export_rvas() const
{
    uint32_t dir = dir_rva(0);
    std::vector<uint32_t> rvas;
    for (uint32_t i = 0; i < at32(dir + 20); i++)
        rvas.push_back(at32(at32(dir + 28) + 4 * i));
    return rvas;
}

std::vector<std::string> PeView::export_names() const
{
    uint32_t dir = dir_rva(0);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < at32(dir + 24); i++)
        names.push_back(string_at(at32(at32(dir + 32) + 4 * i)));
    return names;
}

std::vector<std::string> PeView::import_names(std::string *dll) const
{
    std::vector<std::string> names;
    uint32_t desc = dir_rva(1);
    if (!desc)
        return names;
    *dll = string_at(at32(desc + 12));
    for (uint32_t lookup = at32(desc); at32(lookup); lookup += 4)
        names.push_back(string_at(at32(lookup) + 2));
    return names;
}

std::vector<uint32_t> PeView::relocations() const
{
    std::vector<uint32_t> rvas;
    uint32_t at = dir_rva(5), end = at + dir_size(5);
    while (at + 8 <= end) {
        uint32_t page = at32(at), size = at32(at + 4);
        if (size < 8)
            break;
        for (uint32_t k = 8; k < size; k += 2) {
            uint16_t entry = u16(offset_of(at + k));
            if (entry >> 12 == 3)
                rvas.push_back(page + (entry & 0xFFF));
        }
        at += size;
    }
    return rvas;
}

std::vector<std::string> PeView::resources() const
{
    std::vector<std::string> out;
    uint32_t root = dir_rva(2);
    // The entry's name or number and where it leads (offset into the section).
    auto id = [&](uint32_t entry) {
        uint32_t name = at32(entry);
        if (!(name & 0x80000000))
            return "#" + std::to_string(name);
        std::string text;
        uint32_t length = u16(offset_of(root + (name & 0x7FFFFFFF)));
        for (uint32_t i = 0; i < length; i++)
            text += (char)u16(offset_of(root + (name & 0x7FFFFFFF) + 2 + 2 * i));
        return text;
    };
    auto entries = [&](uint32_t dir) {
        std::vector<uint32_t> list;
        uint32_t count = u16(offset_of(root + dir + 12)) + u16(offset_of(root + dir + 14));
        for (uint32_t i = 0; i < count; i++)
            list.push_back(root + dir + 16 + 8 * i);
        return list;
    };
    for (uint32_t type : entries(0)) {
        for (uint32_t name : entries(at32(type + 4) & 0x7FFFFFFF)) {
            for (uint32_t language : entries(at32(name + 4) & 0x7FFFFFFF)) {
                uint32_t data_entry = root + at32(language + 4);
                uint32_t rva = at32(data_entry), size = at32(data_entry + 4);
                char hex[8];
                snprintf(hex, sizeof hex, "%04x", at32(language));
                std::string data;
                for (uint32_t k = 0; k < size; k++) {
                    uint32_t at = offset_of(rva + k);
                    data += at < file.size() ? (char)file[at] : '?';
                }
                out.push_back(id(type) + "/" + id(name) + "/" + hex + "=" + data);
            }
        }
    }
    return out;
}

uint32_t reference_checksum(const std::vector<uint8_t> &file)
{
    uint32_t field = get_le(file, 0x3C, 2) + 24 + 64;
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 1 < file.size(); i += 2) {
        if (i == field || i == field + 2)
            continue;
        sum += get_le(file, i, 2);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + (uint32_t)file.size();
}
