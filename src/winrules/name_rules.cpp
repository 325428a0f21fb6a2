#include "winrules/name_rules.h"

#include <algorithm>
#include <array>

#include "base/fixed_text.h"

namespace sweepmark {
namespace {

struct ByteRange {
  unsigned char low;
  unsigned char high;
};

bool in_ranges(unsigned char byte, std::initializer_list<ByteRange> ranges) {
  return std::any_of(ranges.begin(), ranges.end(),
                     [byte](ByteRange r) { return byte >= r.low && byte <= r.high; });
}

enum class Encoding { single_byte, double_byte, utf8, unknown };

Encoding encoding_of(CodePage code_page) {
  switch (code_page.number) {
    case 874:
    case 1250:
    case 1251:
    case 1252:
    case 1253:
    case 1254:
    case 1255:
    case 1256:
    case 1257:
    case 1258:
      return Encoding::single_byte;
    case 932:
    case 936:
    case 949:
    case 950:
      return Encoding::double_byte;
    case 65001:
      return Encoding::utf8;
    default:
      return Encoding::unknown;
  }
}

// The lead and trail bytes of the double-byte code pages, as Windows defines them. A trail byte
// may be 0x5C ('\') or 0x7C ('|') in every one of them, which is why a name is read as characters
// and never byte by byte.
bool lead_byte(CodePage code_page, unsigned char byte) {
  if (code_page.number == 932) {
    return in_ranges(byte, {{0x81, 0x9F}, {0xE0, 0xFC}});
  }
  return in_ranges(byte, {{0x81, 0xFE}});
}

bool trail_byte(CodePage code_page, unsigned char byte) {
  switch (code_page.number) {
    case 932:
      return in_ranges(byte, {{0x40, 0x7E}, {0x80, 0xFC}});
    case 936:
      return in_ranges(byte, {{0x40, 0x7E}, {0x80, 0xFE}});
    case 949:
      return in_ranges(byte, {{0x41, 0x5A}, {0x61, 0x7A}, {0x81, 0xFE}});
    default:  // 950
      return in_ranges(byte, {{0x40, 0x7E}, {0xA1, 0xFE}});
  }
}

// The length of the UTF-8 sequence at the start of `text`, or 0 when it is malformed: overlong
// forms, surrogates and code points past U+10FFFF are refused, as Windows refuses them.
std::size_t utf8_length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(0);
  if (first < 0x80) {
    return 1;
  }
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    low = first == 0xE0 ? 0xA0 : 0x80;
    high = first == 0xED ? 0x9F : 0xBF;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    low = first == 0xF0 ? 0x90 : 0x80;
    high = first == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

// Characters no Windows file name can hold; a listing that shows one has been through a lossy
// conversion, and the name no longer addresses the entry.
bool windows_forbidden(std::string_view character) {
  if (character.size() != 1) {
    return false;
  }
  const char c = character[0];
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
}

// After COM and LPT Windows reads the superscript digits 1, 2 and 3 as digits too; this is how
// each code page writes them, where it has them at all.
bool superscript_digit(std::string_view character, CodePage code_page) {
  switch (code_page.number) {
    case 1252:
    case 1254:
    case 1255:
    case 1256:
    case 1257:
    case 1258:
      return character == "\xb9" || character == "\xb2" || character == "\xb3";
    case 1253:
      return character == "\xb2" || character == "\xb3";
    case 949:
      return character == "\xa9\xf6" || character == "\xa9\xf7" || character == "\xa9\xf8";
    case 65001:
      return character == "\xc2\xb9" || character == "\xc2\xb2" || character == "\xc2\xb3";
    default:
      return false;
  }
}

// Windows maps these names, with or without an extension, to devices; its naming rules reserve
// COM0 and LPT0 as well.
bool windows_device_name(const std::vector<std::string_view>& characters, CodePage code_page) {
  auto end = std::find(characters.begin(), characters.end(), ".");
  while (end != characters.begin() && *(end - 1) == " ") {
    --end;
  }
  const std::vector<std::string_view> base(characters.begin(), end);
  std::string ascii;
  for (const std::string_view character : base) {
    ascii += character.size() == 1 ? character[0] : '\x80';
  }
  static constexpr std::array<std::string_view, 4> k_plain = {"CON", "PRN", "AUX", "NUL"};
  for (const std::string_view device : k_plain) {
    if (equal_upper(ascii, device)) {
      return true;
    }
  }
  if (base.size() != 4 ||
      !(equal_upper(ascii.substr(0, 3), "COM") || equal_upper(ascii.substr(0, 3), "LPT"))) {
    return false;
  }
  return (ascii[3] >= '0' && ascii[3] <= '9') || superscript_digit(base[3], code_page);
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

std::optional<std::vector<std::string_view>> name_characters(std::string_view name,
                                                             CodePage code_page) {
  const Encoding encoding = encoding_of(code_page);
  std::vector<std::string_view> characters;
  for (std::size_t at = 0; at < name.size();) {
    const auto byte = static_cast<unsigned char>(name[at]);
    std::size_t length = 1;
    if (byte >= 0x80) {
      switch (encoding) {
        case Encoding::single_byte:
          break;
        case Encoding::double_byte:
          if (lead_byte(code_page, byte)) {
            if (at + 1 >= name.size() ||
                !trail_byte(code_page, static_cast<unsigned char>(name[at + 1]))) {
              return std::nullopt;
            }
            length = 2;
          }
          break;
        case Encoding::utf8:
          length = utf8_length(name.substr(at));
          if (length == 0) {
            return std::nullopt;
          }
          break;
        case Encoding::unknown:
          return std::nullopt;
      }
    }
    characters.push_back(name.substr(at, length));
    at += length;
  }
  return characters;
}

bool is_short_name(std::string_view name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) {
    return short_name_part(name, 8);
  }
  return short_name_part(name.substr(0, dot), 8) && short_name_part(name.substr(dot + 1), 3);
}

bool addresses_itself(std::string_view name, NameRules rules, CodePage code_page) {
  if (name.empty() || is_dot_name(name)) {
    return false;
  }
  if (rules == NameRules::posix) {
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
  }
  const std::optional<std::vector<std::string_view>> characters = name_characters(name, code_page);
  if (!characters) {
    return false;
  }
  if (characters->back() == " " || characters->back() == ".") {
    return false;
  }
  if (std::any_of(characters->begin(), characters->end(), windows_forbidden)) {
    return false;
  }
  return !windows_device_name(*characters, code_page);
}

}  // namespace sweepmark
