// The Win32 backend: the program's operations through the single-byte (ANSI) functions of the
// Windows API: the settings file and the launches speak the system's ANSI code page, so a stored
// settings file and every path in it read as they were written. The listing alone reads the wide
// names, so that a name the ANSI code page cannot carry is never replaced by a best-fit rendering;
// such a name is deleted through the wide functions.

#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/entry_time.h"
#include "platform/platform.h"
#include "winrules/command_line.h"
#include "winrules/deletion_command.h"
#include "winrules/root_path.h"

namespace sweepmark {
namespace {

// The buffer of a settings read: a value of at most 1023 characters and the closing NUL.
constexpr DWORD k_profile_buffer = 1024;

constexpr DWORD k_kept_attributes = k_attrib_mask;

// What CreateProcessA reports for a program whose manifest asks for more rights than ours (not
// every SDK's headers name it).
constexpr DWORD k_error_elevation_required = 740;

/// Text in `code_page` as UTF-16.
std::wstring wide_from(UINT code_page, std::string_view text) {
  if (text.empty()) {
    return {};
  }
  const int size = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(needed, 0)), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), needed);
  return wide;
}

/// A single-byte text as UTF-16, read in the ANSI code page the "A" functions use.
std::wstring widen(std::string_view text) {
  return wide_from(CP_ACP, text);
}

/// UTF-16 text as UTF-8; nothing when it holds half of a surrogate pair, which UTF-8 cannot
/// carry. Written out here because the system's conversion replaces such a half silently before
/// Windows Vista.
std::optional<std::string> utf8_from_wide(std::wstring_view wide) {
  std::string utf8;
  for (std::size_t at = 0; at < wide.size(); ++at) {
    std::uint32_t code = wide[at];
    if (code >= 0xD800 && code <= 0xDBFF && at + 1 < wide.size() && wide[at + 1] >= 0xDC00 &&
        wide[at + 1] <= 0xDFFF) {
      code =
          0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(wide[at + 1]) - 0xDC00);
      ++at;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      return std::nullopt;
    }
    const auto put = [&](std::uint32_t bits) { utf8 += static_cast<char>(bits); };
    if (code < 0x80) {
      put(code);
    } else if (code < 0x800) {
      put(0xC0 | code >> 6);
      put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      put(0xE0 | code >> 12);
      put(0x80 | (code >> 6 & 0x3F));
      put(0x80 | (code & 0x3F));
    } else {
      put(0xF0 | code >> 18);
      put(0x80 | (code >> 12 & 0x3F));
      put(0x80 | (code >> 6 & 0x3F));
      put(0x80 | (code & 0x3F));
    }
  }
  return utf8;
}

/// Valid UTF-8 text as UTF-16.
std::wstring wide_from_utf8(std::string_view utf8) {
  return wide_from(CP_UTF8, utf8);
}

/// The name in the ANSI code page when the code page carries it exactly, so that the ANSI
/// functions address the very same entry; nothing when any character would be lost or replaced
/// by a best-fit look-alike (full-width "ｏｎｅ" by "one"). Every conversion is checked by
/// converting it back, as the flags alone do not catch every code page's best fits.
std::optional<std::string> exact_ansi(std::wstring_view wide) {
  if (wide.empty()) {
    return std::string();
  }
  const int size = static_cast<int>(wide.size());
  const auto convert = [&](DWORD flags, BOOL* used_default) {
    const int needed =
        WideCharToMultiByte(CP_ACP, flags, wide.data(), size, nullptr, 0, nullptr, used_default);
    std::string ansi(static_cast<std::size_t>(std::max(needed, 0)), '\0');
    if (needed > 0) {
      WideCharToMultiByte(CP_ACP, flags, wide.data(), size, ansi.data(), needed, nullptr,
                          used_default);
    }
    return ansi;
  };
  BOOL used_default = FALSE;
  std::string ansi;
  // UTF-8 and GB 18030 take neither the flag nor the used-default pointer, and a few other code
  // pages refuse flags altogether; for them the conversion back decides alone.
  const UINT code_page = GetACP();
  if (code_page == CP_UTF8 || code_page == 54936) {
    ansi = convert(0, nullptr);
  } else {
    ansi = convert(WC_NO_BEST_FIT_CHARS, &used_default);
    if (ansi.empty() &&
        (GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER)) {
      used_default = FALSE;
      ansi = convert(0, nullptr);
    }
  }
  if (ansi.empty() || used_default) {
    SetLastError(0);
    return std::nullopt;
  }
  const int back_size = static_cast<int>(ansi.size());
  const int needed =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), back_size, nullptr, 0);
  std::wstring back(static_cast<std::size_t>(std::max(needed, 0)), L'\0');
  if (needed > 0) {
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), back_size, back.data(), needed);
  }
  if (back != wide || ansi.find('\0') != std::string::npos) {
    SetLastError(0);
    return std::nullopt;
  }
  return ansi;
}

