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

#include "clean/deletion.h"
#include "clean/purge.h"
#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/profile_text.h"

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

/// Lists a prepared folder and counts the deletions; nothing else is ever called.
class PreparedListing final : public Platform {
 public:
  explicit PreparedListing(NameRules rules) : m_rules(rules) {
    for (const char* name : {".", "..", "ASSETS"}) {
      m_entries.push_back(folder(name));
    }
    for (int i = 0; i < 100000; ++i) {
      m_entries.push_back(folder("session-" + std::to_string(100000 + i)));
    }
  }
  std::size_t deletions = 0;

  std::string read_setting(std::string_view, std::string_view, std::string_view,
                           std::string_view) override {
    std::abort();
  }
  bool write_setting(std::string_view, std::string_view, std::string_view,
                     std::string_view) override {
    std::abort();
  }
  bool path_present(std::string_view) override { std::abort(); }
  void set_default_icon(std::string_view) override { std::abort(); }
  bool list_folder(std::string_view, FolderEntries& list) override {
    list.insert(list.end(), m_entries.begin(), m_entries.end());
    return true;
  }
  bool launch(std::string_view) override { std::abort(); }
  bool launch_deletion(const Deletion&) override {
    ++deletions;
    return true;
  }
  NameRules name_rules() const override { return m_rules; }
  Ticks clock() override { std::abort(); }
  void sleep_for(Ticks) override { std::abort(); }

 private:
  static FolderEntry folder(const std::string& name) {
    FolderEntry entry;
    entry.NAME = name;
    entry.SHORTNAME = name;
    entry.ATTRIB = k_attrib_directory;
    return entry;
  }
  FolderEntries m_entries;
  NameRules m_rules;
};

void BM_PurgeSelection100k(benchmark::State& state) {
  PreparedListing platform(state.range(0) == 0 ? NameRules::posix : NameRules::windows);
  for (auto _ : state) {
    (void)_;
    FolderEntries FolderList;
    std::string CommandText;
    CleanReport report;
    purge(platform, "d:\\ClarionAppBroker\\public", FolderList, CommandText, report);
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
