#include "wine_support.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>
#include <tlhelp32.h>

namespace sweepmark::wine {
namespace {

std::string last_error_text(std::string_view what) {
  return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

long long filetime_ms(const FILETIME& time) {
  return static_cast<long long>(
      (static_cast<unsigned long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 10'000);
}

// Opens every process that `parent` starts as soon as it appears and keeps it open, so that its
// creation time and program can still be read once it has ended. (Wine's list of the processes in
// a job left out the short-lived ones here, though it counted them, so the watch reads the
// process list instead.)
class ChildWatch {
 public:
  explicit ChildWatch(DWORD parent) : m_parent(parent), m_thread([this] { watch(); }) {}
  ChildWatch(const ChildWatch&) = delete;
  ChildWatch& operator=(const ChildWatch&) = delete;
  ~ChildWatch() {
    stop();
    for (const HANDLE process : m_opened) {
      CloseHandle(process);
    }
  }

  void stop() {
    m_stop = true;
    if (m_thread.joinable()) {
      m_thread.join();
    }
  }

  std::vector<Started> started() {
    stop();
    std::vector<Started> result;
    for (const HANDLE process : m_opened) {
      Started entry;
      char path[MAX_PATH] = {};
      DWORD length = MAX_PATH;
      if (QueryFullProcessImageNameA(process, 0, path, &length)) {
        entry.program.assign(path, length);
      }
      FILETIME created{}, exited{}, kernel{}, user{};
      if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        entry.created_ms = filetime_ms(created);
      }
      result.push_back(entry);
    }
    std::sort(result.begin(), result.end(),
              [](const Started& a, const Started& b) { return a.created_ms < b.created_ms; });
    return result;
  }

 private:
  static unsigned long long creation_time(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    return static_cast<unsigned long long>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
  }

  void watch() {
    while (!m_stop) {
      const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
      PROCESSENTRY32 entry{};
      entry.dwSize = sizeof entry;
      for (BOOL more = Process32First(snapshot, &entry); more;
           more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != m_parent) {
          continue;
        }
        // Wine hands out the number of an ended process again at once.
        const auto known = m_by_id.find(entry.th32ProcessID);
        if (known != m_by_id.end() && WaitForSingleObject(known->second, 0) == WAIT_TIMEOUT) {
          continue;
        }
        const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                           entry.th32ProcessID);
        if (process == nullptr) {
          continue;
        }
        // A process that has just ended can still be listed: the same process, opened again.
        if (known != m_by_id.end() && creation_time(known->second) == creation_time(process)) {
          CloseHandle(process);
          continue;
        }
        m_by_id[entry.th32ProcessID] = process;
        m_opened.push_back(process);
      }
      CloseHandle(snapshot);
      Sleep(1);
    }
  }

  DWORD m_parent;
  std::map<DWORD, HANDLE> m_by_id;
  std::vector<HANDLE> m_opened;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

std::string parent_folder(const std::string& path) {
  const std::size_t separator = path.find_last_of('\\');
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

}  // namespace

std::string child(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path.append(folder).append(1, '\\').append(name);
  return path;
}

std::string scratch_folder() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  std::replace(name.begin(), name.end(), '/', '.');
  std::string path = child("C:\\sweepmark-tests", name);
  remove_tree(path);
  make_folder(path);
  return path;
}

void make_folder(const std::string& path) {
  if (exists(path)) {
    return;
  }
  const std::string parent = parent_folder(path);
  if (!parent.empty() && parent.back() != ':') {
    make_folder(parent);
  }
  if (!CreateDirectoryA(path.c_str(), nullptr)) {
    throw std::runtime_error(last_error_text("CreateDirectoryA " + path));
  }
}

void write_file(const std::string& path, std::string_view bytes) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw std::runtime_error(last_error_text("CreateFileA " + path));
  }
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != bytes.size()) {
    throw std::runtime_error(last_error_text("WriteFile " + path));
  }
}

std::optional<std::string> read_file(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  CloseHandle(file);
  return text;
}

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void remove_tree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return;
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    DeleteFileA(path.c_str());
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    for (const std::string& name : folder_names(path)) {
      remove_tree(child(path, name));
    }
  }
  if (!RemoveDirectoryA(path.c_str()) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    DeleteFileA(path.c_str());  // How Wine removes a link to a folder.
  }
}

std::vector<std::string> folder_names(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") {
      names.push_back(name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

/// The Unix path Wine maps a Windows path to.
std::string unix_name(const std::string& path) {
  using UnixName = char*(CDECL*)(const WCHAR*);
  const auto get = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (get == nullptr) {
    throw std::runtime_error("not running under Wine");
  }
  std::wstring wide(path.begin(), path.end());
  char* name = get(wide.c_str());
  if (name == nullptr) {
    throw std::runtime_error("no Unix name for " + path);
  }
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

}  // namespace

void make_unix_link(const std::string& target, const std::string& link) {
  // Wine hands back no process to wait for when it starts a Unix program, so the test waits for
  // the link itself.
  run("Z:\\bin\\ln -s \"" + unix_name(target) + "\" \"" + unix_name(link) + "\"", "",
      std::chrono::milliseconds(0));
  if (!eventually([&] { return exists(link); }, std::chrono::seconds(10))) {
    throw std::runtime_error("ln -s failed for " + link);
  }
}

std::string built_program(std::string_view file_name) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return parent_folder(std::string(path, length)) + "\\" + std::string(file_name);
}

std::string sweepmark_program() {
  // The build passes the Unix path; Wine's drive Z: is the Unix root.
  std::string path = "Z:" + std::string(SWEEPMARK_PROGRAM);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

Finished run(const std::string& command_line, const std::string& folder,
             std::chrono::milliseconds timeout) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = command_line;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    throw std::runtime_error(last_error_text("CreateProcessA " + command_line));
  }
  CloseHandle(process.hThread);
  Finished result;
  result.finished =
      WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
  GetExitCodeProcess(process.hProcess, &result.exit_code);
  CloseHandle(process.hProcess);
  return result;
}

Finished run_sweepmark(const std::string& folder, std::chrono::milliseconds timeout,
                       const std::string& program) {
  // Every process sweepmark starts joins its job, so the test can wait for all of them.
  const HANDLE job = CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) {
    throw std::runtime_error(last_error_text("CreateJobObjectA"));
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = "\"" + (program.empty() ? sweepmark_program() : program) + "\"";
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      folder.c_str(), &startup, &process)) {
    CloseHandle(job);
    throw std::runtime_error(last_error_text("CreateProcessA " + line));
  }
  AssignProcessToJobObject(job, process.hProcess);
  ChildWatch watch(process.dwProcessId);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);

  Finished result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  result.finished =
      WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
  GetExitCodeProcess(process.hProcess, &result.exit_code);
  CloseHandle(process.hProcess);
  result.finished =
      result.finished && eventually(
                             [&] {
                               JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
                               QueryInformationJobObject(job, JobObjectBasicAccountingInformation,
                                                         &info, sizeof info, nullptr);
                               return info.ActiveProcesses == 0;
                             },
                             std::chrono::duration_cast<std::chrono::milliseconds>(
                                 deadline - std::chrono::steady_clock::now()));
  result.started = watch.started();
  CloseHandle(job);
  return result;
}

long long system_time_ms() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return filetime_ms(now);
}

void sleep(std::chrono::milliseconds duration) {
  Sleep(static_cast<DWORD>(duration.count()));
}

}  // namespace sweepmark::wine
