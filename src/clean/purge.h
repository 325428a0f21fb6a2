#pragma once

#include <string_view>

#include "clean/failures.h"
#include "platform/platform.h"

namespace sweepmark {

inline constexpr std::string_view k_spared_name = "ASSETS";

/// What the purge does with one listed entry.
enum class Verdict {
  /// Not a subfolder to delete: a file, "." or "..", or ASSETS.
  keep,
  /// A subfolder to delete.
  remove,
  /// A subfolder that should go, but whose name would address something other than itself.
  unsafe,
};

/// Decides one entry. For a name in the listing's code page the tests run in this order: the short
/// name, clipped and upper-cased, is not "ASSETS"; the entry is a folder; the short name is
/// neither ".." nor "."; then the long name, upper-cased, is not "ASSETS" either (under POSIX
/// rules exactly, with no blank ignored), and the name, read as characters of `code_page`,
/// addresses the entry itself. A name the code page cannot carry is judged by its exact long name
/// alone (its short name is never what the ANSI functions would render it as), read as UTF-8.
Verdict judge(const FolderEntry& entry, NameRules rules, CodePage code_page);

/// Lists the opened public folder into `FolderList` and asks it to remove every subfolder to
/// delete, the last listed first, without waiting for any. A subfolder that should go but cannot
/// be handed over safely (its name, or a removal the folder cannot make) is skipped and reported.
/// `PublicPath` is the path the folder was opened by, which a Windows deletion command must be able
/// to quote.
Failures purge(PublicFolder& folder, std::string_view PublicPath, FolderEntries& FolderList);

}  // namespace sweepmark
