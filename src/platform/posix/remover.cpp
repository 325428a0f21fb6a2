#include "platform/posix/remover.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif

#include <cerrno>
#include <climits>
#include <cstring>

namespace sweepmark {
namespace {

// Older C library headers may not name the mount-ID field of statx yet.
#ifndef STATX_MNT_ID
constexpr unsigned k_statx_mnt_id = 0x00001000U;
#else
constexpr unsigned k_statx_mnt_id = STATX_MNT_ID;
#endif

/// What a removal stays inside: the mount of the public folder.
struct Bounds {
  dev_t device;
  std::optional<std::uint64_t> mount;
};

enum class OpenResult { opened, other_mount, not_a_folder, failed };

/// Opens the subfolder `name` of `parent` without following a link and without leaving the mount.
OpenResult open_subfolder(int parent, const char* name, const Bounds& bounds, Fd& opened) {
  constexpr int k_flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
#if defined(SYS_openat2) && defined(RESOLVE_NO_XDEV)
  // Where the kernel has it, the kernel itself refuses a step onto another mount.
  static bool s_openat2 = true;
  if (s_openat2) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(k_flags);
    how.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, parent, name, &how, sizeof how);
    if (fd >= 0) {
      opened.reset(static_cast<int>(fd));
    } else if (errno == EXDEV) {
      return OpenResult::other_mount;
    } else if (errno == ENOTDIR || errno == ELOOP) {
      return OpenResult::not_a_folder;
    } else if (errno == ENOSYS || errno == EPERM) {
      // No openat2 here (or a filter forbids it): checked by hand below from now on.
      s_openat2 = false;
    } else {
      return OpenResult::failed;
    }
  }
  if (!s_openat2)
#endif
  {
    opened.reset(::openat(parent, name, k_flags));
    if (opened.get() < 0) {
      return errno == ENOTDIR || errno == ELOOP ? OpenResult::not_a_folder : OpenResult::failed;
    }
  }
  // Checked after every opening, openat2 or not: a device of its own, or a mount of its own on
  // the same device (a bind mount), is another mount.
  struct stat info {};
  if (::fstat(opened.get(), &info) != 0 || info.st_dev != bounds.device ||
      (bounds.mount && mount_id(opened.get(), "", AT_EMPTY_PATH) != bounds.mount)) {
    opened.reset();
    return OpenResult::other_mount;
  }
  return OpenResult::opened;
}

/// Removes everything inside the folder open as `folder` that lies on its mount; what another
/// mount holds, and the folder it is mounted on, stay.
void remove_contents(int folder, const Bounds& bounds) {
  DIR* dir = ::fdopendir(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
  if (dir == nullptr) {
    return;
  }
  while (const dirent* found = ::readdir(dir)) {
    const char* name = found->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
      continue;
    }
    bool directory = found->d_type == DT_DIR;
    if (found->d_type == DT_UNKNOWN) {
      struct stat info {};
      directory = ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
    }
    if (!directory) {
      // A file or a link: unlinking never touches what a link leads to.
      ::unlinkat(folder, name, 0);
      continue;
    }
    Fd sub;
    switch (open_subfolder(folder, name, bounds, sub)) {
      case OpenResult::opened:
        remove_contents(sub.get(), bounds);
        sub.reset();
        ::unlinkat(folder, name, AT_REMOVEDIR);
        break;
      case OpenResult::not_a_folder:
        // Replaced by a link or a file since it was read: that is what goes.
        ::unlinkat(folder, name, 0);
        break;
      case OpenResult::other_mount:
      case OpenResult::failed:
        break;
    }
  }
  ::closedir(dir);
}

/// Closes every descriptor from `first` on.
void close_from(int first) {
#ifdef SYS_close_range
  if (::syscall(SYS_close_range, static_cast<unsigned>(first), ~0U, 0U) == 0) {
    return;
  }
#endif
  const long most = ::sysconf(_SC_OPEN_MAX);
  for (long fd = first; fd < (most > 0 ? most : 1024); ++fd) {
    ::close(static_cast<int>(fd));
  }
}

/// Removes `name` in `folder` as start_remover describes, and returns when it is done.
void remove_entry(int folder, const char* name, bool link) {
  if (link) {
    // Unlinking cannot remove a folder, so a link that has become a folder, or a mount point
    // (which lists as a link), stays.
    ::unlinkat(folder, name, 0);
    return;
  }
  struct stat info {};
  if (::fstat(folder, &info) != 0) {
    return;
  }
  const Bounds bounds{info.st_dev, mount_id(folder, "", AT_EMPTY_PATH)};
  Fd top;
  switch (open_subfolder(folder, name, bounds, top)) {
    case OpenResult::opened:
      remove_contents(top.get(), bounds);
      top.reset();
      ::unlinkat(folder, name, AT_REMOVEDIR);
      break;
    case OpenResult::not_a_folder:
      ::unlinkat(folder, name, 0);
      break;
    case OpenResult::other_mount:
    case OpenResult::failed:
      break;
  }
}

}  // namespace

std::optional<std::uint64_t> mount_id(int folder, const char* name, int flags) {
  struct statx info {};
  if (::statx(folder, name, flags, k_statx_mnt_id, &info) == 0 &&
      (info.stx_mask & k_statx_mnt_id) != 0) {
    return info.stx_mnt_id;
  }
  // Kernels before 5.8: file handles carry the mount ID too, where the file system has handles.
  union {
    file_handle handle;
    char bytes[sizeof(file_handle) + MAX_HANDLE_SZ];
  } buffer{};
  buffer.handle.handle_bytes = MAX_HANDLE_SZ;
  int mount = 0;
  if (::name_to_handle_at(folder, name, &buffer.handle, &mount, flags & AT_EMPTY_PATH) == 0) {
    return static_cast<std::uint64_t>(mount);
  }
  return std::nullopt;
}

bool start_remover(int folder, const std::string& name, bool link) {
  const pid_t child = ::fork();
  if (child < 0) {
    return false;
  }
  if (child > 0) {
    return true;
  }
  // The child: it runs no other program, so it needs no path to one and nothing can stand in for
  // it. It starts a session of its own and gives up everything of ours it does not need.
  ::setsid();
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  ::sigaction(SIGCHLD, &defaults, nullptr);
  ::sigaction(SIGPIPE, &defaults, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
  }
  constexpr int k_folder_fd = STDERR_FILENO + 1;
  if (folder != k_folder_fd && ::dup2(folder, k_folder_fd) < 0) {
    ::_exit(1);
  }
  close_from(k_folder_fd + 1);
  // Every level of a deep tree holds two descriptors while its subfolders are removed.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  remove_entry(k_folder_fd, name.c_str(), link);
  ::_exit(0);
}

}  // namespace sweepmark
