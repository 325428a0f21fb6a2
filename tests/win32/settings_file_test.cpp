// One table of settings files, read and written once through the Win32 backend, which calls the
// real profile functions (here Wine's), and once by the rules the POSIX backend follows
// (ProfileText behind a 1024-byte read). The values read must agree; so must the files written,
// byte for byte where the file already has the form the profile functions write. Elsewhere Wine
// rewrites the whole file in its own form, while Windows and the POSIX backend keep every line
// they do not change: there our file may differ from the file before the write in the written line
// only.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "wine_support.h"
#include "winrules/profile_text.h"

namespace sweepmark {
namespace {

// The default the INI manager passes to tell a missing key from an empty value.
constexpr std::string_view k_missing = "\n";

struct SettingsCase {
  const char* name;
  std::optional<std::string> file;  // nothing: there is no file
  const char* section;
  const char* key;
  // What Windows reads, and the POSIX backend with it; nothing: the key counts as missing.
  std::optional<std::string> value;
  const char* written_value;
  // The file is in the form the profile functions write, so every writer must give the same bytes.
  bool canonical;
  // Where Wine is known to read otherwise than Windows: what Wine reads.
  std::optional<std::optional<std::string>> wine_value = std::nullopt;
  // Where Wine reads the file the POSIX rules wrote otherwise than the value written.
  std::optional<std::optional<std::string>> wine_reads_ours = std::nullopt;
};

std::string long_value() {
  std::string value;
  for (int i = 0; value.size() < 1500; ++i) {
    value += std::to_string(i % 10);
  }
  return value;
}

std::vector<SettingsCase> settings_cases() {
  return {
      {"plain", "[Q9Actions]\r\nPublicPath=C:\\pub\r\nRestart=Y\r\n", "Q9Actions", "Restart", "Y",
       "N", true},
      {"new key", "[Q9Actions]\r\nRestart=Y\r\n", "Q9Actions", "PublicPath", std::nullopt,
       "d:\\ClarionAppBroker\\public", true},
      {"new section", "[Other]\r\nkey=1\r\n", "Q9Actions", "Restart", std::nullopt, "Y", true},
      {"missing file", std::nullopt, "Q9Actions", "Restart", std::nullopt, "Y", true},
      {"lower-case names", "[q9actions]\r\npublicpath=x\r\n", "Q9Actions", "PublicPath", "x", "y",
       true},
      {"duplicate keys: the first counts", "[Q9Actions]\r\nRestart=N\r\nRestart=Y\r\n", "Q9Actions",
       "Restart", "N", "y", true},
      {"duplicate sections: the first counts",
       "[Q9Actions]\r\nPublicPath=a\r\n[Other]\r\nx=1\r\n[Q9Actions]\r\nRestart=N\r\n", "Q9Actions",
       "Restart", std::nullopt, "Y", true},
      {"empty value", "[Q9Actions]\r\nRestart=\r\n", "Q9Actions", "Restart", "", "Y", true},
      {"value longer than the buffer", "[Q9Actions]\r\nPublicPath=" + long_value() + "\r\n",
       "Q9Actions", "PublicPath", long_value().substr(0, 1023), "short", true},
      {"comments, other sections and blank lines",
       "; Sweepmark\r\n[Other]\r\nPublicPath=wrong\r\n\r\n[Q9Actions]\r\n; the folder\r\n"
       "PublicPath=C:\\pub\r\n\r\n[More]\r\nx=1\r\n",
       "Q9Actions", "PublicPath", "C:\\pub", "C:\\other", false},
      {"blanks around key and value", "[Q9Actions]\r\n  PublicPath  =  C:\\pub lic  \r\n",
       "Q9Actions", "PublicPath", "C:\\pub lic", "C:\\x", false},
      {"double quotes around the value", "[Q9Actions]\r\nPublicPath=\"C:\\pub lic\"\r\n",
       "Q9Actions", "PublicPath", "C:\\pub lic", "C:\\x", false},
      {"single quotes around the value", "[Q9Actions]\r\nPublicPath='C:\\pub'\r\n", "Q9Actions",
       "PublicPath", "C:\\pub", "C:\\x", false},
      {"unmatched quote stays", "[Q9Actions]\r\nPublicPath=\"C:\\pub\r\n", "Q9Actions",
       "PublicPath", "\"C:\\pub", "C:\\x", false},
      {"LF lines", "[Q9Actions]\nPublicPath=x\nRestart=N\n", "Q9Actions", "Restart", "N", "Y",
       false},
      {"CR-only lines", "[Q9Actions]\rPublicPath=x\rRestart=N\r", "Q9Actions", "Restart", "N", "Y",
       false},
      {"no final line break", "[Q9Actions]\r\nRestart=N", "Q9Actions", "PublicPath", std::nullopt,
       "x", false},
      // A key line without '=' is that key with no value: it reads as missing, and a write gives
      // that line the value.
      {"key line without =", "[Q9Actions]\r\nRestart\r\nPublicPath=x\r\n", "Q9Actions", "Restart",
       std::nullopt, "Y", false},
      // Wine reads a UTF-8 byte-order mark as one; Windows' ANSI functions read it as three
      // characters in front of the first line, which then starts no section.
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF[Q9Actions]\r\nRestart=N\r\n", "Q9Actions", "Restart",
       std::nullopt, "Y", false, std::optional<std::string>("N")},
      // Windows skips comment lines; Wine reads ";Restart=N" as a key named ";Restart".
      {"comment line that looks like a key", "[Q9Actions]\r\n;Restart=N\r\n", "Q9Actions",
       ";Restart", std::nullopt, nullptr, false, std::optional<std::string>("N")},
      // Windows takes a section name up to the end of the line when the ']' is missing; Wine
      // ignores such a line and counts its keys to the section before.
      {"section header without ]", "[Q9Actions\r\nRestart=N\r\n", "Q9Actions", "Restart", "N", "Y",
       false, std::optional<std::optional<std::string>>(std::in_place, std::nullopt)},
  };
}

// What the POSIX backend reads: ProfileText behind a 1024-byte buffer.
std::optional<std::string> posix_read(const std::optional<std::string>& file,
                                      const SettingsCase& row) {
  const ProfileText text(file.value_or(""));
  const std::optional<std::string_view> value = text.find(row.section, row.key);
  if (!value) {
    return std::nullopt;
  }
  const std::string_view kept = value->substr(0, 1023);
  return std::string(kept.substr(0, kept.find('\0')));
}

std::optional<std::string> as_value(const std::string& read) {
  return read == k_missing ? std::nullopt : std::optional<std::string>(read);
}

// The lines of a text with their line breaks, so that joining them gives the text back.
std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) {
      end = text.size();
    } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      end += 2;
    } else {
      end += 1;
    }
    lines.emplace_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

