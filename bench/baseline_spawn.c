/* Starts one deletion per subfolder of a folder, ASSETS aside, in a plain loop: the
 * /bin/rm -rf --one-file-system -- NAME, run inside the folder, detached, never awaited, exited
 * children reaped as it goes. The machine's own limit for starting the purge's processes. */
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <unistd.h>

#include <sys/wait.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    return 2;
  }
  const int folder = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = folder < 0 ? NULL : fdopendir(dup(folder));
  if (dir == NULL) {
    return 3;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addfchdir_np(&actions, folder);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  int failed = 0;
  for (struct dirent* entry; (entry = readdir(dir)) != NULL;) {
    if (entry->d_type != DT_DIR || strcmp(entry->d_name, ".") == 0 ||
        strcmp(entry->d_name, "..") == 0 || strcmp(entry->d_name, "ASSETS") == 0) {
      continue;
    }
    char* rm_argv[] = {"rm", "-rf", "--one-file-system", "--", entry->d_name, NULL};
    pid_t child;
    failed |= posix_spawn(&child, "/bin/rm", &actions, &attributes, rm_argv, environ) != 0;
    while (waitpid(-1, NULL, WNOHANG) > 0) {
    }
  }
  closedir(dir);
  return failed ? 8 : 0;
}
