// The POSIX backend on real folders: settings files, path tests, listings, launches, deletions.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "scratch.h"
#include "winrules/command_line.h"
#include "winrules/name_rules.h"

namespace sweepmark {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using testing::names_in;
using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

class PosixPlatform : public ::testing::Test {
 protected:
  std::string at(const std::string& name) const { return (scratch / name).string(); }

  ScratchFolder scratch;
  std::unique_ptr<Platform> platform = make_real_platform();
};

TEST_F(PosixPlatform, CreatesTheSettingsFileWithWindowsLineEnds) {
  const std::string file = at("Sweepmark.ini");
  EXPECT_EQ(platform->read_setting("Q9Actions", "Restart", "", file), "");
  EXPECT_EQ(platform->read_setting("Q9Actions", "Restart", "\n", file), "\n");
  ASSERT_TRUE(platform->write_setting("Q9Actions", "Restart", "Y", file));
  EXPECT_EQ(read_file(file), "[Q9Actions]\r\nRestart=Y\r\n");
  EXPECT_EQ(platform->read_setting("Q9Actions", "Restart", "", file), "Y");
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0666 & ~mask));
}

TEST_F(PosixPlatform, WriteReplacesTheFileWholeAndKeepsEverythingElse) {
  const std::string file = at("Sweepmark.ini");
  const std::string before =
      "; maintained by hand\r\n\r\n[Q9Actions]\r\nPublicPath = .\\pub ; here\r\n\r\n"
      "[Other]\nkey=value\n";
  write_file(file, before);
  fs::permissions(file, static_cast<fs::perms>(0640));
  struct stat before_info {};
  ::stat(file.c_str(), &before_info);
  ASSERT_TRUE(platform->write_setting("Q9Actions", "Restart", "Y", file));
  EXPECT_EQ(read_file(file),
            "; maintained by hand\r\n\r\n[Q9Actions]\r\nPublicPath = .\\pub ; here\r\nRestart=Y\r\n"
            "\r\n[Other]\nkey=value\n");
  EXPECT_EQ(fs::status(file).permissions(), static_cast<fs::perms>(0640));
  struct stat after_info {};
  ::stat(file.c_str(), &after_info);
  EXPECT_NE(after_info.st_ino, before_info.st_ino) << "a new file took the old one's place";
  EXPECT_EQ(names_in(scratch.path()), std::vector<std::string>{"Sweepmark.ini"})
      << "no temporary file is left behind";
  EXPECT_EQ(platform->read_setting("Q9Actions", "PublicPath", "", file), ".\\pub ; here");
}

TEST_F(PosixPlatform, EverySpellingOfTheNameAddressesOneFile) {
  write_file(scratch / "Sweepmark.ini", "[Q9Actions]\r\nRestart=N\r\n");
  const fs::path cwd = fs::current_path();
  fs::current_path(scratch.path());
  EXPECT_EQ(platform->read_setting("Q9Actions", "Restart", "", ".\\Sweepmark.INI"), "N");
  EXPECT_TRUE(platform->write_setting("__Dont_Touch_Me__", "Sectors", "0", ".\\Sweepmark.INI"));
  EXPECT_TRUE(platform->write_setting("Q9Actions", "PublicPath", "p", ".\\SWEEPMARK.ini"));
  fs::current_path(cwd);
  EXPECT_EQ(names_in(scratch.path()), std::vector<std::string>{"Sweepmark.ini"});
  EXPECT_EQ(read_file(scratch / "Sweepmark.ini"),
            "[Q9Actions]\r\nRestart=N\r\nPublicPath=p\r\n[__Dont_Touch_Me__]\r\nSectors=0\r\n");
}

