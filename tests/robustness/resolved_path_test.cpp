// What a path resolves to, not its text: public folders that resolve to the root of the file
// system, bind mounts inside the public folder, a cut path, exact names, and files that would
// block. The root and mount cases run in a mount namespace of their own whose "/" is a scratch
// folder, so that a failure destroys nothing real.

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "app/main_code.h"
#include "platform/platform.h"
#include "posix_kit.h"

namespace sweepmark::testing {
namespace {

constexpr int k_settings_not_written = 1;
constexpr int k_root_refused = 4;

// Codes the child uses when it could not set up its namespace; the run itself never gets there.
constexpr int k_setup_failed = 100;

/// Tests that need root say so loudly: in CI (which runs as root) their absence is a failure.
bool root_or_say_so() {
  if (running_as_root()) {
    return true;
  }
  if (std::getenv("CI") != nullptr) {
    ADD_FAILURE() << "this test needs root, and CI runs as root";
  } else {
    (void)std::fprintf(stderr, "*** NOT RUN: this test needs root (mount namespaces) ***\n");
  }
  return false;
}

// The code of a run whose inspection found what it left wrong.
constexpr int k_inspection_failed = 99;

/// The child of run_in_namespace: its exit code.
int run_child(const std::string& work, const std::function<bool()>& prepare,
              const std::string& new_root, const std::function<bool()>& inspect) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  // Every step must succeed, or the run must not happen at all: it could reach the real root.
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || !prepare()) {
    return k_setup_failed;
  }
  if (!new_root.empty()) {
    const std::string proc = new_root + "/proc";
    if (::mkdir(proc.c_str(), 0755) != 0 ||
        ::mount("proc", proc.c_str(), "proc", 0, nullptr) != 0 || ::chroot(new_root.c_str()) != 0) {
      return k_setup_failed + 1;
    }
  }
  if (::chdir(work.c_str()) != 0) {
    return k_setup_failed + 2;
  }
  const int code = main_code(*make_real_platform());
  if (inspect) {
    while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
    if (!inspect()) {
      return k_inspection_failed;
    }
  }
  return code;
}

