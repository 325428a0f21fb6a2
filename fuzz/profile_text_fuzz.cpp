// The settings-file text: reading any text never crashes or hangs; a value the writer accepts reads
// back exactly; the writer refuses what cannot be one line; and a write changes only the one line
// of its key (or adds that line, with its section header where the section is missing), every
// other line keeping its bytes and every other key its value.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "text_oracle.h"
#include "winrules/profile_text.h"

namespace {

using sweepmark::ProfileText;

[[noreturn]] void fail(const char* what) {
  (void)std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// A line with its line break, split independently of the reader: CR LF, LF or a lone CR.
struct Line {
  std::string_view content;
  std::string_view end;
  bool operator==(const Line&) const = default;
};

std::vector<Line> split_lines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t stop = at;
    while (stop < text.size() && text[stop] != '\r' && text[stop] != '\n') {
      ++stop;
    }
    std::size_t next = stop;
    if (next < text.size()) {
      next += text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n' ? 2 : 1;
    }
    lines.push_back({text.substr(at, stop - at), text.substr(stop, next - stop)});
    at = next;
  }
  return lines;
}

// The names a text could hold: every header's name and every key name, as plain substrings of
// their lines. Some are not real sections or keys, which costs nothing.
std::vector<std::pair<std::string, std::string>> name_pairs(std::string_view text) {
  std::vector<std::string> sections;
  std::vector<std::string> keys;
  for (const Line& line : split_lines(text)) {
    const std::string_view c = line.content;
    const std::size_t open = c.find('[');
    if (open != std::string_view::npos) {
      const std::size_t close = c.rfind(']');
      sections.emplace_back(c.substr(open + 1, close == std::string_view::npos || close < open
                                                   ? std::string_view::npos
                                                   : close - open - 1));
    }
    const std::size_t equals = c.find('=');
    if (equals != std::string_view::npos) {
      keys.emplace_back(c.substr(0, equals));
    }
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  for (std::size_t s = 0; s < sections.size() && s < 8; ++s) {
    for (std::size_t k = 0; k < keys.size() && k < 16; ++k) {
      pairs.emplace_back(sections[s], keys[k]);
    }
  }
  return pairs;
}

std::string_view trim(std::string_view text) {
  const std::string_view blanks(" \t\v\f\r\n\x1a");
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool within(std::string_view part, const std::string& whole) {
  return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

bool plain(std::string_view name) {
  if (name.empty()) {
    return false;
  }
  for (const char c : name) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && c != '_') {
      return false;
    }
  }
  return true;
}

// The line changes a write may make: one line replaced, or one or two lines added (the key, or a
// section header and the key), where the last line of a text without a final line break gains one.
void check_only_its_line_changed(std::string_view before, std::string_view after) {
  const std::vector<Line> old_lines = split_lines(before);
  const std::vector<Line> new_lines = split_lines(after);
  std::size_t head = 0;
  while (head < old_lines.size() && head < new_lines.size() && old_lines[head] == new_lines[head]) {
    ++head;
  }
  std::size_t tail = 0;
  while (tail < old_lines.size() - head && tail < new_lines.size() - head &&
         old_lines[old_lines.size() - 1 - tail] == new_lines[new_lines.size() - 1 - tail]) {
    ++tail;
  }
  const std::size_t old_changed = old_lines.size() - head - tail;
  const std::size_t new_changed = new_lines.size() - head - tail;
  if (old_changed == 0 && new_changed == 0) {
    return;  // The value was already there.
  }
  if (old_changed == 1 && new_changed == 1) {
    if (old_lines[head].end != new_lines[head].end) {
      fail("a replaced key line lost its line break");
    }
    return;
  }
  if (old_changed == 0 && (new_changed == 1 || new_changed == 2)) {
    return;
  }
  if (old_changed == 1 && (new_changed == 2 || new_changed == 3) && tail == 0 &&
      head + 1 == old_lines.size() && old_lines[head].end.empty() &&
      new_lines[head].content == old_lines[head].content && new_lines[head].end == "\r\n") {
    return;  // The last line, which had no line break, gained one before the addition.
  }
  fail("a write changed lines other than its own");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(40);
  const std::string key = input.ConsumeRandomLengthString(40);
  const std::string value = input.ConsumeRandomLengthString(200);
  const std::string text = input.ConsumeRemainingBytesAsString();

  ProfileText profile(text);
  const std::optional<std::string_view> old_value = profile.find(section, key);
  if (old_value && !within(*old_value, profile.text())) {
    fail("a value read lies outside the text");
  }

  const bool written = profile.set(section, key, value);
  const bool breaks = value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos;
  if (written && breaks) {
    fail("wrote a value holding a line break or a NUL");
  }
  if (!written) {
    if (profile.text() != text) {
      fail("a refused write changed the text");
    }
    if (plain(section) && plain(key) && !breaks) {
      fail("refused plain names");
    }
    return 0;
  }

  const std::optional<std::string_view> read_back = profile.find(section, key);
  if (!read_back || *read_back != value) {
    fail("a written value does not read back as itself");
  }
  check_only_its_line_changed(text, profile.text());

  const ProfileText before(text);
  for (const auto& [other_section, other_key] : name_pairs(text)) {
    if (sweepmark::oracle::same_upper(trim(other_section), section) &&
        sweepmark::oracle::same_upper(trim(other_key), key)) {
      continue;
    }
    const std::optional<std::string_view> was = before.find(other_section, other_key);
    const std::optional<std::string_view> now = profile.find(other_section, other_key);
    if (was.has_value() != now.has_value() || (was && *was != *now)) {
      fail("a write changed what another key reads");
    }
  }

  const std::string once = profile.text();
  if (!profile.set(section, key, value) || profile.text() != once) {
    fail("writing the same value again changed the text");
  }
  return 0;
}
