#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Helpers for the tests that run on the real Win32 API (under Wine): scratch folders, files and
// processes. Paths are Windows paths in the ANSI code page.
namespace sweepmark::wine {

/// A fresh, empty folder for the running test: C:\sweepmark-tests\<suite>.<test>.
std::string scratch_folder();

/// The path of `name` inside `folder`.
std::string child(std::string_view folder, std::string_view name);

void make_folder(const std::string& path);
void write_file(const std::string& path, std::string_view bytes);
/// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> read_file(const std::string& path);
bool exists(const std::string& path);
/// Removes a folder and everything in it; a link is removed, never followed.
void remove_tree(const std::string& path);
/// The names in a folder, "." and ".." left out, sorted.
std::vector<std::string> folder_names(const std::string& path);

/// Makes `link` a Unix symbolic link to the folder `target`, which Wine shows as a directory link
/// (Wine cannot make one through the Win32 API, but it starts Unix programs).
void make_unix_link(const std::string& target, const std::string& link);

/// A program built beside the test program.
std::string built_program(std::string_view file_name);
/// The program under test, build/win32/sweepmark.exe.
std::string sweepmark_program();

/// A process a run started, as seen while it ran.
struct Started {
  std::string program;       // the full path of its executable
  long long created_ms = 0;  // system time of its creation, in milliseconds since 1601
};

struct Finished {
  bool finished = false;
  unsigned long exit_code = 0;
  /// run_sweepmark only: the processes sweepmark started, in the order they were created.
  std::vector<Started> started;
};

/// The system time in milliseconds since 1601, the clock of Started::created_ms.
long long system_time_ms();

/// Runs a command line in `folder` and waits for it (a test may wait; the program never does).
Finished run(const std::string& command_line, const std::string& folder,
             std::chrono::milliseconds timeout = std::chrono::seconds(60));

/// Runs sweepmark.exe in `folder` and waits for it and for every process it started (the service
/// commands and the deletions), so that the test sees what they did. `finished` is false when
/// they had not all ended within the timeout.
/// `program` names a copy of sweepmark.exe to run instead of the built one.
Finished run_sweepmark(const std::string& folder,
                       std::chrono::milliseconds timeout = std::chrono::seconds(60),
                       const std::string& program = {});

/// Polls `ready` until it holds or `timeout` passes; true when it held.
template <typename Predicate>
bool eventually(Predicate ready, std::chrono::milliseconds timeout);

void sleep(std::chrono::milliseconds duration);

template <typename Predicate>
bool eventually(Predicate ready, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    sleep(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace sweepmark::wine
