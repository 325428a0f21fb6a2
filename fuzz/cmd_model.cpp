#include "cmd_model.h"

#include <utility>

#include "text_oracle.h"

namespace sweepmark::fuzzing {
namespace {

constexpr std::string_view k_prefix = "cmd.exe /d /e:ON /v:OFF /c ";

bool is_control(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
}

bool is_delimiter(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == ';' || c == '=';
}

// Step 2: percent expansion. False, with `fault` set, when the result depends on the environment.
bool expand_percents(std::string_view text, std::string& out, std::string& fault) {
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] != '%') {
      out += text[at++];
      continue;
    }
    const std::size_t close = text.find('%', at + 1);
    if (close == std::string_view::npos) {
      out.append(text.substr(at));  // No closing '%': the rest stays as it is.
      return true;
    }
    const std::string_view name = text.substr(at + 1, close - at - 1);
    if (name.empty()) {
      out += '%';  // "%%" on a command line: the first stays, the second may open a name.
      at = close;
      continue;
    }
    if (oracle::same_upper(name, "CD:~,")) {
      at = close + 1;  // An empty substring of the current folder: nothing.
      continue;
    }
    fault = "expands %" + std::string(name) + "%, which the environment decides";
    return false;
  }
  return true;
}

struct Char {
  char c;
  bool escaped;  // taken literally by '^'
};

}  // namespace

CmdReading read_cmd_line(std::string_view line) {
  CmdReading reading;
  if (!line.starts_with(k_prefix)) {
    reading.fault = "not started as cmd.exe /d /e:ON /v:OFF /c";
    return reading;
  }
  const std::string_view command = line.substr(k_prefix.size());
  if (!command.empty() && command.front() == '"') {
    reading.fault = "starts with a quote, which /c strips together with the last one";
    return reading;
  }

  std::string expanded;
  if (!expand_percents(command, expanded, reading.fault)) {
    return reading;
  }

  // Step 3: special characters.
  std::vector<Char> chars;
  bool quoted = false;
  for (std::size_t i = 0; i < expanded.size(); ++i) {
    const char c = expanded[i];
    if (is_control(c) && c != '\t') {
      reading.fault = "a control character ends or splits the command";
      return reading;
    }
    if (c == '"' || quoted) {
      quoted = quoted != (c == '"');  // Every quote toggles quoting, the closing one included.
      chars.push_back({c, false});
    } else if (c == '^') {
      if (i + 1 == expanded.size()) {
        reading.fault = "a trailing '^' continues the command on the next line";
        return reading;
      }
      chars.push_back({expanded[++i], true});
    } else if (std::string_view("&|<>()").find(c) != std::string_view::npos) {
      reading.fault = std::string("'") + c + "' outside quotes ends, redirects or groups commands";
      return reading;
    } else {
      chars.push_back({c, false});
    }
  }

  // Step 4: the command word and its arguments.
  std::size_t at = 0;
  const auto skip_delimiters = [&] {
    while (at < chars.size() && !chars[at].escaped && is_delimiter(chars[at].c)) {
      ++at;
    }
  };
  skip_delimiters();
  quoted = false;
  bool first = true;
  while (at < chars.size()) {
    std::string token;
    bool is_switch = !first && chars[at].c == '/' && !chars[at].escaped;
    while (at < chars.size()) {
      const Char ch = chars[at];
      if (ch.c == '"' && !ch.escaped) {
        quoted = !quoted;
        ++at;
        continue;
      }
      if (!quoted && !ch.escaped && (is_delimiter(ch.c) || (ch.c == '/' && !token.empty()))) {
        break;  // Outside quotes a '/' also starts the next switch.
      }
      token += ch.c;
      ++at;
    }
    if (first) {
      reading.command = std::move(token);
      first = false;
    } else if (is_switch) {
      reading.switches.push_back(std::move(token));
    } else {
      reading.paths.push_back(std::move(token));
    }
    skip_delimiters();
  }
  return reading;
}

}  // namespace sweepmark::fuzzing
