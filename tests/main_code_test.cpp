// The program from start to end against the fake platform: the steps and their order, discovery,
// the guards, the INI manager's bookkeeping and the exit code.

#include "app/main_code.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/ini_manager.h"
#include "clean/failures.h"
#include "fake_platform.h"

namespace sweepmark {
namespace {

using testing::entry;
using testing::FakePlatform;
using testing::Launch;

constexpr const char* k_ini = ".\\Sweepmark.ini";
const std::string k_stop = "sc stop \"Clarion Application Broker\"";
const std::string k_start = "sc start \"Clarion Application Broker\"";

class MainCode : public ::testing::Test {
 protected:
  void settings(const std::string& text) { platform.set_file(k_ini, text); }
  std::string settings() const { return platform.file(k_ini); }
  int run() { return main_code(platform); }
  FakePlatform platform;
};

TEST_F(MainCode, TypicalRunTakesItsStepsInOrder) {
  settings("[Q9Actions]\r\nPublicPath=d:\\pub\r\nRestart=Y\r\n");
  platform.folders["d:\\pub"] = {entry("."), entry(".."), entry("ASSETS"), entry("x")};
  EXPECT_EQ(run(), 0);
  const std::vector<std::string> expected = {
      "read __Dont_Touch_Me__ Sectors",
      "icon tango-clear.ico",
      "read Q9Actions PublicPath",
      "read Q9Actions Restart",
      "launch " + k_stop,
      "list d:\\pub",
      R"(launch cmd.exe /d /e:ON /v:OFF /c rmdir "d:\pub\x" /s /q)",
      "sleep",
      "launch " + k_start,
      "write __Dont_Touch_Me__ Sectors=0",
  };
  EXPECT_EQ(platform.calls, expected);
  EXPECT_EQ(
      settings(),
      "[Q9Actions]\r\nPublicPath=d:\\pub\r\nRestart=Y\r\n[__Dont_Touch_Me__]\r\nSectors=0\r\n");
}

TEST_F(MainCode, FirstRunWithoutAnythingRecordsTheRestartFlagOnly) {
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(settings(), "[Q9Actions]\r\nRestart=Y\r\n");
  EXPECT_TRUE(platform.launches.empty());
  const auto tested = std::count_if(platform.calls.begin(), platform.calls.end(),
                                    [](const std::string& c) { return c.starts_with("test "); });
  EXPECT_EQ(tested, 4);
}

TEST_F(MainCode, DiscoveryRecordsTheLastCandidatePresentAndCleansNextTime) {
  platform.present_paths = {"c:\\AppBroker\\public\\", "d:\\ClarionAppBroker\\public\\"};
  platform.folders["d:\\ClarionAppBroker\\public"] = {entry("old")};
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(settings(), "[Q9Actions]\r\nPublicPath=d:\\ClarionAppBroker\\public\r\nRestart=Y\r\n");
  EXPECT_TRUE(platform.launches.empty());
  const std::vector<std::string> tests = {
      "test c:\\AppBroker\\public\\", "test c:\\ClarionAppBroker\\public\\",
      "test d:\\AppBroker\\public\\", "test d:\\ClarionAppBroker\\public\\"};
  std::vector<std::string> seen;
  std::copy_if(platform.calls.begin(), platform.calls.end(), std::back_inserter(seen),
               [](const std::string& c) { return c.starts_with("test "); });
  EXPECT_EQ(seen, tests);

  EXPECT_EQ(run(), 0);
  EXPECT_EQ(platform.launched_texts().front(), k_stop);
  EXPECT_EQ(platform.deleted_names(), std::vector<std::string>{"old"});
}

TEST_F(MainCode, BlankPublicPathValueGoesThroughDiscovery) {
  settings("[Q9Actions]\r\nPublicPath=\r\nRestart=\r\n");
  platform.present_paths = {"d:\\AppBroker\\public\\"};
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(settings(), "[Q9Actions]\r\nPublicPath=d:\\AppBroker\\public\r\nRestart=Y\r\n");
  EXPECT_TRUE(platform.launches.empty());
}

TEST_F(MainCode, RootsAreRefusedBeforeAnythingHappens) {
  for (const char* root : {"c:\\", "C:\\", "d:", "c:/", "\\\\srv\\share", "c:\\windows\\.."}) {
    SCOPED_TRACE(root);
    platform = FakePlatform();
    const std::string text = "[Q9Actions]\r\nPublicPath=" + std::string(root) + "\r\nRestart=Y\r\n";
    settings(text);
    platform.folders[root] = {entry("Windows")};
    EXPECT_EQ(run(), static_cast<int>(Failure::root_refused));
    EXPECT_TRUE(platform.launches.empty());
    EXPECT_EQ(settings(), text) << "no bookkeeping is written";
  }
}

TEST_F(MainCode, RestartValueGovernsServiceControlAndIsCompletedWhenBlank) {
  struct Case {
    const char* line;
    bool control;
    const char* written;
  };
  const std::vector<Case> cases = {
      {"Restart=Y", true, nullptr},     {"Restart=yes", true, nullptr},
      {"Restart=N", false, nullptr},    {"Restart=no", false, nullptr},
      {"Restart=", false, "Restart=Y"}, {"", false, "Restart=Y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    platform = FakePlatform();
    settings("[Q9Actions]\r\nPublicPath=d:\\pub\r\n" + std::string(c.line) + "\r\n");
    platform.folders["d:\\pub"] = {entry("x")};
    EXPECT_EQ(run(), 0);
    const std::vector<std::string> texts = platform.launched_texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), k_stop), c.control ? 1 : 0);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), k_start), c.control ? 1 : 0);
    EXPECT_EQ(platform.deleted_names(), std::vector<std::string>{"x"});
    if (c.written != nullptr) {
      EXPECT_NE(settings().find(c.written), std::string::npos);
    }
  }
}

