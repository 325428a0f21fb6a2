#include "posix_kit.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace sweepmark::testing {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Mounts made by a test stay inside the test process: a namespace of its own, cut off from the
// machine's, so nothing leaks even when the process dies without cleaning up.
void enter_private_mount_namespace() {
  static bool entered = false;
  if (entered) {
    return;
  }
  if (::unshare(CLONE_NEWNS) != 0) {
    fail("unshare(CLONE_NEWNS)");
  }
  if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    fail("making the mounts private");
  }
  entered = true;
}

uid_t g_tree_owner = 0;

int give_one(const char* path, const struct stat* /*info*/, int /*type*/, FTW* /*ftw*/) {
  return ::lchown(path, g_tree_owner, g_tree_owner) == 0 ? 0 : -1;
}

}  // namespace

bool running_as_root() {
  return ::geteuid() == 0;
}

ScratchFolder::ScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/sweepmark-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    fail("mkdtemp");
  }
  m_path = pattern;
  ::chmod(m_path.c_str(), 0755);  // Other users of a run must reach what lies inside.
}

ScratchFolder::~ScratchFolder() {
  for (auto mount = m_mounts.rbegin(); mount != m_mounts.rend(); ++mount) {
    ::umount2(mount->c_str(), MNT_DETACH);
  }
  // A test may have taken permissions away; give them back so that everything can go.
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(
           m_path, std::filesystem::directory_options::skip_permission_denied, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) {
      ::chmod(it->path().c_str(), 0700);
    }
  }
  ::chmod(m_path.c_str(), 0700);
  std::filesystem::remove_all(m_path, error);
}

void ScratchFolder::mount_tmpfs(const std::filesystem::path& folder, const std::string& size) {
  enter_private_mount_namespace();
  const std::string options = "size=" + size + ",mode=0755";
  if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    fail("mounting a tmpfs at " + folder.string());
  }
  m_mounts.push_back(folder);
}

void ScratchFolder::remount_read_only(const std::filesystem::path& folder) {
  if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
              nullptr) != 0) {
    fail("remounting " + folder.string() + " read-only");
  }
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    fail("writing " + path.string());
  }
}

std::string read_file(const std::filesystem::path& path, Missing missing) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    // Not there: no such file or folder on the way, or (under /proc) a process that has ended.
    if (missing == Missing::empty && (errno == ENOENT || errno == ENOTDIR || errno == ESRCH)) {
      return {};
    }
    fail("reading " + path.string());
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool named(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> names_in(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    fail("listing " + folder.string());
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names.push_back(name);
    }
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

void make_folder(const std::filesystem::path& folder, const std::vector<std::string>& subfolders) {
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
    fail("mkdir " + folder.string());
  }
  for (const std::string& name : subfolders) {
    const std::filesystem::path sub = folder / name;
    if (::mkdir(sub.c_str(), 0755) != 0) {
      fail("mkdir " + sub.string());
    }
    write_file(sub / "keep", name);
  }
}

bool whole(const std::filesystem::path& folder) {
  return named(folder / "keep");
}

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void give_tree(const std::filesystem::path& path, uid_t uid) {
  g_tree_owner = uid;
  if (::nftw(path.c_str(), give_one, 64, FTW_PHYS) != 0) {
    fail("chown -R " + path.string());
  }
}

uid_t unused_uid() {
  const auto busy = [](uid_t uid) {
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
      struct stat info {};
      if (::stat(process.path().c_str(), &info) == 0 && info.st_uid == uid &&
          std::isdigit(static_cast<unsigned char>(process.path().filename().string()[0]))) {
        return true;
      }
    }
    return false;
  };
  for (uid_t uid = 61000 + static_cast<uid_t>(::getpid() % 1000);; ++uid) {
    if (!busy(uid)) {
      return uid;
    }
  }
}

void wait_for_all_children() {
  while (true) {
    const pid_t pid = ::waitpid(-1, nullptr, 0);
    if (pid < 0 && errno != EINTR) {
      return;  // ECHILD: nothing left.
    }
  }
}

int run_program(const std::filesystem::path& folder, const RunAs& as) {
  // Deletions outlive the program; as their reaper this process can wait for every one of them.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  const std::string program = SWEEPMARK_PROGRAM;
  char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
  // Under a process limit LeakSanitizer cannot start the thread it checks with at the end, and a
  // sanitizer build would fail for that alone.
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view text = *variable;
    if (!text.starts_with("ASAN_OPTIONS=") && !(as.path_variable && text.starts_with("PATH="))) {
      variables.emplace_back(text);
    }
  }
  if (as.path_variable) {
    variables.push_back("PATH=" + *as.path_variable);
  }
  const char* asan_options = std::getenv("ASAN_OPTIONS");
  variables.push_back(std::string("ASAN_OPTIONS=") + (asan_options ? asan_options : "") +
                      (as.process_limit ? ":detect_leaks=0" : ""));
  std::vector<char*> envp;
  envp.reserve(variables.size() + 1);
  for (std::string& variable : variables) {
    envp.push_back(variable.data());
  }
  envp.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) {
    fail("fork");
  }
  if (child == 0) {
    // Only async-signal-safe calls from here on: the test may run threads of its own.
    if (::chdir(folder.c_str()) != 0) {
      ::_exit(126);
    }
    if (as.user) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(*as.user) != 0 || ::setuid(*as.user) != 0) {
        ::_exit(125);
      }
    }
    // A test that dies or times out takes its run with it (a change of user clears this, so it
    // comes after the change).
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (as.process_limit) {
      const rlimit limit{*as.process_limit, *as.process_limit};
      if (::setrlimit(RLIMIT_NPROC, &limit) != 0) {
        ::_exit(124);
      }
    }
    ::execve(program.c_str(), argv, envp.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      fail("waitpid");
    }
  }
  wait_for_all_children();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string settings_text(const std::string& public_path, std::string_view restart) {
  std::string text = "[Q9Actions]\r\nPublicPath=" + public_path + "\r\n";
  if (!restart.empty()) {
    text.append("Restart=").append(restart).append("\r\n");
  }
  return text;
}

}  // namespace sweepmark::testing
