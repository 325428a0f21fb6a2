// Launches that fail partway: a process limit lets the first deletions start and refuses the
// rest. Nothing but the selected subfolders may go, none may go halfway, and the run must say that
// launches failed.

#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "posix_kit.h"

namespace sweepmark::testing {
namespace {

constexpr int k_launch_failed = 8;

TEST(ProcessLimit, FailedLaunchesAreReportedAndDeleteNothingWrong) {
  if (!running_as_root()) {
    GTEST_SKIP() << "a process limit binds only a user without privileges, which root can become";
  }
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  const std::string pub = scratch / "pub";
  const std::string outside = scratch / "outside";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  std::vector<std::string> subfolders = {"ASSETS"};
  for (int i = 0; i < 200; ++i) {
    subfolders.push_back("s" + std::to_string(1000 + i));
  }
  make_folder(pub, subfolders);
  write_file(pub + "/notes.txt", "kept");
  make_folder(outside, {"x"});
  ASSERT_EQ(::symlink(outside.c_str(), (pub + "/to-outside").c_str()), 0);
  write_file(work + "/Sweepmark.ini", settings_text(pub));

  // The program counts as one process of its user, so two deletions can start at once; the rest
  // fail for as long as those two have not ended and been reaped.
  const uid_t user = unused_uid();
  give_tree(scratch.path(), user);
  EXPECT_EQ(run_program(work, {.user = user, .process_limit = 3, .path_variable = {}}),
            k_launch_failed);

  EXPECT_TRUE(whole(pub + "/ASSETS"));
  EXPECT_EQ(read_file(pub + "/notes.txt"), "kept");
  EXPECT_TRUE(whole(outside + "/x"));
  int left = 0;
  for (const std::string& name : names_in(pub)) {
    if (name.starts_with("s")) {
      ++left;
      EXPECT_TRUE(whole((std::filesystem::path(pub) / name))) << name << " was deleted halfway";
    }
  }
  EXPECT_GT(left, 0) << "every launch succeeded: the limit did not bind";
  EXPECT_LT(left, 200) << "no launch succeeded";
}

}  // namespace
}  // namespace sweepmark::testing
