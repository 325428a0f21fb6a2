// The Win32 backend on the real Win32 API: listing, path test, command launch and clock.

#include <windows.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "platform/entry_time.h"
#include "platform/platform.h"
#include "wine_support.h"
#include "winrules/command_line.h"

namespace sweepmark {
namespace {

using namespace std::chrono_literals;

void set_attributes(const std::string& path, DWORD attributes) {
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
}

void set_local_write_time(const std::string& path, const SYSTEMTIME& local) {
  FILETIME local_time{};
  FILETIME utc{};
  ASSERT_TRUE(SystemTimeToFileTime(&local, &local_time));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local_time, &utc));
  const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &utc));
  CloseHandle(file);
}

void make_sized_file(const std::string& path, LONGLONG size) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end{};
  end.QuadPart = size;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
}

TEST(Listing, KeepsFoldersAndVisibleFilesWithTheirFields) {
  const std::string root = wine::scratch_folder();
  const std::string folder = root + "\\public";
  for (const char* name : {"ASSETS", "Assets Folder Long", "plain", "hidden", "system"}) {
    wine::make_folder(folder + "\\" + name);
  }
  wine::make_folder(root + "\\outside");
  set_attributes(folder + "\\hidden", FILE_ATTRIBUTE_HIDDEN);
  set_attributes(folder + "\\system", FILE_ATTRIBUTE_SYSTEM);
  for (const char* name : {"a.txt", "hidden.txt", "system.txt", "readonly.txt"}) {
    wine::write_file(folder + "\\" + name, "12345");
  }
  set_attributes(folder + "\\hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  set_attributes(folder + "\\system.txt", FILE_ATTRIBUTE_SYSTEM);
  set_attributes(folder + "\\readonly.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  make_sized_file(folder + "\\big.bin", 0x1'0000'0003LL);
  wine::make_unix_link(root + "\\outside", folder + "\\link");
  const SYSTEMTIME leap_day{2024, 2, 4, 29, 13, 45, 56, 780};
  set_local_write_time(folder + "\\a.txt", leap_day);

  FolderEntries list;
  ASSERT_TRUE(make_real_platform()->open_folder(folder)->list(list));
  std::map<std::string, FolderEntry> by_name;
  for (const FolderEntry& entry : list) {
    by_name[entry.NAME] = entry;
  }

  struct Expected {
    const char* name;
    const char* shortname;  // nullptr: an 8.3 alias Windows made up, which is not the long name
    std::uint8_t attrib;
    bool link;
  };
  const Expected expected[] = {
      {".", ".", k_attrib_directory, false},
      {"..", "..", k_attrib_directory, false},
      {"ASSETS", "ASSETS", k_attrib_directory, false},
      {"Assets Folder Long", nullptr, k_attrib_directory, false},
      {"plain", "plain", k_attrib_directory, false},
      {"hidden", "hidden", k_attrib_directory | k_attrib_hidden, false},
      {"system", "system", k_attrib_directory | k_attrib_system, false},
      {"a.txt", "a.txt", k_attrib_archive, false},
      {"readonly.txt", "readonly.txt", k_attrib_read_only | k_attrib_archive, false},
      {"big.bin", "big.bin", k_attrib_archive, false},
      {"link", "link", k_attrib_directory, true},
  };
  EXPECT_EQ(by_name.size(), std::size(expected)) << "hidden and system files are not listed";
  for (const Expected& row : expected) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(by_name.count(row.name), 1u);
    const FolderEntry& entry = by_name[row.name];
    if (row.shortname != nullptr) {
      EXPECT_EQ(entry.SHORTNAME.clipped(), row.shortname);
    } else {
      EXPECT_NE(entry.SHORTNAME.clipped(), row.name);
      EXPECT_LE(entry.SHORTNAME.clipped().size(), 12u);
      EXPECT_NE(entry.SHORTNAME.clipped().find('~'), std::string_view::npos);
    }
    // Windows keeps the archive bit on folders where it likes; only the bits that matter count.
    const std::uint8_t significant = row.attrib & k_attrib_archive ? k_attrib_mask : 0x17;
    EXPECT_EQ(entry.ATTRIB & significant, row.attrib & significant);
    EXPECT_EQ(entry.ATTRIB & ~k_attrib_mask, 0);
    EXPECT_EQ(entry.LINK, row.link);
  }
  EXPECT_EQ(by_name["a.txt"].SIZE, 5);
  EXPECT_EQ(by_name["big.bin"].SIZE, 3) << "the low 32 bits of the size";
  EXPECT_EQ(by_name["a.txt"].DATE, day_number(2024, 2, 29));
  EXPECT_EQ(by_name["a.txt"].TIME, time_of_day(13, 45, 56, 0)) << "whole seconds";
}

TEST(Listing, AppendsToTheListInTheOrderWindowsReturns) {
  const std::string folder = wine::scratch_folder();
  wine::make_folder(folder + "\\one");
  FolderEntries list(1);
  list[0].NAME = "already there";
  ASSERT_TRUE(make_real_platform()->open_folder(folder)->list(list));
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].NAME, "already there");
  EXPECT_EQ(list[1].NAME, ".");
  EXPECT_EQ(list[2].NAME, "..");
  EXPECT_EQ(list[3].NAME, "one");
}

