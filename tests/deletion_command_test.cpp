// The command interpreter line that deletes one subfolder on Windows.

#include "winrules/deletion_command.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sweepmark {
namespace {

TEST(DeletionCommand, BuildsOneQuotedRmdirPerSubfolder) {
  struct Case {
    const char* folder;
    const char* name;
    bool link;
    std::optional<std::string> command;
  };
  const std::vector<Case> cases = {
      {"d:\\pub", "cache", false, R"(cmd.exe /d /e:ON /v:OFF /c rmdir "d:\pub\cache" /s /q)"},
      {"d:\\pub", "a b & rd ASSETS", false,
       R"(cmd.exe /d /e:ON /v:OFF /c rmdir "d:\pub\a b & rd ASSETS" /s /q)"},
      {"d:\\my pub", "%PATH%", false,
       R"(cmd.exe /d /e:ON /v:OFF /c rmdir "d:\my pub\%%cd:~,%PATH%%cd:~,%" /s /q)"},
      {"d:\\pub", "!x!^(1)", false, R"x(cmd.exe /d /e:ON /v:OFF /c rmdir "d:\pub\!x!^(1)" /s /q)x"},
      {"d:\\pub", "junction", true, R"(cmd.exe /d /e:ON /v:OFF /c rmdir "d:\pub\junction")"},
      {"d:\\pub\"", "x", false, std::nullopt},
      {"d:\\pub", "a\"b", false, std::nullopt},
      {"d:\\pub", "a\r\nb", false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(windows_deletion_command(c.folder, c.name, c.link), c.command);
  }
}

}  // namespace
}  // namespace sweepmark
