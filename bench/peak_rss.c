/* Runs a program and prints its peak resident size in kilobytes on the last line of standard
 * error. The kernel counts the memory a child had before exec into its peak, so the child must be
 * forked from a process as small as this static one, not from the benchmark's own interpreter. */
#include <stdio.h>
#include <unistd.h>

#include <sys/resource.h>
#include <sys/wait.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    return 2;
  }
  const pid_t child = fork();
  if (child < 0) {
    return 3;
  }
  if (child == 0) {
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child) {
    return 4;
  }
  if (fprintf(stderr, "%ld\n", usage.ru_maxrss) < 0) {
    return 6;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 5;
}
