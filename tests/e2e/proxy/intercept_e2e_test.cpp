// End to end: the built pdaKVZ.dll in front of the reference archive library.
// A host mounts a sound archive (relocated to the archive directory), reads a
// sound that has a replacement (the replacement's bytes), a sound without one
// (the archive's entry) and a plain entry, and the decoded log holds exactly
// the lines of those events.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/unit/proxy/intercept_fixture.h"

using namespace kvztest;

namespace
{

// A ustar archive of plain files, the reference library's container.
std::string Ustar(const std::vector<std::pair<std::string, std::string>> &files)
{
    std::string out;
    for (const auto &file : files) {
        std::string header(512, '\0');
        auto put = [&](size_t at, const std::string &text) {
            header.replace(at, text.size(), text);
        };
        auto octal = [](unsigned long value, int digits) {
            char text[24];
            std::snprintf(text, sizeof text, "%0*lo", digits, value);
            return std::string(text);
        };
        put(0, file.first);
        put(100, octal(0644, 7));
        put(108, octal(0, 7));
        put(116, octal(0, 7));
        put(124, octal(file.second.size(), 11));
        put(136, octal(0, 11));
        put(148, "        ");
        header[156] = '0';
        put(257, std::string("ustar\0", 6) + "00");
        unsigned long sum = 0;
        for (unsigned char c : header)
            sum += c;
        put(148, octal(sum, 6));
        header[154] = '\0';
        header[155] = ' ';
        out += header + file.second;
        out.append((512 - file.second.size() % 512) % 512, '\0');
    }
    out.append(1024, '\0');
    return out;
}

std::string ReadAll(ProxyUnderTest &proxy, KVZHANDLE h)
{
    std::string bytes;
    char buffer[100];
    for (int guard = 0; guard < 10000; guard++) {
        DWORD got = 0x55555555;
        proxy.ReadFile(h, buffer, sizeof buffer, &got, nullptr);
        if (got == 0 || got > sizeof buffer)
            break;
        bytes.append(buffer, got);
    }
    return bytes;
}

TEST(InterceptEndToEnd, ReplacementArchiveEntriesAndLogThroughTheReferenceLibrary)
{
    ProxyUnderTest proxy;
    ProxyOptions options;
    options.next_library = "_pdaKVZ.dll";
    ASSERT_TRUE(proxy.Load(options, "e2e"));
    const std::string D = proxy.KitDir();
    WriteFile(proxy.dir / "tones" / "click.ogg", "OggS replacement click");
    WriteFile(proxy.dir / "packs" / "voice.KVZ", Ustar({{"click.ogg", "OggS archive click"},
                                                        {"other.ogg", "OggS archive other"},
                                                        {"readme.txt", "archive readme"}}));
    fs::create_directories(proxy.dir / "app" / "sound");

    WString archive = W(D + "app\\sound\\voice.KVZ");
    WString mount_dir = W(D + "app\\sound");
    EXPECT_EQ(proxy.Mount(archive.c_str(), mount_dir.c_str(), 0x80000000u, 1), 1u);
    EXPECT_EQ(proxy.Mounted(archive.c_str()), 1u);

    struct Read {
        std::string name;
        std::string bytes;
        KVZHANDLE handle;
    } reads[] = {
        {"click.ogg", "OggS replacement click", 0},
        {"other.ogg", "OggS archive other", 0},
        {"readme.txt", "archive readme", 0},
    };
    for (Read &r : reads) {
        WString name = W(D + "app\\sound\\" + r.name);
        r.handle =
            proxy.CreateFile(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(r.handle, KVZ_INVALID_HANDLE) << r.name;
        EXPECT_EQ(ReadAll(proxy, r.handle), r.bytes) << r.name;
        EXPECT_NE(proxy.CloseHandle(r.handle), 0) << r.name;
    }
    EXPECT_NE(proxy.UnMount(mount_dir.c_str()), 0u);

    std::vector<std::string> expected = {
        "Archive: " + D + "app\\sound\\voice.KVZ => " + D + "packs\\voice.KVZ",
        D + "app\\sound\\click.ogg => " + D + "tones\\click.ogg [#" +
            std::to_string(reads[0].handle) + "]",
        "Closing #" + std::to_string(reads[0].handle),
        D + "app\\sound\\other.ogg [#" + std::to_string(reads[1].handle) + "]",
        "Closing #" + std::to_string(reads[1].handle),
        D + "app\\sound\\readme.txt [#" + std::to_string(reads[2].handle) + "]",
        "Closing #" + std::to_string(reads[2].handle),
    };
    proxy.Unload();
    std::string bytes = ReadBytes(proxy.log_path);
    // Every build writes the same bytes: UTF-16LE without a mark, each line a
    // 22-character timestamp, its text and CR LF.
    size_t expected_bytes = 0;
    for (const std::string &line : expected)
        expected_bytes += 2 * (22 + line.size() + 2);
    EXPECT_EQ(bytes.size(), expected_bytes);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("[\0", 2)) << "no byte-order mark";
    std::vector<WString> lines = DecodeLogLines(bytes);
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(StripTimestamp(lines[i]), expected[i]) << "log line " << i;
}

// The sound_config.txt users get, unchanged: the application's archives stay
// in its folder sound, and a sound in eigene_sounds replaces the archive's.
TEST(InterceptEndToEnd, ShippedConfigurationServesOwnSoundsBesideTheArchives)
{
    ProxyUnderTest proxy;
    ProxyOptions options;
    options.next_library = "_pdaKVZ.dll";
    options.config_file = "shipped_sound_config.txt";
    ASSERT_TRUE(proxy.Load(options, "shipped"));
    const std::string D = proxy.KitDir();
    WriteFile(proxy.dir / "eigene_sounds" / "click.ogg", "OggS own click");
    WriteFile(proxy.dir / "sound" / "voice.KVZ",
              Ustar({{"click.ogg", "OggS archive click"}, {"other.ogg", "OggS archive other"}}));

    WString archive = W(D + "sound\\voice.KVZ");
    WString mount_dir = W(D + "sound");
    EXPECT_EQ(proxy.Mount(archive.c_str(), mount_dir.c_str(), 0x80000000u, 1), 1u);
    const struct {
        const char *name;
        const char *bytes;
    } reads[] = {{"click.ogg", "OggS own click"}, {"other.ogg", "OggS archive other"}};
    for (const auto &r : reads) {
        WString name = W(D + "sound\\" + r.name);
        KVZHANDLE h =
            proxy.CreateFile(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, KVZ_INVALID_HANDLE) << r.name;
        EXPECT_EQ(ReadAll(proxy, h), r.bytes) << r.name;
        EXPECT_NE(proxy.CloseHandle(h), 0) << r.name;
    }
    EXPECT_NE(proxy.UnMount(mount_dir.c_str()), 0u);
}

} // namespace
