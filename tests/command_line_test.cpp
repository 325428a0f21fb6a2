// The launch rules: the program word, the argument string and its splitting.

#include "winrules/command_line.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sweepmark {
namespace {

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
