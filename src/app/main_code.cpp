#include "app/main_code.h"

#include <memory>
#include <string>

#include "app/ini_manager.h"
#include "app/settings.h"
#include "clean/cleaning_run.h"
#include "clean/failures.h"
#include "winrules/root_path.h"

namespace sweepmark {
namespace {

std::string read_own_setting(Platform& platform, std::string_view key) {
  return platform.read_setting(k_settings_section, key, "", k_settings_file);
}

void write_own_setting(Platform& platform, Failures& failures, std::string_view key,
                       std::string_view value) {
  if (!platform.write_setting(k_settings_section, key, value, k_settings_file)) {
    failures.note(Failure::settings_not_written);
  }
}

}  // namespace

int main_code(Platform& platform) {
  // What the runtime's start hooks set up: blank settings and the INI manager. The class
  // library's error manager reports nothing; what the run learns goes into one failure set.
  Settings settings;
  Failures failures;
  IniManager ini;

  ini.init(platform, k_ini_manager_file);
  platform.set_default_icon(k_icon_file);

  const std::string public_path = read_own_setting(platform, k_public_path_key);
  settings.PublicPath = public_path;
  // The field holds 255 characters; a longer value would be cut, and a cut path can name a parent
  // of the folder meant, so it is refused below instead.
  const bool public_path_cut = clip(public_path).size() > settings.PublicPath.full().size();
  if (settings.PublicPath.clipped().empty()) {
    // Every candidate is tested, so the last one present is what the file ends up with. The
    // in-memory value stays blank: this run only records what it found.
    for (const Candidate& candidate : k_candidates) {
      if (platform.path_present(candidate.tested)) {
        write_own_setting(platform, failures, k_public_path_key, candidate.recorded);
      }
    }
  }

  settings.Restart = read_own_setting(platform, k_restart_key);
  if (settings.Restart.clipped().empty()) {
    write_own_setting(platform, failures, k_restart_key, k_restart_default);
  }

  const std::string_view path = settings.PublicPath.clipped();
  if (path.empty()) {
    return failures.exit_code();
  }
  if (public_path_cut || is_root_path(path)) {
    failures.note(Failure::root_refused);
    return failures.exit_code();
  }
  // The text guard sees only the spelling; what counts is the folder the system resolves it to,
  // through links, mounts and relative climbs. It is opened once, before any command starts.
  const std::unique_ptr<PublicFolder> folder = platform.open_folder(path);
  if (folder->is_root()) {
    failures.note(Failure::root_refused);
    return failures.exit_code();
  }

  failures.note(cleaning_run(platform, platform, *folder, path, settings.Restart.clipped()));

  ini.update();
  if (!ini.shutdown(platform)) {
    failures.note(Failure::settings_not_written);
  }
  return failures.exit_code();
}

}  // namespace sweepmark
