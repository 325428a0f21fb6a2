// The portable text rules: fixed-length text, settings-file text, launch texts.

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/fixed_text.h"
#include "winrules/command_line.h"
#include "winrules/profile_text.h"

namespace sweepmark {
namespace {

TEST(FixedText, FillsCutsClipsAndCompares) {
  FixedText<5> text("ab");
  EXPECT_EQ(text.full(), "ab   ");
  EXPECT_EQ(text.clipped(), "ab");
  text = "abcdefg";
  EXPECT_EQ(text.full(), "abcde");
  text = std::string_view(" \ta\0 ", 5);
  EXPECT_EQ(text.clipped(), std::string_view(" \ta\0", 4)) << "only trailing 0x20 is clipped";
  EXPECT_TRUE(FixedText<3>("c:\\") == "c:\\   ");
  EXPECT_FALSE(FixedText<3>("c:\\") == "C:\\");
  EXPECT_EQ(upper("ascii-z{`@ \xe9"), "ASCII-Z{`@ \xe9") << "only a to z change";
}

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

TEST(LaunchText, TakesTheProgramWordAndTheArgumentsAsWritten) {
  struct Case {
    std::string text;
    std::string program;
    std::string arguments;
  };
  const std::vector<Case> cases = {
      {"sc stop \"Clarion Application Broker\"" + std::string(219, ' '), "sc",
       "stop \"Clarion Application Broker\""},
      {"   cmd.exe   /c  rmdir \"a  b\"   ", "cmd.exe", "/c  rmdir \"a  b\""},
      {"prog", "prog", ""},
      {"prog   ", "prog", ""},
      {"", "", ""},
      {"     ", "", ""},
      {"prog\targ", "prog\targ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const LaunchText text = split_launch_text(c.text);
    EXPECT_EQ(text.program, c.program);
    EXPECT_EQ(text.arguments, c.arguments);
  }
}

TEST(LaunchText, AppendsExeOnlyToBareWords) {
  struct Case {
    const char* program;
    ProgramKind kind;
    const char* started;
  };
  const std::vector<Case> cases = {
      {"sc", ProgramKind::bare, "sc.exe"},
      {"cmd.exe", ProgramKind::exe, "cmd.exe"},
      {"CMD.EXE", ProgramKind::exe, "CMD.EXE"},
      {"C:\\Windows\\System32\\sc", ProgramKind::bare, "C:\\Windows\\System32\\sc.exe"},
      {"tools.d\\prog", ProgramKind::bare, "tools.d\\prog.exe"},
      {"a.b.exe", ProgramKind::exe, "a.b.exe"},
      {"notes.txt", ProgramKind::document, "notes.txt"},
      {"run.bat", ProgramKind::document, "run.bat"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_EQ(program_kind(c.program), c.kind);
    EXPECT_EQ(windows_program(c.program), c.started);
  }
  EXPECT_EQ(windows_command_line(split_launch_text("sc stop \"Clarion Application Broker\"   ")),
            "\"sc.exe\" stop \"Clarion Application Broker\"");
  EXPECT_EQ(windows_command_line(split_launch_text("sc   ")), "\"sc.exe\"");
}

TEST(LaunchText, SplitsArgumentsByTheMicrosoftRuntimeRules) {
  struct Case {
    std::string arguments;
    std::vector<std::string> split;
  };
  const std::vector<Case> cases = {
      {"stop \"Clarion Application Broker\"", {"stop", "Clarion Application Broker"}},
      {"\"abc\" d e", {"abc", "d", "e"}},
      {R"(a\\b d"e f"g h)", {R"(a\\b)", "de fg", "h"}},
      {R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
      {R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
      {R"(a"b"" c d)", {R"(ab" c d)"}},
      {"\"\"", {""}},
      {"a\t\tb  ", {"a", "b"}},
      {"  ", {}},
      {"", {}},
      {R"(trailing\)", {R"(trailing\)"}},
      {"\"unterminated arg", {"unterminated arg"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    EXPECT_EQ(split_windows_arguments(c.arguments), c.split);
  }
}

}  // namespace
}  // namespace sweepmark
