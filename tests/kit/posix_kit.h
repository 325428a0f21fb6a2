#pragma once

// The kit of the POSIX tests (the backend's tests, the end-to-end runs and the fault-injection
// tests): scratch folders, file helpers, privilege drops, mounts and runs of the shipped program.
// Each test works in a folder of its own under $TMPDIR (or /tmp), and whatever it mounts lives in
// a mount namespace of the test process, so it vanishes with the process even when a test crashes.
// Helpers fail loudly (they throw) where a test could otherwise pass on a setup that went wrong.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace sweepmark::testing {

bool running_as_root();

/// A folder of its own, removed with everything in it (mounts first, links never followed) when
/// the test ends, whatever permissions the test took away inside it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

  /// Mounts a tmpfs of `size` (as mount(8) reads it, "1m") at `folder`, which must exist. Only
  /// root can; the caller skips first.
  void mount_tmpfs(const std::filesystem::path& folder, const std::string& size);
  /// Makes a mounted tmpfs read-only.
  void remount_read_only(const std::filesystem::path& folder);

 private:
  std::filesystem::path m_path;
  std::vector<std::filesystem::path> m_mounts;
};

/// Writes `bytes` to `path`, replacing what was there and creating the folders on the way.
void write_file(const std::filesystem::path& path, std::string_view bytes);

/// What read_file does with a file that is not there.
enum class Missing {
  /// Throws: the file is the test's own and must be there.
  fail,
  /// Reads as empty: the file is written by a process that may not have got to it yet.
  empty,
};
std::string read_file(const std::filesystem::path& path, Missing missing = Missing::fail);

/// True when `path` names anything, a dangling link included (std::filesystem::exists follows
/// links).
bool named(const std::filesystem::path& path);
/// The names in `folder`, sorted, "." and ".." left out.
std::vector<std::string> names_in(const std::filesystem::path& folder);
/// Creates `folder` and, in it, one subfolder per name, each holding a file "keep", so that a
/// subfolder either is gone or is still whole.
void make_folder(const std::filesystem::path& folder, const std::vector<std::string>& subfolders);
/// True when `folder` still holds its file "keep".
bool whole(const std::filesystem::path& folder);

/// Waits for something the program's detached processes do; false when it has not happened in time.
bool eventually(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

/// Gives the tree at `path` to `uid` (group `uid` as well), links included.
void give_tree(const std::filesystem::path& path, uid_t uid);

/// The account of nobody, for runs that must not bypass permissions.
inline constexpr uid_t k_nobody = 65534;
/// A user id that no process runs as right now, so that a process limit counts only the processes
/// of the run itself.
uid_t unused_uid();

/// How a run of the program is started.
struct RunAs {
  /// Run as this user (and group) instead of the test's own; only root can.
  std::optional<uid_t> user;
  /// The most processes that user may have at once (RLIMIT_NPROC).
  std::optional<unsigned long> process_limit;
  /// The program's PATH instead of the test's own, where the test puts a stand-in `sc`.
  std::optional<std::string> path_variable;
};

/// Runs the program in `folder` and returns its exit code (-1 when a signal ended it), once the
/// program and every process it started have ended.
int run_program(const std::filesystem::path& folder, const RunAs& as = {});

/// Waits for every child of this process, and for the orphans it adopted as their reaper.
void wait_for_all_children();

/// A settings file for a run that cleans `public_path`: CRLF lines, `Restart` as given (no key at
/// all when empty).
std::string settings_text(const std::string& public_path, std::string_view restart = "N");

/// A row of a parameterized test: the name it shows in the test's title, and what it tries.
template <typename Kind>
struct NamedCase {
  const char* name;
  Kind kind;
};

template <typename Kind>
void PrintTo(const NamedCase<Kind>& row, std::ostream* out) {
  *out << row.name;
}

}  // namespace sweepmark::testing
