// The four intercepting exports of the built pdaKVZ.dll, with the scriptable
// fake as the next library: what reaches the fake, what the host gets back,
// and the exact line each event leaves in the access log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/proxy/intercept_fixture.h"

using namespace kvztest;

namespace
{

// "%D" in expected texts stands for the proxy's directory (kit form, with its
// trailing backslash).
std::string Expand(std::string text, const std::string &dir)
{
    for (size_t at; (at = text.find("%D")) != std::string::npos;)
        text.replace(at, 2, dir);
    return text;
}

// The host's own open arguments, chosen so none equals the redirected ones.
const DWORD kAccess = 0x40000000;
const DWORD kShare = 2;
LPSECURITY_ATTRIBUTES const kSecurity = (LPSECURITY_ATTRIBUTES)(uintptr_t)0x1234;
const DWORD kDisposition = 4;
const DWORD kFlags = 0x80;
HANDLE const kTemplate = (HANDLE)(uintptr_t)0x5678;

struct ExpectedOpen {
    std::string path;
    bool redirected; // fixed read-only arguments, else the host's own
};

class Intercept : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(proxy.Load(ProxyOptions(), "intercept")); }

    std::string Dir() const { return proxy.KitDir(); }

    void Script(const std::string &text) { proxy.SetScript(Expand(text, Dir()).c_str()); }

    KVZHANDLE HostOpen(const WString &name)
    {
        return proxy.CreateFile(name.c_str(), kAccess, kShare, kSecurity, kDisposition, kFlags,
                                kTemplate);
    }

    void ExpectOpens(const std::vector<ExpectedOpen> &expected, const std::string &label)
    {
        ASSERT_EQ(proxy.CallCount(), expected.size()) << label;
        for (unsigned i = 0; i < expected.size(); i++) {
            const KvzFakeCall *call = proxy.GetCall(i);
            ASSERT_NE(call, nullptr);
            EXPECT_EQ(call->ordinal, (unsigned)KVZ_ORD_CreateFile) << label;
            EXPECT_EQ(Narrow(call->path), Expand(expected[i].path, Dir()))
                << label << " call " << i;
            std::vector<uintptr_t> args(call->args + 1, call->args + 7);
            std::vector<uintptr_t> want =
                expected[i].redirected
                    ? std::vector<uintptr_t>{0x80000000u, 1, 0, 3, 0, 0}
                    : std::vector<uintptr_t>{kAccess, kShare, 0x1234, kDisposition, kFlags, 0x5678};
            EXPECT_EQ(args, want) << label << " call " << i;
        }
    }

    void ExpectLog(const std::vector<std::string> &expected)
    {
        std::vector<WString> lines = proxy.UnloadAndReadLog();
        ASSERT_EQ(lines.size(), expected.size());
        for (size_t i = 0; i < lines.size(); i++)
            EXPECT_EQ(StripTimestamp(lines[i]), Expand(expected[i], Dir())) << "log line " << i;
    }

    ProxyUnderTest proxy;
};

struct OpenCase {
    std::string name;
    std::string script;
    KVZHANDLE result;
    std::vector<ExpectedOpen> calls;
    std::string log;
};