std::string without_break(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
    line.pop_back();
  }
  return line;
}

// Empty when `written` is `original` with nothing changed but the line that holds `key`: that
// line replaced, or added with its section; otherwise what else changed.
std::string other_changes(const std::string& original, const std::string& written,
                          std::string_view section, std::string_view key) {
  const std::vector<std::string> before = lines_of(original);
  const std::vector<std::string> after = lines_of(written);
  std::size_t head = 0;
  while (head < before.size() && head < after.size() && before[head] == after[head]) {
    ++head;
  }
  std::size_t tail = 0;
  while (tail < before.size() - head && tail < after.size() - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
    ++tail;
  }
  const std::vector<std::string> removed(before.begin() + static_cast<long>(head),
                                         before.end() - static_cast<long>(tail));
  std::vector<std::string> added(after.begin() + static_cast<long>(head),
                                 after.end() - static_cast<long>(tail));
  const auto is_key_line = [&](const std::string& line) {
    const std::string text = without_break(line);
    const std::size_t equals = text.find('=');
    const std::size_t begin = text.find_first_not_of(" \t");
    const std::size_t end = text.find_last_not_of(" \t", equals - 1);
    return equals != std::string::npos && begin < equals &&
           text.substr(begin, end + 1 - begin) == key;
  };
  // A last line without a line break gains one when a line follows it.
  const bool break_added = removed.size() == 1 && added.size() == 2 &&
                           without_break(removed[0]) == removed[0] &&
                           added[0] == removed[0] + "\r\n";
  const bool key_replaced =
      removed.size() <= 1 && added.size() == 1 && is_key_line(added[0]) &&
      (removed.empty() || is_key_line(removed[0]) || without_break(removed[0]) == key);
  const bool key_added =
      (break_added && is_key_line(added[1])) ||
      (removed.empty() && added.size() == 2 &&
       without_break(added[0]) == "[" + std::string(section) + "]" && is_key_line(added[1]));
  if (key_replaced || key_added) {
    return {};
  }
  std::string report = "removed:";
  for (const std::string& line : removed) {
    report += " [" + line + "]";
  }
  report += " added:";
  for (const std::string& line : added) {
    report += " [" + line + "]";
  }
  return report;
}