TEST(Listing, FolderThatCannotBeListedIsAFailure) {
  const std::string folder = wine::scratch_folder();
  wine::write_file(folder + "\\file", "x");
  const std::unique_ptr<Platform> platform = make_real_platform();
  for (const std::string& path : {folder + "\\missing", folder + "\\missing\\deeper",
                                  folder + "\\file", std::string("q:\\nowhere")}) {
    SCOPED_TRACE(path);
    FolderEntries list;
    EXPECT_FALSE(platform->open_folder(path)->list(list));
    EXPECT_TRUE(list.empty());
  }
}

TEST(PathTest, PresentForFilesAndFoldersAndLeavesNoErrorBehind) {
  const std::string folder = wine::scratch_folder();
  wine::make_folder(folder + "\\public");
  wine::write_file(folder + "\\file.txt", "x");
  wine::write_file(folder + "\\offline.txt", "x");
  const bool offline_kept =
      SetFileAttributesA((folder + "\\offline.txt").c_str(), FILE_ATTRIBUTE_OFFLINE) &&
      (GetFileAttributesA((folder + "\\offline.txt").c_str()) & FILE_ATTRIBUTE_OFFLINE) != 0;
  const std::unique_ptr<Platform> platform = make_real_platform();

  const struct {
    std::string path;
    bool present;
  } rows[] = {
      {folder + "\\public\\", true},           {folder + "\\public", true},
      {folder + "\\file.txt", true},           {folder + "\\missing\\", false},
      {folder + "\\missing\\public\\", false}, {"q:\\AppBroker\\public\\", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    SetLastError(12345);
    EXPECT_EQ(platform->path_present(row.path), row.present);
    if (!row.present) {
      EXPECT_EQ(GetLastError(), 0u);
    }
  }
  if (offline_kept) {
    EXPECT_FALSE(platform->path_present(folder + "\\offline.txt"));
  } else {
    std::printf("note: this file system keeps no offline attribute; that row is not run\n");
  }
}

TEST(PathTest, ConvertsToOemWhereTheFileFunctionsReadOem) {
  const std::string folder = wine::scratch_folder();
  // "cafe" with an acute e in the ANSI code page; its OEM code differs.
  const std::string name = folder + "\\caf\xE9";
  wine::make_folder(name);
  char oem[8] = {};
  CharToOemA("\xE9", oem);
  ASSERT_NE(oem[0], '\xE9') << "the test needs a character whose OEM code differs";
  SetFileApisToOEM();
  const bool present = make_real_platform()->path_present(name + "\\");
  SetFileApisToANSI();
  EXPECT_TRUE(present);
}

class Launch : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = wine::scratch_folder();
    m_log = m_folder + "\\recorded.txt";
    const std::string recorder = wine::built_program("recorder.exe");
    wine::make_folder(m_folder + "\\bin");
    ASSERT_TRUE(CopyFileA(recorder.c_str(), (m_folder + "\\recorder.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(recorder.c_str(), (m_folder + "\\bin\\recorder.exe").c_str(), FALSE));
    ASSERT_TRUE(SetEnvironmentVariableA("SWEEPMARK_RECORDER_LOG", m_log.c_str()));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    m_previous_folder = previous;
    ASSERT_TRUE(SetCurrentDirectoryA(m_folder.c_str()));
  }

  void TearDown() override { SetCurrentDirectoryA(m_previous_folder.c_str()); }

  std::vector<std::string> recorded() const {
    std::vector<std::string> lines;
    const std::string text = wine::read_file(m_log).value_or("");
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find("\r\n", at);
      lines.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }

  std::string m_folder;
  std::string m_log;
  std::string m_previous_folder;
  std::unique_ptr<Platform> m_platform = make_real_platform();
};

TEST_F(Launch, StartsTheQuotedProgramWordWithTheArgumentsVerbatim) {
  const struct {
    std::string command_text;
    std::string command_line;
  } rows[] = {
      {"recorder", "\"recorder.exe\""},
      {"   recorder      ", "\"recorder.exe\""},
      {"recorder stop \"Clarion Application Broker\"",
       "\"recorder.exe\" stop \"Clarion Application Broker\""},
      {"RECORDER.EXE  a  \"b  c\"\\\" d\\   ", "\"RECORDER.EXE\" a  \"b  c\"\\\" d\\"},
      {"recorder %OS% !OS! ^ & | > x", "\"recorder.exe\" %OS% !OS! ^ & | > x"},
      {m_folder + "\\bin\\recorder x", "\"" + m_folder + "\\bin\\recorder.exe\" x"},
  };
  std::size_t count = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.command_text);
    ASSERT_TRUE(m_platform->launch(split_launch_text(row.command_text)));
    ++count;
    ASSERT_TRUE(wine::eventually([&] { return recorded().size() == count; }, 20s));
    EXPECT_EQ(recorded().back(), row.command_line + "|" + m_folder);
  }
}

