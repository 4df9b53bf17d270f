#include "Bisect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "CSdata.h"
#include "func.h"
#include "test_support.h"

namespace normlevel {
namespace {

int evaluations = 0;
Function counted_target = nullptr;
double counted(double h) {
  ++evaluations;
  return counted_target(h);
}
Function counting(Function f) {
  evaluations = 0;
  counted_target = f;
  return counted;
}

TEST(SignChange, ZeroAndNaNCountTinyValuesDoNot) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(sign_change(1, -1));
  EXPECT_TRUE(sign_change(-1e-300, 1e-300));
  EXPECT_TRUE(sign_change(0, 5));
  EXPECT_TRUE(sign_change(-0.0, -5));
  EXPECT_TRUE(sign_change(nan, 1));
  EXPECT_TRUE(sign_change(1, nan));
  EXPECT_FALSE(sign_change(1e-200, 1e-200));  // their product underflows to 0
  EXPECT_FALSE(sign_change(-1e-200, -1e-300));
  EXPECT_FALSE(sign_change(3, 4));
}

TEST(Localroot, FindsAChangeOneStepOn) {
  double a = 0, b = 0.1;
  EXPECT_EQ(localroot(a, b, 10, counting([](double h) { return 0.05 - h; })), 1);
  EXPECT_EQ(evaluations, 2);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0.1);
}

TEST(Localroot, NaNAtTheStartCountsAsFound) {
  double a = 1, b = 0.5;
  EXPECT_EQ(localroot(a, b, 10, counting([](double) { return std::nan(""); })), 1);
  EXPECT_EQ(evaluations, 2);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1.5);
}

TEST(Localroot, WalksToTheFirstPointAtOrBeyondTheLimit) {
  double a = 0, b = 0.25;
  EXPECT_EQ(localroot(a, b, 1.1, counting([](double) { return 1e-200; })), 0);
  EXPECT_EQ(b, 1.25);
  EXPECT_EQ(a, 1.0);
  EXPECT_EQ(evaluations, 6);
}

TEST(Localroot, StepsDownwardWithANegativeStep) {
  double a = 0, b = -0.5;
  EXPECT_EQ(localroot(a, b, -10, counting([](double h) { return h + 1.2; })), 1);
  EXPECT_EQ(a, -1.0);
  EXPECT_EQ(b, -1.5);
}

TEST(Localroot, AccumulatesTheStepByAddition) {
  double a = 0, b = 0.1;
  localroot(a, b, 100, [](double h) { return 0.95 - h; });
  double expected = 0;
  for (int k = 0; k < 10; ++k) expected += 0.1;
  EXPECT_EQ(b, expected);  // not 10 * 0.1
}

TEST(Bis, SevenHalvingsOfATenthWithEpsOfAThousandth) {
  double a = 0, b = 0.1;
  const double eps = static_cast<double>(0.001f);
  const double c = bis(a, b, counting([](double h) { return 0.0537 - h; }), eps);
  EXPECT_EQ(evaluations, 1 + 7);
  EXPECT_DOUBLE_EQ(a, 0.053125);
  EXPECT_DOUBLE_EQ(b, 0.05390625);
  EXPECT_DOUBLE_EQ(c, 0.053515625);
}

TEST(Bis, AZeroOrNaNMidpointMovesTheLowerEnd) {
  double a = 0, b = 1;
  EXPECT_EQ(bis(a, b, [](double h) { return h < 0.5 ? 1.0 : std::nan(""); }, 0.2), 0.9375);
  EXPECT_EQ(b, 1.0);
}

TEST(Bis, HalvesAtLeastOnce) {
  double a = 0, b = 1;
  EXPECT_EQ(bis(a, b, counting([](double h) { return 0.3 - h; }), 5), 0.25);
  EXPECT_EQ(evaluations, 2);
}

TEST(LevelSearch, TheTrapezoidalExampleBracketsAt101Point64) {
  const CrossSection d = testing::trapezoid();
  const Function balance_of_d = [&d](double h) { return balance(d, d.Q, h); };
  double a = 100 + static_cast<double>(0.001f), b = static_cast<double>(0.1f);
  ASSERT_EQ(localroot(a, b, 123, counting(balance_of_d)), 1);
  EXPECT_EQ(evaluations, 1 + 17);
  EXPECT_NEAR(a, 101.601, 1e-6);
  EXPECT_NEAR(b, 101.701, 1e-6);
  const double level = bis(a, b, balance_of_d, static_cast<double>(0.001f));
  EXPECT_NEAR(a, 101.640063, 1e-6);
  EXPECT_NEAR(b, 101.640844, 1e-6);
  EXPECT_NEAR(level, 101.64045, 1e-5);
}

TEST(LevelSearch, TooLargeADischargeWalksToTheLimit) {
  const CrossSection d = testing::trapezoid(1000000);
  double a = 100 + static_cast<double>(0.001f), b = static_cast<double>(0.1f);
  EXPECT_EQ(localroot(a, b, 123, counting([&d](double h) { return balance(d, d.Q, h); })), 0);
  EXPECT_EQ(evaluations, 1 + 230);
  EXPECT_GE(b, 123);
  EXPECT_LT(a, 123);
}

}  // namespace
}  // namespace normlevel
