// The command line, and a DLL linked for real by the wince build's CMake
// functions (fixture/, when arm-none-eabi-gcc is on this machine): linked
// and written at two bases, the first image moved by its own base
// relocations must equal the second.
#include "ce_image.h"
#include "ce_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::vector<uint8_t> read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const std::string &path, const void *data, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write((const char *)data, (std::streamsize)size);
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string scratch_dir()
{
    std::string dir =
        std::string(::testing::TempDir()) + "ce_image_cli_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0777);
    return dir;
}

int run(const std::string &arguments, const std::string &errors)
{
    std::string command =
        std::string("\"") + KVZ_CE_IMAGE_EXE + "\" " + arguments + " 2>\"" + errors + "\"";
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CeImageCommand, WritesTheImageOrNothing)
{
    std::string dir = scratch_dir();
    std::vector<uint8_t> elf = small_dll().bytes();
    write_bytes(dir + "/small.elf", elf.data(), elf.size());
    write_bytes(dir + "/small.def", kSmallDef, strlen(kSmallDef));
    write_bytes(dir + "/bad.def", "EXPORTS\n CeGone @1\n", 19);
    write_bytes(dir + "/coredll.txt", kSmallCoredll, strlen(kSmallCoredll));
    std::string common = "--coredll \"" + dir + "/coredll.txt\" -o \"" + dir + "/small.dll\" \"" +
                         dir + "/small.elf\"";

    ASSERT_EQ(0, run("--def \"" + dir + "/small.def\" " + common, dir + "/err.txt"));
    std::string error;
    EXPECT_EQ(write_dll(elf, kSmallDef, &error), read_bytes(dir + "/small.dll"));
    EXPECT_FALSE(exists(dir + "/small.dll.tmp"));

    // A refused image removes the DLL of an earlier run: no stale file looks current.
    EXPECT_EQ(1, run("--def \"" + dir + "/bad.def\" " + common, dir + "/err.txt"));
    EXPECT_FALSE(exists(dir + "/small.dll"));
    std::vector<uint8_t> message = read_bytes(dir + "/err.txt");
    std::string text(message.begin(), message.end());
    EXPECT_NE(text.find("export @1: symbol CeGone: not defined in the ELF"), std::string::npos)
        << text;

    // --res adds the resource section; a refused .res leaves no DLL and is named.
    std::vector<uint8_t> res = synth_res({{"#16", "#1", 0x0407, {1, 2, 3}}});
    write_bytes(dir + "/small.res", res.data(), res.size());
    write_bytes(dir + "/bad.res", res.data(), 40);
    ASSERT_EQ(0, run("--def \"" + dir + "/small.def\" --res \"" + dir + "/small.res\" " + common,
                     dir + "/err.txt"));
    EXPECT_EQ(write_dll(elf, kSmallDef, &error, kSmallCoredll, "small.dll", &res),
              read_bytes(dir + "/small.dll"));
    EXPECT_EQ(1, run("--def \"" + dir + "/small.def\" --res \"" + dir + "/bad.res\" " + common,
                     dir + "/err.txt"));
    EXPECT_FALSE(exists(dir + "/small.dll"));
    message = read_bytes(dir + "/err.txt");
    text.assign(message.begin(), message.end());
    EXPECT_NE(text.find("bad.res: record at 0x20"), std::string::npos) << text;

    EXPECT_EQ(2, run("--def x.def -o y.dll", dir + "/err.txt")) << "no input: usage";

    ASSERT_EQ(0, run("--thunks \"" + dir + "/coredll.txt\" -o \"" + dir + "/thunks.S\"",
                     dir + "/err.txt"));
    std::vector<uint8_t> source = read_bytes(dir + "/thunks.S");
    std::string s(source.begin(), source.end());
    EXPECT_NE(s.find(".section .kvz_thunk.GetTickCount,\"ax\""), std::string::npos) << s;
    EXPECT_NE(s.find("__imp_Sleep:\n\t.word 0"), std::string::npos) << s;
}

class CeFixture : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string dir = KVZ_CE_FIXTURE_DIR;
        if (dir.empty())
            GTEST_SKIP() << "arm-none-eabi-g++ is not on this machine";
        dll = read_bytes(dir + "/bin/cetest.dll");
        moved = read_bytes(dir + "/check/cetest.dll");
        elf = read_bytes(dir + "/elf/cetest.elf");
        ASSERT_FALSE(dll.empty() || moved.empty() || elf.empty()) << "fixture not built in " << dir;
    }
    std::vector<uint8_t> dll, moved, elf;
};

TEST_F(CeFixture, ExportsImportsAndEntry)
{
    PeView pe(dll);
    EXPECT_EQ(0x01C0u, pe.u16(pe.optional - 20));
    EXPECT_EQ(0x10000000u, pe.opt32(28));
    EXPECT_EQ(9u, pe.opt16(68));
    EXPECT_EQ(reference_checksum(pe.file), pe.opt32(64));
    uint32_t base = 0;
    EXPECT_EQ((std::vector<std::string>{"CeTestAdd", "CeTestTick", "", "CeTestNameLength"}),
              pe.exports_by_ordinal(&base));
    std::string name;
    EXPECT_EQ((std::vector<std::string>{"GetTickCount", "Sleep", "wcslen"}), pe.import_names(&name))
        << "only the thunks called are linked";
    EXPECT_EQ("COREDLL.dll", name);
    PeView other(moved);
    EXPECT_EQ(0x20000000u, other.opt32(28));
    EXPECT_EQ(pe.opt32(16), other.opt32(16)) << "same entry RVA at both bases";
}

TEST_F(CeFixture, RelocationsMoveTheImageToTheSecondBase)
{
    PeView a(dll), b(moved);
    std::vector<uint8_t> image = a.memory_image(), expected = b.memory_image();
    ASSERT_EQ(expected.size(), image.size());
    std::vector<uint32_t> relocations = a.relocations();
    EXPECT_GE(relocations.size(), 8u) << "literals, .rdata and .data pointers, thunks";
    uint32_t delta = b.opt32(28) - a.opt32(28);
    for (uint32_t rva : relocations) {
        ASSERT_LE(rva + 4, image.size());
        put_le(image, rva, get_le(image, rva, 4) + delta, 4);
    }
    for (const PeSection &s : a.sections) {
        if (s.name == ".reloc")
            continue; // lists the same RVAs, in either image
        for (uint32_t k = 0; k < s.virtual_size; k++)
            ASSERT_EQ(expected[s.rva + k], image[s.rva + k])
                << s.name << " differs at RVA 0x" << std::hex << s.rva + k
                << ": an address without a base relocation";
    }
}

TEST_F(CeFixture, TheBuildWroteWhatTheWriterMakes)
{
    std::string error;
    std::vector<uint8_t> def = read_bytes(std::string(KVZ_CE_FIXTURE_SOURCE) + "/cetest.def");
    def.push_back(0);
    std::vector<uint8_t> list = read_bytes(KVZ_COREDLL_LIST);
    list.push_back(0);
    std::vector<uint8_t> again =
        write_dll(elf, (const char *)def.data(), &error, (const char *)list.data(), "cetest.dll");
    ASSERT_FALSE(again.empty()) << error;
    EXPECT_TRUE(again == dll) << "the build's image differs from the writer's";
}

} // namespace
