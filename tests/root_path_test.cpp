// The root-path guard: every spelling of a drive, share or file-system root.

#include "winrules/root_path.h"

#include <vector>

#include <gtest/gtest.h>

namespace sweepmark {
namespace {

TEST(RootPath, RefusesEverySpellingOfARoot) {
  const std::vector<const char*> roots = {
      "c:\\",
      "C:\\",
      "d:\\",
      "c:",
      "D:",
      "c:/",
      "c:\\\\",
      "\\",
      "/",
      "//",
      "\\\\server\\share",
      "\\\\server\\share\\",
      "//server/share/",
      "\\\\server",
      "c:\\windows\\..",
      "c:\\.\\",
      "c:\\a\\b\\..\\..\\",
      "c:\\..\\..",
      "c:\\...",
      "\\\\?\\C:\\",
      "\\\\.\\c:",
      "\\\\?\\UNC\\srv\\share",
      "\\\\?\\Volume{1}\\",
      "/tmp/..",
      "/./",
      "\\\\server\\share\\x\\..",
  };
  for (const char* root : roots) {
    SCOPED_TRACE(root);
    EXPECT_TRUE(is_root_path(root));
  }
  const std::vector<const char*> folders = {
      "c:\\pub",
      "d:\\ClarionAppBroker\\public",
      ".\\pub",
      "pub",
      "..",
      ".",
      "c:pub",
      "\\\\server\\share\\pub",
      "c:\\windows\\..\\pub",
      "/srv/pub",
      "\\pub",
      "c:\\a\\..\\b",
  };
  for (const char* folder : folders) {
    SCOPED_TRACE(folder);
    EXPECT_FALSE(is_root_path(folder));
  }
}

}  // namespace
}  // namespace sweepmark
