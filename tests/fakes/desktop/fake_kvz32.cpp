// A desktop KVZ32.DLL whose archive is a script, for what no honest archive
// holds: hostile entry names, reads that fail half way, searches and opens
// that fail.
//
// Environment, read at the first call:
//   KVZ_DESK_FAKE_SCRIPT  the script, one rule per line:
//       mount <result>                    KVZ_Mount's answer (default 1)
//       entry <dir> <attr> <size> <flags> <name>
//     <dir> is the directory below the mount directory ("." for the mount
//     directory itself, else e.g. "sub\deep"); <attr> hexadecimal; <size> the
//     find data's nFileSizeLow; <flags> "-" or a comma list of
//       nosearch    (a directory) KVZ_FindFirstFile on it gives -1
//       noopen      KVZ_CreateFile on it gives -1
//       failat=N    KVZ_ReadFile reports 0 bytes and FALSE from byte N on
//       data=N      the entry holds N bytes of data instead of <size>
//     <name> is the rest of the line behind one blank (may be empty).
//     A file's byte i is 'a' + i % 26. Entries come in script order.
//   KVZ_DESK_FAKE_LOG     a file to which each call is appended as a line:
//       KVZ_Mount <archive> <mount dir> 0x<access> 0x<fourth>
//       KVZ_FindFirstFile <pattern>
//       KVZ_CreateFile <path> 0x<access> 0x<share> 0x<security> 0x<disposition>
//                      0x<flags> 0x<template>
//       KVZ_UnMount <dir> open=<files still open> searches=<searches still open>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive_api/kvz_api.h"

namespace
{

struct Entry {
    std::string dir; // "" for the mount directory
    DWORD attributes = 0;
    DWORD size = 0;
    DWORD data_length = 0;
    DWORD fail_at = 0xFFFFFFFFu;
    bool no_open = false;
    bool no_search = false;
    std::string name;
};

struct Search {
    bool used = false;
    std::string dir;
    size_t next = 0;
};

struct FakeOpenFile {
    bool used = false;
    const Entry *entry = nullptr;
    DWORD position = 0;
};

const KVZHANDLE kSearchBase = 100;
const KVZHANDLE kFileBase = 1000;
const size_t kSlots = 64;

bool loaded = false;
DWORD mount_result = 1;
std::vector<Entry> entries;
std::string mount_dir;
Search searches[kSlots];
FakeOpenFile files[kSlots];
std::string log_path;

void ReadFlags(Entry &entry, const std::string &flags)
{
    size_t start = 0;
    while (start < flags.size()) {
        size_t end = flags.find(',', start);
        if (end == std::string::npos)
            end = flags.size();
        std::string flag = flags.substr(start, end - start);
        if (flag == "noopen")
            entry.no_open = true;
        else if (flag == "nosearch")
            entry.no_search = true;
        else if (flag.compare(0, 7, "failat=") == 0)
            entry.fail_at = (DWORD)strtoul(flag.c_str() + 7, nullptr, 10);
        else if (flag.compare(0, 5, "data=") == 0)
            entry.data_length = (DWORD)strtoul(flag.c_str() + 5, nullptr, 10);
        start = end + 1;
    }
}

// "entry <dir> <attr> <size> <flags> <name>"; the name may hold anything.
void ReadEntry(const std::string &line)
{
    std::string fields[4];
    size_t at = 6;
    for (auto &field : fields) {
        size_t end = line.find(' ', at);
        if (end == std::string::npos)
            end = line.size();
        field = line.substr(at, end - at);
        at = end + 1;
    }
    Entry entry;
    entry.dir = fields[0] == "." ? "" : fields[0];
    entry.attributes = (DWORD)strtoul(fields[1].c_str(), nullptr, 16);
    entry.size = (DWORD)strtoul(fields[2].c_str(), nullptr, 10);
    entry.data_length = entry.size;
    if (fields[3] != "-")
        ReadFlags(entry, fields[3]);
    entry.name = at <= line.size() ? line.substr(at) : "";
    entries.push_back(entry);
}

void LoadScript()
{
    if (loaded)
        return;
    loaded = true;
    const char *log = getenv("KVZ_DESK_FAKE_LOG");
    log_path = log != nullptr ? log : "";
    const char *script = getenv("KVZ_DESK_FAKE_SCRIPT");
    FILE *file = script != nullptr ? fopen(script, "rb") : nullptr;
    if (file == nullptr)
        return;
    char buffer[2048];
    while (fgets(buffer, sizeof buffer, file) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.compare(0, 6, "mount ") == 0)
            mount_result = (DWORD)strtol(line.c_str() + 6, nullptr, 10);
        else if (line.compare(0, 6, "entry ") == 0)
            ReadEntry(line);
    }
    fclose(file);
}

