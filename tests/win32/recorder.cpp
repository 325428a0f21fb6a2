// A stand-in program that records how it was started: it appends its own command line, as
// GetCommandLineA returns it, and its current directory to the file named by the environment
// variable SWEEPMARK_RECORDER_LOG, one line each: "<command line>|<current directory>".

#include <windows.h>

#include <string>

int main() {
  char log[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("SWEEPMARK_RECORDER_LOG", log, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return 2;
  }
  char folder[MAX_PATH];
  const DWORD folder_length = GetCurrentDirectoryA(MAX_PATH, folder);
  std::string line = GetCommandLineA();
  line.append("|").append(folder, folder_length).append("\r\n");
  // Several recorders may run at once: the file is opened by one writer at a time.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const HANDLE file =
        CreateFileA(log, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(file);
      return 0;
    }
    Sleep(5);
  }
  return 3;
}
