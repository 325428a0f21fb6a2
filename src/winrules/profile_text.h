#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sweepmark {

/// The text of a settings (INI) file, read and changed by the rules of the Windows profile
/// functions:
/// - lines end in CR LF, LF or a lone CR; a line whose first non-blank character is ';' is a
///   comment; "[name]" starts a section, the name reaching to the last ']' (or to the end of the
///   line where there is none); "key=value" is a key, blanks around key and value ignored; a
///   line without '=' is a key with no value, which reads as missing;
/// - section and key names compare case-insensitively; the first section of a name and the first
///   key of a name within it count, later repeats are never read or written;
/// - a value in matching single or double quotes is read without them;
/// - a write replaces the value of an existing key in its own line, adds a missing key after the
///   last key line of its section, and adds a missing section at the end; every other byte of the
///   text stays as it was, and the lines it writes end in CR LF.
class ProfileText {
 public:
  explicit ProfileText(std::string text = {}) : m_text(std::move(text)) {}

  const std::string& text() const { return m_text; }

  /// The value of `key` in the first section named `section`, or nothing when either is missing.
  std::optional<std::string_view> find(std::string_view section, std::string_view key) const;

  /// Creates or replaces `key` in `section`. A value that would not read back as itself (blanks
  /// at either end, or matching quotes around it) is written in double quotes. False, and the
  /// text unchanged, when the names or the value cannot be stored as one line (line breaks, NUL,
  /// '=' in a key, ']' in a section name, an empty name).
  bool set(std::string_view section, std::string_view key, std::string_view value);

 private:
  struct Body {
    std::size_t begin = 0;   // first byte after the section's header line
    std::size_t end = 0;     // first byte of the next header line, or the end of the text
    std::size_t header = 0;  // first byte of the header line
  };

  std::optional<Body> find_section(std::string_view section) const;
  void index_keys(const Body& body) const;

  std::string m_text;
  // The section found last: the program reads many keys of one section in a row, and a large file
  // should be searched for that section once, not once per key.
  mutable std::string m_last_section;
  mutable std::optional<Body> m_last_body;
  mutable bool m_last_valid = false;
  // The key lines of that section as (hash of the upper-cased name, first byte of the line),
  // sorted, so that a key is found without reading the section again: the INI manager reads up to
  // a thousand keys from one section, which may be very long. Built on the first key read.
  mutable std::vector<std::pair<std::uint64_t, std::size_t>> m_key_index;
  mutable bool m_key_index_valid = false;
};

}  // namespace sweepmark
