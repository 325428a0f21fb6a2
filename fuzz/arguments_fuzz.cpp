// Splitting an argument string by the Microsoft C runtime rules: any string splits without a
// crash, and arguments quoted by the usual rules for that runtime split back into themselves.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "winrules/command_line.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& line) {
  (void)std::fprintf(stderr, "%s\n  line: [%s]\n", what, line.c_str());
  std::abort();
}

// Quotes one argument so that the runtime reads it back as itself: plain words stay as they are;
// anything else goes in double quotes, where a run of backslashes is doubled before a quote (which
// is then escaped) and before the closing quote, and kept as it is elsewhere.
std::string quote_argument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::string join_quoted(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) {
      line += ' ';
    }
    line += quote_argument(argument);
  }
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // Any string: the arguments it splits into are quoted and split back unchanged.
  const std::vector<std::string> split = sweepmark::split_windows_arguments(input);
  const std::string rejoined = join_quoted(split);
  if (sweepmark::split_windows_arguments(rejoined) != split) {
    fail("arguments split from a string do not survive quoting", rejoined);
  }

  // Any list of arguments (NUL-separated here, as no command line holds a NUL) survives quoting,
  // the empty argument and arguments made only of blanks included.
  std::vector<std::string> arguments;
  std::size_t at = 0;
  while (at <= input.size() && !input.empty()) {
    const std::size_t end = std::min(input.find('\0', at), input.size());
    arguments.emplace_back(input.substr(at, end - at));
    at = end + 1;
  }
  const std::string line = join_quoted(arguments);
  if (sweepmark::split_windows_arguments(line) != arguments) {
    fail("quoted arguments do not split back into themselves", line);
  }

  // The launch text: the program word holds no blank, and both parts come from the text itself.
  const sweepmark::LaunchText text = sweepmark::split_launch_text(input);
  if (text.program.find(' ') != std::string_view::npos ||
      (!text.arguments.empty() && text.arguments.back() == ' ')) {
    fail("the launch text split badly", std::string(input));
  }
  return 0;
}
