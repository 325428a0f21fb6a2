// The cleaning run: the order of stop, purge and start, and the restart delay on an injected clock.

#include "clean/cleaning_run.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace sweepmark {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::entry;
using testing::FakePlatform;
using testing::Launch;

constexpr Ticks k_delay = std::chrono::duration_cast<Ticks>(k_restart_delay);

Failures run_clean(FakePlatform& platform, std::string_view path, std::string_view restart) {
  const std::unique_ptr<PublicFolder> folder = platform.open_folder(path);
  return cleaning_run(platform, platform, *folder, path, restart);
}

class CleaningRun : public ::testing::Test {
 protected:
  void SetUp() override { platform.folders["d:\\pub"] = {entry("a"), entry("ASSETS"), entry("b")}; }
  FakePlatform platform;
};

TEST_F(CleaningRun, RestartFlagDecidesServiceControl) {
  struct Case {
    const char* restart;
    bool control;
  };
  for (const Case c : {Case{"Y", true}, Case{"y", true}, Case{"N", false}, Case{"", false},
                       Case{"n", false}, Case{"1", false}}) {
    SCOPED_TRACE(c.restart);
    platform.launches.clear();
    run_clean(platform, "d:\\pub", c.restart);
    std::vector<std::string> expected = {R"(cmd.exe /d /e:ON /v:OFF /c rmdir "d:\pub\b" /s /q)",
                                         R"(cmd.exe /d /e:ON /v:OFF /c rmdir "d:\pub\a" /s /q)"};
    if (c.control) {
      expected.insert(expected.begin(), "sc stop \"Clarion Application Broker\"");
      expected.push_back("sc start \"Clarion Application Broker\"");
    }
    EXPECT_EQ(platform.launched_texts(), expected);
  }
}

TEST_F(CleaningRun, StartFollowsTheStopReadingAfterSixSecondsWhateverTheClockSays) {
  // Starting points: zero, a second before local midnight in hundredths, where a signed 32-bit
  // count of hundredths ends, where a 32-bit count of milliseconds ends.
  const std::vector<Ticks> starts = {Ticks{0}, Ticks{86'399'000'000}, Ticks{21'474'836'470'000},
                                     Ticks{4'294'967'295'000}};
  for (const Ticks start : starts) {
    SCOPED_TRACE(start.count());
    FakePlatform fresh;
    fresh.folders = platform.folders;
    fresh.now = start;
    fresh.launch_cost = milliseconds(3);
    run_clean(fresh, "d:\\pub", "Y");
    ASSERT_EQ(fresh.launches.size(), 4u);
    EXPECT_EQ(fresh.launches.front().at, start);
    EXPECT_EQ(fresh.launches.back().at, start + k_delay) << "the start command is exactly on time";
    EXPECT_EQ(fresh.sleeps.size(), 1u) << "one sleep, no polling";
  }
}

TEST_F(CleaningRun, SleepThatEndsEarlyIsResumedNeverCutShort) {
  platform.sleep_percent = 40;
  run_clean(platform, "d:\\pub", "Y");
  EXPECT_GE(platform.launches.back().at, k_delay);
  EXPECT_LT(platform.launches.back().at, k_delay + milliseconds(1));
  EXPECT_GT(platform.sleeps.size(), 1u);
}

TEST_F(CleaningRun, SlowDeletionsAreFollowedByTheStartAtOnce) {
  platform.launch_cost = seconds(4);
  run_clean(platform, "d:\\pub", "Y");
  ASSERT_EQ(platform.launches.size(), 4u);
  EXPECT_EQ(platform.launches.back().at, seconds(12)) << "right after the last deletion";
  EXPECT_TRUE(platform.sleeps.empty());
}

TEST_F(CleaningRun, NothingToDeleteStillRestartsOnTime) {
  platform.folders["d:\\pub"] = {entry("."), entry("..")};
  run_clean(platform, "d:\\pub", "Y");
  ASSERT_EQ(platform.launches.size(), 2u);
  EXPECT_EQ(platform.launches.back().at, k_delay);
}

TEST_F(CleaningRun, MissingFolderStillStopsAndStartsTheService) {
  const Failures report = run_clean(platform, "d:\\gone", "Y");
  EXPECT_TRUE(report.noted(Failure::folder_not_listed));
  EXPECT_EQ(platform.launched_texts(),
            (std::vector<std::string>{"sc stop \"Clarion Application Broker\"",
                                      "sc start \"Clarion Application Broker\""}));
}

TEST_F(CleaningRun, FailedServiceCommandIsReportedAndTheRunGoesOn) {
  platform.launch_fails = [](const Launch& l) { return l.kind == Launch::Kind::command; };
  const Failures report = run_clean(platform, "d:\\pub", "Y");
  EXPECT_TRUE(report.noted(Failure::launch_failed));
  EXPECT_EQ(platform.deleted_names(), (std::vector<std::string>{"b", "a"}));
}

}  // namespace
}  // namespace sweepmark
