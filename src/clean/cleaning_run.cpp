#include "clean/cleaning_run.h"

#include <string>

#include "base/fixed_text.h"
#include "clean/purge.h"
#include "winrules/command_line.h"

namespace sweepmark {

bool restart_requested(std::string_view Restart) {
  return same_text(upper(Restart), "Y");
}

Failures cleaning_run(Launcher& launcher, Clock& clock, PublicFolder& folder,
                      std::string_view PublicPath, std::string_view Restart) {
  Failures failures;
  std::string CommandText;
  FolderEntries FolderList;
  // Readings come from a monotonic clock, so neither midnight nor a change of the local clock
  // can stretch or shorten the wait.
  Ticks StopClock{0};
  Ticks WaitElapsed{0};

  const bool restart = restart_requested(Restart);
  if (restart) {
    StopClock = clock.clock();
    CommandText = k_stop_command;
    if (!launcher.launch(split_launch_text(CommandText))) {
      failures.note(Failure::launch_failed);
    }
  }

  failures.note(purge(folder, PublicPath, FolderList));

  if (restart) {
    // Sleep rather than poll, and read the clock again after every sleep: a sleep may end early.
    while ((WaitElapsed = clock.clock() - StopClock) < k_restart_delay) {
      clock.sleep_for(std::chrono::duration_cast<Ticks>(k_restart_delay) - WaitElapsed);
    }
    CommandText = k_start_command;
    if (!launcher.launch(split_launch_text(CommandText))) {
      failures.note(Failure::launch_failed);
    }
  }
  return failures;
}

}  // namespace sweepmark
