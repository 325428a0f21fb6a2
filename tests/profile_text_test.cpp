// Settings-file text, read and written by the rules of the Windows profile functions.

#include "winrules/profile_text.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sweepmark {
namespace {

struct ReadCase {
  const char* what;
  std::string text;
  const char* section;
  const char* key;
  std::optional<std::string> value;
};

TEST(ProfileText, ReadsAsTheWindowsProfileFunctions) {
  const std::vector<ReadCase> cases = {
      {"CRLF", "[Q9Actions]\r\nPublicPath=d:\\pub\r\n", "Q9Actions", "PublicPath", "d:\\pub"},
      {"LF", "[Q9Actions]\nPublicPath=x\nRestart=Y\n", "Q9Actions", "Restart", "Y"},
      {"lone CR", "[Q9Actions]\rPublicPath=x\rRestart=Y", "Q9Actions", "Restart", "Y"},
      {"no final line break", "[Q9Actions]\r\nRestart=N", "Q9Actions", "Restart", "N"},
      {"blanks around, in a section", "[Q9Actions]\r\n  PublicPath \t=  d:\\p q \t\r\n",
       "Q9Actions", "PublicPath", "d:\\p q"},
      {"double quotes", "[Q9Actions]\r\nPublicPath=\" d:\\p \"\r\n", "Q9Actions", "PublicPath",
       " d:\\p "},
      {"single quotes", "[Q9Actions]\r\nPublicPath='x'\r\n", "Q9Actions", "PublicPath", "x"},
      {"quotes that do not match", "[Q9Actions]\r\nPublicPath=\"x'\r\n", "Q9Actions", "PublicPath",
       "\"x'"},
      {"a lone quote", "[Q9Actions]\r\nPublicPath=\"\r\n", "Q9Actions", "PublicPath", "\""},
      {"only the outer quotes go", "[Q9Actions]\r\nPublicPath=\"a\"b\"\r\n", "Q9Actions",
       "PublicPath", "a\"b"},
      {"lower-case names", "[q9actions]\r\npublicpath=x\r\n", "Q9Actions", "PublicPath", "x"},
      {"first of duplicate keys", "[Q9Actions]\r\nRestart=N\r\nRestart=Y\r\n", "Q9Actions",
       "Restart", "N"},
      {"only the first of duplicate sections", "[Q9Actions]\r\nA=1\r\n[Q9Actions]\r\nRestart=Y\r\n",
       "Q9Actions", "Restart", std::nullopt},
      {"a comment is no key", "[Q9Actions]\r\n;Restart=Y\r\n", "Q9Actions", ";Restart",
       std::nullopt},
      {"comment lines are skipped", "[Q9Actions]\r\n; note\r\nRestart=Y\r\n", "Q9Actions",
       "Restart", "Y"},
      {"a key line without =", "[Q9Actions]\r\nRestart\r\n", "Q9Actions", "Restart", std::nullopt},
      {"a key line without = hides a later one", "[Q9Actions]\r\nRestart\r\nRestart=Y\r\n",
       "Q9Actions", "Restart", std::nullopt},
      {"an empty value", "[Q9Actions]\r\nRestart=\r\n", "Q9Actions", "Restart", ""},
      {"a value holding =", "[Q9Actions]\r\nPublicPath=a=b\r\n", "Q9Actions", "PublicPath", "a=b"},
      {"missing section", "[Other]\r\nRestart=Y\r\n", "Q9Actions", "Restart", std::nullopt},
      {"key of the next section", "[Q9Actions]\r\n[Other]\r\nRestart=Y\r\n", "Q9Actions", "Restart",
       std::nullopt},
      {"no closing bracket", "[Q9Actions\r\nRestart=Y\r\n", "Q9Actions", "Restart", "Y"},
      {"text after the bracket", "[Q9Actions] ; ours\r\nRestart=Y\r\n", "Q9Actions", "Restart",
       "Y"},
      // Windows reads a byte-order mark as text, so the first header is no header.
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF[Q9Actions]\r\nRestart=Y\r\n", "Q9Actions", "Restart",
       std::nullopt},
      {"blanks inside brackets are part of the name", "[ Q9Actions ]\r\nRestart=Y\r\n", "Q9Actions",
       "Restart", std::nullopt},
      {"empty text", "", "Q9Actions", "Restart", std::nullopt},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ProfileText text(c.text);  // The value found is a view into it.
    const std::optional<std::string_view> found = text.find(c.section, c.key);
    EXPECT_EQ(found ? std::optional<std::string>(*found) : std::nullopt, c.value);
  }
}

struct WriteCase {
  const char* what;
  std::string before;
  const char* key;
  const char* value;
  std::string after;
};

