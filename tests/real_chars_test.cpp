// The stand-ins used where the library has no floating-point <charconv>
// must write and read the same bytes as the standard functions.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "real_chars.h"

namespace {

const double kValues[] = {0.0, -0.0, 1.0, -1.0, 0.1, 0.3, 1.0 / 3.0, 2.0 / 3.0, 123.456, 1e15, 1e16, 1e17,
                          123456789012345678.0, 1e21, 1.5e22, 1e-4, 1e-5, 0.00012345, 5e-324, 2.2250738585072014e-308,
                          1.7976931348623157e308, 9007199254740993.0, 0.1 + 0.2, 1234.5, 100.0, 12000.0, 1.25e-7,
                          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};

std::string standard_shortest(double v) {
  char text[400];
  return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

class RealCharsValue : public ::testing::TestWithParam<double> {};

TEST_P(RealCharsValue, ShortestMatchesStandard) {
  char text[400];
  EXPECT_EQ(std::string(text, real_chars::fallback::shortest(text, text + sizeof text, GetParam())),
            standard_shortest(GetParam()));
}

TEST_P(RealCharsValue, FixedSixtyMatchesStandard) {
  char text[800], expected[800];
  const double v = GetParam();
  EXPECT_EQ(std::string(text, real_chars::fallback::fixed(text, text + sizeof text, v, 60)),
            std::string(expected, std::to_chars(expected, expected + sizeof expected, v, std::chars_format::fixed, 60).ptr));
}

TEST_P(RealCharsValue, ShortestFixedMatchesStandardInHeadingRange) {
  const double v = GetParam();
  if (!(std::fabs(v) >= 1e-4 && std::fabs(v) < 1e15)) GTEST_SKIP();
  char text[400], expected[400];
  EXPECT_EQ(std::string(text, real_chars::fallback::shortest_fixed(text, text + sizeof text, v)),
            std::string(expected, std::to_chars(expected, expected + sizeof expected, v, std::chars_format::fixed).ptr));
}

TEST_P(RealCharsValue, ParsesItsOwnTextBack) {
  const std::string text = standard_shortest(GetParam());
  double back = 0.0;
  const auto parsed = real_chars::fallback::parse(text.data(), text.data() + text.size(), back);
  ASSERT_EQ(parsed.ec, std::errc{});
  EXPECT_EQ(parsed.ptr, text.data() + text.size());
  EXPECT_EQ(real_chars::bits(back), real_chars::bits(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Values, RealCharsValue, ::testing::ValuesIn(kValues));

class RealCharsText : public ::testing::TestWithParam<const char*> {};

// Where reading stops, what it gives and whether it fails, as from_chars does.
TEST_P(RealCharsText, ParseMatchesStandard) {
  const std::string text = GetParam();
  const char* first = text.data();
  const char* last = first + text.size();
  double mine = -7.0, standard = -7.0;
  const auto parsed = real_chars::fallback::parse(first, last, mine);
  const auto expected = std::from_chars(first, last, standard);
  EXPECT_EQ(parsed.ec, expected.ec);
  EXPECT_EQ(parsed.ptr - first, expected.ptr - first);
  EXPECT_EQ(real_chars::bits(mine), real_chars::bits(standard));
}

INSTANTIATE_TEST_SUITE_P(Texts, RealCharsText,
                         ::testing::Values("12.5", "-0.75", ".5", "1e3", "1E-3x", "2.5;", "+1", " 1", "", "-", "abc",
                                           "0x1p3", "1e400", "1e-400", "-1e400", "inf", "-nan",
                                           "0.10000000000000000555", "9007199254740993",
                                           "2.4703282292062327e-324"));

}  // namespace
