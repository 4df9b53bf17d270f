// Every level carrying the discharge: a flat floodplain step that makes
// what the section carries fall, and on random sections every change of
// sign of a dense scan of the balance found, none invented, the walk's
// level among them.

#include "hydraulics/normal_levels.h"

#include <gtest/gtest.h>

#include "hydraulics/critical_sweep.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "core/CSdata.h"
#include "base/power.h"
#include "core/func.h"
#include "core/search.h"
#include "test_support.h"

namespace normlevel {
namespace {

// A ditch in the left floodplain wet from 0.5, then its 48 m flat going
// under at 1: the floodplain's perimeter jumps, and what it carries drops.
CrossSection stepped_floodplain(double flat = 48, double ditch = 0.5) {
  return testing::section_of({{0, 3}, {0, 1}, {flat, 1}, {flat, 1 - ditch}, {flat + 2, 1 - ditch}, {flat + 2, 0},
                              {flat + 4, 0}, {flat + 4, 3}},
                             5, 7, 0, 0.001, 0.03, 0.05);
}

// What section d carries at level h.
double carried(const CrossSection& d, double h) { return -balance(d, 0, h); }

// Just short of what the section carries just below a random point's
// elevation, where a flat going under may make it fall.
double discharge_near_a_fall(const CrossSection& d, std::mt19937& random) {
  std::uniform_int_distribution<int> point(1, d.N);
  const double e = d.z[point(random)];
  return std::max(0.01, carried(d, e - 1e-9 * std::max(1.0, std::fabs(e))) * 0.9999);
}

bool crosses(const CrossSection& d, double Q, double h, double by) {
  const double below = balance(d, Q, h - by), above = balance(d, Q, h + by);
  return (below > 0) != (above > 0);
}

TEST(NormalLevels, AFlatGoingUnderGivesThreeLevelsTheMiddleOneAtTheFlat) {
  const CrossSection d = stepped_floodplain();
  const double Q = carried(d, 1 - 1e-9) * 0.9999;  // a little less than carried just below the flat
  const std::vector<NormalLevel> levels = normal_levels(d, Q, search_top(d));
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_FALSE(levels[0].falling);
  EXPECT_TRUE(levels[1].falling);
  EXPECT_EQ(levels[1].level, 1);
  EXPECT_FALSE(levels[2].falling);
  for (const NormalLevel& l : levels) EXPECT_TRUE(crosses(d, Q, l.level, 1e-7)) << l.level;
}

struct Including {
  std::vector<double> levels;
  double walk;
  std::vector<double> expected;
};

class IncludeLevel : public ::testing::TestWithParam<Including> {};

TEST_P(IncludeLevel, TheWalksLevelReplacesTheNearestWithinTwoMillimetresElseJoinsInOrder) {
  std::vector<NormalLevel> levels;
  for (const double h : GetParam().levels) levels.push_back({h, false});
  include_level(levels, GetParam().walk);
  std::vector<double> got;
  for (const NormalLevel& l : levels) got.push_back(l.level);
  EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, IncludeLevel,
                         ::testing::Values(Including{{}, 5, {5}}, Including{{1, 2, 3}, 2.0015, {1, 2.0015, 3}},
                                           Including{{1, 2, 3}, 2.5, {1, 2, 2.5, 3}},
                                           Including{{1, 2}, 0.5, {0.5, 1, 2}}));

TEST(NormalLevels, EveryChangeOfSignOfADenseScanFoundNoneInventedTheWalksAmongThem) {
  std::mt19937 random(2024);
  constexpr int kLevels = 20000;
  int several = 0;
  for (int section = 0; section < 300; ++section) {
    CrossSection d;
    if (section % 3 == 0) {
      std::uniform_real_distribution<double> flat(2, 80), ditch(0.05, 0.95);
      d = stepped_floodplain(flat(random), ditch(random));
    } else {
      d = testing::random_section(random, 2 + section % 30);
      if (section % 2 == 1) testing::vary_roughness(d, random);
    }
    std::uniform_real_distribution<double> depth(0.05, d.zmax - d.zmin + 1);
    const double Q = section % 2 == 0 ? discharge_near_a_fall(d, random) : std::max(0.01, carried(d, d.zmin + depth(random)));
    const double top = search_top(d), step = (top - d.zmin) / kLevels;
    std::vector<NormalLevel> found = normal_levels(d, Q, top);
    const LevelSearch walk = find_level(d, Q);
    if (walk.found) include_level(found, walk.level);
    const std::string where = "section " + std::to_string(section) + " Q " + std::to_string(Q);
    several += found.size() > 1 ? 1 : 0;
    if (walk.found) {
      EXPECT_TRUE(std::any_of(found.begin(), found.end(), [&](const NormalLevel& l) { return l.level == walk.level; }))
          << where;
    }
    for (const NormalLevel& l : found) {
      const double by = walk.found && l.level == walk.level ? 1.5e-3 : 1e-7 * std::max(1.0, std::fabs(l.level));
      EXPECT_TRUE(crosses(d, Q, l.level, by)) << where << ": nothing carried changes through Q at " << l.level;
    }
    double before = balance(d, Q, d.zmin + 0.5 * step);
    for (int j = 1; j < kLevels; ++j) {
      const double lo = d.zmin + (j - 0.5) * step, hi = lo + step, now = balance(d, Q, hi);
      if ((before > 0) != (now > 0)) {
        EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                                [&](const NormalLevel& l) { return l.level >= lo - 2e-3 && l.level <= hi + 2e-3; }))
            << where << ": the change of sign between " << lo << " and " << hi << " was missed";
      }
      before = now;
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(several, 30) << "the sample must hold sections with several levels";
}

// The walk's level takes the place of the level it lies at, and the levels
// carrying Q are the same bits, whether every change of sign was halved to
// the end first or only as far as it took to tell which one that is.
TEST(NormalLevels, HalvingPutOffUntilTheWalkEndsChangesNoLevel) {
  std::mt19937 random(77);
  int several = 0, walks = 0;
  for (int section = 0; section < 300; ++section) {
    std::uniform_real_distribution<double> flat(2, 80), ditch(0.05, 0.95);
    const Rules rules = section % 2 ? Rules::model : Rules::divided;
    const CrossSection d = section % 3 == 0 ? stepped_floodplain(flat(random), ditch(random))
                                            : testing::varied_section(random, section, rules);
    std::uniform_real_distribution<double> depth(0.05, d.zmax - d.zmin + 1);
    const double Q =
        section % 2 == 0 ? discharge_near_a_fall(d, random) : std::max(0.01, carried(d, d.zmin + depth(random)));
    const CarryingLevels carrying = levels_carrying(d, Q, false);
    std::vector<NormalLevel> expected = normal_levels(d, Q, search_top(d));
    if (carrying.walk.found) include_level(expected, carrying.walk.level);
    const std::string where = "section " + std::to_string(section) + " Q " + std::to_string(Q);
    ASSERT_EQ(carrying.every.size(), expected.size()) << where;
    for (std::size_t k = 0; k < expected.size(); ++k) {
      EXPECT_EQ(carrying.every[k].level, expected[k].level) << where << ", level " << k;
      EXPECT_EQ(carrying.every[k].falling, expected[k].falling) << where << ", level " << k;
    }
    several += expected.size() > 1 ? 1 : 0;
    walks += carrying.walk.found ? 1 : 0;
  }
  EXPECT_GE(several, 30) << "the sample must hold sections with several levels";
  EXPECT_GE(walks, 250);
}

// What a subdivision conveys, A R^(2/3), as the sums at a level give it.
double conveying(const Subdivision& part, const PartGeometry& g) {
  if (!std::isnan(g.conveying)) return g.conveying;
  return part.zone != kChannel && g.P <= kDryPerimeter ? 0 : g.A * radius_power(g.A / g.P);
}

// The bounds' power brackets Manning's own within 0.3% at every scale: at
// the edges of binades and of the parts of a binade its table splits, far
// out, and at random.
TEST(NormalLevels, TheBoundsPowerBracketsManningsWithinAFewTenthsOfAPercent) {
  std::vector<double> radii = {1e-300, 0x1p-1000, 1e-30, 1e-3, 0.5, std::nextafter(1.0, 0.0), 1, 1 + 1.0 / 256,
                               std::nextafter(2.0, 0.0), 2, 3, std::nextafter(8.0, 0.0), 8, 1e5, 0x1p1000, 1e300};
  std::mt19937 random(31);
  std::uniform_real_distribution<double> exponent(-40, 40);
  for (int k = 0; k < 2000; ++k) radii.push_back(std::exp(exponent(random)));
  for (const double R : radii) {
    const double power = manning_power(R);
    const double least = least_conveying({1, 1 / R, 0, 0, true}), most = most_conveying({0, 0, 1, R, true});
    EXPECT_LE(least, power) << R;
    EXPECT_GE(most, power) << R;
    EXPECT_LE(most, least * 1.003) << R;
  }
}

// The bounds of a stretch let its samples be skipped: whatever the sums give
// at any level of it, anywhere a sample or a halving may fall, lies within them.
TEST(NormalLevels, WhatEachSubdivisionConveysInAStretchLiesWithinItsBounds) {
  std::mt19937 random(77);
  long stretches = 0, known = 0;
  for (int section = 0; section < 400; ++section) {
    const CrossSection d = testing::varied_section(random, section, section % 3 != 0 ? Rules::model : Rules::divided);
    std::vector<WaterRange> water(d.parts.size());
    for_each_stretch(d, search_top(d), [&](double lo, double hi, const StretchGeometry& geometry,
                                           const StretchBounds& bounds, const StretchKeeper&) {
      ++stretches;
      if (!bounds(water)) return;
      ++known;
      for (int k = 0; k <= 64; ++k) {
        const double h = k == 64 ? hi : lo + (k < 8 ? std::ldexp(1.0, -40 + 5 * k) : k / 64.0) * (hi - lo);
        const std::span<const PartGeometry> g = geometry(h);
        for (std::size_t p = 0; p < d.parts.size(); ++p) {
          const double c = conveying(d.parts[p], g[p]);
          EXPECT_LE(least_conveying(water[p]), c * (1 + 1e-12)) << "section " << section << " part " << p << " h " << h;
          EXPECT_LE(c, most_conveying(water[p]) * (1 + 1e-12)) << "section " << section << " part " << p << " h " << h;
        }
      }
    });
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(known, stretches * 9 / 10) << "the bounds must tell most stretches";
}

// The walk is told the balance's sign wherever a stretch's bounds tell it,
// and under the model rules where a stretch's kept geometry carries well
// clear of Q: the balance itself, summed segment by segment, must have that
// sign there, and the walk told so must end where the plain walk ends.
TEST(NormalLevels, WhereAStretchTellsTheSignTheBalanceHasItAndTheWalkEndsAsWithout) {
  std::mt19937 random(4242);
  long told = 0, by_geometry = 0;
  for (int section = 0; section < 300; ++section) {
    const CrossSection d = testing::varied_section(random, section, section % 4 == 0 ? Rules::divided : Rules::model);
    std::uniform_real_distribution<double> depth(0.05, d.zmax - d.zmin + 1), level(d.zmin, search_top(d));
    const double Q = std::max(0.01, carried(d, d.zmin + depth(random)));
    std::vector<StretchSide> sides;
    normal_levels(d, Q, search_top(d), &sides);
    std::vector<double> levels;
    for (int k = 0; k < 400; ++k) levels.push_back(level(random));
    for (const StretchSide& s : sides)  // where the bounds do not tell, near Q
      if (s.side == 0)
        for (int k = 1; k < 16; ++k) levels.push_back(s.lo + k / 16.0 * (s.hi - s.lo));
    for (const double h : levels) {
      const int sign = sign_at(d, Q, sides, h);
      if (sign == 0) continue;
      ++told;
      by_geometry += side_at(sides, h) == 0 ? 1 : 0;
      EXPECT_EQ(balance(d, Q, h) > 0 ? 1 : -1, sign) << "section " << section << " Q " << Q << " h " << h;
    }
    const CarryingLevels carrying = levels_carrying(d, Q, false);
    const LevelSearch plain = find_level(d, Q);
    EXPECT_EQ(carrying.walk.found, plain.found) << "section " << section;
    if (plain.found) {
      EXPECT_EQ(carrying.walk.level, plain.level) << "section " << section;
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(told, 300 * 400 / 2) << "the stretches must tell most levels";
  EXPECT_GE(by_geometry, 1000) << "and their kept geometry many near Q";
}

// A valley of 7,200 points whose n changes at every point: so many
// subdivisions that the sweep works out only every few elevations and shows
// the search the others in blocks. Every level it lists carries Q, the
// walk's among them, and a scan of the balance finds no change of sign it missed.
TEST(NormalLevels, ASectionSweptInBlocksOfElevationsStillHasEveryLevel) {
  std::mt19937 random(8);
  std::uniform_real_distribution<double> noise(-0.02, 0.02);
  constexpr int kPoints = 7200;
  CrossSection d;
  d.N = kPoints;
  d.il = kPoints / 2 - 20;
  d.ip = kPoints / 2 + 20;
  d.s = 0.001;
  d.nc = 0.03;
  d.nf = 0.05;
  d.x = {0};
  d.z = {0};
  d.roughness.assign(kPoints, 0.0);
  for (int i = 1; i <= kPoints; ++i) {
    d.x.push_back(0.5 * i);
    d.z.push_back(100 + std::fabs(i - kPoints / 2.0) / kPoints * 6 + noise(random));
    if (i < kPoints) d.roughness[static_cast<std::size_t>(i)] = 0.03 + 0.01 * (i % 3);
  }
  d.zmin = *std::min_element(d.z.begin() + 1, d.z.end());
  d.zmax = *std::max_element(d.z.begin() + 1, d.z.end());
  measure_segments(d);
  ASSERT_GT(static_cast<double>(d.N) * static_cast<double>(d.parts.size()), 5e7) << "not swept in blocks";
  for (const double depth : {1.5}) {
    const double Q = carried(d, d.zmin + depth);
    std::vector<CriticalLevel> critical;
    const CarryingLevels levels = levels_carrying(d, Q, false, &critical);
    const std::string where = "depth " + std::to_string(depth);
    ASSERT_TRUE(levels.walk.found) << where;
    EXPECT_TRUE(std::any_of(levels.every.begin(), levels.every.end(),
                            [&](const NormalLevel& l) { return l.level == levels.walk.level; }))
        << where;
    for (const NormalLevel& l : levels.every) {
      const double by = l.level == levels.walk.level ? 1.5e-3 : 1e-7 * std::max(1.0, std::fabs(l.level));
      EXPECT_TRUE(crosses(d, Q, l.level, by)) << where << ": nothing carried changes through Q at " << l.level;
    }
    const double top = search_top(d), step = (top - d.zmin) / 400;
    for (int j = 0; j < 400; ++j) {
      const double lo = d.zmin + (j + 0.5) * step, hi = lo + step;
      if ((balance(d, Q, lo) > 0) == (balance(d, Q, hi) > 0)) continue;
      EXPECT_TRUE(std::any_of(levels.every.begin(), levels.every.end(),
                              [&](const NormalLevel& l) { return l.level >= lo - 2e-3 && l.level <= hi + 2e-3; }))
          << where << ": the change of sign between " << lo << " and " << hi << " was missed";
    }
    EXPECT_FALSE(critical.empty()) << where;
    // The blocks shown follow one another up to the top, and what each
    // subdivision conveys inside one lies within the bounds it came with.
    double reached = d.zmin;
    int block = 0;
    std::vector<WaterRange> water(d.parts.size());
    critical_levels(d, Q, top, [&](double lo, double hi, const StretchGeometry& geometry, const StretchBounds& bounds,
                                   const StretchKeeper&) {
      EXPECT_EQ(lo, reached) << where;
      reached = hi;
      if (block++ % 25 != 0 || !bounds(water)) return;
      for (const double f : {0x1p-30, 0.5, 1.0}) {
        const double h = lo + f * (hi - lo);
        const std::span<const PartGeometry> g = geometry(h);
        for (std::size_t p = 0; p < d.parts.size(); ++p) {
          const double c = conveying(d.parts[p], g[p]);
          ASSERT_LE(least_conveying(water[p]), c * (1 + 1e-12)) << where << " part " << p << " h " << h;
          ASSERT_LE(c, most_conveying(water[p]) * (1 + 1e-12)) << where << " part " << p << " h " << h;
        }
      }
    });
    EXPECT_EQ(reached, top) << where;
    EXPECT_GT(block, 100) << where;
  }
}

}  // namespace
}  // namespace normlevel
