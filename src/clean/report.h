#pragma once

namespace sweepmark {

/// What a cleaning run learnt about its own failures.
struct CleanReport {
  /// The public folder could not be listed (missing, not a folder, no access).
  bool folder_not_listed = false;
  /// A service command or a deletion could not be started.
  bool launch_failed = false;
  /// A subfolder was left alone because its name or path cannot be handed over safely.
  bool subfolder_skipped = false;
};

}  // namespace sweepmark
