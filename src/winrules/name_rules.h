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

/// True when `name` is a valid 8.3 name: one to eight characters, then optionally a dot and one to
/// three more, none of them a blank, a dot or a character an 8.3 name cannot hold. Such a name is
/// its own short name; a POSIX listing gives no other, so no longer name can be cut or clipped
/// into a short name it is not.
bool is_short_name(std::string_view name);

}  // namespace sweepmark