TEST_F(PosixPlatform, NameReadBeforeTheFileExistedFindsItOnceWritten) {
  const fs::path cwd = fs::current_path();
  fs::current_path(scratch.path());
  EXPECT_EQ(platform->read_setting("__Dont_Touch_Me__", "Sectors", "", ".\\Sweepmark.INI"), "");
  struct stat folder {};
  ::stat(".", &folder);
  EXPECT_TRUE(platform->write_setting("Q9Actions", "Restart", "Y", ".\\Sweepmark.ini"));
  // Folder time stamps are coarse: the write may well leave the folder's time as it was.
  const timespec times[2] = {folder.st_atim, folder.st_mtim};
  ::utimensat(AT_FDCWD, ".", times, 0);
  EXPECT_TRUE(platform->write_setting("__Dont_Touch_Me__", "Sectors", "0", ".\\Sweepmark.INI"));
  fs::current_path(cwd);
  EXPECT_EQ(names_in(scratch.path()), std::vector<std::string>{"Sweepmark.ini"});
}

TEST_F(PosixPlatform, LinkedSettingsFileIsReplacedBehindItsLink) {
  write_file(scratch / "real" / "settings.ini", "[Q9Actions]\r\n");
  fs::create_symlink(scratch / "real" / "settings.ini", scratch / "Sweepmark.ini");
  ASSERT_TRUE(platform->write_setting("Q9Actions", "Restart", "Y", at("Sweepmark.ini")));
  EXPECT_TRUE(fs::is_symlink(scratch / "Sweepmark.ini"));
  EXPECT_EQ(read_file(scratch / "real" / "settings.ini"), "[Q9Actions]\r\nRestart=Y\r\n");
}

TEST_F(PosixPlatform, UnreadableSettingsFileReadsEmptyAndIsNeverOverwritten) {
  fs::create_directories(scratch / "Sweepmark.ini" / "inside");
  EXPECT_EQ(platform->read_setting("Q9Actions", "Restart", "", at("Sweepmark.ini")), "");
  EXPECT_FALSE(platform->write_setting("Q9Actions", "Restart", "Y", at("Sweepmark.ini")));
  EXPECT_TRUE(fs::is_directory(scratch / "Sweepmark.ini" / "inside"));
}

TEST_F(PosixPlatform, ValuesAreReadAsAFixedBufferHoldsThem) {
  write_file(scratch / "s.ini",
             "[S]\nlong=" + std::string(2000, 'x') + "\nnul=ab" + std::string(1, '\0') + "cd\n");
  EXPECT_EQ(platform->read_setting("S", "long", "", at("s.ini")), std::string(1023, 'x'));
  EXPECT_EQ(platform->read_setting("S", "nul", "", at("s.ini")), "ab");
}

TEST_F(PosixPlatform, SettingsChangedBehindItsBackAreReadAfresh) {
  write_file(scratch / "s.ini", "[S]\nk=1\n");
  EXPECT_EQ(platform->read_setting("S", "k", "", at("s.ini")), "1");
  write_file(scratch / "s.ini", "[S]\nk=22\n");
  EXPECT_EQ(platform->read_setting("S", "k", "", at("s.ini")), "22");
}

TEST_F(PosixPlatform, PathTestSeesFilesAndFoldersWithEitherSeparator) {
  write_file(scratch / "d:" / "pub" / "file", "");
  const fs::path cwd = fs::current_path();
  fs::current_path(scratch.path());
  EXPECT_TRUE(platform->path_present("d:\\pub\\"));
  EXPECT_TRUE(platform->path_present("d:\\pub\\file"));
  EXPECT_TRUE(platform->path_present("./d:/pub"));
  EXPECT_FALSE(platform->path_present("d:\\pub\\missing"));
  EXPECT_FALSE(platform->path_present("c:\\AppBroker\\public\\"));
  fs::current_path(cwd);
}