TEST_F(Intercept, OpenRedirectsOggNamesAndFallsBack)
{
    const std::vector<OpenCase> cases = {
        {"voice.ogg",
         "KVZ_CreateFile 588 %Dtones\\voice.ogg",
         588,
         {{"%Dtones\\voice.ogg", true}},
         "voice.ogg => %Dtones\\voice.ogg [#588]"},
        {"voice.OGG",
         "KVZ_CreateFile 589 %Dtones\\voice.OGG",
         589,
         {{"%Dtones\\voice.OGG", true}},
         "voice.OGG => %Dtones\\voice.OGG [#589]"},
        {"\\any\\dir\\voice.Ogg",
         "KVZ_CreateFile 590 %Dtones\\voice.Ogg",
         590,
         {{"%Dtones\\voice.Ogg", true}},
         "\\any\\dir\\voice.Ogg => %Dtones\\voice.Ogg [#590]"},
        {".ogg",
         "KVZ_CreateFile 591 %Dtones\\.ogg",
         591,
         {{"%Dtones\\.ogg", true}},
         ".ogg => %Dtones\\.ogg [#591]"},
        {"\\Storage\\App\\sound\\click.ogg",
         "KVZ_CreateFile 592 %Dtones\\click.ogg",
         592,
         {{"%Dtones\\click.ogg", true}},
         "\\Storage\\App\\sound\\click.ogg => %Dtones\\click.ogg [#592]"},
        // A redirected handle of 0 is a success like any other.
        {"zero.ogg",
         "KVZ_CreateFile 0 %Dtones\\zero.ogg\nKVZ_CreateFile 9",
         0,
         {{"%Dtones\\zero.ogg", true}},
         "zero.ogg => %Dtones\\zero.ogg [#0]"},
        // No replacement: the host's own open, logged once in the ordinary form.
        {"\\app\\sound\\missing.ogg",
         "KVZ_CreateFile -1 %Dtones\\missing.ogg\nKVZ_CreateFile 700",
         700,
         {{"%Dtones\\missing.ogg", true}, {"\\app\\sound\\missing.ogg", false}},
         "\\app\\sound\\missing.ogg [#700]"},
        {"\\app\\sound\\gone.ogg",
         "KVZ_CreateFile -1",
         KVZ_INVALID_HANDLE,
         {{"%Dtones\\gone.ogg", true}, {"\\app\\sound\\gone.ogg", false}},
         "\\app\\sound\\gone.ogg (FAILED!) [#4294967295]"},
        // Not .ogg names: straight through.
        {"voice.ogg ", "KVZ_CreateFile 5", 5, {{"voice.ogg ", false}}, "voice.ogg  [#5]"},
        {"voice_ogg", "KVZ_CreateFile 5", 5, {{"voice_ogg", false}}, "voice_ogg [#5]"},
        {"ogg", "KVZ_CreateFile 5", 5, {{"ogg", false}}, "ogg [#5]"},
        {"x.oggx", "KVZ_CreateFile 5", 5, {{"x.oggx", false}}, "x.oggx [#5]"},
        {"\\a\\sound\\b.txt",
         "KVZ_CreateFile 6",
         6,
         {{"\\a\\sound\\b.txt", false}},
         "\\a\\sound\\b.txt [#6]"},
        {"", "KVZ_CreateFile 7", 7, {{"", false}}, " [#7]"},
        {"\\a\\b.txt",
         "KVZ_CreateFile -1",
         KVZ_INVALID_HANDLE,
         {{"\\a\\b.txt", false}},
         "\\a\\b.txt (FAILED!) [#4294967295]"},
    };
    std::vector<std::string> log;
    for (const OpenCase &c : cases) {
        Script(c.script);
        EXPECT_EQ(HostOpen(W(c.name)), c.result) << "\"" << c.name << "\"";
        ExpectOpens(c.calls, "\"" + c.name + "\"");
        log.push_back(c.log);
    }
    ExpectLog(log);
}

TEST_F(Intercept, OggNameThatDoesNotFitBesideTheSoundDirIsOpenedAsGiven)
{
    // Room in MAX_PATH for the file name: the sound directory takes the rest,
    // and one character goes to the terminator.
    size_t room = MAX_PATH - 1 - (Dir().size() + std::string("tones\\").size());
    std::string fits = std::string(room - 4, 'f') + ".ogg";
    std::string too_long = std::string(room - 3, 'l') + ".ogg";
    std::string very_long = "\\a\\" + std::string(5000, 'v') + ".ogg";

    Script("KVZ_CreateFile 11");
    EXPECT_EQ(HostOpen(W("\\x\\" + fits)), 11u);
    ExpectOpens({{"%Dtones\\" + fits, true}}, "fits");
    Script("KVZ_CreateFile 12");
    EXPECT_EQ(HostOpen(W("\\x\\" + too_long)), 12u);
    ExpectOpens({{"\\x\\" + too_long, false}}, "one too long");
    Script("KVZ_CreateFile 13");
    EXPECT_EQ(HostOpen(W(very_long)), 13u);
    ASSERT_EQ(proxy.CallCount(), 1u); // the fake keeps MAX_PATH characters of the path
    EXPECT_EQ(proxy.GetCall(0)->args[1], kAccess);

    ExpectLog({"\\x\\" + fits + " => %Dtones\\" + fits + " [#11]", "\\x\\" + too_long + " [#12]",
               very_long + " [#13]"});
}

struct MountCase {
    std::string archive;
    std::string script;
    DWORD result;
    std::string path_reaching_next;
    std::string log;
};

