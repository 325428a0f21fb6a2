// The purge's selection over any listing, under both naming rules: it never deletes ".", "..",
// ASSETS in any letter case, a file, or a name that would address something other than the entry
// itself; it deletes every other subfolder, last listed first, by its exact name; and on Windows
// every command it launches is one rmdir of exactly that subfolder (as cmd_model.h reads it).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

using sweepmark::FolderEntries;
using sweepmark::FolderEntry;
using sweepmark::NameRules;

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
// are reserved, and the superscript digits ¹ ² ³ (0xB9 0xB2 0xB3 in the ANSI code page) count as
// digits after COM and LPT.
bool device_name(std::string_view name) {
  const std::string base =
      sweepmark::oracle::upper(strip_trailing(name.substr(0, name.find('.')), " "));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") {
    return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  const char digit = base[3];
  return (digit >= '0' && digit <= '9') || digit == '\xb9' || digit == '\xb2' || digit == '\xb3';
}

// Why Windows would not take `name` as the entry itself, or nothing.
const char* windows_alias(std::string_view name) {
  if (strip_trailing(name, ". ") != name) {
    return "Windows strips its trailing dots and blanks";
  }
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
      return "no Windows name holds it";
    }
  }
  if (device_name(name)) {
    return "Windows reads it as a device";
  }
  return nullptr;
}

// Why the purge must never delete `entry`, or nothing.
const char* must_keep(const FolderEntry& entry, NameRules rules) {
  const std::string_view name = entry.NAME;
  const std::string_view shortname = entry.SHORTNAME.clipped();
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
  if (name.empty()) {
    return "no name at all";
  }
  if (rules == NameRules::windows) {
    return windows_alias(name);
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
  const std::string public_path =
      input.ConsumeBool() ? "d:\\pub" : input.ConsumeRandomLengthString(40);
  FolderEntries listing;
  while (input.remaining_bytes() > 0 && listing.size() < 64) {
    FolderEntry entry;
    entry.NAME = input.ConsumeRandomLengthString(24);
    entry.SHORTNAME = input.ConsumeBool() ? entry.NAME : input.ConsumeRandomLengthString(16);
    entry.ATTRIB = input.ConsumeIntegral<std::uint8_t>() & sweepmark::k_attrib_mask;
    entry.LINK = input.ConsumeBool();
    // A folder never lists one name twice.
    if (std::none_of(listing.begin(), listing.end(),
                     [&](const FolderEntry& e) { return e.NAME == entry.NAME; })) {
      listing.push_back(std::move(entry));
    }
  }

  sweepmark::testing::ListingFolder platform(listing, rules);
  FolderEntries FolderList;
  const sweepmark::Failures report = sweepmark::purge(platform, public_path, FolderList);

  // What must happen: every deletable subfolder, last listed first.
  std::vector<const FolderEntry*> expected;
  bool skipped = false;
  for (auto it = listing.rbegin(); it != listing.rend(); ++it) {
    const char* keep = must_keep(*it, rules);
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
    if (const char* keep = must_keep(*listed, rules)) {
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
        platform.deletions[i].link != expected[i]->LINK) {
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
