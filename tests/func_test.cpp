#include "func.h"

#include <gtest/gtest.h>

#include <cmath>

#include "CSdata.h"
#include "power.h"
#include "test_support.h"

namespace normlevel {
namespace {

using testing::set_classic_section;

double manning(double A, double P, double n) {
  return manning_power(A / P) * (std::sqrt(CSDATA.s) / n) * A;
}

TEST(RadiusPower, ZeroNaNNegativeAndPositive) {
  EXPECT_EQ(radius_power(0.0), 0.0);
  EXPECT_EQ(radius_power(-0.0), 0.0);
  EXPECT_EQ(radius_power(std::nan("")), 1.0);
  EXPECT_TRUE(std::isnan(radius_power(-1e-9)));
  EXPECT_EQ(radius_power(1.0), 1.0);
  EXPECT_EQ(radius_power(8.0), 0x1.000000b172183p+2);  // 4.00000016525916931...: e is not quite 2/3
  EXPECT_EQ(kManningExponent, 0.666666686534881591796875);
}

TEST(Func, VSectionAsTheWholeChannel) {
  set_classic_section({{0, 2}, {1, 0}, {2, 2}}, 1, 3, 1.0, 0.001, 0.03);
  EXPECT_NEAR(1.0 - func(1), 0.1941655, 1e-7);
  EXPECT_EQ(func(1), 1.0 - manning(0.5, 2 * std::sqrt(1.25), 0.03));
}

TEST(Func, DryFloodplainsCarryNothing) {
  CSDATA = testing::trapezoid();
  const double h = 100.8;  // below both banks
  const double A0 = 2 * 0.5 * 0.8 * 1.6 + 2 * 0.8;
  const double P0 = 2 * std::sqrt(1.6 * 1.6 + 0.8 * 0.8) + 2;
  EXPECT_NEAR(func(h), 10 - manning(A0, P0, 0.03), 1e-12);
}

TEST(Func, FloodplainWetOverAHairCountsAsDry) {
  // The left floodplain is one level segment 5e-11 m long under the water.
  set_classic_section({{0, 0}, {5e-11, 0}, {1, -1}, {2, 0}, {3, 1}}, 2, 4, 1.0);
  const double h = 0.5;
  double AFL, A0, AFP, PFL, P0, PFP;
  basichydro(h, AFL, A0, AFP, PFL, P0, PFP);
  ASSERT_GT(AFL, 0);
  ASSERT_LE(PFL, 1e-10);
  const double QP = manning_power(AFP / PFP) * (std::sqrt(CSDATA.s) / CSDATA.nf) * AFP;
  EXPECT_EQ(func(h), 1.0 - 0.0 - manning(A0, P0, 0.03) - QP);
}

TEST(Func, DryChannelWithAWetFloodplainStaysFinite) {
  // The channel (segment 3) lies above a V-shaped left floodplain.
  set_classic_section({{0, 2}, {1, 0}, {2, 2}, {3, 3}, {4, 5}}, 3, 4, 1.0);
  const double value = func(1);
  EXPECT_TRUE(std::isfinite(value));
  EXPECT_EQ(value, 1.0 - manning(0.5, 2 * std::sqrt(1.25), 0.05));
}

TEST(Func, FallsAsTheLevelRises) {
  CSDATA = testing::trapezoid();
  double previous = func(100.001);
  for (double h = 100.05; h < 125; h += 0.05) {
    const double value = func(h);
    EXPECT_LT(value, previous) << h;
    previous = value;
  }
}

}  // namespace
}  // namespace normlevel
