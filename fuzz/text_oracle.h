#pragma once

// Letter case as the fuzz targets' own oracles see it, written apart from the code under test so
// that a fault there cannot hide in the check: only a to z change case.

#include <string>
#include <string_view>

namespace sweepmark::oracle {

inline char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

inline std::string upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    c = upper(c);
  }
  return result;
}

inline bool same_upper(std::string_view a, std::string_view b) {
  return upper(a) == upper(b);
}

}  // namespace sweepmark::oracle