TEST(SettingsFile, ProfileFunctionsAndThePosixRulesAgree) {
  const std::string folder = wine::scratch_folder();
  const std::unique_ptr<Platform> platform = make_real_platform();
  int index = 0;
  for (const SettingsCase& row : settings_cases()) {
    SCOPED_TRACE(row.name);
    const std::string windows_file = folder + "\\windows" + std::to_string(index) + ".ini";
    const std::string posix_file = folder + "\\posix" + std::to_string(index) + ".ini";
    ++index;
    if (row.file) {
      wine::write_file(windows_file, *row.file);
    }

    const std::optional<std::string> read =
        as_value(platform->read_setting(row.section, row.key, k_missing, windows_file));
    EXPECT_EQ(posix_read(row.file, row), row.value);
    EXPECT_EQ(read, row.wine_value.value_or(row.value));

    if (row.written_value == nullptr) {
      continue;
    }
    ASSERT_TRUE(platform->write_setting(row.section, row.key, row.written_value, windows_file));
    ProfileText ours(row.file.value_or(""));
    ASSERT_TRUE(ours.set(row.section, row.key, row.written_value));
    const std::optional<std::string> written_by_windows = wine::read_file(windows_file);
    ASSERT_TRUE(written_by_windows.has_value());
    if (row.canonical) {
      EXPECT_EQ(ours.text(), *written_by_windows);
    } else {
      EXPECT_EQ(other_changes(row.file.value_or(""), ours.text(), row.section, row.key), "");
    }
    // The profile functions read back what the POSIX rules wrote, so files move between builds.
    wine::write_file(posix_file, ours.text());
    // Where Wine reads by rules of its own, it reads our file by them too.
    if (!row.wine_value) {
      EXPECT_EQ(as_value(platform->read_setting(row.section, row.key, k_missing, posix_file)),
                row.wine_reads_ours.value_or(std::optional<std::string>(row.written_value)));
    }
  }
}

TEST(SettingsFile, MissingKeySentinelSurvivesTheProfileFunction) {
  const std::string folder = wine::scratch_folder();
  const std::string file = folder + "\\Sweepmark.ini";
  wine::write_file(file, "[Q9Actions]\r\nRestart=\r\n");
  const std::unique_ptr<Platform> platform = make_real_platform();
  EXPECT_EQ(platform->read_setting("Q9Actions", "PublicPath", "\n", file), "\n");
  EXPECT_EQ(platform->read_setting("Q9Actions", "Restart", "\n", file), "");
  EXPECT_EQ(platform->read_setting("Nowhere", "Restart", "\n", file), "\n");
  EXPECT_EQ(platform->read_setting("Q9Actions", "Restart", "\n", folder + "\\none.ini"), "\n");
  EXPECT_EQ(platform->read_setting("Q9Actions", "PublicPath", "", file), "");
}

TEST(SettingsFile, WriteReportsWhatTheProfileFunctionReports) {
  const std::string folder = wine::scratch_folder();
  const std::unique_ptr<Platform> platform = make_real_platform();
  EXPECT_TRUE(platform->write_setting("Q9Actions", "Restart", "Y", folder + "\\Sweepmark.ini"));
  EXPECT_FALSE(
      platform->write_setting("Q9Actions", "Restart", "Y", folder + "\\missing\\Sweepmark.ini"));
}

}  // namespace
}  // namespace sweepmark
