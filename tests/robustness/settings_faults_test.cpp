// The settings file under faults: writes that cannot happen, and files no one should have to read.
// Whatever happens, no byte of the file is lost, the run does what it can, and the exit code says
// what failed.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "posix_kit.h"

namespace sweepmark::testing {
namespace {

constexpr int k_settings_not_written = 1;
constexpr int k_root_refused = 4;
constexpr const char* k_ini = "Sweepmark.ini";
constexpr std::size_t k_kib = 1024;

// Fills the file system that holds `folder` to the last byte.
void fill_file_system(const std::string& folder) {
  const std::string filler = folder + "/filler";
  const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  const std::string block(4096, 'f');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  const int error = errno;
  ::close(fd);
  ASSERT_EQ(error, ENOSPC);
}

// Ways a settings write can fail. The folder holding the settings file is called "work".
enum class Blocker { read_only_folder, read_only_file, read_only_mount, full_file_system };

using WriteFault = NamedCase<Blocker>;

class SettingsWriteFault : public ::testing::TestWithParam<WriteFault> {};

TEST_P(SettingsWriteFault, LeavesTheFileWholeAndIsReported) {
  const Blocker blocker = GetParam().kind;
  const bool needs_root =
      blocker == Blocker::read_only_mount || blocker == Blocker::full_file_system;
  if (needs_root && !running_as_root()) {
    GTEST_SKIP() << "mounting a file system needs root";
  }
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  const std::string pub = scratch / "pub";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  make_folder(pub, {"ASSETS", "a", "b"});
  write_file(pub + "/notes.txt", "kept");

  // Restart is missing, so the run must write it; the comment makes the file larger than what
  // a full file system has left.
  const std::string text = "; " + std::string(64 * k_kib, 'c') + "\r\n" + settings_text(pub, "");
  RunAs as;
  switch (blocker) {
    case Blocker::read_only_folder:
      write_file(work + "/" + k_ini, text);
      if (running_as_root()) {
        give_tree(scratch.path(), k_nobody);  // Root would write anyway.
        as.user = k_nobody;
      }
      ASSERT_EQ(::chmod(work.c_str(), 0555), 0);
      break;
    case Blocker::read_only_file:
      write_file(work + "/" + k_ini, text);
      ASSERT_EQ(::chmod((work + "/" + k_ini).c_str(), 0444), 0);
      break;
    case Blocker::read_only_mount:
      scratch.mount_tmpfs(work, "1m");
      write_file(work + "/" + k_ini, text);
      scratch.remount_read_only(work);
      break;
    case Blocker::full_file_system:
      scratch.mount_tmpfs(work, "256k");
      write_file(work + "/" + k_ini, text);
      fill_file_system(work);
      break;
  }
  const std::vector<std::string> before = names_in(work);

  EXPECT_EQ(run_program(work, as), k_settings_not_written);
  EXPECT_EQ(read_file(work + "/" + k_ini), text) << "the settings file changed";
  EXPECT_EQ(names_in(work), before) << "a temporary file was left behind";
  // The run went on with what it had read: without Restart it cleans without service control.
  EXPECT_EQ(names_in(pub), (std::vector<std::string>{"ASSETS", "notes.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SettingsWriteFault,
    ::testing::Values(WriteFault{"ReadOnlyFolder", Blocker::read_only_folder},
                      WriteFault{"ReadOnlySettingsFile", Blocker::read_only_file},
                      WriteFault{"ReadOnlyFileSystem", Blocker::read_only_mount},
                      WriteFault{"FullFileSystem", Blocker::full_file_system}),
    [](const auto& test) { return std::string(test.param.name); });

// Bytes no settings file should hold. A fixed seed keeps every run the same.
std::string garbage(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}

struct HostileFile {
  const char* name;
  // The settings file, given the public folder's absolute path.
  std::string (*text)(const std::string& pub);
  int exit_code;
  bool cleans;
};

void PrintTo(const HostileFile& file, std::ostream* out) {
  *out << file.name;
}

class HostileSettingsFile : public ::testing::TestWithParam<HostileFile> {};

TEST_P(HostileSettingsFile, IsReadWithoutLosingAByte) {
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  const std::string pub = scratch / "pub";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  make_folder(pub, {"ASSETS", "a"});
  const std::string text = GetParam().text(pub);
  write_file(work + "/" + k_ini, text);

  EXPECT_EQ(run_program(work), GetParam().exit_code);

  const std::string after = read_file(work + "/" + k_ini);
  EXPECT_EQ(after.substr(0, text.size()), text) << "bytes of the file were lost";
  if (GetParam().cleans) {
    EXPECT_EQ(names_in(pub), std::vector<std::string>{"ASSETS"});
    EXPECT_EQ(after.substr(text.size()), "[__Dont_Touch_Me__]\r\nSectors=0\r\n");
  } else {
    EXPECT_EQ(names_in(pub), (std::vector<std::string>{"ASSETS", "a"}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HostileSettingsFile,
    ::testing::Values(
        // Nothing readable: a first run that records the restart flag only.
        HostileFile{"BinaryGarbage", [](const std::string&) { return garbage(256 * k_kib, 7); }, 0,
                    false},
        HostileFile{"GarbageAroundTheSettings",
                    [](const std::string& pub) {
                      return garbage(64 * k_kib, 11) + "\r\n" + settings_text(pub) + "[Junk]\r\n" +
                             garbage(64 * k_kib, 13) + "\r\n";
                    },
                    0, true},
        // What a 1024-byte buffer returns: the value up to its NUL.
        HostileFile{"NulInTheValue",
                    [](const std::string& pub) {
                      return "[Q9Actions]\r\nPublicPath=" + pub + std::string("\0junk\r\n", 7) +
                             "Restart=N\r\n";
                    },
                    0, true},
        HostileFile{"NulBytesBeforeTheSection",
                    [](const std::string& pub) {
                      return std::string("\0\0;\0\r\n\0=\0\r\n", 11) + settings_text(pub);
                    },
                    0, true},
        // Windows reads the mark as part of the first line, so the first header is no header:
        // the settings are not found, and the run records the restart flag in a new section.
        HostileFile{"Utf8ByteOrderMark",
                    [](const std::string& pub) { return "\xEF\xBB\xBF" + settings_text(pub); }, 0,
                    false},
        HostileFile{"OneMegabyteLine",
                    [](const std::string& pub) {
                      return "; " + std::string(1 << 20, 'x') + "\r\n" + settings_text(pub);
                    },
                    0, true},
        // Longer than the 255 characters a path may have: refused, never cut to another path.
        HostileFile{"OneMegabyteValue",
                    [](const std::string&) {
                      return "[Q9Actions]\r\nPublicPath=" + std::string(1 << 20, 'p') +
                             "\r\nRestart=N\r\n";
                    },
                    k_root_refused, false},
        HostileFile{"LoneCarriageReturns",
                    [](const std::string& pub) {
                      return "[Q9Actions]\rPublicPath=" + pub + "\rRestart=N\r";
                    },
                    0, true}),
    [](const auto& test) { return std::string(test.param.name); });

// A settings file of 100 MB, shaped to cost the most: the INI manager's section comes first and
// holds nearly all of it, with a count of 1000 and its entries at the very end, so every entry read
// has to get past the bulk; the program's own section comes last.
TEST(HugeSettingsFile, HundredMegabytesAreReadAndKeptWhole) {
  ScratchFolder scratch;
  const std::string work = scratch / "work";
  const std::string pub = scratch / "pub";
  ASSERT_EQ(::mkdir(work.c_str(), 0755), 0);
  make_folder(pub, {"ASSETS", "a"});

  std::string text = "[__Dont_Touch_Me__]\r\nSectors=1000\r\n";
  const std::string filler = "Filler=" + std::string(90, 'f') + "\r\n";
  text.reserve(101u << 20);
  while (text.size() < (100u << 20)) {
    text += filler;
  }
  for (int i = 1; i <= 1000; ++i) {
    text += "Sectors_" + std::to_string(i) + "=family,item,type\r\n";
  }
  text += settings_text(pub);
  write_file(work + "/" + k_ini, text);

  EXPECT_EQ(run_program(work), 0);
  EXPECT_EQ(names_in(pub), std::vector<std::string>{"ASSETS"});
  // Every entry and the count read back as themselves, so nothing needed writing.
  EXPECT_TRUE(read_file(work + "/" + k_ini) == text) << "the settings file changed";
}

}  // namespace
}  // namespace sweepmark::testing