/// Runs the program's main code in a child process with a mount namespace of its own: `prepare`
/// mounts what the test needs there; with `new_root` the child then changes its root to that
/// folder (with /proc mounted in it). The child works in `work` (a path inside the new root).
/// With `inspect`, the child waits for every process it started and then asks `inspect` whether
/// what is left inside its namespace is right. Returns the exit code once the child and every
/// process it started have ended.
int run_in_namespace(const std::string& work, const std::function<bool()>& prepare,
                     const std::string& new_root = {}, const std::function<bool()>& inspect = {}) {
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  const pid_t child = ::fork();
  if (child < 0) {
    return -1;
  }
  if (child == 0) {
    // The child never returns into the test framework, whatever happens in it.
    try {
      ::_exit(run_child(work, prepare, new_root, inspect));
    } catch (...) {
      ::_exit(k_setup_failed + 3);
    }
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  wait_for_all_children();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Inside the throwaway root: the program runs in /work/a/b/c; /victim stands for everything the
// real root holds; /work/pub is an ordinary public folder.
struct RootCase {
  const char* name;
  const char* public_path;
  int exit_code;
};

void PrintTo(const RootCase& c, std::ostream* out) {
  *out << c.name;
}

class ResolvedRoot : public ::testing::TestWithParam<RootCase> {};

TEST_P(ResolvedRoot, IsRefusedHoweverThePathReachesIt) {
  if (!root_or_say_so()) {
    GTEST_SKIP();
  }
  ScratchFolder scratch;
  const std::string root = scratch / "root";
  const std::string work = "/work/a/b/c";
  ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
  make_folder(root + "/victim", {"data"});
  make_folder(root + "/work", {"a"});
  make_folder(root + "/work/a/b", {"c"});
  make_folder(root + "/work/pub", {"ASSETS", "old"});
  ASSERT_EQ(::symlink("/", (root + "/work/rootlink").c_str()), 0);
  ASSERT_EQ(::symlink("/work/chain2", (root + "/work/chain1").c_str()), 0);
  ASSERT_EQ(::symlink("../work/rootlink", (root + "/work/chain2").c_str()), 0);
  const std::string text = settings_text(GetParam().public_path);
  write_file(root + work + "/Sweepmark.ini", text);

  EXPECT_EQ(run_in_namespace(
                work, [] { return true; }, root),
            GetParam().exit_code);

  EXPECT_TRUE(whole(root + "/victim/data"));
  EXPECT_TRUE(whole(root + "/work/pub/ASSETS"));
  if (GetParam().exit_code == k_root_refused) {
    EXPECT_TRUE(whole(root + "/work/pub/old"));
    EXPECT_EQ(read_file(root + work + "/Sweepmark.ini"), text) << "the settings file is untouched";
  } else {
    EXPECT_EQ(names_in(root + "/work/pub"), std::vector<std::string>{"ASSETS"});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Links, ResolvedRoot,
    ::testing::Values(RootCase{"ClimbWithSlashes", "../../../..", k_root_refused},
                      RootCase{"ClimbWithBackslashes", "..\\..\\..\\..", k_root_refused},
                      RootCase{"ClimbPastTheRoot", "../../../../../..", k_root_refused},
                      RootCase{"Link", "/work/rootlink", k_root_refused},
                      RootCase{"ChainOfLinks", "/work/chain1", k_root_refused},
                      RootCase{"ProcSelfRoot", "/proc/self/root", k_root_refused},
                      RootCase{"LinkThenClimb", "/work/rootlink/work/..", k_root_refused},
                      // The same harness cleans an ordinary folder, so the refusals are real.
                      RootCase{"OrdinaryFolder", "../../../pub", 0}),
    [](const auto& test) { return std::string(test.param.name); });

// Bind mounts of the same file system share its device number; only the mount tells them apart.
TEST(BindMounts, WhatTheyLeadToSurvivesAndTheirNeighboursGo) {
  if (!root_or_say_so()) {
    GTEST_SKIP();
  }
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  const std::string pub = scratch / "pub";
  const std::string outside = scratch / "outside";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  make_folder(pub, {"ASSETS", "plain", "top", "alias", "deep"});
  make_folder(pub + "/deep", {"inner", "sibling"});
  make_folder(pub + "/deep/inner", {"bound"});
  make_folder(outside, {"precious", "deeper"});
  write_file(work + "/Sweepmark.ini", settings_text(pub));

  const int code = run_in_namespace(work, [&] {
    // At the top of the public folder; ASSETS under another name; deep inside a subfolder.
    return ::mount((outside + "/precious").c_str(), (pub + "/top").c_str(), nullptr, MS_BIND,
                   nullptr) == 0 &&
           ::mount((pub + "/ASSETS").c_str(), (pub + "/alias").c_str(), nullptr, MS_BIND,
                   nullptr) == 0 &&
           ::mount((outside + "/deeper").c_str(), (pub + "/deep/inner/bound").c_str(), nullptr,
                   MS_BIND, nullptr) == 0;
  });
  EXPECT_EQ(code, 0);

  EXPECT_TRUE(whole(outside + "/precious"));
  EXPECT_TRUE(whole(outside + "/deeper"));
  EXPECT_TRUE(whole(pub + "/ASSETS"));
  EXPECT_FALSE(named(pub + "/plain"));
  EXPECT_FALSE(named(pub + "/deep/sibling"));
  EXPECT_FALSE(named(pub + "/deep/keep"));
  EXPECT_FALSE(named(pub + "/deep/inner/keep"));
}

// A separate file system mounted as the public folder is the root of that file system, but not
// "/": it is cleaned like any other folder.
TEST(MountedPublicFolder, IsNoRootAndIsCleaned) {
  if (!root_or_say_so()) {
    GTEST_SKIP();
  }
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  const std::string pub = scratch / "pub";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(pub.c_str(), 0755), 0);
  write_file(work + "/Sweepmark.ini", settings_text(pub));
  const int code = run_in_namespace(
      work,
      [&] {
        if (::mount("tmpfs", pub.c_str(), "tmpfs", 0, "size=1m") != 0) {
          return false;
        }
        make_folder(pub, {"ASSETS", "old"});
        return true;
      },
      {}, [&] { return names_in(pub) == std::vector<std::string>{"ASSETS"}; });
  EXPECT_EQ(code, 0) << k_inspection_failed << " if something other than ASSETS was left";
}

// Cut to 255 characters, the path ends in a separator and names its parent, which holds folders
// of its own.
TEST(CutPublicPath, IsRefusedAndTheParentKeepsItsFolders) {
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  ASSERT_LT(scratch.path().native().size(), 200u);
  const std::string parent = scratch / std::string(253 - scratch.path().native().size(), 'p');
  ASSERT_EQ(parent.size() + 1, 255u);
  make_folder(parent, {"ASSETS", "other"});
  const std::string text = settings_text(parent + "/" + std::string(40, 'c'));
  write_file(work + "/Sweepmark.ini", text);

  EXPECT_EQ(run_program(work), k_root_refused);
  EXPECT_TRUE(whole(parent + "/other"));
  EXPECT_EQ(read_file(work + "/Sweepmark.ini"), text);
}

// On Linux these are folders of their own, not spellings of ASSETS, "." or "..".
TEST(PosixNames, OnlyAssetsInAnyLetterCaseIsSpared) {
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  const std::string pub = scratch / "pub";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  make_folder(pub, {"ASSETS", "assets", "ASSETS ", ". ", ".. ", "ASSETS       more", "ASSETS.",
                    "Assets~1"});
  write_file(work + "/Sweepmark.ini", settings_text(pub));

  EXPECT_EQ(run_program(work), 0);
  EXPECT_EQ(names_in(pub), (std::vector<std::string>{"ASSETS", "assets"}));
  EXPECT_TRUE(whole(pub + "/ASSETS") && whole(pub + "/assets"));
}

// Opening a FIFO for reading would wait for a writer for ever.
TEST(FifoFiles, SettingsFileReadsAsNoFileAndIsNeverWritten) {
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((work + "/Sweepmark.ini").c_str(), 0644), 0);

  // The run goes through discovery and would record Restart=Y: a write that cannot happen.
  EXPECT_EQ(run_program(work), k_settings_not_written);
  struct stat info {};
  ASSERT_EQ(::lstat((work + "/Sweepmark.ini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the FIFO was replaced";
}

TEST(FifoFiles, IconFileIsNotLoadedAndTheRunCleans) {
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  const std::string pub = scratch / "pub";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((work + "/tango-clear.ico").c_str(), 0644), 0);
  make_folder(pub, {"ASSETS", "a"});
  write_file(work + "/Sweepmark.ini", settings_text(pub));

  EXPECT_EQ(run_program(work), 0);
  EXPECT_EQ(names_in(pub), std::vector<std::string>{"ASSETS"});
}

}  // namespace
}  // namespace sweepmark::testing
