#include "winrules/profile_text.h"

#include <algorithm>

#include "base/fixed_text.h"

namespace sweepmark {
namespace {

constexpr std::string_view k_crlf = "\r\n";

// The characters the profile functions treat as blanks around names and values (0x1A is the old
// end-of-file mark that editors leave behind).
constexpr bool is_profile_blank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == '\x1a';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_profile_blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && is_profile_blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

struct Line {
  std::size_t begin = 0;  // first byte of the content
  std::size_t end = 0;    // first byte of the line break (or the end of the text)
  std::size_t next = 0;   // first byte of the next line
};

Line line_at(std::string_view text, std::size_t begin) {
  // A plain loop: find_first_of looks each byte up in the set of two, which made finding line
  // ends the most of the cost of reading a large file.
  std::size_t end = begin;
  while (end < text.size() && text[end] != '\r' && text[end] != '\n') {
    ++end;
  }
  Line line{begin, end, 0};
  if (line.end == text.size()) {
    line.next = text.size();
  } else if (text[line.end] == '\r' && line.end + 1 < text.size() && text[line.end + 1] == '\n') {
    line.next = line.end + 2;
  } else {
    line.next = line.end + 1;
  }
  return line;
}

// A line without '=' names a key that has no value: it reads as missing, and it is the line a
// write of that key gives a value.
enum class Kind { blank, comment, header, key, bare_key };

bool names_key(Kind kind) {
  return kind == Kind::key || kind == Kind::bare_key;
}

struct Parsed {
  Kind kind = Kind::blank;
  std::string_view name;   // section or key name
  std::string_view value;  // key value, trimmed, quotes still on
};

Parsed parse_line(std::string_view content) {
  const std::string_view line = trim(content);
  if (line.empty()) {
    return {};
  }
  if (line.front() == ';') {
    return {Kind::comment, {}, {}};
  }
  if (line.front() == '[') {
    // Unlike some reimplementations, Windows does not insist on the closing bracket.
    const std::size_t close = line.rfind(']');
    const std::size_t name_end = close == std::string_view::npos ? line.size() : close;
    return {Kind::header, line.substr(1, name_end - 1), {}};
  }
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    return {Kind::bare_key, line, {}};
  }
  return {Kind::key, trim(line.substr(0, equals)), trim(line.substr(equals + 1))};
}

// FNV-1a over the upper-cased name: names that compare equal hash equal.
std::uint64_t name_hash(std::string_view name) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(upper_ascii(c))) * 1099511628211ull;
  }
  return hash;
}

bool is_quote(char c) {
  return c == '"' || c == '\'';
}

std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && is_quote(value.front()) && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// True when `value`, written as it stands, would read back as something else.
bool needs_quotes(std::string_view value) {
  if (value.empty()) {
    return false;
  }
  return is_profile_blank(value.front()) || is_profile_blank(value.back()) ||
         unquote(value).size() != value.size();
}

bool has_line_break_or_nul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool valid_section_name(std::string_view section) {
  return !section.empty() && !has_line_break_or_nul(section) &&
         section.find(']') == std::string_view::npos && trim(section).size() == section.size();
}

bool valid_key_name(std::string_view key) {
  return !key.empty() && !has_line_break_or_nul(key) && key.find('=') == std::string_view::npos &&
         trim(key).size() == key.size() && key.front() != '[' && key.front() != ';';
}

}  // namespace

std::optional<ProfileText::Body> ProfileText::find_section(std::string_view section) const {
  if (m_last_valid && equal_upper(m_last_section, section)) {
    return m_last_body;
  }
  std::optional<Body> found;
  for (std::size_t at = 0; at < m_text.size();) {
    const Line line = line_at(m_text, at);
    const Parsed parsed =
        parse_line(std::string_view(m_text).substr(line.begin, line.end - line.begin));
    if (parsed.kind == Kind::header) {
      if (found) {
        found->end = line.begin;
        break;
      }
      if (equal_upper(parsed.name, section)) {
        found = Body{line.next, m_text.size(), line.begin};
      }
    }
    at = line.next;
  }
  m_last_section.assign(section);
  m_last_body = found;
  m_last_valid = true;
  m_key_index_valid = false;
  return found;
}

void ProfileText::index_keys(const Body& body) const {
  m_key_index.clear();
  const std::string_view text = m_text;
  for (std::size_t at = body.begin; at < body.end;) {
    const Line line = line_at(text, at);
    const Parsed parsed = parse_line(text.substr(line.begin, line.end - line.begin));
    if (names_key(parsed.kind)) {
      m_key_index.emplace_back(name_hash(parsed.name), line.begin);
    }
    at = line.next;
  }
  // Equal hashes stay in file order, so the first line of a name is met first.
  std::sort(m_key_index.begin(), m_key_index.end());
  m_key_index_valid = true;
}

std::optional<std::string_view> ProfileText::find(std::string_view section,
                                                  std::string_view key) const {
  const std::optional<Body> body = find_section(trim(section));
  if (!body) {
    return std::nullopt;
  }
  key = trim(key);
  if (!m_key_index_valid) {
    index_keys(*body);
  }
  const std::string_view text = m_text;
  const std::uint64_t hash = name_hash(key);
  for (auto it = std::lower_bound(m_key_index.begin(), m_key_index.end(),
                                  std::pair<std::uint64_t, std::size_t>(hash, 0));
       it != m_key_index.end() && it->first == hash; ++it) {
    const Line line = line_at(text, it->second);
    const Parsed parsed = parse_line(text.substr(line.begin, line.end - line.begin));
    if (equal_upper(parsed.name, key)) {
      if (parsed.kind == Kind::bare_key) {
        return std::nullopt;
      }
      return unquote(parsed.value);
    }
  }
  return std::nullopt;
}

bool ProfileText::set(std::string_view section, std::string_view key, std::string_view value) {
  if (!valid_section_name(section) || !valid_key_name(key) || has_line_break_or_nul(value)) {
    return false;
  }
  const std::string stored =
      needs_quotes(value) ? "\"" + std::string(value) + "\"" : std::string(value);

  const std::optional<Body> body = find_section(section);
  m_last_valid = false;
  m_key_index_valid = false;
  if (!body) {
    std::string addition;
    if (!m_text.empty() && m_text.back() != '\n' && m_text.back() != '\r') {
      addition += k_crlf;
    }
    addition.append("[").append(section).append("]").append(k_crlf);
    addition.append(key).append("=").append(stored).append(k_crlf);
    m_text += addition;
    return true;
  }

  const std::string_view text = m_text;
  Line anchor = line_at(text, body->header);
  for (std::size_t at = body->begin; at < body->end;) {
    const Line line = line_at(text, at);
    const Parsed parsed = parse_line(text.substr(line.begin, line.end - line.begin));
    if (names_key(parsed.kind) && equal_upper(parsed.name, key)) {
      if (parsed.kind == Kind::key && parsed.value == stored) {
        return true;  // Already there: the line stays exactly as it is.
      }
      // The key keeps the spelling the file gives it; only its line changes.
      std::string replacement(parsed.name);
      replacement.append("=").append(stored);
      m_text.replace(line.begin, line.end - line.begin, replacement);
      return true;
    }
    if (names_key(parsed.kind)) {
      anchor = line;
    }
    at = line.next;
  }

  std::string addition;
  if (anchor.next == anchor.end) {
    addition += k_crlf;  // The anchor is the last line of a text without a final line break.
  }
  addition.append(key).append("=").append(stored).append(k_crlf);
  m_text.insert(anchor.next, addition);
  return true;
}

}  // namespace sweepmark
