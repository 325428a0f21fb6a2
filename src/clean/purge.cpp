#include "clean/purge.h"

#include "base/fixed_text.h"
#include "winrules/deletion_command.h"
#include "winrules/name_rules.h"

namespace sweepmark {
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
