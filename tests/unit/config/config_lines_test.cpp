// How each kind of line ends up in the store: one row per case, the file's
// bytes and the store they must give, written out as DumpStore prints it.
#include <gtest/gtest.h>

#include <string>

#include "config_test_support.h"

namespace
{

struct LineCase {
    const char *name;
    std::string bytes;
    const char *store;
};

// std::string literals keep NUL bytes inside the file's bytes.
using namespace std::string_literals;

// A file as Notepad saves "Unicode": the mark FF FE, then UTF-16LE units.
std::string Utf16Le(const std::u16string &text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += (char)(unit & 0xFF);
        bytes += (char)(unit >> 8);
    }
    return bytes;
}

const LineCase LineCases[] = {
    {"empty_file", "", ""},
    {"only_line_ends", "\n\n\r\n", ""},
    {"lf_line_ends", "a=1\nb=2\n", "\"b\"=\"2\"\n\"a\"=\"1\"\n"},
    {"crlf_line_ends", "a=1\r\nb=2\r\n", "\"b\"=\"2\"\n\"a\"=\"1\"\n"},
    {"last_line_without_line_end", "a=1\nb=2", "\"b\"=\"2\"\n\"a\"=\"1\"\n"},
    {"cr_alone_is_one_line", "a=1\rb=2\r", "\"a\"=\"1\\rb=2\\r\"\n"},
    {"cr_alone_header_takes_up_to_bracket", "[s]\ra=1\r", "[s]\n"},
    {"cr_alone_header_without_bracket", "[s\ra=1", "[s\\ra=1]\n"},
    {"cr_cr_lf_keeps_one_cr", "a=1\r\r\nb=2\n", "\"b\"=\"2\"\n\"a\"=\"1\\r\"\n"},
    {"lf_cr_starts_next_line_with_cr", "a=1\n\rb=2\n", "\"\\rb\"=\"2\"\n\"a\"=\"1\"\n"},
    {"crlf_at_end_of_file", "k=v\r\n", "\"k\"=\"v\"\n"},
    {"cr_at_end_of_file", "k=v\r", "\"k\"=\"v\\r\"\n"},
    {"nul_ends_the_text", "a=1\nb=2\0c=3\n"s, "\"b\"=\"2\"\n\"a\"=\"1\"\n"},
    {"nul_at_line_start", "a=1\n\0b=2\n"s, "\"a\"=\"1\"\n"},
    {"nul_inside_key", "ab\0=1\nc=2\n"s, ""},
    {"nul_as_first_byte", "\0a=1\n"s, ""},
    {"header_without_bracket", "[sec\nk=v\n", "[sec]\n\"k\"=\"v\"\n"},
    {"header_text_after_bracket_ignored", "[sec] x=y\nk=v", "[sec]\n\"k\"=\"v\"\n"},
    {"header_with_equals_inside", "[a=b]\nk=v", "[a=b]\n\"k\"=\"v\"\n"},
    {"header_with_equals_behind", "[a]=b\n", "[a]\n"},
    {"bracket_alone_and_empty_pair_name_one_section", "[\na=1\n[]\nb=2\n",
     "[]\n\"b\"=\"2\"\n\"a\"=\"1\"\n"},
    {"header_must_start_in_first_column", " [s]\nk=v\n", "\"k\"=\"v\"\n"},
    {"indented_header_with_equals_is_entry", " [s]=x\n", "\" [s]\"=\"x\"\n"},
    {"blanks_belong_to_key_and_value", "k=1\nk =2\n k=3\nk= 4\nk=5 \n",
     "\" k\"=\"3\"\n\"k \"=\"2\"\n\"k\"=\"1\"\n"},
    {"keys_are_case_sensitive", "Key=1\nkey=2\nKEY=3\n",
     "\"KEY\"=\"3\"\n\"key\"=\"2\"\n\"Key\"=\"1\"\n"},
    {"first_occurrence_wins", "k=first\nk=second\n", "\"k\"=\"first\"\n"},
    {"equals_alone", "=\n", "\"\"=\"\"\n"},
    {"key_and_equals_only", "k=\n", "\"k\"=\"\"\n"},
    {"leading_equals_empty_key", "=v\n", "\"\"=\"v\"\n"},
    {"empty_key_first_wins", "=v\n=w\n", "\"\"=\"v\"\n"},
    {"two_equals_value_keeps_second", "k=a=b\n", "\"k\"=\"a=b\"\n"},
    {"text_without_equals_ignored", "just text\n   \n\t\nk=v", "\"k\"=\"v\"\n"},
    {"quotes_and_semicolons_kept", "; note=\"x\"\n#k='y'\n",
     "\"#k\"=\"'y'\"\n\"; note\"=\"\\\"x\\\"\"\n"},
    {"high_bytes_copied", "k=\xe4\xf6\xfc\n", "\"k\"=\"\\xe4\\xf6\\xfc\"\n"},
    {"entries_after_header_never_top_level", "a=1\n[s]\na=2\nb=3\n",
     "\"a\"=\"1\"\n[s]\n\"b\"=\"3\"\n\"a\"=\"2\"\n"},
    {"same_key_in_two_sections", "[a]\nk=1\n[b]\nk=2\n", "[b]\n\"k\"=\"2\"\n[a]\n\"k\"=\"1\"\n"},
    {"header_read_again_adds_to_earlier_section", "[a]\nx=1\n[b]\ny=2\n[a]\nz=3\nx=4\n",
     "[b]\n\"y\"=\"2\"\n[a]\n\"z\"=\"3\"\n\"x\"=\"1\"\n"},
    {"section_names_case_sensitive", "[A]\n[a]\n[A]\n", "[a]\n[A]\n"},
    {"empty_section_kept", "[empty]\n[full]\nk=v\n", "[full]\n\"k\"=\"v\"\n[empty]\n"},
    {"utf8_mark_skipped_at_start_only", "\xEF\xBB\xBFSoundDir=x\r\nk=\xEF\xBB\xBF\r\n",
     "\"k\"=\"\\xef\\xbb\\xbf\"\n\"SoundDir\"=\"x\"\n"},
    {"utf16le_characters_below_256_as_bytes",
     Utf16Le(u"SoundDir=meine\r\nLog=\u00E4\r\n[s]\r\nk=v"),
     "\"Log\"=\"\\xe4\"\n\"SoundDir\"=\"meine\"\n[s]\n\"k\"=\"v\"\n"},
    {"utf16le_line_with_wider_character_dropped_whole",
     Utf16Le(u"k=\u20AC\r\nk=2\r\n[\u4E2D]\r\nj=3\n\U0001F600=4"), "\"j\"=\"3\"\n\"k\"=\"2\"\n"},
    {"utf16le_odd_last_byte_is_no_unit", Utf16Le(u"a=1\nb=2") + "3", "\"b\"=\"2\"\n\"a\"=\"1\"\n"},
    {"utf16le_nul_unit_ends_the_text", Utf16Le(u"a=1\nb=2\0c=3\n"s), "\"b\"=\"2\"\n\"a\"=\"1\"\n"},
};

