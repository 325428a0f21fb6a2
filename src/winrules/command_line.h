#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sweepmark {

/// A command text taken apart by the launch rules.
struct LaunchText {
  /// The first word after any leading blanks, as written.
  std::string_view program;
  /// The rest after the blanks that follow the word, exactly as written but for trailing blanks.
  std::string_view arguments;
};

LaunchText split_launch_text(std::string_view command_text);

/// How Windows starts a program word.
enum class ProgramKind {
  /// No extension in its last path component: started with ".exe" appended.
  bare,
  /// Ends in ".exe" in any letter case: started as it is.
  exe,
  /// Any other extension: not started as a process but opened by the shell.
  document,
};

ProgramKind program_kind(std::string_view program);

/// The program word as Windows starts it: ".exe" appended to a bare word.
std::string windows_program(std::string_view program);

/// The command line Windows receives: the program word in double quotes, then one blank and the
/// argument string when there is one.
std::string windows_command_line(const LaunchText& text);

/// Splits an argument string into arguments by the rules of the Microsoft C runtime: blanks and
/// tabs separate arguments outside double quotes; 2n backslashes before a quote give n
/// backslashes and the quote toggles quoting, 2n+1 give n backslashes and a literal quote; two
/// quotes inside quotes give one literal quote; other backslashes are literal.
std::vector<std::string> split_windows_arguments(std::string_view arguments);

}  // namespace sweepmark
