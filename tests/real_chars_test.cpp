// The stand-ins used where the library has no floating-point <charconv>
// must write and read the same bytes as the standard functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/real_chars.h"

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

// The header's examples: where reading stops, and what it gives.
TEST(PlainDecimal, HeaderExamples) {
  const real_chars::PlainForm plain, plus{.plus = true}, comma{.comma = true};
  const struct {
    const char* text;
    real_chars::PlainForm form;
    std::ptrdiff_t read;  // 0: not read
    double value;
  } examples[] = {{"12.5", plain, 4, 12.5},     {"-.5", plain, 3, -0.5},    {"405591.", plain, 7, 405591},
                  {"007", plain, 3, 7},         {"-0", plain, 2, -0.0},     {"1.5e3", plain, 3, 1.5},
                  {"+7", plain, 0, 0},          {"+7", plus, 2, 7},         {"12,5", plain, 2, 12},
                  {"12,5", comma, 4, 12.5},     {"1.2.3", plain, 3, 1.2},   {".", plain, 0, 0},
                  {"-", plain, 0, 0},           {"1234567890123456", plain, 0, 0}};
  for (const auto& e : examples) {
    const std::string text = e.text;
    double value = -7.0;
    const auto read = real_chars::plain_decimal(text.data(), text.data() + text.size(), value, e.form);
    EXPECT_EQ(read.ec, e.read ? std::errc{} : std::errc::invalid_argument) << text;
    EXPECT_EQ(read.ptr - text.data(), e.read) << text;
    EXPECT_EQ(real_chars::bits(value), real_chars::bits(e.read ? e.value : -7.0)) << text;
  }
}

// Read, or left to the general conversion, as from_chars in fixed notation
// reads the text (a '+' left off, a comma for a point): read where that
// takes 1 to 15 digits, up to the same place, to the same bits.
TEST(PlainDecimal, ReadsAsFromChars) {
  std::vector<std::string> texts = {
      "0.", ".0", "+.5", "+-5", "-+5", "--5", "", "+", "-.", "..5", "1,5", "1,5.2", "12,", "7E-2", " 7", "7 ",
      "inf", "nan", "0x10", "999999999999999", "9999999999999999", "0.000000000000001", "0.0000000000000001",
      "000000000000012.5", "0000000000000012.5", "4503599627370497.5", "2.675", "1" + std::string(400, '0')};
  std::mt19937_64 random(20240611);
  for (int digits = 1; digits <= 17; ++digits)  // the point at every place
    for (int point = 0; point <= digits; ++point)
      for (int sample = 0; sample < 8; ++sample) {
        std::string text = random() % 2 ? "-" : "";
        for (int i = 0; i < digits; ++i) text.append(i == point ? "." : "").push_back(static_cast<char>('0' + random() % 10));
        texts.push_back(point == digits ? text + '.' : text);
      }
  for (const real_chars::PlainForm form : {real_chars::PlainForm{}, {.plus = true}, {.comma = true}})
    for (const std::string& text : texts) {
      std::string standard = text;
      if (form.plus && text.starts_with('+') && !text.starts_with("+-")) standard.erase(0, 1);
      if (form.comma) std::replace(standard.begin(), standard.end(), ',', '.');
      const char* const first = standard.data();
      double expected = 0, value = -7.0;
      const auto reference = std::from_chars(first, first + standard.size(), expected, std::chars_format::fixed);
      const auto digits = std::count_if(first, reference.ptr, [](char c) { return c >= '0' && c <= '9'; });
      const bool read = reference.ec == std::errc{} && digits >= 1 && digits <= 15;
      const auto result = real_chars::plain_decimal(text.data(), text.data() + text.size(), value, form);
      SCOPED_TRACE(text + (form.plus ? " plus" : "") + (form.comma ? " comma" : ""));
      EXPECT_EQ(result.ec, read ? std::errc{} : std::errc::invalid_argument);
      const auto skipped = static_cast<std::ptrdiff_t>(text.size() - standard.size());
      EXPECT_EQ(result.ptr - text.data(), read ? reference.ptr - first + skipped : 0);
      EXPECT_EQ(real_chars::bits(value), real_chars::bits(read ? expected : -7.0));
    }
}

}  // namespace
