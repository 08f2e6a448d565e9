// Start-up in this process, from a prepared directory: the next library it
// binds, the directories it resolves, the messages it shows, and that the
// configuration store is released on every way out. The process-ending part
// (DllMain) is covered by the end-to-end tests.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "proxy/config.h"
#include "proxy/proxy_state.h"
#include "proxy/startup.h"
#include "tests/unit/proxy/startup_support.h"

static long LiveBlocks;
static long Allocations;

static void *CountingAlloc(size_t size)
{
    Allocations++;
    LiveBlocks++;
    return malloc(size);
}

static void CountingFree(void *block)
{
    if (block != NULL)
        LiveBlocks--;
    free(block);
}

static const FARPROC kUntouched = (FARPROC)(uintptr_t)0x55555555u;

class StartupRun : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (FARPROC &entry : ForwardTable)
            entry = kUntouched;
        NextLibrary = NULL;
        AccessLog.stream = NULL;
        LiveBlocks = Allocations = 0;
        ConfigAllocHook = CountingAlloc;
        ConfigFreeHook = CountingFree;
        // An empty default directory: a missing one would count as holding
        // both kinds of file and bring up the same-directory question.
        dir.mkdir("sound");
    }
    void TearDown() override
    {
        ProxyShutdown();
        ConfigAllocHook = NULL;
        ConfigFreeHook = NULL;
    }

    // Runs start-up with dir as the proxy's directory; boxes gets what the
    // message boxes wrote.
    BOOL Start()
    {
        WString module = Widen(dir.kitPath() + "pdaKVZ.dll");
        EXPECT_TRUE(SetModuleDirFromPath(module.c_str(), (DWORD)module.size()));
        if (BoxesOnStderr())
            testing::internal::CaptureStderr();
        BOOL ok = ProxyStartupInModuleDir();
        if (BoxesOnStderr())
            boxes = WithoutLoaderLines(testing::internal::GetCapturedStderr());
        EXPECT_EQ(0, LiveBlocks) << "configuration store not released";
        return ok;
    }

    std::string Dir(const std::string &relative) const { return dir.kitPath() + relative; }

    TempDir dir;
    std::string boxes;
};

#define SKIP_UNLESS_BOXES_READABLE()                                                               \
    if (!BoxesOnStderr())                                                                          \
    GTEST_SKIP() << "message boxes are windows in this build; the Windows end-to-end tests "       \
                    "answer them"

static std::string OneBox(unsigned flags, const std::string &text)
{
    return BoxLine(flags, text) + "\n";
}

TEST_F(StartupRun, WithoutConfigurationLoadsTheDefaultLibrary)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    ASSERT_TRUE(Start()) << boxes;
    EXPECT_EQ("", boxes);
    EXPECT_EQ(0, Allocations) << "there was no file to read";
    EXPECT_EQ(Widen(Dir("sound\\")), WString(ArchiveDirPath));
    EXPECT_EQ(Widen(Dir("sound\\")), WString(SoundDirPath));
    EXPECT_EQ(Dir("sound\\").size(), SoundDirLength);
    EXPECT_EQ(Dir("sound\\").size(), ArchiveDirLength);
    EXPECT_TRUE(AccessLog.stream == NULL);
    ASSERT_TRUE(NextLibrary != NULL);
    for (DWORD ordinal = 1; ordinal <= KVZ_HANDHELD_ORDINAL_COUNT; ordinal++)
        EXPECT_EQ(GetProcAddressW(NextLibrary, KVZ_ORDINAL_NAMEW(ordinal)),
                  ForwardTable[ordinal - 1])
            << "ordinal " << ordinal;
}

// The same file as written, and as an editor saves it as "UTF-8" (with a
// byte-order mark) or as "Unicode" (UTF-16LE).
TEST_F(StartupRun, ConfiguredValuesChooseLibraryAndDirectories)
{
    const std::string text = "NextDLL=next lib.dll\r\nArchiveDir=\r\nSoundDir=\\abs\\snd\r\n"
                             "[other]\r\nArchiveDir=ignored\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text)
        utf16 += std::string(1, c) + '\0';
    const struct {
        const char *encoding;
        std::string bytes;
    } files[] = {{"8-bit", text}, {"UTF-8", "\xEF\xBB\xBF" + text}, {"UTF-16LE", utf16}};
    dir.copyFromBin("fake_pda.dll", "next lib.dll");
    for (const auto &file : files) {
        dir.write("sound_config.txt", file.bytes);
        Allocations = 0;
        ASSERT_TRUE(Start()) << file.encoding << ": " << boxes;
        EXPECT_EQ("", boxes) << file.encoding;
        EXPECT_GT(Allocations, 0) << file.encoding;
        EXPECT_EQ(Widen(Dir("")), WString(ArchiveDirPath)) << file.encoding << ": empty value";
        EXPECT_EQ(TEXT("\\abs\\snd\\"), WString(SoundDirPath)) << file.encoding;
        EXPECT_EQ(9u, SoundDirLength) << file.encoding;
        EXPECT_TRUE(NextLibrary != NULL) << file.encoding;
        EXPECT_TRUE(ForwardTable[19] != NULL && ForwardTable[19] != kUntouched) << file.encoding;
        ProxyShutdown();
    }
}

TEST_F(StartupRun, KeysUnderASectionAreNotSeen)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.write("sound_config.txt", "[proxy]\nNextDLL=missing.dll\nLog=x.log\n");
    ASSERT_TRUE(Start()) << boxes;
    EXPECT_EQ("", boxes);
    EXPECT_TRUE(AccessLog.stream == NULL);
}

