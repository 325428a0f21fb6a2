// The command line that deletes a subfolder on Windows: whatever the folder and the name hold, the
// command interpreter (as cmd_model.h reads it) sees exactly one rmdir of exactly that path, with
// the switches a folder or a link needs, and nothing else. Only a path that cannot be quoted (a
// double quote, a control character) may be refused.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "cmd_model.h"
#include "winrules/deletion_command.h"

namespace {

bool quotable(std::string_view text) {
  for (const char c : text) {
    if (c == '"' || static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
      return false;
    }
  }
  return true;
}

[[noreturn]] void fail(const std::string& what, const std::string& line) {
  (void)std::fprintf(stderr, "%s\n  command line: [%s]\n", what.c_str(), line.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const bool link = input.ConsumeBool();
  const std::string folder = input.ConsumeRandomLengthString(300);
  const std::string name = input.ConsumeRemainingBytesAsString();

  const std::optional<std::string> command =
      sweepmark::windows_deletion_command(folder, name, link);
  const bool can_quote = quotable(folder) && quotable(name);
  if (!command) {
    if (can_quote) {
      fail("refused a path that quotes safely", folder + "\\" + name);
    }
    return 0;
  }
  if (!can_quote) {
    fail("built a command for a path that cannot be quoted", *command);
  }

  const sweepmark::fuzzing::CmdReading reading = sweepmark::fuzzing::read_cmd_line(*command);
  if (!reading.fault.empty()) {
    fail("cmd reads more than one plain command: " + reading.fault, *command);
  }
  if (reading.command != "rmdir") {
    fail("cmd runs " + reading.command + ", not rmdir", *command);
  }
  if (reading.paths != std::vector<std::string>{folder + "\\" + name}) {
    fail("rmdir is not given exactly the one path", *command);
  }
  const std::vector<std::string> switches =
      link ? std::vector<std::string>{} : std::vector<std::string>{"/s", "/q"};
  if (reading.switches != switches) {
    fail(link ? "a link is removed with switches that recurse" : "a folder lacks /s /q", *command);
  }
  return 0;
}
