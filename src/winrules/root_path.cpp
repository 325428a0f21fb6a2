#include "winrules/root_path.h"

#include <algorithm>
#include <string>

#include "base/fixed_text.h"

namespace sweepmark {
namespace {

bool is_drive(std::string_view text) {
  return text.size() >= 2 &&
         ((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z')) &&
         text[1] == ':';
}

// Splits off the next component of a backslash-separated path.
std::string_view next_component(std::string_view& rest) {
  rest.remove_prefix(std::min(rest.find_first_not_of('\\'), rest.size()));
  const std::size_t end = std::min(rest.find('\\'), rest.size());
  const std::string_view component = rest.substr(0, end);
  rest.remove_prefix(end);
  return component;
}

// True when the components of `rest` cancel out: "." parts, empty parts and ".." parts that
// climb back (never above the root, as Windows resolves them) leave nothing.
bool resolves_to_nothing(std::string_view rest) {
  std::size_t depth = 0;
  while (true) {
    const std::string_view component = next_component(rest);
    if (component.empty() && rest.empty()) {
      return depth == 0;
    }
    if (component == "..") {
      depth -= depth > 0 ? 1 : 0;
      continue;
    }
    // Windows strips trailing dots and blanks from a component, so "..." and ". " name the
    // folder they stand in.
    const std::size_t kept = component.find_last_not_of(". ");
    if (kept != std::string_view::npos) {
      ++depth;
    }
  }
}

}  // namespace

bool is_root_path(std::string_view path) {
  std::string text(path);
  std::replace(text.begin(), text.end(), '/', '\\');
  std::string_view rest = text;

  if (rest.starts_with("\\\\?\\") || rest.starts_with("\\\\.\\")) {
    rest.remove_prefix(4);
    if (equal_upper(rest.substr(0, 4), "UNC\\")) {
      rest.remove_prefix(4);
      next_component(rest);  // server
      next_component(rest);  // share
    } else if (is_drive(rest)) {
      rest.remove_prefix(2);
    } else {
      next_component(rest);  // a volume or device name
    }
    return resolves_to_nothing(rest);
  }
  if (rest.starts_with("\\\\")) {
    next_component(rest);  // server
    next_component(rest);  // share
    return resolves_to_nothing(rest);
  }
  if (is_drive(rest)) {
    rest.remove_prefix(2);
    return resolves_to_nothing(rest);
  }
  if (rest.starts_with("\\")) {
    return resolves_to_nothing(rest);
  }
  return false;
}

}  // namespace sweepmark
