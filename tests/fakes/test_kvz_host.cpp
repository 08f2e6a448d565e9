// kvz_host against the fake handheld library, run as a child process: the
// lines it prints, its exit codes, and what reached the library (the fake's
// log, set up through its environment).
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace
{

std::string BinDir()
{
    const char *dir = getenv("KVZ_BIN_DIR");
    return dir != nullptr ? dir : ".";
}

// What starts a program of the build (e.g. qemu for another CPU), then a space.
std::string Emulator()
{
    const char *emulator = getenv("KVZ_EMULATOR");
    return emulator != nullptr && *emulator != 0 ? "'" + std::string(emulator) + "' " : "";
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class KvzHost : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char dir_template[] = "/tmp/kvz_host_test.XXXXXX";
        ASSERT_NE(mkdtemp(dir_template), nullptr);
        dir = dir_template;
        script = dir + "/script.txt";
        log = dir + "/calls.log";
        WriteScript("");
    }
    void TearDown() override { system(("rm -rf '" + dir + "'").c_str()); }

    void WriteScript(const std::string &text) { std::ofstream(script) << text; }

    // Runs "kvz_host <library> <arguments>" with input on standard input;
    // returns what it printed and stores its exit code.
    std::string Run(const std::string &library, const std::string &arguments,
                    const std::string &input = "")
    {
        std::string input_file = dir + "/input.txt";
        std::ofstream(input_file) << input;
        std::string command = "KVZ_FAKE_SCRIPT='" + script + "' KVZ_FAKE_LOG='" + log + "' " +
                              Emulator() + "'" + BinDir() + "/kvz_host' '" + BinDir() + "/" +
                              library + "' " + arguments + " < '" + input_file + "'";
        FILE *pipe = popen(command.c_str(), "r");
        EXPECT_NE(pipe, nullptr);
        std::string output;
        char buffer[4096];
        size_t n;
        while (pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        int status = pipe != nullptr ? pclose(pipe) : -1;
        exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return output;
    }

    std::string dir, script, log;
    int exit_code = -1;
};

TEST_F(KvzHost, RunsCommandArgumentsAndPrintsOneLineEach)
{
    WriteScript("KVZ_ReadFile 250\n"
                "KVZ_CreateFile 588 \\a\\b.ogg\n"
                "KVZ_Mount 2\n"
                "KVZ_SupportVersion 258\n");
    std::string output =
        Run("fake_pda.dll", "'mount \\a\\sound\\x.KVZ \\a' 'open \\a\\b.ogg' 'read $' 'close $' "
                            "'open \\a\\c.ogg' 'cat $' 'find \\a\\*' version 'frobnicate 1'");
    EXPECT_EQ(exit_code, 0);
    EXPECT_EQ(output, "loaded\n"
                      "mount 2\n"
                      "open 588\n"
                      "read 250 bytes crc32=" +
                          std::string("89689892") +
                          "\n"
                          "close 1\n"
                          "open 100\n"
                          "read 250 bytes crc32=89689892\n"
                          "data " +
                          std::string(250, 'x') +
                          "\n"
                          "entry fake attr=0x80 size=0\n"
                          "find 1\n"
                          "version 258\n"
                          "unknown frobnicate\n");

    std::string calls = ReadFile(log);
    EXPECT_NE(calls.find("10 KVZ_Mount \\a\\sound\\x.KVZ \\a 0x80000000 0x1\n"), std::string::npos)
        << calls;
    EXPECT_NE(calls.find("4 KVZ_CreateFile \\a\\b.ogg 0x80000000 0x1 0x0 0x3 0x0 0x0\n"),
              std::string::npos)
        << calls;
    EXPECT_NE(calls.find("3 KVZ_CloseHandle 0x24c\n"), std::string::npos) << calls;
}

TEST_F(KvzHost, ReadsCommandsFromStandardInputUntilItsEnd)
{
    std::string output = Run("fake_pda.dll", "",
                             "mountres \\a\\x.KVZ \\b 0x40000000 7\r\n"
                             "\n"
                             "seek 100 -1 2\n"
                             "write 100 \"two words\"\n"
                             "setlasterror 42\n"
                             "lasterror\n"
                             "setcachesize 4096\n"
                             "cacheblocksize\n"
                             "isfile \\a\\x\n"
                             "unmount \\b\n"
                             "mounted \\a\\x.KVZ\n"
                             "read nothandle\n"
                             "open \"unclosed\n"
                             "mount onlyone");
    EXPECT_EQ(exit_code, 0);
    EXPECT_EQ(output, "loaded\n"
                      "mountres 1\n"
                      "seek 0\n"
                      "write 1 9\n"
                      "setlasterror\n"
                      "lasterror 42\n"
                      "setcachesize 0\n"
                      "cacheblocksize 0\n"
                      "isfile 1\n"
                      "unmount 1\n"
                      "mounted 1\n"
                      "bad read\n"
                      "bad line\n"
                      "bad mount\n");
    std::string calls = ReadFile(log);
    EXPECT_NE(calls.find("11 KVZ_MountRes \\a\\x.KVZ \\b 0x40000000 0x7\n"), std::string::npos)
        << calls;
    EXPECT_NE(calls.find("16 KVZ_SetFilePointer 0x64 0xffffffff 0x0 0x2\n"), std::string::npos)
        << calls;
}

TEST_F(KvzHost, ReportsFailedOpensSearchesAndWritesReadsToAFile)
{
    WriteScript("KVZ_CreateFile -1 \\a\\missing\n"
                "KVZ_FindFirstFile -1\n"
                "KVZ_ReadFile 3\n");
    std::string out_file = dir + "/out.bin";
    std::string output =
        Run("fake_pda.dll", "'open \\a\\missing' 'find \\nowhere\\*' 'open \\a\\x' "
                            "'read $ " +
                                out_file + "'");
    EXPECT_EQ(output, "loaded\n"
                      "open 4294967295\n"
                      "find failed\n"
                      "open 100\n"
                      "read 3 bytes crc32=" +
                          std::string("1c9bea0a") + "\n");
    EXPECT_EQ(ReadFile(out_file), "xxx");
}

TEST_F(KvzHost, FailsToLoadOrBindWithItsOwnExitCodes)
{
    struct {
        const char *library;
        const char *first_line;
        int exit_code;
    } cases[] = {
        {"fake_pda_broken.dll", "load failed ", 2},
        {"no_such_library.dll", "load failed ", 2},
        {"fake_pda_missing13.dll", "loaded\nbind failed 13\n", 3},
    };
    for (const auto &c : cases) {
        std::string output = Run(c.library, "version");
        EXPECT_EQ(exit_code, c.exit_code) << c.library;
        EXPECT_EQ(output.rfind(c.first_line, 0), 0u) << c.library << ": " << output;
        EXPECT_EQ(output.find("version"), std::string::npos) << c.library;
    }
}

} // namespace