TEST_F(PosixPlatform, ListsFoldersLinksAndVisibleFiles) {
  const fs::path pub = scratch / "pub";
  fs::create_directories(pub / "sub");
  fs::create_directories(pub / ".hidden");
  fs::create_directories(scratch / "outside");
  write_file(pub / "file.txt", "12345");
  write_file(pub / ".dotfile", "");
  fs::create_directory_symlink(scratch / "outside", pub / "dirlink");
  fs::create_symlink(pub / "file.txt", pub / "filelink");
  fs::create_symlink(scratch / "nowhere", pub / "broken");

  FolderEntries list;
  ASSERT_TRUE(platform->open_folder(pub.string())->list(list));
  std::map<std::string, FolderEntry> found;
  for (const FolderEntry& entry : list) {
    found[entry.NAME] = entry;
  }
  const std::map<std::string, std::pair<int, bool>> expected = {
      {".", {k_attrib_directory, false}},
      {"..", {k_attrib_directory, false}},
      {"sub", {k_attrib_directory, false}},
      {".hidden", {k_attrib_directory | k_attrib_hidden, false}},
      {"file.txt", {k_attrib_archive, false}},
      {"dirlink", {k_attrib_directory, true}},
      {"filelink", {0, true}},
      {"broken", {0, true}},
  };
  ASSERT_EQ(found.size(), expected.size()) << "the hidden file is dropped";
  for (const auto& [name, attrib_link] : expected) {
    SCOPED_TRACE(name);
    ASSERT_EQ(found.count(name), 1u);
    EXPECT_EQ(found[name].ATTRIB, attrib_link.first);
    EXPECT_EQ(found[name].LINK, attrib_link.second);
    // A name is its own short name where it is a valid 8.3 name, and has none otherwise.
    EXPECT_EQ(found[name].SHORTNAME.clipped(),
              is_short_name(name) || is_dot_name(name) ? name : std::string());
  }
  EXPECT_EQ(found["file.txt"].SIZE, 5);
  EXPECT_GT(found["sub"].DATE, 80000) << "a date in this century";
  EXPECT_GE(found["sub"].TIME, 1);
}

TEST_F(PosixPlatform, FolderThatCannotBeListedIsReported) {
  write_file(scratch / "file", "");
  FolderEntries list;
  EXPECT_FALSE(platform->open_folder(at("missing"))->list(list));
  EXPECT_FALSE(platform->open_folder(at("file"))->list(list));
  EXPECT_TRUE(list.empty());
}

TEST_F(PosixPlatform, LaunchesDetachedWithArgumentsSplitTheWindowsWay) {
  const fs::path bin = scratch / "bin";
  write_file(bin / "recorder",
             "#!/bin/sh\n"
             "{ for a in \"$@\"; do printf '[%s]' \"$a\"; done; echo;\n"
             "  ps -o sid= -p $$ | tr -d ' '; echo $$; readlink /proc/$$/fd/0; } > \"$0.tmp\"\n"
             "mv \"$0.tmp\" \"$0.log\"\n");
  fs::permissions(bin / "recorder", fs::perms::owner_all);
  const char* inherited = std::getenv("PATH");
  const std::string path = inherited != nullptr ? inherited : "/usr/bin:/bin";
  ::setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
  const bool started = platform->launch(
      split_launch_text("recorder stop \"Clarion Application Broker\" a\\\\\"b c\"   "));
  ::setenv("PATH", path.c_str(), 1);
  ASSERT_TRUE(started);
  ASSERT_TRUE(eventually([&] { return fs::exists(bin / "recorder.log"); }));
  std::istringstream log(read_file(bin / "recorder.log"));
  std::string arguments, session, pid, input;
  std::getline(log, arguments);
  std::getline(log, session);
  std::getline(log, pid);
  std::getline(log, input);
  EXPECT_EQ(arguments, "[stop][Clarion Application Broker][a\\b c]");
  EXPECT_EQ(session, pid) << "a session of its own";
  EXPECT_EQ(input, "/dev/null");
}

