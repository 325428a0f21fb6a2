#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/fixed_text.h"
#include "winrules/command_line.h"
#include "winrules/name_rules.h"

namespace sweepmark {

// Attribute bits of a listed entry, as the listing keeps them (masked with 0x37).
inline constexpr std::uint8_t k_attrib_read_only = 0x01;
inline constexpr std::uint8_t k_attrib_hidden = 0x02;
inline constexpr std::uint8_t k_attrib_system = 0x04;
inline constexpr std::uint8_t k_attrib_directory = 0x10;
inline constexpr std::uint8_t k_attrib_archive = 0x20;
inline constexpr std::uint8_t k_attrib_mask = 0x37;

/// How the NAME of a listed entry holds the entry's name.
enum class NameForm : std::uint8_t {
  /// Exactly, in the code page of the folder's listing (Windows: the ANSI code page, the text of
  /// the ANSI functions; POSIX: the bytes of the name).
  ansi,
  /// Exactly, in UTF-8: the ANSI code page cannot carry the name, so no ANSI function can address
  /// the entry, and the backend removes it through the wide functions.
  utf8,
  /// In no exact form the program can hand over (a UTF-16 name holding half a surrogate pair,
  /// which UTF-8 cannot carry): NAME is empty, and the entry is never removed.
  none,
};

/// One entry of a folder listing.
struct FolderEntry {
  /// The entry's name exactly as the file system listed it (in the form FORM says): never cut,
  /// never clipped, never a best-fit rendering.
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
  /// How NAME holds the name.
  NameForm FORM = NameForm::ansi;
};

using FolderEntries = std::vector<FolderEntry>;

/// One subfolder deletion, as plain data: the exact listed name and whether it is a link. The
/// folder is the opened public folder that is asked to remove it.
struct Deletion {
  /// The exact listed name of the subfolder.
  std::string_view name;
  /// The subfolder is a link: remove the link itself and nothing it leads to.
  bool link = false;
  /// How `name` holds the name: ANSI text or UTF-8, never NameForm::none.
  NameForm form = NameForm::ansi;
};

/// Monotonic time; readings only ever grow, whatever happens to the local clock.
using Ticks = std::chrono::microseconds;

/// The public folder, opened once as the operating system resolves its path (relative to the
/// current directory, through every link, junction, mount and ".."). Everything the purge does
/// goes through it, so a path renamed or replaced after the opening cannot redirect a deletion
/// where the backend can hold on to the folder itself (POSIX); a command interpreter given a path
/// (Windows) resolves the path afresh.
class PublicFolder {
 public:
  virtual ~PublicFolder() = default;

  /// True when the folder, as opened, is the root of a drive letter or of a share (Windows) or
  /// the root "/" of the file system (POSIX), however the path reached it. A folder that could
  /// not be opened is no root (it lists as a failure).
  virtual bool is_root() const = 0;

  /// Appends the folder's entries to `list` in the order the file system returns them, keeping
  /// every folder (hidden and system ones, "." and ".." included) and every file that is neither
  /// hidden nor system. False when the folder could not be listed or its entries could not be
  /// examined.
  virtual bool list(FolderEntries& list) = 0;

  /// Starts the removal of one entry of this folder, never waiting for it. False when nothing
  /// could be started.
  virtual bool remove(const Deletion& deletion) = 0;

  /// False when the folder cannot hand the removal of `deletion` over so that it reaches exactly
  /// that entry and all it holds (Windows: a path at the system's path limit, which the command
  /// interpreter cannot remove); the purge then skips the entry and reports it.
  virtual bool can_remove(const Deletion& /*deletion*/) const { return true; }

  /// The naming rules of the file system the folder is on.
  virtual NameRules name_rules() const = 0;

  /// The code page in which the listing writes names of NameForm::ansi, which Windows rules read
  /// as characters of that code page. POSIX rules read no code page; names there are bytes.
  virtual CodePage code_page() const { return k_code_page_utf8; }
};

/// The settings file, as the profile functions read and write it.
class SettingsFile {
 public:
  virtual ~SettingsFile() = default;

  /// The value of `key` in `section` of the settings file `file`, at most 1023 characters, or
  /// `fallback` when the file, the section or the key is missing, or the file is no regular file.
  virtual std::string read_setting(std::string_view section, std::string_view key,
                                   std::string_view fallback, std::string_view file) = 0;

  /// Creates or replaces `key` in `section` of `file`, creating the file and the section where
  /// needed. False when the file could not be written (or is no regular file); the file is then
  /// as it was.
  virtual bool write_setting(std::string_view section, std::string_view key, std::string_view value,
                             std::string_view file) = 0;
};

/// Starts commands.
class Launcher {
 public:
  virtual ~Launcher() = default;

  /// Starts `command` (a program word and its argument text, as the launch rules take a command
  /// text apart) as a separate process, never waiting for it. False when no process could be
  /// started.
  virtual bool launch(const LaunchText& command) = 0;
};

/// Time, for the restart wait.
class Clock {
 public:
  virtual ~Clock() = default;

  /// A monotonic clock reading.
  virtual Ticks clock() = 0;

  /// Sleeps for about `duration`; may return early, so callers read the clock again.
  virtual void sleep_for(Ticks duration) = 0;
};

/// The operations the program takes from the operating system. Failures are ordinary results
/// (false, or the default text); none of these throws. Texts are single-byte (ANSI) text, and
/// callers pass section, key, value and path texts already clipped.
class Platform : public SettingsFile, public Launcher, public Clock {
 public:
  /// True when `path` names an existing file or folder that is not offline.
  virtual bool path_present(std::string_view path) = 0;

  /// Loads `file` as the default window icon; a missing file, or one that is no regular file,
  /// leaves none and is not reported.
  virtual void set_default_icon(std::string_view file) = 0;

  /// Opens the folder `path` (see PublicFolder). Never null: a folder that cannot be opened gives
  /// an object that is no root and whose listing fails.
  virtual std::unique_ptr<PublicFolder> open_folder(std::string_view path) = 0;
};

/// The platform of the operating system the program was built for.
std::unique_ptr<Platform> make_real_platform();

}  // namespace sweepmark
