#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace sweepmark {

/// Removes trailing blanks (0x20 only; tabs, NULs and leading blanks stay).
constexpr std::string_view clip(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

/// Compares two texts byte for byte and case-sensitively, the shorter one counting as filled up
/// with blanks, so trailing blanks never matter.
constexpr bool same_text(std::string_view a, std::string_view b) {
  return clip(a) == clip(b);
}

/// Upper-cases the letters a to z and nothing else.
constexpr char upper_ascii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

inline std::string upper(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), upper_ascii);
  return result;
}

/// True when the two texts are equal once both are upper-cased (a to z only).
constexpr bool equal_upper(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return upper_ascii(x) == upper_ascii(y); });
}

/// A text field of N characters, always full: a shorter value is filled up with blanks, a longer
/// one is cut to its first N characters without notice.
template <std::size_t N>
class FixedText {
 public:
  FixedText() { m_text.fill(' '); }
  explicit FixedText(std::string_view value) { assign(value); }

  FixedText& operator=(std::string_view value) {
    assign(value);
    return *this;
  }

  void assign(std::string_view value) {
    const std::size_t kept = std::min(value.size(), N);
    std::copy_n(value.begin(), kept, m_text.begin());
    std::fill(m_text.begin() + static_cast<std::ptrdiff_t>(kept), m_text.end(), ' ');
  }

  /// The whole field, trailing blanks included.
  std::string_view full() const { return {m_text.data(), N}; }
  std::string_view clipped() const { return clip(full()); }

  friend bool operator==(const FixedText& a, std::string_view b) { return same_text(a.full(), b); }

 private:
  std::array<char, N> m_text;
};

}  // namespace sweepmark
