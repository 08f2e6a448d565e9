// End to end: the host application loads the built pdaKVZ.dll from a prepared
// directory in a child process, as the handheld application does. A failed
// start-up ends that process, so each case checks what a user sees: the
// message box (caption, text, flags), the answer given on stdin, and whether
// the host went on ("loaded" and its command results) or ended with exit
// code 0 before that.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/unit/proxy/startup_support.h"

namespace
{

struct HostRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

std::string Quoted(const std::string &text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// kvz_host of the build, started through the build's emulator if it has one.
std::string HostProgram()
{
    const char *emulator = getenv("KVZ_EMULATOR");
    std::string program = Quoted(BinDir() + "kvz_host");
    return emulator != nullptr && *emulator != 0 ? Quoted(emulator) + " " + program : program;
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A child's standard error. The loader lines it holds (KVZ_LOADER_TRACE) are
// echoed, so this test's output says which file format each module had.
std::string ReadChildErr(const std::string &path)
{
    std::string err = ReadFile(path);
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("kvz loader:", 0) == 0)
            std::cerr << line << "\n";
    return err;
}

std::string Boxes(const std::string &err)
{
    std::string boxes;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("MessageBox:", 0) == 0)
            boxes += line + "\n";
    return boxes;
}

// Start-up cases share one layout: the proxy in dir, the fake next library
// answering "version" with 4242 and logging its calls to fake.log.
class StartupProcess : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dir.copyFromBin("pdaKVZ.dll", "pdaKVZ.dll");
        dir.write("fake.script", "KVZ_SupportVersion 4242\n");
    }

    // env: more VAR=value words for the host's environment. A host that
    // hangs (a proxy forwarding to itself loops) is stopped: exit code 124.
    HostRun Run(const std::string &answer = "", const std::string &env = "")
    {
        const std::string d = dir.path();
        std::ofstream(d + "stdin.txt", std::ios::binary) << answer;
        std::string command = "cd " + Quoted(d) +
                              " && KVZ_FAKE_SCRIPT=" + Quoted(d + "fake.script") +
                              " KVZ_FAKE_LOG=" + Quoted(d + "fake.log") + " " + env +
                              " timeout 120 " + HostProgram() + " " + Quoted(d + proxy) +
                              " version < stdin.txt > stdout.txt 2> stderr.txt";
        int status = std::system(command.c_str());
        HostRun run;
        run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = ReadFile(d + "stdout.txt");
        run.err = ReadChildErr(d + "stderr.txt");
        return run;
    }

    std::string FakeLog() { return ReadFile(dir.path() + "fake.log"); }

    TempDir dir;
    std::string proxy = "pdaKVZ.dll"; // the host loads dir's file of this name
};

const char kWentOn[] = "loaded\nversion 4242\n";

std::string Box(unsigned flags, const std::string &text)
{
    return BoxLine(flags, text) + "\n";
}

TEST_F(StartupProcess, NoConfigurationLoadsTheDefaultLibrary)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.mkdir("sound");
    HostRun run = Run();
    EXPECT_EQ(kWentOn, run.out) << run.err;
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ("", Boxes(run.err));
    EXPECT_NE(std::string::npos, FakeLog().find("KVZ_SupportVersion")) << "the fake was not loaded";
}

// Without a sound directory both probes fail with "path not found", which
// counts as files present in one and the same directory.
TEST_F(StartupProcess, MissingDefaultDirectoryBringsUpTheQuestion)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    HostRun run = Run("y\n");
    EXPECT_EQ(Box(0x10034, kTextSameDir), Boxes(run.err));
    EXPECT_EQ(kWentOn, run.out);
}

TEST_F(StartupProcess, SameDirectoryAnsweredNoEndsTheProcess)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.write("sound/click.ogg", "o");
    dir.write("sound/voice.kvz", "k"); // patterns match regardless of case
    HostRun run = Run("n\n");
    EXPECT_EQ(Box(0x10034, kTextSameDir), Boxes(run.err));
    EXPECT_EQ("", run.out) << "the host went on";
    EXPECT_EQ(0, run.exit_code);
}

