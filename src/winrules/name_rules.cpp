#include "winrules/name_rules.h"

#include <array>

#include "base/fixed_text.h"

namespace sweepmark {
namespace {

// Characters no Windows file name can hold; a listing that shows one has been through a lossy
// ANSI conversion, and the name no longer addresses the entry.
bool windows_forbidden(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
}

// Windows maps these names, with or without an extension, to devices; its naming rules reserve
// COM0 and LPT0 as well. After COM and LPT it reads the superscript digits of the ANSI code page
// (0xB9, 0xB2, 0xB3 for 1, 2, 3) as digits too.
bool windows_device_name(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  base = clip(base);
  static constexpr std::array<std::string_view, 4> k_plain = {"CON", "PRN", "AUX", "NUL"};
  for (const std::string_view device : k_plain) {
    if (equal_upper(base, device)) {
      return true;
    }
  }
  return base.size() == 4 &&
         (equal_upper(base.substr(0, 3), "COM") || equal_upper(base.substr(0, 3), "LPT")) &&
         ((base[3] >= '0' && base[3] <= '9') || base[3] == '\xb9' || base[3] == '\xb2' ||
          base[3] == '\xb3');
}

bool short_name_part(std::string_view part, std::size_t longest) {
  if (part.empty() || part.size() > longest) {
    return false;
  }
  for (const char c : part) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == '\x7f' ||
        std::string_view("\"*+,./:;<=>?[\\]|").find(c) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool is_short_name(std::string_view name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) {
    return short_name_part(name, 8);
  }
  return short_name_part(name.substr(0, dot), 8) && short_name_part(name.substr(dot + 1), 3);
}

bool addresses_itself(std::string_view name, NameRules rules) {
  if (name.empty() || is_dot_name(name)) {
    return false;
  }
  if (rules == NameRules::posix) {
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
  }
  if (name.back() == ' ' || name.back() == '.') {
    return false;
  }
  for (const char c : name) {
    if (windows_forbidden(c)) {
      return false;
    }
  }
  return !windows_device_name(name);
}

}  // namespace sweepmark
