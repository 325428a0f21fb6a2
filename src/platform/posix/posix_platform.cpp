// The POSIX backend: the program's operations on Linux, with the observable rules of the Windows
// functions they stand in for.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

#include "base/fixed_text.h"
#include "platform/entry_time.h"
#include "platform/platform.h"
#include "platform/posix/remover.h"
#include "winrules/command_line.h"
#include "winrules/name_rules.h"
#include "winrules/profile_text.h"

namespace sweepmark {
namespace {

// What the settings reads return, as a buffer of this size would hold it: 1023 characters and the
// closing NUL.
constexpr std::size_t k_profile_buffer = 1024;

/// Paths arrive as the settings file spells them, often with Windows separators.
std::string posix_path(std::string_view path) {
  std::string result(path);
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

enum class ReadResult { ok, missing, failed };

/// Reads a regular file whole. Anything else (a FIFO, a device, a folder) is a failure, found
/// without blocking: opening a FIFO for reading would otherwise wait for a writer for ever.
ReadResult read_whole_file(const std::string& path, std::string& text, struct stat& info) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) {
    return errno == ENOENT || errno == ENOTDIR ? ReadResult::missing : ReadResult::failed;
  }
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return ReadResult::failed;
  }
  text.clear();
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got == 0) {
      return ReadResult::ok;
    }
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return ReadResult::failed;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t put = ::write(fd, text.data(), text.size());
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

/// Replaces the file at `path` with `text` so that a crash or a full disk leaves either the old
/// file or the new one, never a part: the text goes to a temporary file beside it, which then
/// takes its place. The file keeps its permissions (and, where we may, its owner); a link is
/// followed, so the file it leads to is replaced and the link stays.
bool replace_file(const std::string& path, std::string_view text) {
  std::string target = path;
  struct stat link_info {};
  if (::lstat(path.c_str(), &link_info) == 0 && S_ISLNK(link_info.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
      return false;
    }
    target = real;
    std::free(real);
  }
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  // A file without write permission is read-only, as a file with the read-only attribute is on
  // Windows, where no one may write it, administrators included. Renaming a new file over it would
  // get around that.
  if (existed && ((old.st_mode & S_IWUSR) == 0 ||
                  ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)) {
    return false;
  }

  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = folder + "/." + base + ".XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) {
    return false;
  }
  mode_t mode = 0;
  if (existed) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = write_all(fd.get(), text) && ::fchmod(fd.get(), mode) == 0;
  if (ok && existed && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    // Only an administrator may give a file away; anyone else keeps the file as their own.
    if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0 && errno != EPERM) {
      ok = false;
    }
  }
  ok = ok && ::fsync(fd.get()) == 0;
  ok = ::close(fd.release()) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) {
    ::fsync(dir.get());  // Makes the rename itself last; a failure here loses nothing.
  }
  return true;
}

