#include "app/main_code.h"

#include <string>

#include "app/error_manager.h"
#include "app/ini_manager.h"
#include "app/settings.h"
#include "clean/cleaning_run.h"
#include "winrules/root_path.h"

namespace sweepmark {
namespace {

std::string read_own_setting(Platform& platform, std::string_view key) {
  return platform.read_setting(k_settings_section, key, "", k_settings_file);
}

void write_own_setting(Platform& platform, ErrorManager& errors, std::string_view key,
                       std::string_view value) {
  if (!platform.write_setting(k_settings_section, key, value, k_settings_file)) {
    errors.note(Failure::settings_not_written);
  }
}

}  // namespace

int main_code(Platform& platform) {
  // What the runtime's start hooks set up: blank settings and the two managers.
  Settings settings;
  ErrorManager errors;
  IniManager ini;

  ini.init(platform, k_ini_manager_file);
  platform.set_default_icon(k_icon_file);

  settings.PublicPath = read_own_setting(platform, k_public_path_key);
  if (settings.PublicPath.clipped().empty()) {
    // Every candidate is tested, so the last one present is what the file ends up with. The
    // in-memory value stays blank: this run only records what it found.
    for (const Candidate& candidate : k_candidates) {
      if (platform.path_present(candidate.tested)) {
        write_own_setting(platform, errors, k_public_path_key, candidate.recorded);
      }
    }
  }

  settings.Restart = read_own_setting(platform, k_restart_key);
  if (settings.Restart.clipped().empty()) {
    write_own_setting(platform, errors, k_restart_key, k_restart_default);
  }

  if (settings.PublicPath.clipped().empty()) {
    return errors.exit_code();
  }
  if (is_root_path(settings.PublicPath.clipped())) {
    errors.note(Failure::root_refused);
    return errors.exit_code();
  }

  const CleanReport report =
      cleaning_run(platform, settings.PublicPath.clipped(), settings.Restart.clipped());
  if (report.folder_not_listed) {
    errors.note(Failure::folder_not_listed);
  }
  if (report.launch_failed) {
    errors.note(Failure::launch_failed);
  }
  if (report.subfolder_skipped) {
    errors.note(Failure::subfolder_skipped);
  }

  ini.update();
  if (!ini.shutdown(platform)) {
    errors.note(Failure::settings_not_written);
  }
  return errors.exit_code();
}

}  // namespace sweepmark
