// Loading, binding and reading helpers for the reference library's tests.
#include "ref_test_util.h"

#include <cstdio>

static const char kFixtureDir[] = "..\\fixtures\\archive_ref";

std::string Fx(const std::string &relative)
{
    return std::string(kFixtureDir) + "\\" + relative;
}

std::string FxFile(const std::string &relative)
{
    std::string path = "../fixtures/archive_ref/" + relative;
    for (char &c : path)
        if (c == '\\')
            c = '/';
    return path;
}

std::string ReadFixtureFile(const std::string &relative)
{
    std::string data;
    FILE *file = std::fopen(FxFile(relative).c_str(), "rb");
    if (file == nullptr)
        return data;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data.append(buffer, n);
    std::fclose(file);
    return data;
}

std::u16string W(const std::string &utf8)
{
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = (unsigned char)utf8[i];
        unsigned long code;
        size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        code = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; k < n && i + k < utf8.size(); k++)
            code = (code << 6) | ((unsigned char)utf8[i + k] & 0x3F);
        if (code >= 0x10000) {
            out += (char16_t)(0xD800 + ((code - 0x10000) >> 10));
            out += (char16_t)(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += (char16_t)code;
        }
        i += n;
    }
    return out;
}

std::string U8(const WCHAR *text)
{
    std::string out;
    for (size_t i = 0; text[i] != 0; i++) {
        unsigned long code = (unsigned short)text[i];
        if (code >= 0xD800 && code < 0xDC00 && text[i + 1] != 0)
            code = 0x10000 + ((code - 0xD800) << 10) + ((unsigned short)text[++i] - 0xDC00);
        if (code < 0x80) {
            out += (char)code;
        } else if (code < 0x800) {
            out += (char)(0xC0 | (code >> 6));
            out += (char)(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += (char)(0xE0 | (code >> 12));
            out += (char)(0x80 | ((code >> 6) & 0x3F));
            out += (char)(0x80 | (code & 0x3F));
        } else {
            out += (char)(0xF0 | (code >> 18));
            out += (char)(0x80 | ((code >> 12) & 0x3F));
            out += (char)(0x80 | ((code >> 6) & 0x3F));
            out += (char)(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// ---- Binding by ordinal ----
// Through void(*)(void), the one function type any pointer may pass through.
template <typename T> static T FromProc(FARPROC proc)
{
    return reinterpret_cast<T>(reinterpret_cast<void (*)(void)>(proc));
}

template <typename T>
static void BindDesktop(HMODULE module, unsigned ordinal, T *slot, std::string *missing)
{
    *slot = FromProc<T>(GetProcAddress(module, KVZ_ORDINAL_NAME(ordinal)));
    if (*slot == nullptr)
        *missing += " " + std::to_string(ordinal);
}

template <typename T>
static void BindHandheld(HMODULE module, unsigned ordinal, T *slot, std::string *missing)
{
    *slot = FromProc<T>(GetProcAddressW(module, KVZ_ORDINAL_NAMEW(ordinal)));
    if (*slot == nullptr)
        *missing += " " + std::to_string(ordinal);
}

bool DesktopLib::Load(std::string *why)
{
    module = LoadLibraryA("KVZ32.DLL");
    if (module == nullptr) {
        *why = "LoadLibraryA(KVZ32.DLL) failed, error " + std::to_string(::GetLastError());
        return false;
    }
    std::string missing;
    BindDesktop(module, KVZ_DESK_CloseHandle, &CloseHandle, &missing);
    BindDesktop(module, KVZ_DESK_CreateFile, &CreateFile, &missing);
    BindDesktop(module, KVZ_DESK_FindClose, &FindClose, &missing);
    BindDesktop(module, KVZ_DESK_FindFirstFile, &FindFirstFile, &missing);
    BindDesktop(module, KVZ_DESK_FindNextFile, &FindNextFile, &missing);
    BindDesktop(module, KVZ_DESK_Mount, &Mount, &missing);
    BindDesktop(module, KVZ_DESK_ReadFile, &ReadFile, &missing);
    BindDesktop(module, KVZ_DESK_UnMount, &UnMount, &missing);
    *why = missing.empty() ? "" : "KVZ32.DLL lacks ordinals" + missing;
    return missing.empty();
}

void DesktopLib::Unload()
{
    if (module != nullptr)
        FreeLibrary(module);
    module = nullptr;
}

KVZHANDLE DesktopLib::Open(const std::string &path) const
{
    return CreateFile(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool HandheldLib::Load(std::string *why)
{
    module = LoadLibraryW(TEXT("_pdaKVZ.dll"));
    if (module == nullptr) {
        *why = "LoadLibraryW(_pdaKVZ.dll) failed, error " + std::to_string(::GetLastError());
        return false;
    }
    std::string missing;
    BindHandheld(module, KVZ_ORD_FindFirstFile, &FindFirstFile, &missing);
    BindHandheld(module, KVZ_ORD_FindNextFile, &FindNextFile, &missing);
    BindHandheld(module, KVZ_ORD_CloseHandle, &CloseHandle, &missing);
    BindHandheld(module, KVZ_ORD_CreateFile, &CreateFile, &missing);
    BindHandheld(module, KVZ_ORD_FindClose, &FindClose, &missing);
    BindHandheld(module, KVZ_ORD_GetCacheBlockSize, &GetCacheBlockSize, &missing);
    BindHandheld(module, KVZ_ORD_GetCacheSize, &GetCacheSize, &missing);
    BindHandheld(module, KVZ_ORD_GetLastError, &GetLastError, &missing);
    BindHandheld(module, KVZ_ORD_IsFile, &IsFile, &missing);
    BindHandheld(module, KVZ_ORD_Mount, &Mount, &missing);
    BindHandheld(module, KVZ_ORD_MountRes, &MountRes, &missing);
    BindHandheld(module, KVZ_ORD_Mounted, &Mounted, &missing);
    BindHandheld(module, KVZ_ORD_ReadFile, &ReadFile, &missing);
    BindHandheld(module, KVZ_ORD_SetCacheBlockSize, &SetCacheBlockSize, &missing);
    BindHandheld(module, KVZ_ORD_SetCacheSize, &SetCacheSize, &missing);
    BindHandheld(module, KVZ_ORD_SetFilePointer, &SetFilePointer, &missing);
    BindHandheld(module, KVZ_ORD_SetLastError, &SetLastError, &missing);
    BindHandheld(module, KVZ_ORD_SupportVersion, &SupportVersion, &missing);
    BindHandheld(module, KVZ_ORD_UnMount, &UnMount, &missing);
    BindHandheld(module, KVZ_ORD_WriteFile, &WriteFile, &missing);
    *why = missing.empty() ? "" : "_pdaKVZ.dll lacks ordinals" + missing;
    return missing.empty();
}

void HandheldLib::Unload()
{
    if (module != nullptr)
        FreeLibrary(module);
    module = nullptr;
}

KVZHANDLE HandheldLib::Open(const std::string &path) const
{
    return CreateFile((LPCWSTR)W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                      OPEN_EXISTING, 0, nullptr);
}

// ---- Reading ----
bool ReadToEnd(PFN_KVZ_ReadFile read, KVZHANDLE file, std::string *data, std::string *why,
               DWORD piece)
{
    std::string buffer(piece, '\0');
    data->clear();
    for (;;) {
        DWORD got = 0x55555555;
        BOOL ok = read(file, &buffer[0], piece, &got, nullptr);
        if (got == 0x55555555) {
            *why = "read count not stored after " + std::to_string(data->size()) + " bytes";
            return false;
        }
        if (!ok) {
            *why = "read failed after " + std::to_string(data->size()) + " bytes";
            return false;
        }
        if (got > piece) {
            *why = "read count " + std::to_string(got) + " above the request";
            return false;
        }
        if (got == 0)
            return true;
        data->append(buffer.data(), got);
    }
}
