#pragma once

// The POSIX backend's own remover, and the descriptor helpers it shares with the backend.

#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace sweepmark {

/// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : m_fd(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return m_fd; }
  void reset(int fd = -1) {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
    m_fd = fd;
  }
  int release() { return std::exchange(m_fd, -1); }

 private:
  int m_fd;
};

/// The ID of the mount that `name` in `folder` is on (flags as for fstatat), or nothing where the
/// kernel cannot tell. Two bind mounts of one file system share a device number but not a mount ID.
std::optional<std::uint64_t> mount_id(int folder, const char* name, int flags);

/// Starts the removal of the entry `name` of the folder open as `folder` in a detached process of
/// its own, never waiting for it; false when no process could be started. The process works only
/// through descriptors: it never follows a link and never enters a folder on another mount, at any
/// depth. With `link` it removes the entry only if it is no folder: a link, never what it leads
/// to, and never a mount point. Without `link` it removes a folder and everything in it that is on
/// the folder's own mount; a name that has become a link or a file since it was listed is removed
/// as that link or file. It gets /dev/null as standard input, output and error and keeps no other
/// descriptor of ours but the folder.
bool start_remover(int folder, const std::string& name, bool link);

}  // namespace sweepmark
