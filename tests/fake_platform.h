#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "winrules/profile_text.h"

namespace sweepmark::testing {

/// One process the program started.
struct Launch {
  enum class Kind { command, deletion };
  Kind kind = Kind::command;
  std::string text;                // the command text, or the deletion's command line
  std::string folder;              // deletions only
  std::string name;                // deletions only
  bool link = false;               // deletions only
  NameForm form = NameForm::ansi;  // deletions only
  Ticks at{0};                     // the clock when it was started
};

/// The operating system in memory: settings files, present paths, folder listings, a recorded list
/// of launches and a clock that moves only when the program sleeps or launches. A folder it opens
/// lists from `folders` and records its removals among the launches, with the command line the
/// Windows backend would build.
class FakePlatform : public Platform {
 public:
  // Settings files by name; names compare as on Windows (case-insensitive, either slash).
  std::map<std::string, ProfileText> files;
  bool fail_writes = false;
  std::set<std::string> present_paths;
  std::map<std::string, FolderEntries> folders;
  // Paths whose folder, as the system would resolve them, is a root.
  std::set<std::string> root_folders;
  std::vector<Launch> launches;
  std::function<bool(const Launch&)> launch_fails;
  NameRules rules = NameRules::windows;
  CodePage code_page = k_code_page_western;
  // Names a folder cannot hand over for removal (a Windows path at the path limit).
  std::set<std::string> out_of_reach;
  Ticks now{0};
  Ticks launch_cost{0};
  // The share of a requested sleep that actually passes (a sleep may end early).
  int sleep_percent = 100;
  std::vector<Ticks> sleeps;
  // Every operation, in order, as "verb argument...".
  std::vector<std::string> calls;

  static std::string file_key(std::string_view name);

  void set_file(std::string_view name, std::string text) {
    files[file_key(name)] = ProfileText(std::move(text));
  }
  std::string file(std::string_view name) const;
  bool has_file(std::string_view name) const { return files.count(file_key(name)) != 0; }

  std::vector<std::string> launched_texts() const;
  std::vector<std::string> deleted_names() const;

  std::string read_setting(std::string_view section, std::string_view key,
                           std::string_view fallback, std::string_view file) override;
  bool write_setting(std::string_view section, std::string_view key, std::string_view value,
                     std::string_view file) override;
  bool path_present(std::string_view path) override;
  void set_default_icon(std::string_view file) override;
  std::unique_ptr<PublicFolder> open_folder(std::string_view path) override;
  bool launch(const LaunchText& command) override;
  Ticks clock() override { return now; }
  void sleep_for(Ticks duration) override;

  /// The listing of `path`, as a folder opened by that path lists it.
  bool list_folder(std::string_view path, FolderEntries& list);
  /// The removal of one entry of the folder opened by `path`.
  bool remove_entry(std::string_view path, const Deletion& deletion);
  /// Whether the folder opened by `path` can hand that removal over.
  bool can_remove_entry(std::string_view path, const Deletion& deletion) const;

 private:
  bool record(Launch launch);
};

/// A folder entry as a Windows listing returns it.
FolderEntry entry(std::string_view name, std::uint8_t attrib = k_attrib_directory,
                  std::string_view shortname = {}, bool link = false);

/// A folder entry whose name the ANSI code page cannot carry: NAME in UTF-8 (or nothing at all),
/// with the short name Windows made up for it.
FolderEntry wide_entry(std::string_view utf8_name, std::string_view shortname,
                       NameForm form = NameForm::utf8);

}  // namespace sweepmark::testing
