#include "base/NumberField.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace normlevel {
namespace {

TEST(FormatValue, FiveDecimalsRightAligned) {
  const struct {
    double value;
    const char* field;
  } cases[] = {
      {0.5, "        0.50000"},
      {616.582235, "      616.58224"},  // its double lies just below the tie
      {0.015625, "        0.01563"},    // an exact tie rounds up
      {3.000005, "        3.00000"},
      {1.000005, "        1.00001"},
      {100.000005, "      100.00001"},
      {0.123455, "        0.12346"},
      {2.675, "        2.67500"},
      {0.1, "        0.10000"},
      {1e-5, "        0.00001"},
      {5e-6, "        0.00001"},
      {4.9999999e-06, "        0.00000"},
      {1e-300, "        0.00000"},
      {8.0, "        8.00000"},
      {10.0, "       10.00000"},
      {9.999995, "       10.00000"},  // the carry adds an integer digit
      {9.9999949999, "        9.99999"},
      {99.999995, "       99.99999"},
      {999.999995, "      999.99999"},
      {1000.0, "     1000.00000"},
      {1024.0, "     1024.00000"},
      {123456.789012, "   123456.78901"},
      {101.640453125, "      101.64045"},
      {1.198101, "        1.19810"},
      {-2.5, "       -2.50000"},
      {-5e-6, "       -0.00001"},
      {999999999.0, "999999999.00000"},
      {999999999.999994, "999999999.99999"},
      {999999999.999996, "***************"},
      {1000000000.0, "***************"},
      {1e300, "***************"},
      {-99999999.0, "-99999999.00000"},
      {-99999999.999996, "***************"},
      {-100000000.0, "***************"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_value(c.value), c.field) << c.value;
}

TEST(FormatValue, ZerosShowNoSignButNegativeSubnormalsDo) {
  const double denormal = std::numeric_limits<double>::denorm_min();
  EXPECT_EQ(format_value(0.0), "        0.00000");
  EXPECT_EQ(format_value(-0.0), "        0.00000");
  EXPECT_EQ(format_value(-4.999e-6), "        0.00000");
  EXPECT_EQ(format_value(-1e-300), "        0.00000");
  EXPECT_EQ(format_value(denormal), "        0.00000");
  EXPECT_EQ(format_value(-denormal), "       -0.00000");
}

TEST(FormatValue, InfinitiesAndNaNsBySignBit) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(format_value(inf), "            INF");
  EXPECT_EQ(format_value(-inf), "           -INF");
  EXPECT_EQ(format_value(nan), "            NaN");
  EXPECT_EQ(format_value(-nan), "           -NaN");
}

TEST(ReportLine, LabelValueAndUnitColumns) {
  EXPECT_EQ(report_line("zw. wody:    ", 101.640453125, "m"), "zw. wody:          101.64045   m\r\n");
  EXPECT_EQ(report_line("pred.(korto):  ", 1.198101, "m/s"), "pred.(korto):        1.19810 m/s\r\n");
  EXPECT_EQ(report_line("brzeg prawy: ", -3, "m"), "brzeg prawy:        -3.00000   m\r\n");
  EXPECT_EQ(report_line("zw. wody:    ", 0.0, "m").size(), 34u);
}

}  // namespace
}  // namespace normlevel
