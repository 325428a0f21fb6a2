#include "winrules/command_line.h"

#include "base/fixed_text.h"

namespace sweepmark {

LaunchText split_launch_text(std::string_view command_text) {
  const std::size_t start = command_text.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    return {};
  }
  command_text.remove_prefix(start);
  const std::size_t word_end = std::min(command_text.find(' '), command_text.size());
  std::string_view rest = command_text.substr(word_end);
  rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
  return {command_text.substr(0, word_end), clip(rest)};
}

ProgramKind program_kind(std::string_view program) {
  const std::size_t separator = program.find_last_of("\\/:");
  const std::string_view last =
      separator == std::string_view::npos ? program : program.substr(separator + 1);
  const std::size_t dot = last.rfind('.');
  if (dot == std::string_view::npos) {
    return ProgramKind::bare;
  }
  return equal_upper(last.substr(dot), ".EXE") ? ProgramKind::exe : ProgramKind::document;
}

std::string windows_program(std::string_view program) {
  std::string result(program);
  if (program_kind(program) == ProgramKind::bare) {
    result += ".exe";
  }
  return result;
}

std::string windows_command_line(const LaunchText& text) {
  std::string line = "\"" + windows_program(text.program) + "\"";
  if (!text.arguments.empty()) {
    line.append(" ").append(text.arguments);
  }
  return line;
}

std::vector<std::string> split_windows_arguments(std::string_view arguments) {
  std::vector<std::string> result;
  std::size_t at = 0;
  const auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  while (true) {
    while (at < arguments.size() && is_blank(arguments[at])) {
      ++at;
    }
    if (at == arguments.size()) {
      return result;
    }
    std::string argument;
    bool quoted = false;
    while (at < arguments.size() && (quoted || !is_blank(arguments[at]))) {
      std::size_t backslashes = 0;
      while (at < arguments.size() && arguments[at] == '\\') {
        ++backslashes;
        ++at;
      }
      if (at < arguments.size() && arguments[at] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else if (quoted && at + 1 < arguments.size() && arguments[at + 1] == '"') {
          argument += '"';
          ++at;
        } else {
          quoted = !quoted;
        }
        ++at;
      } else {
        argument.append(backslashes, '\\');
        if (at < arguments.size() && (quoted || !is_blank(arguments[at]))) {
          argument += arguments[at];
          ++at;
        }
      }
    }
    result.push_back(std::move(argument));
  }
}

}  // namespace sweepmark