/// Hands a program to the shell's "open" action, without waiting and without any dialog of its
/// own when that fails.
bool shell_open_wide(const std::wstring& file, const std::wstring& parameters) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&info) != FALSE;
}

bool shell_open(const std::string& program, std::string_view arguments) {
  return shell_open_wide(widen(program), widen(std::string(arguments)));
}

/// Microseconds from a performance-counter reading, without overflowing on long uptimes.
Ticks counter_ticks(LONGLONG count, LONGLONG frequency) {
  const LONGLONG whole = count / frequency;
  const LONGLONG part = count % frequency;
  return Ticks(whole * 1'000'000 + part * 1'000'000 / frequency);
}

class Win32Platform final : public Platform {
 public:
  Win32Platform() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    m_frequency = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
  }

  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  std::string read_setting(std::string_view section, std::string_view key,
                           std::string_view fallback, std::string_view file) override {
    // One buffer holds the default going in and the value coming out: where the key is missing,
    // the profile function leaves the default in place.
    char buffer[k_profile_buffer] = {};
    const std::size_t kept = std::min<std::size_t>(fallback.size(), k_profile_buffer - 1);
    std::copy_n(fallback.begin(), kept, buffer);
    const std::string section_z(section);
    const std::string key_z(key);
    const std::string file_z(file);
    GetPrivateProfileStringA(section_z.c_str(), key_z.c_str(), buffer, buffer, k_profile_buffer,
                             file_z.c_str());
    buffer[k_profile_buffer - 1] = '\0';
    return std::string(buffer);
  }

  bool write_setting(std::string_view section, std::string_view key, std::string_view value,
                     std::string_view file) override {
    const std::string section_z(section);
    const std::string key_z(key);
    const std::string value_z(value);
    const std::string file_z(file);
    return WritePrivateProfileStringA(section_z.c_str(), key_z.c_str(), value_z.c_str(),
                                      file_z.c_str()) != FALSE;
  }

  bool path_present(std::string_view path) override {
    std::string tested(path);
    if (!AreFileApisANSI()) {
      // The file functions read OEM text here; the path, like all our text, is ANSI.
      std::string oem(tested.size() + 1, '\0');
      CharToOemA(tested.c_str(), oem.data());
      oem.resize(oem.find('\0'));
      tested = std::move(oem);
    }
    const DWORD attributes = GetFileAttributesA(tested.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_OFFLINE) != 0) {
      // Absent is an ordinary answer; it leaves no error behind for whoever asks next.
      SetLastError(0);
      return false;
    }
    return true;
  }

  void set_default_icon(std::string_view file) override {
    if (m_icon != nullptr) {
      DestroyIcon(m_icon);
      m_icon = nullptr;
    }
    const std::string file_z(file);
    m_icon = static_cast<HICON>(LoadImageA(nullptr, file_z.c_str(), IMAGE_ICON, 0, 0,
                                           LR_LOADFROMFILE | LR_DEFAULTSIZE | LR_SHARED));
  }

  std::unique_ptr<PublicFolder> open_folder(std::string_view path) override;

  bool launch(const LaunchText& command) override;

  /// Starts `command`, whose text is UTF-8, through the wide functions: for names the ANSI code
  /// page cannot carry. Otherwise as launch().
  bool launch_wide(const LaunchText& command);

  Ticks clock() override {
    // The performance counter never goes back and ignores the local clock, unlike GetLocalTime,
    // so the restart wait neither stalls at midnight nor shrinks when the clock is set.
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return counter_ticks(count.QuadPart, m_frequency);
  }

  void sleep_for(Ticks duration) override {
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
    Sleep(static_cast<DWORD>(std::clamp<decltype(milliseconds)>(milliseconds, 0, 0x7fffffff)));
  }

 private:
  LONGLONG m_frequency = 1;
  HICON m_icon = nullptr;
};

