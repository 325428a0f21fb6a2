// Fixed-length text: filling, cutting, clipping, comparing and upper-casing.

#include "base/fixed_text.h"

#include <string>

#include <gtest/gtest.h>

namespace sweepmark {
namespace {

TEST(FixedText, FillsCutsClipsAndCompares) {
  FixedText<5> text("ab");
  EXPECT_EQ(text.full(), "ab   ");
  EXPECT_EQ(text.clipped(), "ab");
  text = "abcdefg";
  EXPECT_EQ(text.full(), "abcde");
  text = std::string_view(" \ta\0 ", 5);
  EXPECT_EQ(text.clipped(), std::string_view(" \ta\0", 4)) << "only trailing 0x20 is clipped";
  EXPECT_TRUE(FixedText<3>("c:\\") == "c:\\   ");
  EXPECT_FALSE(FixedText<3>("c:\\") == "C:\\");
  EXPECT_EQ(upper("ascii-z{`@ \xe9"), "ASCII-Z{`@ \xe9") << "only a to z change";
}

}  // namespace
}  // namespace sweepmark
