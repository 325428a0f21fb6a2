#pragma once

// Scratch folders, privilege drops, mounts and program runs for the fault-injection tests. Each
// test works in a folder of its own under $TMPDIR (or /tmp), and whatever it mounts lives in a
// mount namespace of the test process, so it vanishes with the process even when a test crashes.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace sweepmark::robustness {

bool running_as_root();

/// A folder of its own, removed with everything in it (mounts first) when the test ends.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& path() const { return m_path; }
  std::string operator/(std::string_view name) const { return m_path + "/" + std::string(name); }

  /// Mounts a tmpfs of `size` (as mount(8) reads it, "1m") at `folder`, which must exist. Only
  /// root can; the caller skips first.
  void mount_tmpfs(const std::string& folder, const std::string& size);
  /// Makes a mounted tmpfs read-only.
  void remount_read_only(const std::string& folder);

 private:
  std::string m_path;
  std::vector<std::string> m_mounts;
};

void write_file(const std::string& path, std::string_view bytes);
std::string read_file(const std::string& path);
bool exists(const std::string& path);
/// The names in `folder`, sorted, "." and ".." left out.
std::vector<std::string> names_in(const std::string& folder);
/// Creates `folder` and, in it, one subfolder per name, each holding a file "keep", so that a
/// subfolder either is gone or is still whole.
void make_folder(const std::string& folder, const std::vector<std::string>& subfolders);
/// `folder` + "/" + `name`.
std::string path_in(const std::string& folder, std::string_view name);
/// True when `folder` still holds its file "keep".
bool whole(const std::string& folder);

/// Gives the tree at `path` to `uid` (group `uid` as well), links included.
void give_tree(const std::string& path, uid_t uid);

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
};

/// Runs the program in `folder` and returns its exit code (-1 when a signal ended it), once the
/// program and every process it started have ended.
int run_program(const std::string& folder, const RunAs& as = {});

/// Waits for every child of this process, and for the orphans it adopted as their reaper.
void wait_for_all_children();

/// A settings file for a run that cleans `public_path`: CRLF lines, `Restart` as given (no key at
/// all when empty).
std::string settings_text(const std::string& public_path, std::string_view restart = "N");

}  // namespace sweepmark::robustness
