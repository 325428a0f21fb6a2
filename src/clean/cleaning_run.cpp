#include "clean/cleaning_run.h"

#include <string>

#include "base/fixed_text.h"
#include "clean/purge.h"

namespace sweepmark {

bool restart_requested(std::string_view Restart) {
  return same_text(upper(Restart), "Y");
}

CleanReport cleaning_run(Platform& platform, std::string_view PublicPath,
                         std::string_view Restart) {
  CleanReport report;
  std::string CommandText;
  FolderEntries FolderList;
  // Readings come from a monotonic clock, so neither midnight nor a change of the local clock
  // can stretch or shorten the wait.
  Ticks StopClock{0};
  Ticks WaitElapsed{0};

  const bool restart = restart_requested(Restart);
  if (restart) {
    StopClock = platform.clock();
    CommandText = k_stop_command;
    if (!platform.launch(CommandText)) {
      report.launch_failed = true;
    }
  }

  purge(platform, PublicPath, FolderList, CommandText, report);

  if (restart) {
    // Sleep rather than poll, and read the clock again after every sleep: a sleep may end early.
    while ((WaitElapsed = platform.clock() - StopClock) < k_restart_delay) {
      platform.sleep_for(std::chrono::duration_cast<Ticks>(k_restart_delay) - WaitElapsed);
    }
    CommandText = k_start_command;
    if (!platform.launch(CommandText)) {
      report.launch_failed = true;
    }
  }
  return report;
}

}  // namespace sweepmark
