#include "base/power.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "core/func.h"

#ifdef NORMLEVEL_HAVE_QUADMATH
extern "C" __float128 powq(__float128, __float128);
#endif

namespace normlevel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Pinned {
  double x, power;
};

class ManningPowerPinned : public ::testing::TestWithParam<Pinned> {};

// Nearest doubles to x^e; the system pow of glibc on x86-64 returns the
// neighbour of each (so these also show it is not the one called).
TEST_P(ManningPowerPinned, GivesTheNearestDouble) {
  EXPECT_EQ(manning_power(GetParam().x), GetParam().power) << std::hexfloat << GetParam().x;
}

INSTANTIATE_TEST_SUITE_P(Table, ManningPowerPinned,
                         ::testing::Values(Pinned{0x1.723dfffd04067p-33, 0x1.4764cd62bb9f6p-22},
                                           Pinned{0x1.61c6607600aa6p+14, 0x1.902ac9d50094bp+9},
                                           Pinned{0x1.fb63ec3ee56a2p-40, 0x1.fcec06d1a8cc7p-27},
                                           Pinned{0x1.339020ceb9cf5p+3, 0x1.2150602a124bp+2},
                                           Pinned{0x1.6b491d3686cf7p+19, 0x1.0096690d73ad1p+13},
                                           Pinned{0x1.f82dbecc7c01bp-24, 0x1.9239b4d8a026dp-16},
                                           Pinned{1.0, 1.0}, Pinned{0.0, 0.0}, Pinned{-0.0, 0.0}, Pinned{kInf, kInf}));

TEST(ManningPower, NaNForNaNAndNegatives) {
  for (const double x : {std::nan(""), -1e-300, -1.0, -kInf}) EXPECT_TRUE(std::isnan(manning_power(x))) << x;
}

#ifdef NORMLEVEL_HAVE_QUADMATH
struct Accuracy {
  double max_ulps = 0;
  long not_nearest = 0;
};

// Error in ulps of the result against x^e in quadruple precision, which
// is good to about 2^-60 of a double's ulp.
Accuracy measure(double lo, double hi, long count, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> exponent(std::log(lo), std::log(hi));
  Accuracy found;
  for (long i = 0; i < count; ++i) {
    const double x = std::exp(exponent(random));
    const __float128 exact = powq(x, kManningExponent);
    const double rounded = static_cast<double>(exact);
    const double ulp = std::nextafter(rounded, kInf) - rounded;
    const double ulps = std::fabs(static_cast<double>((manning_power(x) - exact) / ulp));
    found.max_ulps = std::max(found.max_ulps, ulps);
    if (ulps > 0.5) ++found.not_nearest;
  }
  return found;
}

struct Span {
  double lo, hi;
  long count;
  long allowed_per_million;  // not the nearest double: the further from 1, the larger ln x's share
};

class ManningPowerAccuracy : public ::testing::TestWithParam<Span> {};

TEST_P(ManningPowerAccuracy, WithinHalfAnUlpAndABitAndAlmostAlwaysTheNearest) {
  const Span span = GetParam();
  const Accuracy found = measure(span.lo, span.hi, span.count, 26);
  std::printf("x in [%g, %g]: max %.9f ulp, %ld of %ld not the nearest double\n", span.lo, span.hi, found.max_ulps,
              found.not_nearest, span.count);
  EXPECT_LT(found.max_ulps, 0.5 + 0x1p-12);
  EXPECT_LE(found.not_nearest, span.count * span.allowed_per_million / 1000000);
}

// The radii a section gives, then every positive double including subnormals.
INSTANTIATE_TEST_SUITE_P(Spans, ManningPowerAccuracy,
                         ::testing::Values(Span{1e-12, 1e6, 2000000, 1}, Span{1e-300, 1e300, 200000, 50},
                                           Span{4.9e-324, 2.2e-308, 100000, 50}, Span{1e300, 1.7e308, 100000, 50}));
#endif

struct Decimal {
  double x;
  int exponent;
};

class DecimalExponent : public ::testing::TestWithParam<Decimal> {};

TEST_P(DecimalExponent, IsTheLargestPowerOfTenNotAbove) {
  EXPECT_EQ(decimal_exponent(GetParam().x), GetParam().exponent) << GetParam().x;
}

INSTANTIATE_TEST_SUITE_P(Table, DecimalExponent,
                         ::testing::Values(Decimal{1, 0}, Decimal{9.999999999999998, 0}, Decimal{10, 1},
                                           Decimal{0.001, -3}, Decimal{0.000999, -4}, Decimal{0.25, -1},
                                           Decimal{5e-324, -324}, Decimal{1e22, 22}, Decimal{1e23, 23},
                                           Decimal{1.7e308, 308}));

TEST(PowerOfTen, ExactOrOneRoundingWithinTwentyTwo) {
  for (int e = -22; e <= 22; ++e) {
    char text[16];
    std::snprintf(text, sizeof text, "1e%d", e);
    EXPECT_EQ(power_of_ten(e), std::strtod(text, nullptr)) << e;
  }
}

}  // namespace
}  // namespace normlevel
