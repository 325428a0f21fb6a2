// In-process benchmarks: the settings-file text, the commands the program builds, the purge's
// selection over 100,000 entries, and the settings file on disk through the real backend against
// reading it once with std::getline.

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "clean/purge.h"
#include "listing_platform.h"
#include "platform/platform.h"
#include "winrules/command_line.h"
#include "winrules/deletion_command.h"
#include "winrules/profile_text.h"

namespace {

using namespace sweepmark;

// About 1 MB of settings: thousands of sections of eight keys each, the program's own last.
const std::string& settings_megabyte() {
  static const std::string text = [] {
    std::string result;
    for (int section = 0; result.size() < (1u << 20); ++section) {
      result += "[Section_" + std::to_string(section) + "]\r\n";
      for (int key = 0; key < 8; ++key) {
        result += "Key_" + std::to_string(key) + "=value " + std::to_string(section) + "\r\n";
      }
    }
    return result + "[Q9Actions]\r\nPublicPath=d:\\ClarionAppBroker\\public\r\nRestart=Y\r\n";
  }();
  return text;
}

void BM_SettingsParseBothKeys(benchmark::State& state) {
  for (auto _ : state) {
    (void)_;
    const ProfileText text(settings_megabyte());
    benchmark::DoNotOptimize(text.find("Q9Actions", "PublicPath"));
    benchmark::DoNotOptimize(text.find("Q9Actions", "Restart"));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(settings_megabyte().size()));
}
BENCHMARK(BM_SettingsParseBothKeys)->Unit(benchmark::kMicrosecond);

void BM_SettingsGetlineBaseline(benchmark::State& state) {
  for (auto _ : state) {
    (void)_;
    std::istringstream in(settings_megabyte());
    std::string line;
    std::size_t bytes = 0;
    while (std::getline(in, line)) {
      bytes += line.size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(settings_megabyte().size()));
}
BENCHMARK(BM_SettingsGetlineBaseline)->Unit(benchmark::kMicrosecond);

void BM_SettingsWriteOneKey(benchmark::State& state) {
  ProfileText text(settings_megabyte());
  bool flip = false;
  for (auto _ : state) {
    (void)_;
    benchmark::DoNotOptimize(text.set("Q9Actions", "Restart", flip ? "Y" : "N"));
    flip = !flip;
  }
}
BENCHMARK(BM_SettingsWriteOneKey)->Unit(benchmark::kMicrosecond);

void BM_DeletionCommand(benchmark::State& state) {
  for (auto _ : state) {
    (void)_;
    benchmark::DoNotOptimize(windows_deletion_command("d:\\ClarionAppBroker\\public",
                                                      "session 4711 & 100% (old)", false));
  }
}
BENCHMARK(BM_DeletionCommand);

void BM_ServiceCommandSplit(benchmark::State& state) {
  for (auto _ : state) {
    (void)_;
    const LaunchText text = split_launch_text("sc stop \"Clarion Application Broker\"");
    benchmark::DoNotOptimize(windows_command_line(text));
    benchmark::DoNotOptimize(split_windows_arguments(text.arguments));
  }
}
BENCHMARK(BM_ServiceCommandSplit);

/// A public folder of 100,003 subfolders: ".", "..", ASSETS and 100,000 sessions.
FolderEntries prepared_listing() {
  FolderEntries entries;
  const auto add = [&](const std::string& name) {
    FolderEntry entry;
    entry.NAME = name;
    entry.SHORTNAME = name;
    entry.ATTRIB = k_attrib_directory;
    entries.push_back(std::move(entry));
  };
  for (const char* name : {".", "..", "ASSETS"}) {
    add(name);
  }
  for (int i = 0; i < 100000; ++i) {
    add("session-" + std::to_string(100000 + i));
  }
  return entries;
}

void BM_PurgeSelection100k(benchmark::State& state) {
  testing::ListingFolder folder(prepared_listing(),
                                state.range(0) == 0 ? NameRules::posix : NameRules::windows, false);
  for (auto _ : state) {
    (void)_;
    FolderEntries FolderList;
    benchmark::DoNotOptimize(purge(folder, "d:\\ClarionAppBroker\\public", FolderList));
  }
  state.SetItemsProcessed(state.iterations() * 100003);
  state.SetLabel(state.range(0) == 0 ? "POSIX rules" : "Windows rules");
}
BENCHMARK(BM_PurgeSelection100k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The settings file on disk: SWEEPMARK_BENCH_DIR names a scratch folder, else one is made.
const std::string& settings_file() {
  static const std::string path = [] {
    std::string folder;
    if (const char* given = std::getenv("SWEEPMARK_BENCH_DIR")) {
      folder = given;
    } else {
      folder = (std::filesystem::temp_directory_path() / "sweepmark-micro-XXXXXX").string();
      if (::mkdtemp(folder.data()) == nullptr) {
        std::abort();
      }
    }
    std::string file = folder + "/Sweepmark.ini";
    std::ofstream(file, std::ios::binary) << settings_megabyte();
    return file;
  }();
  return path;
}

// What one run does with the file: a fresh backend (a fresh process), both keys read, one written.
void BM_SettingsFileReadTwoWriteOne(benchmark::State& state) {
  bool flip = false;
  for (auto _ : state) {
    (void)_;
    const std::unique_ptr<Platform> platform = make_real_platform();
    benchmark::DoNotOptimize(
        platform->read_setting("Q9Actions", "PublicPath", "", settings_file()));
    benchmark::DoNotOptimize(platform->read_setting("Q9Actions", "Restart", "", settings_file()));
    if (!platform->write_setting("Q9Actions", "Restart", flip ? "Y" : "N", settings_file())) {
      state.SkipWithError("the settings file could not be written");
    }
    flip = !flip;
  }
}
BENCHMARK(BM_SettingsFileReadTwoWriteOne)->Unit(benchmark::kMillisecond);

void BM_SettingsFileGetlineOnce(benchmark::State& state) {
  for (auto _ : state) {
    (void)_;
    std::ifstream in(settings_file(), std::ios::binary);
    std::string line;
    std::size_t bytes = 0;
    while (std::getline(in, line)) {
      bytes += line.size();
    }
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_SettingsFileGetlineOnce)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
