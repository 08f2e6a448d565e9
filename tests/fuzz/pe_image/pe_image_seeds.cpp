// Writes the image fuzzer's seeds into the folder given: the image tests'
// own CE DLL and a few of its variants, so the seeds follow the builder.
#include "tests/platform/pe_test_image.h"

#include <stdio.h>

#include <string>

using namespace pe_test;

static bool Write(const char *dir, const char *name, const Image &image)
{
    std::vector<uint8_t> file = Emit(image);
    std::string path = std::string(dir) + "/" + name;
    FILE *out = fopen(path.c_str(), "wb");
    bool written = out != NULL && fwrite(file.data(), 1, file.size(), out) == file.size();
    if (out != NULL && fclose(out) != 0)
        written = false;
    if (!written)
        fprintf(stderr, "pe_image_seeds: cannot write %s\n", path.c_str());
    return written;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: pe_image_seeds DIR\n");
        return 2;
    }
    Image thumb = GoodImage(), by_ordinal = GoodImage(), bare = GoodImage();
    thumb.machine = 0x1C2;
    by_ordinal.Put32(kLookup + 4, 0x80000010);
    bare.directories[0][0] = bare.directories[0][1] = 0; // no exports
    bare.directories[1][0] = bare.directories[1][1] = 0; // no imports
    bool ok = Write(argv[1], "good.dll", GoodImage()) && Write(argv[1], "thumb.dll", thumb) &&
              Write(argv[1], "by_ordinal.dll", by_ordinal) && Write(argv[1], "bare.dll", bare);
    return ok ? 0 : 1;
}
