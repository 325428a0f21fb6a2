// Sweepmark: empties the broker's public folder of every subfolder but ASSETS, stopping and
// restarting the broker service around the purge when the settings ask for it. It reads no
// arguments, opens no window and writes nothing but its settings file.

#include "app/main_code.h"
#include "platform/platform.h"

int main() {
  const std::unique_ptr<sweepmark::Platform> platform = sweepmark::make_real_platform();
  return sweepmark::main_code(*platform);
}