void Log(const std::string &line)
{
    if (log_path.empty())
        return;
    FILE *file = fopen(log_path.c_str(), "ab");
    if (file == nullptr)
        return;
    fprintf(file, "%s\n", line.c_str());
    fclose(file);
}

std::string Hex(uintptr_t value)
{
    char text[32];
    snprintf(text, sizeof text, "0x%lx", (unsigned long)value);
    return text;
}

// The path below the mount directory: "" for the mount directory, else
// "sub\name"; false when path does not lie below it.
bool RelativePath(const char *path, std::string *relative)
{
    std::string full(path);
    if (full == mount_dir) {
        relative->clear();
        return true;
    }
    if (full.size() <= mount_dir.size() + 1 || full.compare(0, mount_dir.size(), mount_dir) != 0 ||
        full[mount_dir.size()] != '\\')
        return false;
    *relative = full.substr(mount_dir.size() + 1);
    return true;
}

std::string EntryPath(const Entry &entry)
{
    return entry.dir.empty() ? entry.name : entry.dir + "\\" + entry.name;
}

const Entry *FindEntry(const std::string &relative)
{
    for (const auto &entry : entries)
        if (EntryPath(entry) == relative)
            return &entry;
    return nullptr;
}

void FillFindData(const Entry &entry, LPWIN32_FIND_DATAA data)
{
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = entry.attributes;
    data->nFileSizeLow = entry.size;
    size_t length = entry.name.size() < MAX_PATH - 1 ? entry.name.size() : MAX_PATH - 1;
    memcpy(data->cFileName, entry.name.data(), length);
}

// Fills data with the next entry of the search; false at the end.
bool NextOfSearch(Search &search, LPWIN32_FIND_DATAA data)
{
    for (; search.next < entries.size(); search.next++) {
        if (entries[search.next].dir == search.dir) {
            FillFindData(entries[search.next++], data);
            return true;
        }
    }
    SetLastError(ERROR_NO_MORE_FILES);
    return false;
}

Search *SearchOf(KVZHANDLE handle)
{
    if (handle < kSearchBase || handle >= kSearchBase + kSlots ||
        !searches[handle - kSearchBase].used)
        return nullptr;
    return &searches[handle - kSearchBase];
}

FakeOpenFile *FileOf(KVZHANDLE handle)
{
    if (handle < kFileBase || handle >= kFileBase + kSlots || !files[handle - kFileBase].used)
        return nullptr;
    return &files[handle - kFileBase];
}

template <typename Slot> int CountUsed(const Slot (&slots)[kSlots])
{
    int used = 0;
    for (const auto &slot : slots)
        used += slot.used ? 1 : 0;
    return used;
}

KVZHANDLE StartSearch(const std::string &dir, LPWIN32_FIND_DATAA data)
{
    const Entry *directory = dir.empty() ? nullptr : FindEntry(dir);
    if (!dir.empty() && (directory == nullptr || directory->no_search)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return KVZ_INVALID_HANDLE;
    }
    for (size_t i = 0; i < kSlots; i++) {
        if (searches[i].used)
            continue;
        searches[i].dir = dir;
        searches[i].next = 0;
        if (!NextOfSearch(searches[i], data))
            return KVZ_INVALID_HANDLE;
        searches[i].used = true;
        return kSearchBase + (KVZHANDLE)i;
    }
    return KVZ_INVALID_HANDLE;
}

} // namespace