bool same_file_state(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

void reap_children() {
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

// A handler, even one that does nothing, makes SIGCHLD end a sleep, so exited children are reaped
// while the program waits instead of lingering as zombies until it ends.
void on_child_exit(int /*signal*/) {}

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() {
    struct sigaction action {};
    action.sa_handler = on_child_exit;
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGCHLD, &action, &m_old_sigchld);
  }

  ~PosixPlatform() override { ::sigaction(SIGCHLD, &m_old_sigchld, nullptr); }

  PosixPlatform(const PosixPlatform&) = delete;
  PosixPlatform& operator=(const PosixPlatform&) = delete;

  std::string read_setting(std::string_view section, std::string_view key,
                           std::string_view fallback, std::string_view file) override {
    const ProfileText* text = load(resolve_settings_file(file));
    const std::optional<std::string_view> value =
        text == nullptr ? std::nullopt : text->find(section, key);
    if (!value) {
      return std::string(fallback);
    }
    // What a buffer of k_profile_buffer bytes returns: the text up to its first NUL.
    const std::string_view kept = value->substr(0, k_profile_buffer - 1);
    return std::string(kept.substr(0, kept.find('\0')));
  }

  bool write_setting(std::string_view section, std::string_view key, std::string_view value,
                     std::string_view file) override {
    const std::string path = resolve_settings_file(file);
    // Read afresh rather than from the cache: a change made behind our back within one tick of
    // the file's time stamp would otherwise be written over.
    std::string current;
    struct stat info {};
    if (read_whole_file(path, current, info) == ReadResult::failed) {
      return false;  // Writing now could throw away a file that we merely failed to read.
    }
    ProfileText text(std::move(current));
    const std::string before = text.text();
    if (!text.set(section, key, value)) {
      return false;
    }
    if (text.text() == before) {
      return true;
    }
    // The write may create the file, and a folder's time stamp is too coarse to show that
    // reliably: every name is resolved afresh after it.
    m_names.clear();
    m_cache.erase(path);
    return replace_file(path, text.text());
  }

  bool path_present(std::string_view path) override {
    struct stat info {};
    return ::stat(posix_path(path).c_str(), &info) == 0;
  }

  void set_default_icon(std::string_view file) override {
    // There is no window to give an icon; what remains is the attempt to open the file, which
    // must not wait on a FIFO.
    Fd fd(::open(posix_path(file).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  }

  std::unique_ptr<PublicFolder> open_folder(std::string_view path) override;

  bool launch(const LaunchText& command) override {
    if (command.program.empty()) {
      return false;
    }
    // The argument string is split as the C runtime of a Windows program would split it.
    std::vector<std::string> arguments = split_windows_arguments(command.arguments);
    arguments.insert(arguments.begin(), std::string(command.program));
    return spawn(arguments.front().c_str(), arguments);
  }

  Ticks clock() override {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::chrono::seconds(now.tv_sec) +
           std::chrono::duration_cast<Ticks>(std::chrono::nanoseconds(now.tv_nsec));
  }

  void sleep_for(Ticks duration) override {
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    const auto total = std::chrono::nanoseconds(deadline.tv_nsec) + duration;
    const auto whole = std::chrono::floor<std::chrono::seconds>(total);
    deadline.tv_sec += static_cast<time_t>(whole.count());
    deadline.tv_nsec = static_cast<long>((total - whole).count());
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
      reap_children();
    }
    reap_children();
  }

 private:
  std::string resolve_settings_file(std::string_view file);
  const ProfileText* load(const std::string& path);
  bool spawn(const char* program, const std::vector<std::string>& arguments);

  struct CachedText {
    struct stat info;
    ProfileText text;
  };
  std::map<std::string, CachedText> m_cache;
  struct CachedName {
    struct stat folder;
    std::string path;
  };
  std::map<std::string, CachedName> m_names;
  struct sigaction m_old_sigchld {};
};

/// The settings file a Windows name addresses. Windows file names are case-insensitive, so the
/// last component matches any entry of its folder that differs only in letter case; where several
/// do, the first in byte order is taken, so every spelling of the name lands on one file. The
/// answer holds until the folder changes, so many reads in a row scan the folder once.
std::string PosixPlatform::resolve_settings_file(std::string_view file) {
  std::string path = posix_path(file);
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  struct stat folder_info {};
  if (base.empty() || ::stat(folder.c_str(), &folder_info) != 0) {
    return path;
  }
  const auto cached = m_names.find(path);
  if (cached != m_names.end() && same_file_state(cached->second.folder, folder_info)) {
    return cached->second.path;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    return path;
  }
  std::optional<std::string> best;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (equal_upper(name, base) && (!best || name < *best)) {
      best = name;
    }
  }
  ::closedir(dir);
  std::string resolved = !best ? path : (slash == std::string::npos ? *best : folder + *best);
  m_names.insert_or_assign(path, CachedName{folder_info, resolved});
  return resolved;
}

const ProfileText* PosixPlatform::load(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    m_cache.erase(path);
    return nullptr;
  }
  const auto cached = m_cache.find(path);
  if (cached != m_cache.end() && same_file_state(cached->second.info, info)) {
    return &cached->second.text;
  }
  std::string text;
  if (read_whole_file(path, text, info) != ReadResult::ok) {
    m_cache.erase(path);
    return nullptr;
  }
  return &m_cache.insert_or_assign(path, CachedText{info, ProfileText(std::move(text))})
              .first->second.text;
}

/// The public folder through one descriptor, opened once: every listing and removal acts on the
/// folder as it was opened, whatever happens to its path afterwards.
class PosixFolder final : public PublicFolder {
 public:
  explicit PosixFolder(const std::string& path)
      : m_fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (m_fd.get() >= 0 && ::fstat(m_fd.get(), &m_info) != 0) {
      m_fd.reset();
    }
    if (m_fd.get() >= 0) {
      m_known = true;
      m_mount = mount_id(m_fd.get(), "", AT_EMPTY_PATH);
    } else {
      // A folder we may not read can still be the root: what it is does not need reading.
      m_known = ::stat(path.c_str(), &m_info) == 0;
    }
  }

  bool is_root() const override {
    // The root as this process sees it, which is what "/" resolves to here.
    struct stat root {};
    return m_known && ::stat("/", &root) == 0 && root.st_dev == m_info.st_dev &&
           root.st_ino == m_info.st_ino;
  }

  bool list(FolderEntries& list) override;

  bool remove(const Deletion& deletion) override {
    if (m_fd.get() < 0) {
      return false;
    }
    const bool started = start_remover(m_fd.get(), std::string(deletion.name), deletion.link);
    reap_children();
    return started;
  }

  NameRules name_rules() const override { return NameRules::posix; }

 private:
  Fd m_fd;
  struct stat m_info {};
  bool m_known = false;
  std::optional<std::uint64_t> m_mount;
};