TEST(ProfileText, WritesOneLineAndKeepsEveryOtherByte) {
  const std::vector<WriteCase> cases = {
      {"new file", "", "Restart", "Y", "[Q9Actions]\r\nRestart=Y\r\n"},
      {"replaced in place",
       "; top\r\n[Q9Actions]\r\n  PublicPath = old \r\n\r\n[Other]\r\nk = v\r\n", "PublicPath",
       "new", "; top\r\n[Q9Actions]\r\nPublicPath=new\r\n\r\n[Other]\r\nk = v\r\n"},
      {"added after the last key, before trailing comments",
       "[Q9Actions]\r\nPublicPath=x\r\n; about Other\r\n\r\n[Other]\r\n", "Restart", "Y",
       "[Q9Actions]\r\nPublicPath=x\r\nRestart=Y\r\n; about Other\r\n\r\n[Other]\r\n"},
      {"added after a blank line inside the section",
       "[Q9Actions]\r\nA=1\r\n\r\nB=2\r\n\r\n[Other]\r\n", "Restart", "Y",
       "[Q9Actions]\r\nA=1\r\n\r\nB=2\r\nRestart=Y\r\n\r\n[Other]\r\n"},
      {"LF file keeps its lines", "[Q9Actions]\nPublicPath=x\n", "Restart", "Y",
       "[Q9Actions]\nPublicPath=x\nRestart=Y\r\n"},
      {"section without keys", "[Q9Actions]\r\n[Other]\r\n", "Restart", "Y",
       "[Q9Actions]\r\nRestart=Y\r\n[Other]\r\n"},
      {"no final line break, new section", "[Other]\nk=v", "Restart", "Y",
       "[Other]\nk=v\r\n[Q9Actions]\r\nRestart=Y\r\n"},
      {"no final line break, same section", "[Q9Actions]\r\nPublicPath=x", "Restart", "Y",
       "[Q9Actions]\r\nPublicPath=x\r\nRestart=Y\r\n"},
      {"lower-case names keep their spelling", "[q9actions]\r\nrestart=N\r\n", "Restart", "Y",
       "[q9actions]\r\nrestart=Y\r\n"},
      {"only the first duplicate changes", "[Q9Actions]\r\nRestart=N\r\nRestart=M\r\n", "Restart",
       "Y", "[Q9Actions]\r\nRestart=Y\r\nRestart=M\r\n"},
      {"a key line without = gets the value", "[Q9Actions]\r\n Restart \r\nPublicPath=x\r\n",
       "Restart", "Y", "[Q9Actions]\r\nRestart=Y\r\nPublicPath=x\r\n"},
      {"same value leaves the line alone", "[Q9Actions]\r\nRestart = Y \r\n", "Restart", "Y",
       "[Q9Actions]\r\nRestart = Y \r\n"},
      {"lone CR lines", "[Q9Actions]\rRestart=N\rX=1", "Restart", "Y",
       "[Q9Actions]\rRestart=Y\rX=1"},
      {"blanks at the ends are quoted", "[Q9Actions]\r\n", "PublicPath", " p ",
       "[Q9Actions]\r\nPublicPath=\" p \"\r\n"},
      {"a quoted value keeps its quotes", "", "PublicPath", "'p'",
       "[Q9Actions]\r\nPublicPath=\"'p'\"\r\n"},
      {"keys of a repeated section are not touched",
       "[Q9Actions]\r\nA=1\r\n[Q9Actions]\r\nRestart=N\r\n", "Restart", "Y",
       "[Q9Actions]\r\nA=1\r\nRestart=Y\r\n[Q9Actions]\r\nRestart=N\r\n"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    ProfileText text(c.before);
    ASSERT_TRUE(text.set("Q9Actions", c.key, c.value));
    EXPECT_EQ(text.text(), c.after);
    EXPECT_EQ(text.find("Q9Actions", c.key), std::optional<std::string_view>(c.value));
  }
}

TEST(ProfileText, RefusesWhatCannotBeOneLine) {
  const std::string before = "[Q9Actions]\r\nRestart=N\r\n";
  const std::vector<std::vector<std::string>> refused = {
      {"Q9Actions", "Restart", "Y\r\n[Evil]"}, {"Q9Actions", "Restart", std::string("Y\0X", 3)},
      {"Q9Actions", "Re=start", "Y"},          {"Q9Actions", "", "Y"},
      {"Q9Actions", ";Restart", "Y"},          {"Q9]Actions", "Restart", "Y"},
      {"Q9\nActions", "Restart", "Y"},         {"", "Restart", "Y"},
  };
  for (const auto& args : refused) {
    SCOPED_TRACE(args[0] + "/" + args[1] + "/" + args[2]);
    ProfileText text(before);
    EXPECT_FALSE(text.set(args[0], args[1], args[2]));
    EXPECT_EQ(text.text(), before);
  }
}

}  // namespace
}  // namespace sweepmark
