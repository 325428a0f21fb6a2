#pragma once

#include "platform/platform.h"

namespace sweepmark {

/// The program from start to end: reads and completes the settings file, applies the guards, runs
/// the cleaning run and lets the INI manager write back its bookkeeping. Shows nothing and asks
/// nothing. Returns the exit code: 0 when the run did its work, otherwise the bits of the failures
/// it knows of (see Failure).
int main_code(Platform& platform);

}  // namespace sweepmark