TEST_F(StartupProcess, SameDirectoryAnsweredYesGoesOn)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.write("sound/click.ogg", "o");
    dir.write("sound/voice.KVZ", "k");
    HostRun run = Run("y\n");
    EXPECT_EQ(Box(0x10034, kTextSameDir), Boxes(run.err));
    EXPECT_EQ(kWentOn, run.out);
    EXPECT_EQ(0, run.exit_code);
}

// Only a search that succeeds or fails for another reason than "no more
// files" in both directories, and two equal directory strings, ask.
TEST_F(StartupProcess, NoQuestionUnlessBothKindsShareOneDirectory)
{
    struct Case {
        const char *name;
        const char *config;
        const char *files[2];
    } cases[] = {
        {"only sounds", "", {"sound/a.ogg", "sound/readme.txt"}},
        {"only archives", "", {"sound/a.KVZ", "sound/b.kvz"}},
        {"differ in case only",
         "ArchiveDir=Sound\nSoundDir=sound\n",
         {"sound/a.ogg", "Sound/a.KVZ"}},
        {"differ in case, one with its own backslash",
         "ArchiveDir=snd\\\nSoundDir=Snd\n",
         {"snd/a.KVZ", "Snd/a.ogg"}},
        {"separate directories",
         "ArchiveDir=arc\nSoundDir=\\tmp\\no-such-kvz-dir",
         {"arc/a.KVZ", "sound/a.ogg"}},
    };
    for (const Case &c : cases) {
        TempDir own;
        own.copyFromBin("pdaKVZ.dll", "pdaKVZ.dll");
        own.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
        own.mkdir("sound");
        own.write("sound_config.txt", c.config);
        for (const char *file : c.files)
            own.write(file, "x");
        std::string command = "cd " + Quoted(own.path()) + " && " + HostProgram() + " " +
                              Quoted(own.path() + "pdaKVZ.dll") +
                              " version < /dev/null > out.txt 2> err.txt";
        int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name;
        EXPECT_EQ("loaded\nversion 0\n", ReadFile(own.path() + "out.txt")) << c.name;
        EXPECT_EQ("", Boxes(ReadChildErr(own.path() + "err.txt"))) << c.name;
    }
}

TEST_F(StartupProcess, LogThatCannotBeOpenedIsShownOnceAndStartupGoesOn)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.mkdir("sound");
    dir.write("sound_config.txt", "Log=" + dir.kitPath() + "missing\\access.log\n");
    HostRun run = Run();
    EXPECT_EQ(Box(0x10, kTextLogOpenFailed), Boxes(run.err));
    EXPECT_EQ(kWentOn, run.out);
}

TEST_F(StartupProcess, EmptyLogShowsNothing)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.mkdir("sound");
    dir.write("sound_config.txt", "Log=\n");
    HostRun run = Run();
    EXPECT_EQ("", Boxes(run.err));
    EXPECT_EQ(kWentOn, run.out);
}

TEST_F(StartupProcess, ConfiguredNextLibraryIsTheOneLoaded)
{
    dir.copyFromBin("fake_pda.dll", "tones.dll"); // no _pdaKVZ.dll at all
    dir.mkdir("sound");
    dir.write("sound_config.txt", "NextDLL=tones.dll\n");
    HostRun run = Run();
    EXPECT_EQ("", Boxes(run.err));
    EXPECT_EQ(kWentOn, run.out);
}

TEST_F(StartupProcess, MissingNextLibraryNamesTheConfiguredValueAndEnds)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.mkdir("sound");
    dir.write("sound_config.txt", "NextDLL=Gone.dll\n");
    HostRun run = Run();
    EXPECT_EQ(Box(0x10, "Die Datei Gone.dll wurde nicht gefunden!"), Boxes(run.err));
    EXPECT_EQ("", run.out);
    EXPECT_EQ(0, run.exit_code);
}