TEST_F(Intercept, MountRelocatesSoundArchivesAndReportsThemMounted)
{
    std::string long_name = std::string(300, 'k') + ".KVZ";
    const std::vector<MountCase> cases = {
        {"\\app\\sound\\voice.KVZ", "KVZ_Mount 0", 1, "%Dpacks\\voice.KVZ",
         "Archive: \\app\\sound\\voice.KVZ => %Dpacks\\voice.KVZ (FAILED - SKIPPED)"},
        {"\\app\\Sound\\voice.KVZ", "KVZ_Mount 2", 1, "%Dpacks\\voice.KVZ",
         "Archive: \\app\\Sound\\voice.KVZ => %Dpacks\\voice.KVZ"},
        {"SOUND\\x.kvz", "KVZ_Mount 1", 1, "%Dpacks\\x.kvz",
         "Archive: SOUND\\x.kvz => %Dpacks\\x.kvz"},
        {"\\app\\data\\voice.KVZ", "KVZ_Mount 0", 0, "\\app\\data\\voice.KVZ",
         "Archive: \\app\\data\\voice.KVZ (FAILED!)"},
        {"\\app\\data\\voice.KVZ", "KVZ_Mount 2", 2, "\\app\\data\\voice.KVZ",
         "Archive: \\app\\data\\voice.KVZ"},
        {"\\app\\sounds\\v.KVZ", "KVZ_Mount 3", 3, "\\app\\sounds\\v.KVZ",
         "Archive: \\app\\sounds\\v.KVZ"},
        // Too long to sit beside the archive directory: mounted as given.
        {"\\sound\\" + long_name, "KVZ_Mount 0", 0, "<long>",
         "Archive: \\sound\\" + long_name + " (FAILED!)"},
    };
    std::vector<std::string> log;
    for (const MountCase &c : cases) {
        Script(c.script);
        WString archive = W(c.archive);
        WString mount_dir = W("\\mnt\\here");
        EXPECT_EQ(proxy.Mount(archive.c_str(), mount_dir.c_str(), 0x80000000u, 7), c.result)
            << c.archive;
        ASSERT_EQ(proxy.CallCount(), 1u) << c.archive;
        const KvzFakeCall *call = proxy.GetCall(0);
        EXPECT_EQ(call->ordinal, (unsigned)KVZ_ORD_Mount);
        if (c.path_reaching_next != "<long>")
            EXPECT_EQ(Narrow(call->path), Expand(c.path_reaching_next, Dir())) << c.archive;
        else
            EXPECT_EQ(call->args[0], (uintptr_t)archive.c_str()) << "host's own string";
        EXPECT_EQ(Narrow(call->path2), "\\mnt\\here") << c.archive;
        EXPECT_EQ(call->args[1], (uintptr_t)mount_dir.c_str()) << c.archive;
        EXPECT_EQ(call->args[2], 0x80000000u) << c.archive;
        EXPECT_EQ(call->args[3], 7u) << c.archive;
        log.push_back(c.log);
    }
    ExpectLog(log);
}

TEST_F(Intercept, MountedAnswersForSoundArchivesWithoutAsking)
{
    const struct {
        std::string archive;
        std::string script;
        DWORD result;
        unsigned calls;
    } cases[] = {
        {"\\app\\sound\\v.KVZ", "KVZ_Mounted 0", 1, 0},
        {"sound\\v.KVZ", "KVZ_Mounted 0", 1, 0},
        {"\\app\\v.KVZ", "KVZ_Mounted 5", 1, 1},
        {"\\app\\v.KVZ", "KVZ_Mounted -1", 1, 1},
        {"\\app\\v.KVZ", "KVZ_Mounted 0", 0, 1},
        {"\\app\\sound\\" + std::string(300, 'm') + ".KVZ", "KVZ_Mounted 0", 0, 1},
    };
    for (const auto &c : cases) {
        Script(c.script);
        EXPECT_EQ(proxy.Mounted(W(c.archive).c_str()), c.result) << c.archive;
        EXPECT_EQ(proxy.CallCount(), c.calls) << c.archive;
    }
    ExpectLog({}); // Mounted is never logged
}

TEST_F(Intercept, CloseIsLoggedAndAnsweredByTheNextLibrary)
{
    Script("KVZ_CloseHandle 0");
    EXPECT_EQ(proxy.CloseHandle(7), 0);
    ASSERT_EQ(proxy.CallCount(), 1u);
    EXPECT_EQ(proxy.GetCall(0)->ordinal, (unsigned)KVZ_ORD_CloseHandle);
    EXPECT_EQ(proxy.GetCall(0)->args[0], 7u);
    Script("KVZ_CloseHandle 1");
    EXPECT_EQ(proxy.CloseHandle(4294967295u), 1);
    Script("KVZ_CloseHandle 5");
    EXPECT_EQ(proxy.CloseHandle(0), 5);
    ExpectLog({"Closing #7", "Closing #4294967295", "Closing #0"});
}

TEST(InterceptLastError, LoggingLeavesTheThreadsLastErrorAsTheCallLeftIt)
{
    // One proxy at a time: CE would give the second load of a pdaKVZ.dll the first.
    ProxyUnderTest logged, quiet;
    ProxyOptions off;
    off.log = false;
    auto run = [](ProxyUnderTest &p) {
        p.SetScript("KVZ_CreateFile -1\nKVZ_Mount 0\nKVZ_CloseHandle 0");
        std::vector<DWORD> seen;
        WString a = W("\\s\\sound\\a.ogg"), m = W("\\s\\sound\\a.KVZ"), d = W("\\d");
        SetLastError(0xC0DE0001);
        p.CreateFile(a.c_str(), 0, 0, nullptr, 3, 0, nullptr);
        seen.push_back(GetLastError());
        SetLastError(0xC0DE0002);
        p.Mount(m.c_str(), d.c_str(), 0, 0);
        seen.push_back(GetLastError());
        SetLastError(0xC0DE0003);
        p.CloseHandle(3);
        seen.push_back(GetLastError());
        return seen;
    };
    ASSERT_TRUE(logged.Load(ProxyOptions(), "lasterr-on"));
    std::vector<DWORD> with_log = run(logged);
    EXPECT_EQ(logged.UnloadAndReadLog().size(), 3u);
    ASSERT_TRUE(quiet.Load(off, "lasterr-off"));
    EXPECT_EQ(run(quiet), with_log);
}

} // namespace
