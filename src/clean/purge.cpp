#include "clean/purge.h"

#include "base/fixed_text.h"
#include "winrules/deletion_command.h"
#include "winrules/name_rules.h"

namespace sweepmark {

Verdict judge(const FolderEntry& entry, NameRules rules, CodePage code_page) {
  // A short name is an alias of a name in the listing's code page. Beside a name the code page
  // cannot carry it is something Windows made up and decides nothing, so the full-width twin of
  // ASSETS is an ordinary folder.
  const bool in_code_page = entry.FORM == NameForm::ansi;
  if (in_code_page && same_text(upper(entry.SHORTNAME.clipped()), k_spared_name)) {
    return Verdict::keep;
  }
  if ((entry.ATTRIB & k_attrib_directory) == 0) {
    return Verdict::keep;
  }
  if (in_code_page && (entry.SHORTNAME == ".." || entry.SHORTNAME == ".")) {
    return Verdict::keep;
  }
  // The short name alone is not enough: a long name can upper-case to ASSETS while its alias
  // differs, and a listing can return "." or ".." with an alias of its own. A POSIX name with a
  // trailing blank is a folder of its own, so only Windows ignores trailing blanks here.
  const std::string upper_name = upper(entry.NAME);
  const bool spared = rules == NameRules::posix ? upper_name == k_spared_name
                                                : same_text(upper_name, k_spared_name);
  if (spared || is_dot_name(entry.NAME)) {
    return Verdict::keep;
  }
  if (entry.FORM == NameForm::none) {
    return Verdict::unsafe;
  }
  return addresses_itself(entry.NAME, rules, in_code_page ? code_page : k_code_page_utf8)
             ? Verdict::remove
             : Verdict::unsafe;
}

Failures purge(PublicFolder& folder, std::string_view PublicPath, FolderEntries& FolderList) {
  Failures failures;
  if (!folder.list(FolderList)) {
    failures.note(Failure::folder_not_listed);
  }
  const NameRules rules = folder.name_rules();
  const CodePage code_page = folder.code_page();
  for (std::size_t i = FolderList.size(); i >= 1; --i) {
    const FolderEntry& entry = FolderList[i - 1];
    Verdict verdict = judge(entry, rules, code_page);
    if (verdict == Verdict::keep) {
      continue;
    }
    // Only Windows hands the path to a command interpreter, which cannot take every character.
    // The bytes it refuses are ASCII, which no double-byte or UTF-8 character holds, so the test
    // reads ANSI and UTF-8 names alike.
    if (rules == NameRules::windows && !cmd_can_quote(PublicPath, entry.NAME)) {
      verdict = Verdict::unsafe;
    }
    const Deletion deletion{entry.NAME, entry.LINK, entry.FORM};
    if (verdict == Verdict::unsafe || !folder.can_remove(deletion)) {
      failures.note(Failure::subfolder_skipped);
      continue;
    }
    if (!folder.remove(deletion)) {
      failures.note(Failure::launch_failed);
    }
  }
  return failures;
}

}  // namespace sweepmark