TEST_F(StartupRun, OpensTheConfiguredLog)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.write("sound_config.txt", "Log=" + dir.path() + "access.log\n");
    ASSERT_TRUE(Start()) << boxes;
    EXPECT_EQ("", boxes);
    ASSERT_TRUE(AccessLog.stream != NULL);
    EnterCriticalSection(&AccessLog.lock); // the lock exists with the stream
    LeaveCriticalSection(&AccessLog.lock);
    FILE *probe = fopen((dir.path() + "access.log").c_str(), "rb");
    EXPECT_TRUE(probe != NULL) << "log file not created";
    if (probe != NULL)
        fclose(probe);
}

TEST_F(StartupRun, EmptyLogMeansNoLogAndNoMessage)
{
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.write("sound_config.txt", "Log=\n");
    ASSERT_TRUE(Start()) << boxes;
    EXPECT_EQ("", boxes);
    EXPECT_TRUE(AccessLog.stream == NULL);
}

TEST_F(StartupRun, LogThatCannotBeOpenedIsReportedOnceAndStartupGoesOn)
{
    SKIP_UNLESS_BOXES_READABLE();
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.write("sound_config.txt", "Log=" + dir.path() + "no/such/dir/access.log\n");
    EXPECT_TRUE(Start());
    EXPECT_EQ(OneBox(0x10, kTextLogOpenFailed), boxes);
    EXPECT_TRUE(AccessLog.stream == NULL);
    EXPECT_TRUE(NextLibrary != NULL);
}

TEST_F(StartupRun, MissingNextLibraryNamesTheConfiguredValue)
{
    SKIP_UNLESS_BOXES_READABLE();
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.write("sound_config.txt", "NextDLL=sub\\nope.dll\n");
    EXPECT_FALSE(Start());
    EXPECT_EQ(OneBox(0x10, "Die Datei sub\\nope.dll wurde nicht gefunden!"), boxes);
    EXPECT_TRUE(NextLibrary == NULL);
    EXPECT_EQ(kUntouched, ForwardTable[0]) << "nothing bound";
}

TEST_F(StartupRun, LibraryLackingAnOrdinalStopsAtIt)
{
    SKIP_UNLESS_BOXES_READABLE();
    dir.copyFromBin("fake_pda_missing13.dll", "_pdaKVZ.dll");
    EXPECT_FALSE(Start());
    EXPECT_EQ(OneBox(0x10, kTextImportFailed), boxes);
    EXPECT_TRUE(NextLibrary != NULL) << "the library stays loaded";
    for (int i = 0; i < 12; i++)
        EXPECT_TRUE(ForwardTable[i] != NULL && ForwardTable[i] != kUntouched)
            << "ordinal " << i + 1;
    EXPECT_TRUE(ForwardTable[12] == NULL);
    for (int i = 13; i < KVZ_HANDHELD_ORDINAL_COUNT; i++)
        EXPECT_EQ(kUntouched, ForwardTable[i]) << "ordinal " << i + 1 << " was tried";
}

// A value whose path would not fit its buffer stops start-up before anything
// is loaded, and the message names the key.
TEST_F(StartupRun, OverlongValuesAreRefusedByName)
{
    SKIP_UNLESS_BOXES_READABLE();
    struct Case {
        std::string line;
        const char *key;
    } cases[] = {
        {"ArchiveDir=" + std::string(300, 'a'), "ArchiveDir"},
        {"ArchiveDir=\\" + std::string(MAX_PATH - kDirTailRoom - 1, 'a'), "ArchiveDir"},
        {"SoundDir=\\" + std::string(259, 's') + "\\", "SoundDir"},
        {"NextDLL=" + std::string(MAX_PATH - 1, 'n'), "NextDLL"},
        {"NextDLL=" + std::string(400, 'n'), "NextDLL"},
    };
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    for (const Case &c : cases) {
        dir.write("sound_config.txt", c.line + "\n");
        EXPECT_FALSE(Start()) << c.line;
        EXPECT_EQ(OneBox(0x10, std::string("Der Pfad f\xC3\xBCr ") + c.key + " ist zu lang!"),
                  boxes)
            << c.line;
        EXPECT_TRUE(NextLibrary == NULL) << c.line;
        ProxyShutdown();
    }
}

// The question reads its answer from standard input: this process's stdin
// becomes a file holding it.
TEST_F(StartupRun, SameDirectoryQuestionDecidesOnItsAnswer)
{
    SKIP_UNLESS_BOXES_READABLE();
    dir.copyFromBin("fake_pda.dll", "_pdaKVZ.dll");
    dir.write("sound/a.ogg", "o");
    dir.write("sound/a.KVZ", "k");
    dir.write("sound_config.txt", "Log=\nNextDLL=_pdaKVZ.dll\n");
    struct Case {
        const char *answer;
        BOOL goes_on;
    } cases[] = {{"n\n", FALSE}, {"y\n", TRUE}, {"", TRUE}};
    for (const Case &c : cases) {
        dir.write("answer.txt", c.answer);
        ASSERT_TRUE(freopen((dir.path() + "answer.txt").c_str(), "r", stdin) != NULL);
        EXPECT_EQ(c.goes_on, Start()) << "answer \"" << c.answer << "\"";
        EXPECT_EQ(OneBox(0x10034, kTextSameDir), boxes) << "answer \"" << c.answer << "\"";
        EXPECT_EQ(c.goes_on, NextLibrary != NULL) << "loaded only after Yes";
        ProxyShutdown();
    }
}