// A file that is no library fails to load like a missing one, and is named
// by the default name.
TEST_F(StartupProcess, NextLibraryThatIsNoLibraryIsReportedByItsName)
{
    dir.copyFromBin("fake_pda_broken.dll", "_pdaKVZ.dll");
    dir.mkdir("sound");
    HostRun run = Run();
    EXPECT_EQ(Box(0x10, "Die Datei _pdaKVZ.dll wurde nicht gefunden!"), Boxes(run.err));
    EXPECT_EQ("", run.out);
    EXPECT_EQ(0, run.exit_code);
}

TEST_F(StartupProcess, LibraryLackingAnOrdinalShowsOneMessageAndEnds)
{
    dir.copyFromBin("fake_pda_missing13.dll", "_pdaKVZ.dll");
    dir.mkdir("sound");
    HostRun run = Run();
    EXPECT_EQ(Box(0x10, kTextImportFailed), Boxes(run.err));
    EXPECT_EQ("", run.out);
    EXPECT_EQ(0, run.exit_code);
}

TEST_F(StartupProcess, OverlongSettingIsNamedAndEnds)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.mkdir("sound");
    dir.write("sound_config.txt", "SoundDir=\\" + std::string(300, 's') + "\n");
    HostRun run = Run();
    EXPECT_EQ(Box(0x10, "Der Pfad f\xC3\xBCr SoundDir ist zu lang!"), Boxes(run.err));
    EXPECT_EQ("", run.out);
    EXPECT_EQ(0, run.exit_code);
}

// The handheld's own file, a CE image, rather than one built for this host.
bool ProxyIsCeImage()
{
    return ReadFile(BinDir() + "pdaKVZ.dll").rfind("MZ", 0) == 0;
}

// A failed start-up ends the host; where TerminateProcess returns, as on CE
// 4.2 and 5 (KVZ_CE_TERMINATE=ce42), the load fails instead and the host goes
// on without the library, never calling through an incomplete ForwardTable.
// A next library that is the proxy itself is refused: CE gives any file named
// pdaKVZ.dll back as the proxy, whose forwarders would call themselves.
TEST_F(StartupProcess, FailedStartupNeverLeavesTheHostAnIncompleteLibrary)
{
    const std::string ce42 = "KVZ_CE_TERMINATE=ce42";
    const std::string self = Box(0x10, "Die Datei pdaKVZ.dll ist pdaKVZ.dll selbst!");
    struct Case {
        const char *name;
        const char *config;
        const char *next; // the file behind the default name
        std::string env, boxes, out;
        int exit_code;
        bool ce_image_only;
    } cases[] = {
        {"next library missing, CE 4.2", "NextDLL=Gone.dll\n", "fake_pda.dll", ce42,
         Box(0x10, "Die Datei Gone.dll wurde nicht gefunden!"), "load failed 1114\n", 2, false},
        {"ordinal missing, CE 4.2", "", "fake_pda_missing13.dll", ce42,
         Box(0x10, kTextImportFailed), "load failed 1114\n", 2, false},
        {"NextDLL names the proxy", "NextDLL=pdaKVZ.dll\n", "fake_pda.dll", "", self, "", 0, false},
        {"NextDLL names the proxy, CE 4.2", "NextDLL=pdaKVZ.dll\n", "fake_pda.dll", ce42, self,
         "load failed 1114\n", 2, false},
        {"NextDLL names a pdaKVZ.dll in a subfolder", "NextDLL=sub\\pdaKVZ.dll\n", "fake_pda.dll",
         "", Box(0x10, "Die Datei sub\\pdaKVZ.dll ist pdaKVZ.dll selbst!"), "", 0, true},
    };
    dir.mkdir("sound");
    dir.copyFromBin("fake_pda.dll", "sub/pdaKVZ.dll"); // the original, kept under its own name
    for (const Case &c : cases) {
        if (c.ce_image_only && !ProxyIsCeImage()) {
            std::cout << "not here: " << c.name << " (only CE knows modules by file name)\n";
            continue;
        }
        dir.write("sound_config.txt", c.config);
        dir.copyFromBin(c.next, "_pdaKVZ.dll");
        HostRun run = Run("", c.env);
        EXPECT_EQ(c.boxes, Boxes(run.err)) << c.name;
        EXPECT_EQ(c.out, run.out) << c.name;
        EXPECT_EQ(c.exit_code, run.exit_code) << c.name;
    }
}