TEST_F(PosixPlatform, LaunchedCommandsGetNothingOfOurs) {
  // A descriptor that would be inherited, as one left open by whoever started the program is.
  const int inherited = ::dup(STDOUT_FILENO);
  ASSERT_GE(inherited, 0);
  const std::string out = at("descriptors");
  // The shell looks before any redirection of its own: where its standard descriptors lead, and
  // whether the inherited one is open.
  const std::string fd = "/proc/$$/fd/";
  const bool started = platform->launch(split_launch_text(
      "sh -c \"a=$(readlink " + fd + "0 " + fd + "1 " + fd + "2); if [ -e " + fd +
      std::to_string(inherited) + " ]; then b=open; else b=closed; fi; echo $a $b > " + out +
      ".tmp; mv " + out + ".tmp " + out + "\""));
  ::close(inherited);
  ASSERT_TRUE(started);
  ASSERT_TRUE(eventually([&] { return fs::exists(out); }));
  EXPECT_EQ(read_file(out), "/dev/null /dev/null /dev/null closed\n");
}

TEST_F(PosixPlatform, LaunchOfAMissingProgramFailsQuietly) {
  EXPECT_FALSE(platform->launch(split_launch_text("no-such-program-anywhere stop")));
  EXPECT_FALSE(platform->launch(split_launch_text("     ")));
}

TEST_F(PosixPlatform, ExitedChildrenAreReapedWhileItSleeps) {
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(platform->launch(split_launch_text("true")));
  }
  platform->sleep_for(std::chrono::milliseconds(300));
  int zombies = 0;
  for (const auto& process : fs::directory_iterator("/proc")) {
    const std::string stat = read_file(process.path() / "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) {
      continue;
    }
    std::istringstream fields(stat.substr(close + 2));
    char state = 0;
    int parent = 0;
    fields >> state >> parent;
    zombies += state == 'Z' && parent == ::getpid() ? 1 : 0;
  }
  EXPECT_EQ(zombies, 0);
}

TEST_F(PosixPlatform, SleepsOnAMonotonicClock) {
  const Ticks before = platform->clock();
  platform->sleep_for(std::chrono::milliseconds(50));
  EXPECT_GE(platform->clock() - before, std::chrono::milliseconds(50));
}

// Deletions run detached; these tests wait for them to finish.
class PosixDeletion : public PosixPlatform {
 protected:
  void SetUp() override {
    fs::create_directories(pub / "ASSETS");
    fs::create_directories(scratch / "decoy" / "keep");
    write_file(pub / "file.txt", "stays");
  }
  bool open_and_list(FolderEntries& list) {
    folder = platform->open_folder(pub.string());
    return folder->list(list);
  }
  void remove(const std::string& name, bool link = false) {
    if (!folder) {
      folder = platform->open_folder(pub.string());
    }
    ASSERT_TRUE(folder->remove({name, link}));
  }
  fs::path pub = scratch / "pub";
  std::unique_ptr<PublicFolder> folder;
};

TEST_F(PosixDeletion, RemovesExactlyTheNamedSubfolderWhateverItsName) {
  const std::vector<std::string> names = {
      "a b",
      "x & rm -rf .. & rm -rf decoy",
      "$(touch pwned)",
      "`touch pwned`",
      "-rf",
      "--help",
      "a;b|c>d<e",
      "'single'",
      "\"double\"",
      "%PATH%!x!",
      "*",
      "...",
      " leading",
      "trailing ",
      "new\nline",
      "back\\slash",
      "ASSETS.",
      "\xfc\xe9",
      "(x)^,;=",
      "-",
  };
  const fs::path cwd = fs::current_path();
  fs::current_path(scratch.path());
  for (const std::string& name : names) {
    fs::create_directories(pub / name / "inner" / "deeper");
    write_file(pub / name / "inner" / "f", "x");
  }
  FolderEntries list;
  ASSERT_TRUE(open_and_list(list));
  for (const std::string& name : names) {
    remove(name);
  }
  EXPECT_TRUE(eventually([&] {
    return names_in(pub) == std::vector<std::string>{"ASSETS", "file.txt"};
  })) << "left: "
      << ::testing::PrintToString(names_in(pub));
  fs::current_path(cwd);
  EXPECT_TRUE(fs::exists(scratch / "decoy" / "keep"));
  EXPECT_EQ(names_in(scratch.path()), (std::vector<std::string>{"decoy", "pub"}))
      << "no command but the deletions ran";
}

