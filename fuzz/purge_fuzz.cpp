// The purge's selection over any listing, under both naming rules and in any code page: it never
// deletes ".", "..", ASSETS in any letter case, a file, or a name that would address something
// other than the entry itself; it deletes every other subfolder, last listed first, by its exact
// name and in the form the listing gave it (code page or UTF-8); a name the code page cannot carry
// is judged by its exact long name alone; and on Windows every command it launches is one rmdir of
// exactly that subfolder (as cmd_model.h reads it).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "clean/purge.h"
#include "cmd_model.h"
#include "listing_platform.h"
#include "text_oracle.h"
#include "winrules/deletion_command.h"

namespace {

using sweepmark::CodePage;
using sweepmark::FolderEntries;
using sweepmark::FolderEntry;
using sweepmark::NameForm;
using sweepmark::NameRules;

// The code pages a listing may be in: single-byte, double-byte, UTF-8, and one the rules do not
// know (Johab), where only ASCII names can be read.
constexpr std::array<std::uint32_t, 9> k_code_pages = {1252, 1250, 1253,  932, 936,
                                                       949,  950,  65001, 1361};

// Byte ranges written as Windows documents them, "81-9F E0-FC", read here on their own so that the
// oracle shares no table with the rules it checks.
bool in_ranges(unsigned char byte, std::string_view ranges) {
  for (std::size_t at = 0; at + 5 <= ranges.size(); at += 6) {
    const auto low =
        static_cast<unsigned char>(std::stoi(std::string(ranges.substr(at, 2)), nullptr, 16));
    const auto high =
        static_cast<unsigned char>(std::stoi(std::string(ranges.substr(at + 3, 2)), nullptr, 16));
    if (byte >= low && byte <= high) {
      return true;
    }
  }
  return false;
}

struct DoubleByteCodePage {
  std::uint32_t number;
  std::string_view lead;
  std::string_view trail;
};

constexpr std::array<DoubleByteCodePage, 4> k_double_byte = {{
    {932, "81-9F E0-FC", "40-7E 80-FC"},
    {936, "81-FE", "40-7E 80-FE"},
    {949, "81-FE", "41-5A 61-7A 81-FE"},
    {950, "81-FE", "40-7E A1-FE"},
}};

// The code point of the UTF-8 sequence at `at`, and its length; nothing when it is not the
// shortest form of a scalar value.
bool utf8_character(std::string_view text, std::size_t at, std::size_t& length) {
  const auto first = static_cast<unsigned char>(text[at]);
  // Leading one bits: the length; the rest of the first byte: the highest bits of the value.
  struct Form {
    unsigned char mask;
    unsigned char pattern;
    std::size_t length;
    std::uint32_t least;
  };
  static constexpr std::array<Form, 3> k_forms = {{
      {0xE0, 0xC0, 2, 0x80},
      {0xF0, 0xE0, 3, 0x800},
      {0xF8, 0xF0, 4, 0x10000},
  }};
  const auto* form = std::find_if(k_forms.begin(), k_forms.end(),
                                  [&](const Form& f) { return (first & f.mask) == f.pattern; });
  if (form == k_forms.end()) {
    return false;
  }
  length = form->length;
  const std::uint32_t least = form->least;
  std::uint32_t value = first & static_cast<unsigned char>(~form->mask);
  if (at + length > text.size()) {
    return false;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) {
      return false;
    }
    value = value << 6 | (next & 0x3Fu);
  }
  return value >= least && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

// The characters of `name` in `code_page`, or nothing when the bytes are no text of it.
std::optional<std::vector<std::string>> characters(std::string_view name, std::uint32_t code_page) {
  const auto* double_byte =
      std::find_if(k_double_byte.begin(), k_double_byte.end(),
                   [&](const DoubleByteCodePage& d) { return d.number == code_page; });
  std::vector<std::string> result;
  for (std::size_t at = 0; at < name.size();) {
    const auto byte = static_cast<unsigned char>(name[at]);
    std::size_t length = 1;
    if (byte >= 0x80) {
      if (code_page == 65001) {
        if (!utf8_character(name, at, length)) {
          return std::nullopt;
        }
      } else if (double_byte != k_double_byte.end()) {
        if (in_ranges(byte, double_byte->lead)) {
          if (at + 1 == name.size() ||
              !in_ranges(static_cast<unsigned char>(name[at + 1]), double_byte->trail)) {
            return std::nullopt;
          }
          length = 2;
        }
      } else if (code_page == 1361) {
        return std::nullopt;
      }
    }
    result.emplace_back(name.substr(at, length));
    at += length;
  }
  return result;
}

// The superscript digits 1, 2 and 3 as the code page writes them (Windows reads them as digits
// after COM and LPT).
bool superscript(const std::string& character, std::uint32_t code_page) {
  switch (code_page) {
    case 1252:
      return character == "\xb9" || character == "\xb2" || character == "\xb3";
    case 1253:
      return character == "\xb2" || character == "\xb3";
    case 949:
      return character == "\xa9\xf6" || character == "\xa9\xf7" || character == "\xa9\xf8";
    case 65001:
      return character == "\xc2\xb9" || character == "\xc2\xb2" || character == "\xc2\xb3";
    default:
      return false;
  }
}

[[noreturn]] void fail(const std::string& what, std::string_view name) {
  (void)std::fprintf(stderr, "%s\n  name: [%.*s]\n", what.c_str(), static_cast<int>(name.size()),
                     name.data());
  std::abort();
}

std::string_view strip_trailing(std::string_view text, std::string_view what) {
  const std::size_t end = text.find_last_not_of(what);
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

// A device name, with or without an extension, as Windows reads it: COM0 to COM9 and LPT0 to LPT9
// are reserved, and the superscript digits count as digits after COM and LPT.
bool device_name(const std::vector<std::string>& name, std::uint32_t code_page) {
  std::vector<std::string> base;
  for (const std::string& character : name) {
    if (character == ".") {
      break;
    }
    base.push_back(character);
  }
  while (!base.empty() && base.back() == " ") {
    base.pop_back();
  }
  std::string text;
  for (const std::string& character : base) {
    text += character.size() == 1 ? sweepmark::oracle::upper(character[0]) : '#';
  }
  if (text == "CON" || text == "PRN" || text == "AUX" || text == "NUL") {
    return true;
  }
  if (base.size() != 4 || (text.compare(0, 3, "COM") != 0 && text.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  return (text[3] >= '0' && text[3] <= '9') || superscript(base[3], code_page);
}

// Why Windows would not take `name`, read in `code_page`, as the entry itself, or nothing.
const char* windows_alias(std::string_view name, std::uint32_t code_page) {
  const std::optional<std::vector<std::string>> read = characters(name, code_page);
  if (!read) {
    return "no text of its code page";
  }
  if (!read->empty() && (read->back() == " " || read->back() == ".")) {
    return "Windows strips its trailing dots and blanks";
  }
  for (const std::string& character : *read) {
    if (character.size() == 1 &&
        (static_cast<unsigned char>(character[0]) < 0x20 ||
         std::string_view("<>:\"/\\|?*").find(character[0]) != std::string_view::npos)) {
      return "no Windows name holds it";
    }
  }
  if (device_name(*read, code_page)) {
    return "Windows reads it as a device";
  }
  return nullptr;
}

// Why the purge must never delete `entry`, or nothing.
const char* must_keep(const FolderEntry& entry, NameRules rules, std::uint32_t code_page) {
  const std::string_view name = entry.NAME;
  // A short name is an alias of a name in the code page only; beside a name the code page
  // cannot carry it is something Windows made up, and decides nothing.
  const std::string_view shortname =
      entry.FORM == NameForm::ansi ? entry.SHORTNAME.clipped() : std::string_view(name);
  if ((entry.ATTRIB & sweepmark::k_attrib_directory) == 0) {
    return "a file";
  }
  if (name == "." || name == ".." || shortname == "." || shortname == "..") {
    return "the folder itself or its parent";
  }
  // Windows ignores trailing blanks in a name; on POSIX "ASSETS " is a folder of its own.
  const std::string_view spared_name =
      rules == NameRules::windows ? strip_trailing(name, " ") : name;
  if (sweepmark::oracle::upper(spared_name) == "ASSETS" ||
      sweepmark::oracle::upper(shortname) == "ASSETS") {
    return "ASSETS";
  }
  if (entry.FORM == NameForm::none) {
    return "no exact name to hand over";
  }
  if (name.empty()) {
    return "no name at all";
  }
  if (rules == NameRules::windows) {
    return windows_alias(name, entry.FORM == NameForm::utf8 ? 65001 : code_page);
  }
  if (name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos) {
    return "a POSIX name cannot hold it";
  }
  return nullptr;
}

bool quotable(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    return c == '"' || static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const NameRules rules = input.ConsumeBool() ? NameRules::windows : NameRules::posix;
  const std::uint32_t code_page =
      k_code_pages[input.ConsumeIntegralInRange<std::size_t>(0, k_code_pages.size() - 1)];
  const std::string public_path =
      input.ConsumeBool() ? "d:\\pub" : input.ConsumeRandomLengthString(40);
  FolderEntries listing;
  while (input.remaining_bytes() > 0 && listing.size() < 64) {
    FolderEntry entry;
    entry.NAME = input.ConsumeRandomLengthString(24);
    entry.SHORTNAME = input.ConsumeBool() ? entry.NAME : input.ConsumeRandomLengthString(16);
    entry.ATTRIB = input.ConsumeIntegral<std::uint8_t>() & sweepmark::k_attrib_mask;
    entry.LINK = input.ConsumeBool();
    // Mostly names in the code page; now and then one it cannot carry, or none at all. POSIX
    // listings give their names as they are.
    const int form = input.ConsumeIntegralInRange<int>(0, 7);
    if (rules == NameRules::windows && form == 6) {
      entry.FORM = NameForm::utf8;
    } else if (rules == NameRules::windows && form == 7) {
      entry.FORM = NameForm::none;
      entry.NAME.clear();
    }
    // A folder never lists one name twice.
    if (std::none_of(listing.begin(), listing.end(),
                     [&](const FolderEntry& e) { return e.NAME == entry.NAME; })) {
      listing.push_back(std::move(entry));
    }
  }

  sweepmark::testing::ListingFolder platform(listing, rules);
  platform.listing_code_page = CodePage{code_page};
  FolderEntries FolderList;
  const sweepmark::Failures report = sweepmark::purge(platform, public_path, FolderList);

  // What must happen: every deletable subfolder, last listed first.
  std::vector<const FolderEntry*> expected;
  bool skipped = false;
  for (auto it = listing.rbegin(); it != listing.rend(); ++it) {
    const char* keep = must_keep(*it, rules, code_page);
    if (keep != nullptr) {
      const bool unsafe_subfolder = std::string_view(keep) != "a file" &&
                                    std::string_view(keep) != "the folder itself or its parent" &&
                                    std::string_view(keep) != "ASSETS";
      skipped = skipped || unsafe_subfolder;
      continue;
    }
    if (rules == NameRules::windows && !(quotable(public_path) && quotable(it->NAME))) {
      skipped = true;
      continue;
    }
    expected.push_back(&*it);
  }

  for (const auto& deletion : platform.deletions) {
    const auto listed = std::find_if(listing.begin(), listing.end(),
                                     [&](const FolderEntry& e) { return e.NAME == deletion.name; });
    if (listed == listing.end()) {
      fail("deleted a name that was never listed", deletion.name);
    }
    if (const char* keep = must_keep(*listed, rules, code_page)) {
      fail(std::string("deleted what must stay: ") + keep, deletion.name);
    }
    if (rules == NameRules::windows) {
      // The line the Windows backend builds for this deletion.
      const std::string command_line =
          sweepmark::windows_deletion_command(public_path, deletion.name, deletion.link)
              .value_or("");
      const auto reading = sweepmark::fuzzing::read_cmd_line(command_line);
      if (!reading.fault.empty() || reading.command != "rmdir" ||
          reading.paths != std::vector<std::string>{public_path + "\\" + deletion.name}) {
        fail("cmd would not see one rmdir of the subfolder: " + reading.fault, deletion.name);
      }
    }
  }
  if (platform.deletions.size() != expected.size()) {
    fail("deleted " + std::to_string(platform.deletions.size()) + " subfolders, not " +
             std::to_string(expected.size()),
         public_path);
  }
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (platform.deletions[i].name != expected[i]->NAME ||
        platform.deletions[i].link != expected[i]->LINK ||
        platform.deletions[i].form != expected[i]->FORM) {
      fail("deletions out of order or with the wrong kind", expected[i]->NAME);
    }
  }
  if (report.noted(sweepmark::Failure::subfolder_skipped) != skipped) {
    fail(skipped ? "a skipped subfolder went unreported" : "reported a skip that did not happen",
         public_path);
  }
  if (report.noted(sweepmark::Failure::launch_failed) ||
      report.noted(sweepmark::Failure::folder_not_listed)) {
    fail("reported a failure that did not happen", public_path);
  }
  return 0;
}
