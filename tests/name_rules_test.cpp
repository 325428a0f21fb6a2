// The Windows name rules read a name as characters of its code page, never byte by byte.

#include "winrules/name_rules.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sweepmark {
namespace {

constexpr CodePage k_932 = k_code_page_japanese;
constexpr CodePage k_1252 = k_code_page_western;
constexpr CodePage k_utf8 = k_code_page_utf8;

// ソフト, 表示 and ポート in code page 932: their first trail bytes are 0x5C ('\') and 0x7C ('|').
const std::string k_software = "\x83\x5C\x83\x74\x83\x67";
const std::string k_display = "\x95\x5C\x8E\xA6";
const std::string k_port = "\x83\x7C\x81\x5B\x83\x67";
const std::string k_japan = "\x93\xFA\x96\x7B";
const std::string k_data = "\x83\x66\x81\x5B\x83\x5E";

TEST(NameRules, ReadEachNameAsCharactersOfItsCodePage) {
  struct Case {
    std::string name;
    CodePage code_page;
    bool addresses_itself;
  };
  const std::vector<Case> cases = {
      // Double-byte names whose trail bytes are '\' or '|' as single bytes.
      {k_software, k_932, true},
      {k_display, k_932, true},
      {k_port, k_932, true},
      {k_japan, k_932, true},
      {k_data, k_932, true},
      {"\x8F\x5C", k_932, true},  // 十
      {"a" + k_software + " b", k_932, true},
      // The same bytes in code page 1252 hold '\' and '|': a lossy rendering, never a name.
      {k_software, k_1252, false},
      {k_display, k_1252, false},
      {k_port, k_1252, false},
      {k_japan, k_1252, true},
      // Rules that still hold for every character: no trailing dot or blank, no forbidden one.
      {k_software + ".", k_932, false},
      {k_software + " ", k_932, false},
      {k_software + "\\", k_932, false},
      {k_software + "?", k_932, false},
      {"\x83\x5C\\", k_932, false},
      // A lead byte without a valid trail byte is no text of the code page.
      {"\x83", k_932, false},
      {"ab\x95", k_932, false},
      {"\x83\x20", k_932, false},
      {"\x83\x7F", k_932, false},
      // Half-width katakana are single bytes in 932.
      {"\xB1\xB2\xB3", k_932, true},
      // Full-width letters in 932: ＡＳＳＥＴＳ and ．．, ordinary names.
      {"\x82\x60\x82\x72\x82\x72\x82\x64\x82\x73\x82\x72", k_932, true},
      {"\x81\x44\x81\x44", k_932, true},
      // Other double-byte code pages: their own lead and trail ranges.
      {"\xB1\xED\xCA\xBE", CodePage{936}, true},
      {"\xB1\x5C", CodePage{936}, true},
      {"\xB1\x61", CodePage{949}, true},
      {"\xB1\x5C", CodePage{949}, false},  // Neither 0x5C nor 0x7C is a trail byte in 949.
      {"\xB1\x7C", CodePage{949}, false},
      {"\xC7\x5C", CodePage{950}, true},
      {"\xC7\x80", CodePage{950}, false},
      // Western single bytes.
      {"caf\xE9", k_1252, true},
      {"caf\xE9", k_932, false},
      // UTF-8: the form of a name no ANSI code page carries.
      {"\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0", k_utf8, true},  // Папка
      {"\xEF\xBC\xA1\xEF\xBC\xB3", k_utf8, true},                  // ＡＳ
      {"\xEF\xBC\x8E\xEF\xBC\x8E", k_utf8, true},                  // ．．
      {"\xE3\x82\xBD.", k_utf8, false},
      {"\xC3", k_utf8, false},
      {"\xC0\xAF", k_utf8, false},          // an overlong '/'
      {"\xED\xA0\x80", k_utf8, false},      // a surrogate
      {"\xF4\x90\x80\x80", k_utf8, false},  // past U+10FFFF
      {"\xF0\x9F\x98\x80", k_utf8, true},
      // A code page the rules do not know: only ASCII names can be read.
      {"plain", CodePage{1361}, true},
      {"caf\xE9", CodePage{1361}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.name) + " in " + std::to_string(c.code_page.number));
    EXPECT_EQ(addresses_itself(c.name, NameRules::windows, c.code_page), c.addresses_itself);
  }
}

TEST(NameRules, DeviceNamesAreCharactersToo) {
  struct Case {
    std::string name;
    CodePage code_page;
    bool device;
  };
  const std::vector<Case> cases = {
      {"CON", k_932, true},
      {"lpt1.txt", k_932, true},
      {"com1 .log", k_1252, true},
      // The superscript digits after COM and LPT, where the code page writes them.
      {"COM\xB9", k_1252, true},
      {"LPT\xB3.x", k_1252, true},
      {"COM\xC2\xB2", k_utf8, true},
      {"COM\xA9\xF6", CodePage{949}, true},
      {"COM\xB2", CodePage{1253}, true},
      // 0xB9 is a half-width katakana in 932 and a letter in 1250.
      {"COM\xB9", k_932, false},
      {"COM\xB9", CodePage{1250}, false},
      // COM with a double-byte character after it is an ordinary name.
      {"COM" + k_japan.substr(0, 2), k_932, false},
      {"CO" + k_japan.substr(0, 2), k_932, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.name) + " in " + std::to_string(c.code_page.number));
    EXPECT_EQ(addresses_itself(c.name, NameRules::windows, c.code_page), !c.device);
  }
}

TEST(NameRules, PosixNamesAreBytesWhateverTheCodePage) {
  for (const std::string& name : {k_software, std::string("caf\xE9"), std::string("\xC3")}) {
    EXPECT_TRUE(addresses_itself(name, NameRules::posix, k_932));
    EXPECT_TRUE(addresses_itself(name, NameRules::posix, k_utf8));
  }
}

TEST(NameRules, SplitsDoubleByteCharactersWhole) {
  const std::string name = "a" + k_display + "b";
  const std::optional<std::vector<std::string_view>> characters = name_characters(name, k_932);
  ASSERT_TRUE(characters);
  EXPECT_EQ(*characters, (std::vector<std::string_view>{"a", "\x95\x5C", "\x8E\xA6", "b"}));
}

TEST(NameRules, ShortNamesAreValid83NamesOnly) {
  for (const char* name : {"ASSETS", "a", "readme.txt", "12345678.abc", "A~1"}) {
    EXPECT_TRUE(is_short_name(name)) << name;
  }
  for (const char* name : {"", ".", "..", "ASSETS ", " ASSETS", "123456789", "a.abcd", "a.b.c",
                           "a.", ".a", "a b", "a+b", "a\tb"}) {
    EXPECT_FALSE(is_short_name(name)) << name;
  }
}

}  // namespace
}  // namespace sweepmark