TEST_F(MainCode, LongPublicPathIsRefusedNeverCut) {
  // Cut to 255 characters, this path ends in a separator and names its parent folder.
  const std::string parent = "d:\\" + std::string(251, 'p') + "\\";
  const std::string path = parent + std::string(45, 'c');
  ASSERT_EQ(parent.size(), 255u);
  const std::string text = "[Q9Actions]\r\nPublicPath=" + path + "\r\nRestart=Y\r\n";
  settings(text);
  platform.folders[parent] = {entry("other")};
  platform.folders[path] = {entry("x")};
  EXPECT_EQ(run(), static_cast<int>(Failure::root_refused));
  EXPECT_TRUE(platform.launches.empty());
  EXPECT_EQ(settings(), text) << "no bookkeeping is written";
}

TEST_F(MainCode, FolderThatResolvesToARootIsRefusedBeforeAnythingHappens) {
  // Text the guard lets through, but the system resolves to a root: a climb, a link, a mount.
  for (const char* path : {"..\\..\\..", "c:\\rootlink", "\\??\\E:\\"}) {
    SCOPED_TRACE(path);
    platform = FakePlatform();
    const std::string text = "[Q9Actions]\r\nPublicPath=" + std::string(path) + "\r\nRestart=Y\r\n";
    settings(text);
    platform.folders[path] = {entry("Windows")};
    platform.root_folders = {path};
    EXPECT_EQ(run(), static_cast<int>(Failure::root_refused));
    EXPECT_TRUE(platform.launches.empty());
    EXPECT_EQ(settings(), text) << "no bookkeeping is written";
  }
}