TEST_F(Launch, ProgramThatCannotBeFoundStartsNothing) {
  for (const std::string& text : {std::string("no-such-program x"), std::string("   "),
                                  m_folder + "\\nowhere\\recorder x", std::string("bin x")}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(m_platform->launch(split_launch_text(text)));
  }
}

TEST_F(Launch, SystemFolderWinsOverAPlantedProgram) {
  // Windows would look in the program's own folder and in the current directory first.
  const std::string recorder = m_folder + "\\recorder.exe";
  const std::string beside_program = wine::built_program("cmd.exe");
  ASSERT_TRUE(CopyFileA(recorder.c_str(), (m_folder + "\\cmd.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(recorder.c_str(), beside_program.c_str(), FALSE));
  const bool launched = m_platform->launch(split_launch_text("cmd /d /c mkdir made-by-cmd"));
  const bool made = wine::eventually([&] { return wine::exists(m_folder + "\\made-by-cmd"); }, 20s);
  DeleteFileA(beside_program.c_str());
  EXPECT_TRUE(launched);
  EXPECT_TRUE(made) << "the real cmd.exe ran";
  EXPECT_TRUE(recorded().empty()) << "a planted cmd.exe ran";
}

TEST_F(Launch, OtherExtensionsAreOpenedByTheShell) {
  wine::write_file(m_folder + "\\make-marker.bat", "@mkdir opened-by-shell\r\n");
  ASSERT_TRUE(m_platform->launch(split_launch_text("make-marker.bat")));
  EXPECT_TRUE(wine::eventually([&] { return wine::exists(m_folder + "\\opened-by-shell"); }, 20s));
}

TEST(Clock, IsMonotonicAndSleepsAtLeastAsLongAsAsked) {
  const std::unique_ptr<Platform> platform = make_real_platform();
  const Ticks before = platform->clock();
  platform->sleep_for(std::chrono::milliseconds(30));
  const Ticks after = platform->clock();
  EXPECT_GE(after - before, std::chrono::milliseconds(29));
  EXPECT_LT(after - before, std::chrono::seconds(5));
}

}  // namespace
}  // namespace sweepmark
