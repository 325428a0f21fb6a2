#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sweepmark::fuzzing {

/// What the command interpreter, as this model reads it, makes of a command line.
struct CmdReading {
  /// Empty when the line is one plain command; otherwise why it is not (a second command, a
  /// redirection, a block, a variable whose value the environment decides, ...).
  std::string fault;
  /// The command word, as cmd finds it.
  std::string command;
  /// The command's arguments with the quotes removed, switches left out.
  std::vector<std::string> paths;
  /// The switches ("/s", "/q"), as written.
  std::vector<std::string> switches;
};

/// Reads `line` the way "cmd.exe /d /e:ON /v:OFF /c <command>" runs it, in the order cmd does:
/// 1. the switches before /c must be exactly those; the command must not start with a quote (cmd
///    would then strip the first and the last quote of the line);
/// 2. percent expansion: "%name%" is replaced by a variable's value, so any name is a fault except
///    "cd:~,", an empty substring that expands to nothing; a '%' followed by another '%' or by no
///    closing '%' stays as it is (the command line keeps undefined and empty names);
/// 3. special characters: every '"' toggles quoting; outside quotes '^' takes the next character
///    literally, and & | < > ( ) end the command, redirect it or open or close a block, all faults;
///    a control character ends or splits the line, a fault anywhere;
/// 4. the command word ends at the first blank, tab, ',', ';' or '=' outside quotes; the rest
///    splits there too into arguments, quotes removed; outside quotes a '/' starts a switch.
CmdReading read_cmd_line(std::string_view line);

}  // namespace sweepmark::fuzzing