FolderEntry folder_entry(const WIN32_FIND_DATAW& found) {
  FolderEntry entry;
  const std::wstring_view name(found.cFileName);
  // An alias counts only where the code page carries it exactly; otherwise the long name stands
  // in, as it does for names that have no alias.
  const std::optional<std::string> alias =
      found.cAlternateFileName[0] != L'\0' ? exact_ansi(found.cAlternateFileName) : std::nullopt;
  if (std::optional<std::string> ansi = exact_ansi(name)) {
    entry.NAME = std::move(*ansi);
    entry.SHORTNAME = alias ? *alias : entry.NAME;
  } else if (std::optional<std::string> utf8 = utf8_from_wide(name)) {
    // The purge reads only the long name of such an entry; the alias stays blank.
    entry.NAME = std::move(*utf8);
    entry.FORM = NameForm::utf8;
  } else {
    entry.FORM = NameForm::none;
  }
  FILETIME local{};
  SYSTEMTIME time{};
  if (FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) &&
      FileTimeToSystemTime(&local, &time)) {
    entry.DATE = day_number(time.wYear, time.wMonth, time.wDay);
    entry.TIME = time_of_day(time.wHour, time.wMinute, time.wSecond, 0);
  }
  entry.SIZE = static_cast<std::int32_t>(found.nFileSizeLow);
  entry.ATTRIB = static_cast<std::uint8_t>(found.dwFileAttributes & k_kept_attributes);
  // The mask drops this bit, so it is read first.
  entry.LINK = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return entry;
}

/// The final path of an open file or folder where the system can give one (Windows Vista on),
/// looked up at run time so that the program still starts where it is missing.
std::string final_path(HANDLE handle) {
  using FinalPath = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const FARPROC found =
      kernel == nullptr ? nullptr : GetProcAddress(kernel, "GetFinalPathNameByHandleA");
  if (found == nullptr) {
    return {};
  }
  // Through a generic function pointer, which converts to any other without a warning.
  const auto get = reinterpret_cast<FinalPath>(reinterpret_cast<void (*)()>(found));
  // FILE_NAME_NORMALIZED and VOLUME_NAME_DOS; headers name them only for newer targets.
  constexpr DWORD k_file_name_normalized = 0x0;
  constexpr DWORD k_volume_name_dos = 0x0;
  std::string path(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = get(handle, path.data(), size, k_file_name_normalized | k_volume_name_dos);
    if (length == 0) {
      return {};
    }
    if (length < size) {
      path.resize(length);
      return path;
    }
    path.assign(length + 1, '\0');  // Too small: `length` is the size needed.
  }
  return {};
}

