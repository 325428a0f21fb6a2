/* Lists a folder and keeps every name in memory, as little as a program can hold of a listing:
 * the memory baseline for the purge's listing and selection. */
#include <dirent.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    return 2;
  }
  DIR* dir = opendir(argv[1]);
  if (dir == NULL) {
    return 3;
  }
  char** names = NULL;
  size_t count = 0;
  size_t capacity = 0;
  for (struct dirent* entry; (entry = readdir(dir)) != NULL;) {
    if (count == capacity) {
      capacity = capacity == 0 ? 64 : capacity * 2;
      char** grown = realloc(names, capacity * sizeof *names);
      if (grown == NULL) {
        return 4;
      }
      names = grown;
    }
    names[count++] = strdup(entry->d_name);
  }
  closedir(dir);
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    kept += strcmp(names[i], "ASSETS") != 0;
    free(names[i]);
  }
  free(names);
  return kept == 0 ? 1 : 0;
}
