// A stand-in for the broker service "Clarion Application Broker": it does nothing but run, and
// logs its start and its stop to "broker.log" beside its own executable, one line each:
//   "start <milliseconds>" / "stop <milliseconds>"
// The milliseconds are the system time since 1601, the clock Windows records process creation
// times in, so the test can set them against the moment sc.exe was started.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr char k_service_name[] = "Clarion Application Broker";

SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop_event = nullptr;
std::string g_log_path;

long long milliseconds_now() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return static_cast<long long>(
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10'000);
}

void log_event(const char* what) {
  char line[64];
  const int length = std::snprintf(line, sizeof line, "%s %lld\r\n", what, milliseconds_now());
  const HANDLE file = CreateFileA(g_log_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
  }
}

void report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(g_status_handle, &status);
}

DWORD WINAPI control_handler(DWORD control, DWORD, LPVOID, LPVOID) {
  if (control == SERVICE_CONTROL_STOP) {
    log_event("stop");
    report(SERVICE_STOP_PENDING);
    SetEvent(g_stop_event);
  }
  return NO_ERROR;
}

void WINAPI service_main(DWORD, LPSTR*) {
  g_status_handle = RegisterServiceCtrlHandlerExA(k_service_name, control_handler, nullptr);
  if (g_status_handle == nullptr) {
    return;
  }
  report(SERVICE_RUNNING);
  log_event("start");
  WaitForSingleObject(g_stop_event, INFINITE);
  report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  g_log_path.assign(path, length);
  g_log_path.resize(g_log_path.rfind('\\') + 1);
  g_log_path += "broker.log";
  g_stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  char name[sizeof k_service_name];
  std::copy(k_service_name, k_service_name + sizeof k_service_name, name);
  SERVICE_TABLE_ENTRYA table[] = {{name, service_main}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
