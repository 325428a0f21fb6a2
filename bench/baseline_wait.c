/* The wait as a plain loop would do it: take a clock reading, start the stop command, poll the
 * clock until six seconds have passed, start the start command. Baseline for the CPU the wait
 * costs and for how close to the six seconds the start command can be launched. */
#include <spawn.h>
#include <time.h>

extern char** environ;

static long long now_ns(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

static void launch(const char* verb) {
  char* argv[] = {"sc", (char*)verb, "Clarion Application Broker", NULL};
  pid_t child;
  posix_spawnp(&child, "sc", NULL, NULL, argv, environ);
}

int main(void) {
  const long long stop_clock = now_ns();
  launch("stop");
  while (now_ns() - stop_clock < 6000000000LL) {
  }
  launch("start");
  return 0;
}
