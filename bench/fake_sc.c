/* A stand-in for the service control tool: appends the moment it started (CLOCK_MONOTONIC, in
 * nanoseconds) and its arguments as one line to the file named by SWEEPMARK_SC_LOG. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const char* log = getenv("SWEEPMARK_SC_LOG");
  if (log == NULL) {
    return 2;
  }
  char line[512];
  int length =
      snprintf(line, sizeof line, "%lld", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
  for (int i = 1; i < argc && length > 0 && (size_t)length < sizeof line; ++i) {
    length += snprintf(line + length, sizeof line - (size_t)length, " %s", argv[i]);
  }
  if (length <= 0 || (size_t)length >= sizeof line - 1) {
    return 3;
  }
  line[length++] = '\n';
  const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, line, (size_t)length) != length) {
    return 4;
  }
  close(fd);
  return 0;
}
