#pragma once

#include <string_view>

namespace sweepmark {

/// Which names a file system addresses as themselves.
enum class NameRules {
  /// Windows path rules: trailing blanks and dots are stripped, and some characters cannot occur.
  windows,
  /// POSIX: every name but "." and ".." addresses itself.
  posix,
};

/// True for "." and "..", which name a folder and its parent on every file system.
constexpr bool is_dot_name(std::string_view name) {
  return name == "." || name == "..";
}

/// True when the file system addresses `name` as the entry itself. Never for "." and ".."; under
/// Windows rules also not for a name ending in a blank or a dot (path rules strip those, so
/// "ASSETS." would address ASSETS), nor for one holding a character no Windows name can hold,
/// nor for a device name such as "CON" or "lpt1.txt".
bool addresses_itself(std::string_view name, NameRules rules);

}  // namespace sweepmark