TEST_F(MainCode, ExitCodeNamesWhatFailed) {
  struct Case {
    const char* what;
    std::function<void(FakePlatform&)> arrange;
    int code;
  };
  const std::vector<Case> cases = {
      {"all well", [](FakePlatform&) {}, 0},
      {"settings not written", [](FakePlatform& p) { p.fail_writes = true; }, 1},
      {"folder not listed", [](FakePlatform& p) { p.folders.clear(); }, 2},
      {"launch failed",
       [](FakePlatform& p) {
         p.launch_fails = [](const Launch& l) { return l.kind == Launch::Kind::command; };
       },
       8},
      {"name skipped", [](FakePlatform& p) { p.folders["d:\\pub"].push_back(entry("bad.")); }, 16},
      {"several at once",
       [](FakePlatform& p) {
         p.fail_writes = true;
         p.folders.clear();
       },
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform = FakePlatform();
    settings("[Q9Actions]\r\nPublicPath=d:\\pub\r\nRestart=Y\r\n");
    platform.folders["d:\\pub"] = {entry("x")};
    c.arrange(platform);
    EXPECT_EQ(run(), c.code);
  }
}

TEST_F(MainCode, FailedDiscoveryWriteIsReported) {
  platform.fail_writes = true;
  platform.present_paths = {"c:\\AppBroker\\public\\"};
  EXPECT_EQ(run(), static_cast<int>(Failure::settings_not_written));
}

TEST_F(MainCode, BookkeepingSurvivesARunUnchanged) {
  const std::string text =
      "[Q9Actions]\r\nPublicPath=d:\\pub\r\nRestart=N\r\n"
      "[__Dont_Touch_Me__]\r\nSectors=3\r\nSectors_1=Win,Main,1\r\n"
      "Sectors_2=odd entry without commas\r\nSectors_3=a,b,c,d,e\r\nSectors_9=above the count\r\n";
  settings(text);
  platform.folders["d:\\pub"] = {};
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(settings(), text);
}

TEST_F(MainCode, HostileSectorCountsNeitherHangNorGrowTheFile) {
  struct Case {
    const char* count;
    const char* written;  // what Sectors reads afterwards
  };
  const std::vector<Case> cases = {
      {"2147483647", "2147483647"},
      {"4000000000", "0"},
      {"99999999999999999999999", "0"},
      {"-5", "0"},
      {"abc", "0"},
      {"", "0"},
      {"12abc", "0"},
      {"+2", "0"},
      {"007", "7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    platform = FakePlatform();
    settings("[Q9Actions]\r\nPublicPath=d:\\pub\r\nRestart=N\r\n[__Dont_Touch_Me__]\r\nSectors=" +
             std::string(c.count) + "\r\nSectors_1=a,b,c\r\n");
    platform.folders["d:\\pub"] = {};
    EXPECT_EQ(run(), 0);
    const std::string after = settings();
    EXPECT_EQ(after,
              "[Q9Actions]\r\nPublicPath=d:\\pub\r\nRestart=N\r\n[__Dont_Touch_Me__]\r\n"
              "Sectors=" +
                  std::string(c.written) + "\r\nSectors_1=a,b,c\r\n");
    EXPECT_LE(platform.calls.size(), 20u);
  }
}

TEST(IniManager, HoldsWhatTheFileHoldsWithinItsBound) {
  FakePlatform platform;
  std::string text = "[__Dont_Touch_Me__]\r\nSectors=5000\r\n";
  for (int i = 1; i <= 5000; ++i) {
    text += "Sectors_" + std::to_string(i) + "=F" + std::to_string(i) + ",I,T\r\n";
  }
  platform.set_file(".\\Sweepmark.INI", text);
  IniManager ini;
  ini.init(platform, ".\\Sweepmark.INI");
  EXPECT_EQ(ini.count(), 5000u);
  ASSERT_EQ(ini.entries().size(), k_max_held_sectors);
  EXPECT_EQ(ini.entries()[41].FAMILY.clipped(), "F42");
  EXPECT_EQ(ini.entries()[41].ITEM.clipped(), "I");
  EXPECT_EQ(ini.entries()[41].TYPE.clipped(), "T");
  EXPECT_TRUE(ini.shutdown(platform));
  EXPECT_EQ(platform.file(".\\Sweepmark.ini"), text);
}

TEST(IniManager, SplitsEntriesIntoTheirFields) {
  const SectorEntry plain = parse_sector_entry("Window,Main,Size");
  EXPECT_EQ(plain.FAMILY.clipped(), "Window");
  EXPECT_EQ(plain.TYPE.clipped(), "Size");
  const SectorEntry short_one = parse_sector_entry("only");
  EXPECT_EQ(short_one.FAMILY.clipped(), "only");
  EXPECT_EQ(short_one.ITEM.clipped(), "");
  const SectorEntry wide = parse_sector_entry(std::string(150, 'w') + ",b,c,d");
  EXPECT_EQ(wide.FAMILY.clipped().size(), 99u);
  EXPECT_EQ(wide.TYPE.clipped(), "c");
  EXPECT_EQ(wide.value, std::string(150, 'w') + ",b,c,d");
}

}  // namespace
}  // namespace sweepmark
