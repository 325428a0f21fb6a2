// What the purge selects and what it asks the opened public folder to remove.

#include "clean/purge.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "winrules/name_rules.h"

namespace sweepmark {
namespace {

using testing::entry;
using testing::FakePlatform;

constexpr std::uint8_t k_dir = k_attrib_directory;

TEST(Purge, JudgesEveryKindOfEntry) {
  struct Case {
    FolderEntry entry;
    Verdict windows;
    Verdict posix;
  };
  const std::vector<Case> cases = {
      {entry("ASSETS"), Verdict::keep, Verdict::keep},
      {entry("assets"), Verdict::keep, Verdict::keep},
      {entry("Assets"), Verdict::keep, Verdict::keep},
      // A long name whose alias is not ASSETS, and the other way round.
      {entry("Assets Archive", k_dir, "ASSETS~1"), Verdict::remove, Verdict::remove},
      {entry("assets", k_dir, "ASSETS~2"), Verdict::keep, Verdict::keep},
      {entry("Old assets", k_dir, "ASSETS"), Verdict::keep, Verdict::keep},
      {entry("ASSETS-old"), Verdict::remove, Verdict::remove},
      {entry("."), Verdict::keep, Verdict::keep},
      {entry(".."), Verdict::keep, Verdict::keep},
      {entry("..", k_dir, "DOTDOT"), Verdict::keep, Verdict::keep},
      {entry("cache"), Verdict::remove, Verdict::remove},
      {entry("hidden", k_dir | k_attrib_hidden), Verdict::remove, Verdict::remove},
      {entry("system", k_dir | k_attrib_system | k_attrib_hidden), Verdict::remove,
       Verdict::remove},
      {entry("readonly", k_dir | k_attrib_read_only), Verdict::remove, Verdict::remove},
      {entry("file.txt", k_attrib_archive), Verdict::keep, Verdict::keep},
      {entry("plain", 0), Verdict::keep, Verdict::keep},
      {entry("link", k_dir, "", true), Verdict::remove, Verdict::remove},
      // Windows strips trailing dots and blanks: "ASSETS." and "ASSETS " address ASSETS.
      {entry("ASSETS."), Verdict::unsafe, Verdict::remove},
      {entry("x."), Verdict::unsafe, Verdict::remove},
      {entry("ASSETS "), Verdict::keep, Verdict::keep},
      {entry("x "), Verdict::unsafe, Verdict::remove},
      // What a lossy ANSI conversion leaves behind.
      {entry("caf?"), Verdict::unsafe, Verdict::remove},
      {entry("a*b"), Verdict::unsafe, Verdict::remove},
      {entry("a\"b"), Verdict::unsafe, Verdict::remove},
      {entry("a:b"), Verdict::unsafe, Verdict::remove},
      {entry("a\\b"), Verdict::unsafe, Verdict::remove},
      {entry("a|b<c>"), Verdict::unsafe, Verdict::remove},
      {entry("tab\there"), Verdict::unsafe, Verdict::remove},
      {entry("CON"), Verdict::unsafe, Verdict::remove},
      {entry("lpt1.log"), Verdict::unsafe, Verdict::remove},
      {entry("COM\xb9"), Verdict::unsafe, Verdict::remove},
      {entry("lpt\xb3.log"), Verdict::unsafe, Verdict::remove},
      {entry("COM0"), Verdict::unsafe, Verdict::remove},
      {entry("COMA"), Verdict::remove, Verdict::remove},
      {entry("CONSOLE"), Verdict::remove, Verdict::remove},
      // Characters the command interpreter treats specially are quoted, not refused.
      {entry("a b & rd ASSETS"), Verdict::remove, Verdict::remove},
      {entry("%PATH%!x!^(1),;="), Verdict::remove, Verdict::remove},
      {entry("-rf"), Verdict::remove, Verdict::remove},
      {entry("$(touch x)`y`"), Verdict::remove, Verdict::remove},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("'" + c.entry.NAME + "' / '" + std::string(c.entry.SHORTNAME.clipped()) + "'");
    EXPECT_EQ(judge(c.entry, NameRules::windows), c.windows);
    EXPECT_EQ(judge(c.entry, NameRules::posix), c.posix);
  }
}

TEST(Purge, PosixNamesAreExact) {
  // As a POSIX listing gives them: a name is its own short name only where it is a valid 8.3
  // name, so no longer name can be clipped or cut into ASSETS, "." or "..".
  struct Case {
    const char* name;
    Verdict verdict;
  };
  const std::vector<Case> cases = {
      {"ASSETS", Verdict::keep},    {"assets", Verdict::keep}, {"aSsEtS", Verdict::keep},
      {".", Verdict::keep},         {"..", Verdict::keep},     {"ASSETS ", Verdict::remove},
      {". ", Verdict::remove},      {".. ", Verdict::remove},  {"ASSETS       x", Verdict::remove},
      {"ASSETS.", Verdict::remove}, {"...", Verdict::remove},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.name + "'");
    FolderEntry e = entry(c.name);
    if (!is_short_name(c.name) && !is_dot_name(c.name)) {
      e.SHORTNAME = std::string_view();
    }
    EXPECT_EQ(judge(e, NameRules::posix), c.verdict);
  }
}

TEST(Purge, ShortNamesAreValid83NamesOnly) {
  for (const char* name : {"ASSETS", "a", "readme.txt", "12345678.abc", "A~1"}) {
    EXPECT_TRUE(is_short_name(name)) << name;
  }
  for (const char* name : {"", ".", "..", "ASSETS ", " ASSETS", "123456789", "a.abcd", "a.b.c",
                           "a.", ".a", "a b", "a+b", "a\tb"}) {
    EXPECT_FALSE(is_short_name(name)) << name;
  }
}

class PurgeRun : public ::testing::Test {
 protected:
  Failures run(std::string_view folder = "d:\\pub") {
    const std::unique_ptr<PublicFolder> opened = platform.open_folder(folder);
    return purge(*opened, folder, list);
  }
  FakePlatform platform;
  FolderEntries list;
};

TEST_F(PurgeRun, DeletesSubfoldersLastListedFirstAndSparesTheRest) {
  platform.folders["d:\\pub"] = {entry("."),
                                 entry(".."),
                                 entry("one"),
                                 entry("assets"),
                                 entry("f", 0x20),
                                 entry("two"),
                                 entry(".hidden", k_dir | k_attrib_hidden)};
  const Failures report = run();
  EXPECT_EQ(platform.deleted_names(), (std::vector<std::string>{".hidden", "two", "one"}));
  EXPECT_TRUE(report.none());
  EXPECT_EQ(platform.launches[0].text,
            R"(cmd.exe /d /e:ON /v:OFF /c rmdir "d:\pub\.hidden" /s /q)");
  EXPECT_EQ(platform.launches[0].folder, "d:\\pub");
  for (const std::string& call : platform.calls) {
    EXPECT_TRUE(call.starts_with("list ") || call.starts_with("launch ")) << call;
  }
}

TEST_F(PurgeRun, OnlyAssetsAndFilesMeansNothingToDo) {
  platform.folders["d:\\pub"] = {entry("."), entry(".."), entry("ASSETS"), entry("a.txt", 0x20)};
  const Failures report = run();
  EXPECT_TRUE(platform.launches.empty());
  EXPECT_FALSE(report.noted(Failure::folder_not_listed));
}

TEST_F(PurgeRun, MissingFolderIsReportedAndDeletesNothing) {
  const Failures report = run("d:\\missing");
  EXPECT_TRUE(report.noted(Failure::folder_not_listed));
  EXPECT_TRUE(platform.launches.empty());
}

TEST_F(PurgeRun, UnsafeNamesAreSkippedAndReported) {
  platform.folders["d:\\pub"] = {entry("ASSETS."), entry("good"), entry("bad?")};
  const Failures report = run();
  EXPECT_EQ(platform.deleted_names(), std::vector<std::string>{"good"});
  EXPECT_TRUE(report.noted(Failure::subfolder_skipped));
}

TEST_F(PurgeRun, PosixUsesTheExactNameWhateverItHolds) {
  platform.rules = NameRules::posix;
  platform.folders["/srv/pub"] = {entry("trailing "), entry("q\"uote"), entry("ASSETS.")};
  const Failures report = run("/srv/pub");
  EXPECT_EQ(platform.deleted_names(),
            (std::vector<std::string>{"ASSETS.", "q\"uote", "trailing "}));
  EXPECT_FALSE(report.noted(Failure::subfolder_skipped));
}

TEST_F(PurgeRun, FailedLaunchIsReportedAndTheRestGoOn) {
  platform.folders["d:\\pub"] = {entry("a"), entry("b"), entry("c")};
  platform.launch_fails = [](const testing::Launch& l) { return l.name == "b"; };
  const Failures report = run();
  EXPECT_EQ(platform.deleted_names(), (std::vector<std::string>{"c", "a"}));
  EXPECT_TRUE(report.noted(Failure::launch_failed));
}

TEST_F(PurgeRun, LongCommandsAreLaunchedWhole) {
  const std::string folder = "d:\\" + std::string(252, 'p');
  const std::string name(255, 'n');
  platform.folders[folder] = {entry(name)};
  run(folder);
  ASSERT_EQ(platform.launches.size(), 1u);
  EXPECT_EQ(platform.launches[0].text,
            "cmd.exe /d /e:ON /v:OFF /c rmdir \"" + folder + "\\" + name + "\" /s /q");
  EXPECT_EQ(platform.launches[0].name, name);
}

TEST_F(PurgeRun, LinksAreRemovedAsLinks) {
  platform.folders["d:\\pub"] = {entry("junction", k_dir, "", true)};
  run();
  ASSERT_EQ(platform.launches.size(), 1u);
  EXPECT_TRUE(platform.launches[0].link);
  EXPECT_EQ(platform.launches[0].text, R"(cmd.exe /d /e:ON /v:OFF /c rmdir "d:\pub\junction")");
}

}  // namespace
}  // namespace sweepmark