/// Opens a file or folder for its identity only; folders need backup semantics.
HANDLE open_for_identity(const std::string& path) {
  return CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

/// True when the open folder is the root folder of a drive letter, compared by volume serial
/// number and file index: for systems without final paths.
bool same_as_a_drive_root(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION folder{};
  if (!GetFileInformationByHandle(handle, &folder)) {
    return false;
  }
  // No "insert a disk" box for an empty drive: the program shows nothing.
  const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const DWORD drives = GetLogicalDrives();
  bool root = false;
  for (int letter = 0; letter < 26 && !root; ++letter) {
    if ((drives & (1UL << letter)) == 0) {
      continue;
    }
    const std::string drive_root = std::string(1, static_cast<char>('A' + letter)) + ":\\";
    const HANDLE drive = open_for_identity(drive_root);
    if (drive == INVALID_HANDLE_VALUE) {
      continue;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    root = GetFileInformationByHandle(drive, &info) &&
           info.dwVolumeSerialNumber == folder.dwVolumeSerialNumber &&
           info.nFileIndexHigh == folder.nFileIndexHigh &&
           info.nFileIndexLow == folder.nFileIndexLow;
    CloseHandle(drive);
  }
  SetErrorMode(old_mode);
  return root;
}

/// True when `path`, as the system resolves it (through every link, junction, mount point and
/// ".."), is the root of a drive letter or of a share.
bool resolves_to_a_root(const std::string& path) {
  const HANDLE handle = open_for_identity(path);
  if (handle == INVALID_HANDLE_VALUE) {
    SetLastError(0);
    return false;  // Not there: the listing reports it.
  }
  // "\\?\C:\" or "\\?\UNC\server\share\" for a root; the text guard reads both forms.
  const std::string resolved = final_path(handle);
  const bool root = resolved.empty() ? same_as_a_drive_root(handle) : is_root_path(resolved);
  CloseHandle(handle);
  return root;
}

/// The longest full path of a subfolder that the command interpreter removes with all it holds:
/// listing the subfolder takes its path and "\\*", and the path limit counts the closing NUL.
/// Under Wine, rmdir /s left a tree one character longer in place and still reported success,
/// with or without the extended-length prefix "\\?\\".
constexpr std::size_t k_longest_removable_path = MAX_PATH - 3;

/// The length of the full path of `path`, as the system completes it against the current
/// directory; nothing when it cannot.
std::optional<std::size_t> full_path_length(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) {
    SetLastError(0);
    return std::nullopt;
  }
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) {
    SetLastError(0);
    return std::nullopt;
  }
  return length;
}

/// The public folder by its path: the command interpreter that deletes is given the path and
/// resolves it afresh, so the folder is kept as the path it was opened by.
class Win32Folder final : public PublicFolder {
 public:
  Win32Folder(Win32Platform& platform, std::string_view path)
      : m_platform(platform),
        m_path(path),
        m_root(resolves_to_a_root(m_path)),
        m_code_page(CodePage{GetACP()}),
        m_full_length(full_path_length(widen(m_path))) {}

  bool is_root() const override { return m_root; }

  bool list(FolderEntries& list) override;

  bool can_remove(const Deletion& deletion) const override {
    if (deletion.form == NameForm::none || !m_full_length) {
      return false;
    }
    const std::wstring name =
        deletion.form == NameForm::utf8 ? wide_from_utf8(deletion.name) : widen(deletion.name);
    return *m_full_length + 1 + name.size() <= k_longest_removable_path;
  }

  bool remove(const Deletion& deletion) override {
    if (deletion.form == NameForm::utf8) {
      // The same command with the same quoting, written in UTF-8 from the wide names and started
      // through the wide functions: no ANSI text can address this entry.
      const std::optional<std::string> path = utf8_from_wide(widen(m_path));
      const std::optional<std::string> arguments =
          path ? windows_deletion_arguments(*path, deletion.name, deletion.link) : std::nullopt;
      return arguments && m_platform.launch_wide({k_deletion_program, *arguments});
    }
    if (deletion.form != NameForm::ansi) {
      return false;
    }
    const std::optional<std::string> arguments =
        windows_deletion_arguments(m_path, deletion.name, deletion.link);
    if (!arguments) {
      return false;
    }
    return m_platform.launch({k_deletion_program, *arguments});
  }