std::unique_ptr<PublicFolder> PosixPlatform::open_folder(std::string_view path) {
  return std::make_unique<PosixFolder>(posix_path(path));
}

bool PosixFolder::list(FolderEntries& list) {
  if (m_fd.get() < 0) {
    return false;
  }
  DIR* dir = ::fdopendir(::fcntl(m_fd.get(), F_DUPFD_CLOEXEC, 0));
  if (dir == nullptr) {
    return false;
  }
  bool complete = true;
  while (true) {
    errno = 0;
    const dirent* found = ::readdir(dir);
    if (found == nullptr) {
      complete = errno == 0;
      break;
    }
    const std::string_view name = found->d_name;
    const bool dot = is_dot_name(name);
    struct stat info {};
    if (::fstatat(m_fd.get(), found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) {
        continue;  // Gone since it was listed.
      }
      // A folder that can be read but not searched: its entries cannot be told apart, and
      // nothing in it could be removed.
      complete = false;
      break;
    }
    FolderEntry entry;
    bool directory = S_ISDIR(info.st_mode);
    if (S_ISLNK(info.st_mode)) {
      // A link to a folder lists as a folder, as a directory link does on Windows.
      struct stat target {};
      directory = ::fstatat(m_fd.get(), found->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
      entry.LINK = true;
    } else if (directory && !dot &&
               (info.st_dev != m_info.st_dev ||
                (m_mount && mount_id(m_fd.get(), found->d_name, AT_SYMLINK_NOFOLLOW) != m_mount))) {
      // A mount point, a bind mount of this very file system included: what is mounted there is
      // never entered, so it is removed as a link would be.
      entry.LINK = true;
    }
    std::uint8_t attrib = 0;
    if (directory) {
      attrib |= k_attrib_directory;
    } else if (S_ISREG(info.st_mode)) {
      attrib |= k_attrib_archive;
    }
    if (name.front() == '.' && !dot) {
      attrib |= k_attrib_hidden;
    }
    if ((info.st_mode & S_IWUSR) == 0) {
      attrib |= k_attrib_read_only;
    }
    if (!directory && (attrib & (k_attrib_hidden | k_attrib_system)) != 0) {
      continue;
    }
    entry.NAME.assign(name);
    // A POSIX name is its own short name only where it is a valid 8.3 name; any other name gets
    // none, so it can never be cut or clipped into "ASSETS", "." or "..".
    if (dot || is_short_name(name)) {
      entry.SHORTNAME = name;
    } else {
      entry.SHORTNAME = std::string_view();
    }
    entry.ATTRIB = attrib & k_attrib_mask;
    entry.SIZE = static_cast<std::int32_t>(static_cast<std::uint32_t>(info.st_size));
    tm local{};
    if (::localtime_r(&info.st_mtim.tv_sec, &local) != nullptr) {
      entry.DATE = day_number(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
      // Whole seconds, as the Windows listing gives them.
      entry.TIME = time_of_day(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), 0);
    }
    list.push_back(std::move(entry));
  }
  ::closedir(dir);
  return complete;
}

bool PosixPlatform::spawn(const char* program, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attributes);
  // Detached: a session of its own, nothing of ours to read from or write to, and no other
  // descriptor, so whoever captures our output does not wait for the command too.
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  ::posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t no_mask;
  sigemptyset(&no_mask);
  ::posix_spawnattr_setsigmask(&attributes, &no_mask);
  ::posix_spawnattr_setflags(
      &attributes,
      static_cast<short>(POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
  pid_t child = 0;
  const int error = ::posix_spawnp(&child, program, &actions, &attributes, argv.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  reap_children();
  return error == 0;
}

}  // namespace

std::unique_ptr<Platform> make_real_platform() {
  return std::make_unique<PosixPlatform>();
}

}  // namespace sweepmark