// The configuration file is opened by its wide path: a folder named in
// characters beyond Latin-1 finds it as any other.
TEST_F(StartupProcess, ConfigurationIsFoundInAFolderOfAnyName)
{
    const std::string folder = "\xE9\x9F\xB3\xE5\xA3\xB0/"; // U+97F3 U+58F0
    dir.copyFromBin("pdaKVZ.dll", folder + "pdaKVZ.dll");
    dir.copyFromBin("fake_pda.dll", folder + "tones.dll"); // no _pdaKVZ.dll at all
    dir.mkdir(folder + "sound");
    dir.write(folder + "sound_config.txt", "NextDLL=tones.dll\n");
    proxy = folder + "pdaKVZ.dll";
    HostRun run = Run();
    EXPECT_EQ("", Boxes(run.err));
    EXPECT_EQ(kWentOn, run.out);
}

TEST_F(StartupProcess, ReferenceLibraryLoads)
{
    std::ifstream probe(BinDir() + "_pdaKVZ.dll");
    if (!probe)
        GTEST_SKIP() << "the reference library _pdaKVZ.dll is not built";
    dir.copyFromBin("_pdaKVZ.dll", "_pdaKVZ.dll");
    dir.mkdir("sound");
    HostRun run = Run();
    EXPECT_EQ("", Boxes(run.err));
    EXPECT_EQ(0u, run.out.rfind("loaded\nversion ", 0)) << run.out << run.err;
    EXPECT_EQ(0, run.exit_code);
}

} // namespace

namespace
{

// The proxy in a directory whose path is exactly dir_length characters with
// its trailing separator, loaded by a relative path from there, so the host's own
// argument stays short whatever the length.
HostRun RunInDeepDirectory(const TempDir &base, size_t dir_length)
{
    std::string deep = base.path();
    while (deep.size() < dir_length) {
        size_t part = std::min<size_t>(dir_length - deep.size() - 1, 200);
        deep += std::string(part, 'd') + "/";
    }
    std::string relative = deep.substr(base.path().size());
    base.copyFromBin("pdaKVZ.dll", relative + "pdaKVZ.dll");
    base.copyFromBin("fake_pda.dll", relative + "_pdaKVZ.dll");
    base.mkdir(relative + "sound");
    std::string command = "cd " + Quoted(deep) + " && " + HostProgram() +
                          " ./pdaKVZ.dll version < /dev/null > " + Quoted(base.path() + "out.txt") +
                          " 2> " + Quoted(base.path() + "err.txt");
    int status = std::system(command.c_str());
    HostRun run;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(base.path() + "out.txt");
    run.err = ReadChildErr(base.path() + "err.txt");
    return run;
}

// The configuration path needs ModuleDir plus "sound_config.txt" and its
// terminator within 260 characters: 243 is the longest directory that works.
TEST(StartupDeepDirectory, ModulePathThatCannotFitIsRefused)
{
    const std::string too_long = Box(0x10, "Der Pfad von pdaKVZ.dll ist zu lang!");
    struct Case {
        size_t dir_length;
        bool goes_on;
    } cases[] = {{243, true}, {244, false}, {250, false}, {400, false}};
    for (const Case &c : cases) {
        TempDir base;
        HostRun run = RunInDeepDirectory(base, c.dir_length);
        EXPECT_EQ(0, run.exit_code) << "directory of " << c.dir_length << " characters";
        EXPECT_EQ(c.goes_on ? "" : too_long, Boxes(run.err)) << c.dir_length << ": " << run.err;
        EXPECT_EQ(c.goes_on ? "loaded\nversion 0\n" : "", run.out) << c.dir_length;
    }
}

} // namespace