  NameRules name_rules() const override { return NameRules::windows; }

  CodePage code_page() const override { return m_code_page; }

 private:
  Win32Platform& m_platform;
  std::string m_path;
  bool m_root;
  CodePage m_code_page;
  std::optional<std::size_t> m_full_length;
};

std::unique_ptr<PublicFolder> Win32Platform::open_folder(std::string_view path) {
  return std::make_unique<Win32Folder>(*this, path);
}

bool Win32Folder::list(FolderEntries& list) {
  // The path is ANSI text, read as the ANSI functions would read it; the names come back wide.
  const std::wstring pattern = widen(m_path) + L"\\*.*";
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    // A folder without a single entry; anything else (no such folder, no access, not a folder)
    // is a listing that failed.
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  do {
    const DWORD attributes = found.dwFileAttributes;
    const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool hidden_or_system =
        (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    if (directory || !hidden_or_system) {
      list.push_back(folder_entry(found));
    }
    // The conversions above may leave an error of their own behind.
    SetLastError(0);
  } while (FindNextFileW(search, &found));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return complete;
}

/// True when CreateProcess started the process. Its handles are closed at once: nothing waits for
/// it or asks how it ended.
bool let_go(BOOL created, const PROCESS_INFORMATION& process) {
  if (!created) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

/// The program word as the system folder holds it, or nothing. The program runs as administrator
/// in a folder others may write to; with no application name, Windows would look in the program's
/// own folder and the current directory before the system folder, so a `cmd.exe` planted there
/// would run with our rights. A program word with a path is left to the standard search.
std::wstring system_folder_program(std::string_view program) {
  if (program.find_first_of("\\/:") != std::string_view::npos) {
    return {};
  }
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return {};
  }
  std::wstring path(folder, length);
  if (path.back() != L'\\') {
    path += L'\\';
  }
  path += widen(windows_program(program));
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    SetLastError(0);
    return {};
  }
  return path;
}

bool Win32Platform::launch(const LaunchText& text) {
  if (text.program.empty()) {
    return false;
  }
  if (program_kind(text.program) == ProgramKind::document) {
    return shell_open(std::string(text.program), text.arguments);
  }
  const std::wstring system_program = system_folder_program(text.program);
  const std::optional<std::string> application =
      system_program.empty() ? std::string() : exact_ansi(system_program);
  if (!application) {
    return false;  // Never left to the standard search, which looks in folders others may write.
  }
  std::string line = windows_command_line(text);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  // A console program started from this windowless program gets a console window of its own.
  if (let_go(CreateProcessA(application->empty() ? nullptr : application->c_str(), line.data(),
                            nullptr, nullptr, FALSE, CREATE_PRESERVE_CODE_AUTHZ_LEVEL, nullptr,
                            nullptr, &startup, &process),
             process)) {
    return true;
  }
  if (GetLastError() == k_error_elevation_required) {
    return shell_open(application->empty() ? windows_program(text.program) : *application,
                      text.arguments);
  }
  return false;
}

bool Win32Platform::launch_wide(const LaunchText& text) {
  if (text.program.empty() || program_kind(text.program) == ProgramKind::document) {
    return false;  // Only the deletion command comes here, and cmd.exe is a program.
  }
  const std::wstring application = system_folder_program(text.program);
  std::wstring line = wide_from_utf8(windows_command_line(text));

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (let_go(CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(),
                            nullptr, nullptr, FALSE, CREATE_PRESERVE_CODE_AUTHZ_LEVEL, nullptr,
                            nullptr, &startup, &process),
             process)) {
    return true;
  }
  if (GetLastError() == k_error_elevation_required) {
    return shell_open_wide(application.empty() ? widen(windows_program(text.program)) : application,
                           wide_from_utf8(text.arguments));
  }
  return false;
}

}  // namespace

std::unique_ptr<Platform> make_real_platform() {
  return std::make_unique<Win32Platform>();
}

}  // namespace sweepmark
