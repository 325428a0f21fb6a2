#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "clean/failures.h"
#include "platform/platform.h"

namespace sweepmark {

inline constexpr std::string_view k_stop_command = "sc stop \"Clarion Application Broker\"";
inline constexpr std::string_view k_start_command = "sc start \"Clarion Application Broker\"";

using Hundredths = std::chrono::duration<std::int64_t, std::centi>;

/// The start command follows the stop command's clock reading after this long.
inline constexpr Hundredths k_restart_delay{600};

/// True when the restart flag asks for service control: "Y" in either case.
bool restart_requested(std::string_view Restart);

/// Stops the broker service when `Restart` asks for it, purges the opened public folder (opened by
/// `PublicPath`), and starts the service again no sooner than k_restart_delay after the clock
/// reading taken before the stop. Waits for none of the commands it launches.
Failures cleaning_run(Launcher& launcher, Clock& clock, PublicFolder& folder,
                      std::string_view PublicPath, std::string_view Restart);

}  // namespace sweepmark
