#include "winrules/deletion_command.h"

namespace sweepmark {
namespace {

bool quotable(std::string_view text) {
  for (const char c : text) {
    if (c == '"' || static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
      return false;
    }
  }
  return true;
}

void append_escaped(std::string& command, std::string_view text) {
  for (const char c : text) {
    if (c == '%') {
      command += "%%cd:~,%";
    } else {
      command += c;
    }
  }
}

}  // namespace

bool cmd_can_quote(std::string_view folder, std::string_view name) {
  return quotable(folder) && quotable(name);
}

std::optional<std::string> windows_deletion_command(std::string_view folder, std::string_view name,
                                                    bool link) {
  std::optional<std::string> arguments = windows_deletion_arguments(folder, name, link);
  if (!arguments) {
    return std::nullopt;
  }
  return std::string(k_deletion_program) + ' ' + *arguments;
}

std::optional<std::string> windows_deletion_arguments(std::string_view folder,
                                                      std::string_view name, bool link) {
  if (!cmd_can_quote(folder, name)) {
    return std::nullopt;
  }
  std::string command = "/d /e:ON /v:OFF /c rmdir \"";
  append_escaped(command, folder);
  command += '\\';
  append_escaped(command, name);
  command += '"';
  if (!link) {
    command += " /s /q";
  }
  return command;
}

}  // namespace sweepmark