// KVZ32.@10
KVZ_EXPORT DWORD WINAPI KVZ_Mount(LPCSTR archive, LPCSTR dir, DWORD access, DWORD fourth)
{
    LoadScript();
    Log(std::string("KVZ_Mount ") + archive + " " + dir + " " + Hex(access) + " " + Hex(fourth));
    mount_dir = dir;
    return mount_result;
}

// KVZ32.@19
KVZ_EXPORT DWORD WINAPI KVZ_UnMount(LPCSTR dir)
{
    LoadScript();
    Log(std::string("KVZ_UnMount ") + dir + " open=" + std::to_string(CountUsed(files)) +
        " searches=" + std::to_string(CountUsed(searches)));
    return 1;
}

// KVZ32.@4
KVZ_EXPORT KVZHANDLE WINAPI KVZ_FindFirstFile(LPCSTR pattern, LPWIN32_FIND_DATAA data)
{
    LoadScript();
    Log(std::string("KVZ_FindFirstFile ") + pattern);
    std::string full(pattern), relative;
    if (full.size() < 2 || full.compare(full.size() - 2, 2, "\\*") != 0)
        return KVZ_INVALID_HANDLE;
    full.resize(full.size() - 2);
    if (!RelativePath(full.c_str(), &relative))
        return KVZ_INVALID_HANDLE;
    return StartSearch(relative, data);
}

// KVZ32.@5
KVZ_EXPORT BOOL WINAPI KVZ_FindNextFile(KVZHANDLE handle, LPWIN32_FIND_DATAA data)
{
    Search *search = SearchOf(handle);
    return search != nullptr && NextOfSearch(*search, data);
}

// KVZ32.@3
KVZ_EXPORT BOOL WINAPI KVZ_FindClose(KVZHANDLE handle)
{
    Search *search = SearchOf(handle);
    if (search == nullptr)
        return FALSE;
    search->used = false;
    return TRUE;
}

// KVZ32.@2
KVZ_EXPORT KVZHANDLE WINAPI KVZ_CreateFile(LPCSTR name, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                           DWORD flags, HANDLE template_file)
{
    LoadScript();
    Log(std::string("KVZ_CreateFile ") + name + " " + Hex(access) + " " + Hex(share) + " " +
        Hex((uintptr_t)security) + " " + Hex(disposition) + " " + Hex(flags) + " " +
        Hex((uintptr_t)template_file));
    std::string relative;
    const Entry *entry = RelativePath(name, &relative) ? FindEntry(relative) : nullptr;
    if (entry == nullptr || entry->no_open || (entry->attributes & FILE_ATTRIBUTE_DIRECTORY))
        return KVZ_INVALID_HANDLE;
    for (size_t i = 0; i < kSlots; i++) {
        if (!files[i].used) {
            files[i].used = true;
            files[i].entry = entry;
            files[i].position = 0;
            return kFileBase + (KVZHANDLE)i;
        }
    }
    return KVZ_INVALID_HANDLE;
}

// KVZ32.@13
KVZ_EXPORT BOOL WINAPI KVZ_ReadFile(KVZHANDLE handle, LPVOID buffer, DWORD count, LPDWORD read,
                                    LPVOID overlapped)
{
    (void)overlapped;
    *read = 0;
    FakeOpenFile *file = FileOf(handle);
    if (file == nullptr || file->position >= file->entry->fail_at)
        return FALSE;
    DWORD end = file->entry->data_length < file->entry->fail_at ? file->entry->data_length
                                                                : file->entry->fail_at;
    DWORD left = end > file->position ? end - file->position : 0;
    DWORD n = count < left ? count : left;
    for (DWORD i = 0; i < n; i++)
        ((char *)buffer)[i] = (char)('a' + (file->position + i) % 26);
    file->position += n;
    *read = n;
    return TRUE;
}

// KVZ32.@1
KVZ_EXPORT BOOL WINAPI KVZ_CloseHandle(KVZHANDLE handle)
{
    FakeOpenFile *file = FileOf(handle);
    if (file == nullptr)
        return FALSE;
    file->used = false;
    return TRUE;
}
