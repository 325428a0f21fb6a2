#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/fixed_text.h"
#include "winrules/name_rules.h"

namespace sweepmark {

// Attribute bits of a listed entry, as the listing keeps them (masked with 0x37).
inline constexpr std::uint8_t k_attrib_read_only = 0x01;
inline constexpr std::uint8_t k_attrib_hidden = 0x02;
inline constexpr std::uint8_t k_attrib_system = 0x04;
inline constexpr std::uint8_t k_attrib_directory = 0x10;
inline constexpr std::uint8_t k_attrib_archive = 0x20;
inline constexpr std::uint8_t k_attrib_mask = 0x37;

/// One entry of a folder listing.
struct FolderEntry {
  /// The entry's name exactly as the file system listed it: never cut, never clipped.
  std::string NAME;
  /// The 8.3 alias, or the long name where there is none, cut to 13 characters.
  FixedText<13> SHORTNAME;
  /// Last-write date in local time: days, 1 January 1801 being day 4.
  std::int32_t DATE = 0;
  /// Last-write time of day in local time, in whole seconds: hundredths of a second plus one.
  std::int32_t TIME = 0;
  /// The low 32 bits of the size.
  std::int32_t SIZE = 0;
  /// Attribute bits, masked with k_attrib_mask.
  std::uint8_t ATTRIB = 0;
  /// A symbolic link, junction or mount point: removing it must remove the link only, never
  /// anything it leads to.
  bool LINK = false;
};

using FolderEntries = std::vector<FolderEntry>;

/// One subfolder deletion, as the purge selected it.
struct Deletion {
  /// The command interpreter line that deletes it (what runs on Windows).
  std::string_view command_line;
  /// The clipped public folder, as the settings file gives it.
  std::string_view folder;
  /// The exact listed name of the subfolder.
  std::string_view name;
  /// The subfolder is a link: remove the link itself and nothing it leads to.
  bool link = false;
};

/// Monotonic time; readings only ever grow, whatever happens to the local clock.
using Ticks = std::chrono::microseconds;

/// The operations the program takes from the operating system. Failures are ordinary results
/// (false, or the default text); none of these throws. Texts are single-byte (ANSI) text, and
/// callers pass section, key, value and path texts already clipped.
class Platform {
 public:
  virtual ~Platform() = default;

  /// The value of `key` in `section` of the settings file `file`, at most 1023 characters, or
  /// `fallback` when the file, the section or the key is missing.
  virtual std::string read_setting(std::string_view section, std::string_view key,
                                   std::string_view fallback, std::string_view file) = 0;

  /// Creates or replaces `key` in `section` of `file`, creating the file and the section where
  /// needed. False when the file could not be written; the file is then as it was.
  virtual bool write_setting(std::string_view section, std::string_view key, std::string_view value,
                             std::string_view file) = 0;

  /// True when `path` names an existing file or folder that is not offline.
  virtual bool path_present(std::string_view path) = 0;

  /// Loads `file` as the default window icon; a missing file leaves none and is not reported.
  virtual void set_default_icon(std::string_view file) = 0;

  /// Appends the entries of `folder` to `list` in the order the file system returns them, keeping
  /// every folder (hidden and system ones, "." and ".." included) and every file that is neither
  /// hidden nor system. False when the folder could not be listed. Where the backend can hold on
  /// to the folder itself (POSIX), deletions launched afterwards for its entries act on the folder
  /// as it was listed; a command interpreter given a path (Windows) resolves the path afresh.
  virtual bool list_folder(std::string_view folder, FolderEntries& list) = 0;

  /// Starts `command_text` as a separate process, never waiting for it. False when no process
  /// could be started.
  virtual bool launch(std::string_view command_text) = 0;

  /// Starts the deletion of one subfolder of the folder last listed, never waiting for it. False
  /// when no process could be started.
  virtual bool launch_deletion(const Deletion& deletion) = 0;

  /// The naming rules of the file system the purge works on.
  virtual NameRules name_rules() const = 0;

  /// A monotonic clock reading.
  virtual Ticks clock() = 0;

  /// Sleeps for about `duration`; may return early, so callers read the clock again.
  virtual void sleep_for(Ticks duration) = 0;
};

/// The platform of the operating system the program was built for.
std::unique_ptr<Platform> make_real_platform();

}  // namespace sweepmark
