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
using testing::wide_entry;

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
    EXPECT_EQ(judge(c.entry, NameRules::windows, k_code_page_western), c.windows);
    EXPECT_EQ(judge(c.entry, NameRules::posix, k_code_page_western), c.posix);
  }
}

// Names in code page 932 whose trail bytes read as '\' and '|' byte by byte: ソフト, 表示, ポート.
const std::string k_software_932 = "\x83\x5C\x83\x74\x83\x67";
const std::string k_display_932 = "\x95\x5C\x8E\xA6";
const std::string k_port_932 = "\x83\x7C\x81\x5B\x83\x67";
// Full-width ＡＳＳＥＴＳ in 932 and in UTF-8; full-width ．． and ｏｎｅ in UTF-8.
const std::string k_full_assets_932 = "\x82\x60\x82\x72\x82\x72\x82\x64\x82\x73\x82\x72";
const std::string k_full_assets =
    "\xEF\xBC\xA1\xEF\xBC\xB3\xEF\xBC\xB3\xEF\xBC\xA5\xEF\xBC\xB4\xEF\xBC\xB3";
const std::string k_full_dots = "\xEF\xBC\x8E\xEF\xBC\x8E";
const std::string k_full_one = "\xEF\xBD\x8F\xEF\xBD\x8E\xEF\xBD\x85";

TEST(Purge, JudgesNamesByTheCodePageOfTheListing) {
  struct Case {
    FolderEntry entry;
    Verdict in_932;
    Verdict in_1252;
  };
  const std::vector<Case> cases = {
      {entry(k_software_932), Verdict::remove, Verdict::unsafe},
      {entry(k_display_932), Verdict::remove, Verdict::unsafe},
      {entry(k_port_932), Verdict::remove, Verdict::unsafe},
      {entry(k_full_assets_932), Verdict::remove, Verdict::remove},
      {entry("ASSETS"), Verdict::keep, Verdict::keep},
      {entry("caf\xE9"), Verdict::unsafe, Verdict::remove},
      // A name the code page cannot carry: its exact long name decides, never its alias.
      {wide_entry(k_full_assets, "ASSETS"), Verdict::remove, Verdict::remove},
      {wide_entry(k_full_dots, ".."), Verdict::remove, Verdict::remove},
      {wide_entry(k_full_one, "ONE~1"), Verdict::remove, Verdict::remove},
      {wide_entry("\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0", "0A0F~1"), Verdict::remove,
       Verdict::remove},
      {wide_entry("assets", "X"), Verdict::keep, Verdict::keep},
      {wide_entry("..", "X"), Verdict::keep, Verdict::keep},
      {wide_entry("\xE3\x82\xBD.", "X"), Verdict::unsafe, Verdict::unsafe},
      {wide_entry("COM\xC2\xB9", "X"), Verdict::unsafe, Verdict::unsafe},
      {wide_entry("\xC3", "X"), Verdict::unsafe, Verdict::unsafe},
      {wide_entry("", "X", NameForm::none), Verdict::unsafe, Verdict::unsafe},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.entry.NAME));
    EXPECT_EQ(judge(c.entry, NameRules::windows, k_code_page_japanese), c.in_932);
    EXPECT_EQ(judge(c.entry, NameRules::windows, k_code_page_western), c.in_1252);
  }
  FolderEntry wide_file = wide_entry(k_full_one, "ONE~1");
  wide_file.ATTRIB = k_attrib_archive;
  EXPECT_EQ(judge(wide_file, NameRules::windows, k_code_page_western), Verdict::keep);
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
    EXPECT_EQ(judge(e, NameRules::posix, k_code_page_western), c.verdict);
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

TEST_F(PurgeRun, DoubleByteNamesGoByTheirExactBytesUnderTheirCodePage) {
  const FolderEntries listing = {entry(k_software_932), entry(k_display_932), entry(k_port_932),
                                 entry("ASSETS"), entry(k_full_assets_932)};
  platform.code_page = k_code_page_japanese;
  platform.folders["d:\\pub"] = listing;
  EXPECT_TRUE(run().none());
  EXPECT_EQ(platform.deleted_names(), (std::vector<std::string>{k_full_assets_932, k_port_932,
                                                                k_display_932, k_software_932}));
  EXPECT_EQ(platform.launches[2].text,
            "cmd.exe /d /e:ON /v:OFF /c rmdir \"d:\\pub\\" + k_display_932 + "\" /s /q");

  // Read as code page 1252 the same bytes hold '\' and '|': skipped, and reported.
  FakePlatform western;
  western.folders["d:\\pub"] = listing;
  FolderEntries list_1252;
  const Failures report = purge(*western.open_folder("d:\\pub"), "d:\\pub", list_1252);
  EXPECT_EQ(western.deleted_names(), std::vector<std::string>{k_full_assets_932});
  EXPECT_EQ(report.exit_code(), 16);
}

TEST_F(PurgeRun, NamesBeyondTheCodePageGoInUtf8AndTheirTwinsStay) {
  platform.folders["d:\\pub"] = {entry("ASSETS"), entry("one"), wide_entry(k_full_one, "ONE~1"),
                                 wide_entry(k_full_assets, "ASSETS~1"),
                                 wide_entry(k_full_dots, "")};
  EXPECT_TRUE(run().none());
  EXPECT_EQ(platform.deleted_names(),
            (std::vector<std::string>{k_full_dots, k_full_assets, k_full_one, "one"}));
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(platform.launches[i].form, NameForm::utf8);
  }
  EXPECT_EQ(platform.launches[3].form, NameForm::ansi);
  EXPECT_EQ(platform.launches[2].text,
            "cmd.exe /d /e:ON /v:OFF /c rmdir \"d:\\pub\\" + k_full_one + "\" /s /q");
}

TEST_F(PurgeRun, WhatCannotBeHandedOverIsSkippedAndTheRestGoOn) {
  platform.folders["d:\\pub"] = {entry("before"), entry("too long"),
                                 wide_entry("", "HALF~1", NameForm::none), entry("after")};
  platform.out_of_reach = {"too long"};
  const Failures report = run();
  EXPECT_EQ(platform.deleted_names(), (std::vector<std::string>{"after", "before"}));
  EXPECT_EQ(report.exit_code(), 16);
}

}  // namespace
}  // namespace sweepmark
