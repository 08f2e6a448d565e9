// kvz_ce_image: writes a Windows CE ARM DLL from a linked ELF image, or the
// thunks that route the DLL's CE calls through coredll.dll's imports.
//
//   kvz_ce_image --def X.def --coredll LIST [--res X.res] -o OUT.dll IN.elf
//   kvz_ce_image --thunks LIST -o OUT.S
//
// --res places the resources of a compiled resource script (windres -O res)
// in the DLL's resource section.
//
// On failure it prints one line naming the symbol, section or relocation,
// exits with 1 and leaves no output file behind.

#include "ce_image.h"
#include "thunks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const size_t kMaxInputSize = 256u << 20; // a DLL's ELF with debug information is a few MiB
static const size_t kPathMax = 4096;

struct Options {
    const char *def;
    const char *coredll;
    const char *thunks;
    const char *res;
    const char *out;
    const char *elf;
};

struct FileBytes {
    char *data;
    size_t size;
};

static int Usage()
{
    fprintf(stderr,
            "usage: kvz_ce_image --def X.def --coredll LIST [--res X.res] -o OUT.dll IN.elf\n"
            "       kvz_ce_image --thunks LIST -o OUT.S\n");
    return 2;
}

static bool ParseOptions(int argc, char **argv, Options *o)
{
    memset(o, 0, sizeof *o);
    for (int i = 1; i < argc; i++) {
        const char **slot = nullptr;
        if (strcmp(argv[i], "--def") == 0)
            slot = &o->def;
        else if (strcmp(argv[i], "--coredll") == 0)
            slot = &o->coredll;
        else if (strcmp(argv[i], "--thunks") == 0)
            slot = &o->thunks;
        else if (strcmp(argv[i], "--res") == 0)
            slot = &o->res;
        else if (strcmp(argv[i], "-o") == 0)
            slot = &o->out;
        if (slot) {
            if (i + 1 == argc || *slot)
                return false;
            *slot = argv[++i];
        } else if (argv[i][0] == '-' || o->elf) {
            return false;
        } else {
            o->elf = argv[i];
        }
    }
    if (!o->out)
        return false;
    if (o->thunks)
        return !o->def && !o->coredll && !o->res && !o->elf;
    return o->def && o->coredll && o->elf;
}

static const char *BaseName(const char *path)
{
    const char *name = path;
    for (const char *c = path; *c; c++)
        if (*c == '/' || *c == '\\')
            name = c + 1;
    return name;
}

static bool ReadWholeFile(const char *path, FileBytes *out, Diag *d)
{
    memset(out, 0, sizeof *out);
    FILE *f = fopen(path, "rb");
    if (!f)
        return DiagFail(d, "%s: cannot open", path);
    size_t capacity = 0;
    bool ok = true;
    for (;;) {
        if (out->size == capacity) {
            size_t grown = capacity ? capacity * 2 : 65536;
            char *bigger = grown <= kMaxInputSize ? (char *)realloc(out->data, grown) : nullptr;
            if (!bigger) {
                ok = DiagFail(d, "%s: larger than %zu MiB or out of memory", path,
                              kMaxInputSize >> 20);
                break;
            }
            out->data = bigger;
            capacity = grown;
        }
        size_t n = fread(out->data + out->size, 1, capacity - out->size, f);
        out->size += n;
        if (n == 0) {
            if (ferror(f))
                ok = DiagFail(d, "%s: read error", path);
            break;
        }
    }
    fclose(f);
    if (!ok) {
        free(out->data);
        out->data = nullptr;
    }
    return ok;
}

// Writes through a temporary file renamed into place, so a failed run never
// leaves a partial or stale output that a build would take for current.
static bool WriteOutput(const char *path, const void *data, size_t size,
                        bool (*fill)(FILE *, void *), void *context, Diag *d)
{
    char tmp[kPathMax];
    if (snprintf(tmp, sizeof tmp, "%s.tmp", path) >= (int)sizeof tmp)
        return DiagFail(d, "%s: path too long", path);
    FILE *f = fopen(tmp, "wb");
    if (!f)
        return DiagFail(d, "%s: cannot create", tmp);
    bool ok = fill ? fill(f, context) : fwrite(data, 1, size, f) == size;
    ok = (fclose(f) == 0) && ok;
    if (ok && rename(tmp, path) != 0)
        ok = false;
    if (!ok) {
        remove(tmp);
        return DiagFail(d, "%s: cannot write", path);
    }
    return true;
}

struct ThunkJob {
    const NameList *list;
    const char *listName;
};

static bool FillThunks(FILE *f, void *context)
{
    const ThunkJob *job = (const ThunkJob *)context;
    return ThunksWrite(job->list, job->listName, f);
}

// Reads the text file at path whole and hands it to parse, which fills out.
template <typename Out>
static bool ParseFile(const char *path, Out *out,
                      bool (*parse)(Out *, const char *, size_t, const char *, Diag *), Diag *d)
{
    FileBytes text;
    if (!ReadWholeFile(path, &text, d))
        return false;
    bool ok = parse(out, text.data, text.size, path, d);
    free(text.data);
    return ok;
}

static bool MakeThunks(const Options *o, Diag *d)
{
    NameList list;
    if (!ParseFile(o->thunks, &list, NameListParse, d))
        return false;
    ThunkJob job = {&list, BaseName(o->thunks)};
    bool ok = WriteOutput(o->out, nullptr, 0, FillThunks, &job, d);
    NameListFree(&list);
    return ok;
}

static bool Convert(const Options *o, const DefFile *def, const NameList *coredll,
                    const Resources *resources, Diag *d)
{
    FileBytes elf;
    if (!ReadWholeFile(o->elf, &elf, d))
        return false;
    const uint8_t *bytes = (const uint8_t *)elf.data;
    CeImageInput input = {bytes, elf.size, def, coredll, BaseName(o->out), resources};
    CeImage image;
    bool ok = CeImageBuild(&input, &image, d) &&
              WriteOutput(o->out, image.data, image.size, nullptr, nullptr, d);
    CeImageFree(&image);
    free(elf.data);
    return ok;
}

static bool ReadResources(const char *path, Resources *resources, Diag *d)
{
    return !path || ParseFile(path, resources, ResourcesParse, d);
}

static bool MakeImage(const Options *o, Diag *d)
{
    NameList coredll;
    DefFile def;
    Resources resources;
    memset(&def, 0, sizeof def);
    memset(&resources, 0, sizeof resources);
    if (!ParseFile(o->coredll, &coredll, NameListParse, d))
        return false;
    bool ok = ParseFile(o->def, &def, DefParse, d) && ReadResources(o->res, &resources, d) &&
              Convert(o, &def, &coredll, o->res ? &resources : nullptr, d);
    ResourcesFree(&resources);
    DefFree(&def);
    NameListFree(&coredll);
    return ok;
}

int main(int argc, char **argv)
{
    Options o;
    if (!ParseOptions(argc, argv, &o))
        return Usage();
    Diag d;
    d.text[0] = 0;
    bool ok = o.thunks ? MakeThunks(&o, &d) : MakeImage(&o, &d);
    if (!ok) {
        remove(o.out);
        fprintf(stderr, "kvz_ce_image: %s: %s\n", o.thunks ? o.thunks : o.elf, d.text);
        return 1;
    }
    return 0;
}
