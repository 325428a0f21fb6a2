#include "clean/purge.h"

#include <array>

#include "clean/deletion.h"
#include "platform/fixed_text.h"

namespace sweepmark {
namespace {

bool is_dot_name(std::string_view name) {
  return name == "." || name == "..";
}

// Characters no Windows file name can hold; a listing that shows one has been through a lossy
// ANSI conversion, and the name no longer addresses the entry.
bool windows_forbidden(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
}

// Windows maps these names, with or without an extension, to devices; its naming rules reserve
// COM0 and LPT0 as well. After COM and LPT it reads the superscript digits of the ANSI code page
// (0xB9, 0xB2, 0xB3 for 1, 2, 3) as digits too.
bool windows_device_name(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  base = clip(base);
  static constexpr std::array<std::string_view, 4> k_plain = {"CON", "PRN", "AUX", "NUL"};
  for (const std::string_view device : k_plain) {
    if (equal_upper(base, device)) {
      return true;
    }
  }
  return base.size() == 4 &&
         (equal_upper(base.substr(0, 3), "COM") || equal_upper(base.substr(0, 3), "LPT")) &&
         ((base[3] >= '0' && base[3] <= '9') || base[3] == '\xb9' || base[3] == '\xb2' ||
          base[3] == '\xb3');
}

}  // namespace

bool addresses_itself(std::string_view name, NameRules rules) {
  if (name.empty() || is_dot_name(name)) {
    return false;
  }
  if (rules == NameRules::posix) {
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
  }
  if (name.back() == ' ' || name.back() == '.') {
    return false;
  }
  for (const char c : name) {
    if (windows_forbidden(c)) {
      return false;
    }
  }
  return !windows_device_name(name);
}

Verdict judge(const FolderEntry& entry, NameRules rules) {
  if (same_text(upper(entry.SHORTNAME.clipped()), k_spared_name)) {
    return Verdict::keep;
  }
  if ((entry.ATTRIB & k_attrib_directory) == 0) {
    return Verdict::keep;
  }
  if (entry.SHORTNAME == ".." || entry.SHORTNAME == ".") {
    return Verdict::keep;
  }
  // The short name alone is not enough: a long name can upper-case to ASSETS while its alias
  // differs, and a listing can return "." or ".." with an alias of its own.
  if (same_text(upper(entry.NAME), k_spared_name) || is_dot_name(entry.NAME)) {
    return Verdict::keep;
  }
  return addresses_itself(entry.NAME, rules) ? Verdict::remove : Verdict::unsafe;
}

void purge(Platform& platform, std::string_view PublicPath, FolderEntries& FolderList,
           std::string& CommandText, CleanReport& report) {
  if (!platform.list_folder(PublicPath, FolderList)) {
    report.folder_not_listed = true;
  }
  const NameRules rules = platform.name_rules();
  for (std::size_t i = FolderList.size(); i >= 1; --i) {
    const FolderEntry& entry = FolderList[i - 1];
    Verdict verdict = judge(entry, rules);
    if (verdict == Verdict::keep) {
      continue;
    }
    std::optional<std::string> command =
        windows_deletion_command(PublicPath, entry.NAME, entry.LINK);
    // Only Windows runs the command line; elsewhere the deletion gets the path itself.
    if (rules == NameRules::windows && !command) {
      verdict = Verdict::unsafe;
    }
    if (verdict == Verdict::unsafe) {
      report.subfolder_skipped = true;
      continue;
    }
    CommandText = command ? std::move(*command) : std::string();
    if (!platform.launch_deletion({CommandText, PublicPath, entry.NAME, entry.LINK})) {
      report.launch_failed = true;
    }
  }
}

}  // namespace sweepmark