// Test names and failures show the row's name, not its bytes.
void PrintTo(const LineCase &row, std::ostream *os)
{
    *os << row.name;
}

class ConfigLines : public testing::TestWithParam<LineCase>
{
  protected:
    void SetUp() override { ConfigInit(&store); }
    void TearDown() override { ConfigRelease(&store); }
    ConfigStore store;
};

TEST_P(ConfigLines, GivesExpectedStore)
{
    const LineCase &row = GetParam();
    std::string path = WriteConfigFile("lines", row.bytes);
    uint32_t result = ConfigLoad(&store, path.c_str());
    remove(path.c_str());
    EXPECT_EQ(result, CONFIG_LOADED) << row.name;
    EXPECT_EQ(DumpStore(store), row.store) << row.name;
}

INSTANTIATE_TEST_SUITE_P(Table, ConfigLines, testing::ValuesIn(LineCases),
                         [](const testing::TestParamInfo<LineCase> &info) {
                             return std::string(info.param.name);
                         });

// CR LF and LF files of the same lines are the same store, line for line.
TEST(ConfigLineEnds, CrLfAndLfGiveTheSameStore)
{
    const std::string lines[] = {"a=1", "[s]", "b= 2 ", "c=x=y", "[t", "d="};
    std::string lf, crlf;
    for (const std::string &line : lines) {
        lf += line + "\n";
        crlf += line + "\r\n";
    }
    ConfigStore a, b;
    ConfigInit(&a);
    ConfigInit(&b);
    std::string lfPath = WriteConfigFile("lf", lf), crlfPath = WriteConfigFile("crlf", crlf);
    EXPECT_EQ(ConfigLoad(&a, lfPath.c_str()), CONFIG_LOADED);
    EXPECT_EQ(ConfigLoad(&b, crlfPath.c_str()), CONFIG_LOADED);
    EXPECT_EQ(DumpStore(a), DumpStore(b));
    EXPECT_EQ(DumpStore(a), "\"a\"=\"1\"\n[t]\n\"d\"=\"\"\n[s]\n\"c\"=\"x=y\"\n\"b\"=\" 2 \"\n");
    ConfigRelease(&a);
    ConfigRelease(&b);
    remove(lfPath.c_str());
    remove(crlfPath.c_str());
}

} // namespace