TEST_F(PosixDeletion, LinkIsRemovedAndWhatItLeadsToSurvives) {
  fs::create_directories(scratch / "outside" / "precious");
  write_file(scratch / "outside" / "precious" / "data", "keep me");
  fs::create_directory_symlink(scratch / "outside", pub / "link");
  fs::create_directory_symlink(scratch / "outside", pub / "listed-as-folder");
  FolderEntries list;
  ASSERT_TRUE(open_and_list(list));
  remove("link", true);
  // Even when a link is handed over as if it were a folder, the remover removes the link only.
  remove("listed-as-folder", false);
  EXPECT_TRUE(eventually([&] {
    return names_in(pub) == std::vector<std::string>{"ASSETS", "file.txt"};
  }));
  EXPECT_EQ(read_file(scratch / "outside" / "precious" / "data"), "keep me");
}

TEST_F(PosixDeletion, LinksDeepInsideAreRemovedAsLinksAndDeepTreesGoWhole) {
  fs::create_directories(scratch / "outside" / "precious");
  write_file(scratch / "outside" / "precious" / "data", "keep me");
  fs::create_directories(pub / "sub" / "a" / "b");
  fs::create_directory_symlink(scratch / "outside", pub / "sub" / "a" / "b" / "to-outside");
  fs::create_symlink(scratch / "outside" / "precious" / "data", pub / "sub" / "a" / "to-data");
  write_file(pub / "sub" / "a" / "file", "x");
  fs::path deep = pub / "deep";
  for (int level = 0; level < 300; ++level) {
    deep /= "d";
  }
  fs::create_directories(deep);
  write_file(deep / "file", "x");
  remove("sub");
  remove("deep");
  EXPECT_TRUE(eventually([&] {
    return names_in(pub) == std::vector<std::string>{"ASSETS", "file.txt"};
  })) << "left: "
      << ::testing::PrintToString(names_in(pub));
  EXPECT_EQ(read_file(scratch / "outside" / "precious" / "data"), "keep me");
}

TEST_F(PosixDeletion, StaysInsideTheFolderAsItWasListed) {
  fs::create_directories(pub / "victim");
  FolderEntries list;
  ASSERT_TRUE(open_and_list(list));
  // The public folder is swapped for a link to somewhere else after it was listed.
  fs::rename(pub, scratch / "moved");
  fs::create_directories(scratch / "elsewhere" / "victim" / "precious");
  fs::create_directory_symlink(scratch / "elsewhere", pub);
  remove("victim");
  EXPECT_TRUE(eventually([&] { return !fs::exists(scratch / "moved" / "victim"); }));
  EXPECT_TRUE(fs::exists(scratch / "elsewhere" / "victim" / "precious"));
}

TEST_F(PosixDeletion, FolderReplacedByALinkIsNotFollowed) {
  fs::create_directories(pub / "sub");
  fs::create_directories(scratch / "outside" / "precious");
  FolderEntries list;
  ASSERT_TRUE(open_and_list(list));
  fs::remove(pub / "sub");
  fs::create_directory_symlink(scratch / "outside", pub / "sub");
  remove("sub");
  EXPECT_TRUE(eventually([&] { return !fs::exists(fs::symlink_status(pub / "sub")); }));
  EXPECT_TRUE(fs::exists(scratch / "outside" / "precious"));
}

TEST_F(PosixDeletion, LinkReplacedByAFolderIsLeftAlone) {
  fs::create_directories(scratch / "outside");
  fs::create_directory_symlink(scratch / "outside", pub / "was-link");
  FolderEntries list;
  ASSERT_TRUE(open_and_list(list));
  fs::remove(pub / "was-link");
  fs::create_directories(pub / "was-link" / "content");
  remove("was-link", true);
  ::usleep(300'000);  // Time for the remover to have refused.
  EXPECT_TRUE(fs::exists(pub / "was-link" / "content"));
}

}  // namespace
}  // namespace sweepmark
