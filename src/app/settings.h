#pragma once

#include <array>
#include <string_view>

#include "base/fixed_text.h"

namespace sweepmark {

/// The process-wide settings; both fields are blank until the settings file has been read.
struct Settings {
  /// The broker's public folder, as a path without a trailing backslash.
  FixedText<255> PublicPath;
  /// "Y" or "y": stop the broker service before the purge and start it again after.
  FixedText<1> Restart;
};

inline constexpr std::string_view k_settings_file = ".\\Sweepmark.ini";
inline constexpr std::string_view k_settings_section = "Q9Actions";
inline constexpr std::string_view k_public_path_key = "PublicPath";
inline constexpr std::string_view k_restart_key = "Restart";
inline constexpr std::string_view k_restart_default = "Y";
inline constexpr std::string_view k_icon_file = "tango-clear.ico";

/// Where the broker's public folder is looked for, in this order: the path tested, and the value
/// recorded for it.
struct Candidate {
  std::string_view tested;
  std::string_view recorded;
};

inline constexpr std::array<Candidate, 4> k_candidates = {{
    {"c:\\AppBroker\\public\\", "c:\\AppBroker\\public"},
    {"c:\\ClarionAppBroker\\public\\", "c:\\ClarionAppBroker\\public"},
    {"d:\\AppBroker\\public\\", "d:\\AppBroker\\public"},
    {"d:\\ClarionAppBroker\\public\\", "d:\\ClarionAppBroker\\public"},
}};

}  // namespace sweepmark
