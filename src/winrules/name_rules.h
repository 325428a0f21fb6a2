#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sweepmark {

/// Which names a file system addresses as themselves.
enum class NameRules {
  /// Windows path rules: trailing blanks and dots are stripped, and some characters cannot occur.
  windows,
  /// POSIX: every name but "." and ".." addresses itself.
  posix,
};

/// A Windows code page by its number: how the bytes of a name make up its characters.
struct CodePage {
  std::uint32_t number = 0;
  friend bool operator==(CodePage, CodePage) = default;
};

/// The ANSI code pages of Western Europe and of Japan.
inline constexpr CodePage k_code_page_western{1252};
inline constexpr CodePage k_code_page_japanese{932};
/// UTF-8: the form of a name that the ANSI code page cannot carry.
inline constexpr CodePage k_code_page_utf8{65001};

/// The characters of `name` in `code_page`, each as the bytes that make it up; nothing when the
/// bytes are no text of that code page (a lead byte without its trail byte, malformed UTF-8), or
/// when the code page is none the rules know and the name holds a byte above 0x7F. Known: the
/// single-byte code pages 874 and 1250 to 1258, the double-byte code pages 932, 936, 949 and 950
/// (a lead byte and the trail byte after it make one character), and UTF-8.
std::optional<std::vector<std::string_view>> name_characters(std::string_view name,
                                                             CodePage code_page);

/// True for "." and "..", which name a folder and its parent on every file system.
constexpr bool is_dot_name(std::string_view name) {
  return name == "." || name == "..";
}

/// True when the file system addresses `name` as the entry itself. Never for "." and ".."; under
/// Windows rules, which read the name as characters of `code_page`, also not for a name that is
/// no text of that code page, nor for a name ending in a blank or a dot (path rules strip those,
/// so "ASSETS." would address ASSETS), nor for one holding a character no Windows name can hold,
/// nor for a device name such as "CON" or "lpt1.txt". POSIX rules ignore the code page.
bool addresses_itself(std::string_view name, NameRules rules, CodePage code_page);

/// True when `name` is a valid 8.3 name: one to eight characters, then optionally a dot and one to
/// three more, none of them a blank, a dot or a character an 8.3 name cannot hold. Such a name is
/// its own short name; a POSIX listing gives no other, so no longer name can be cut or clipped
/// into a short name it is not.
bool is_short_name(std::string_view name);

}  // namespace sweepmark
