// Bounds over runs of stretches from sums over the sorted segments: they
// hold the geometry at every level of the run and lie close to it at the
// run's ends; and the sweep that passes over runs finds exactly what it
// finds stretch by stretch.

#include "hydraulics/run_bounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "base/ordered_search.h"
#include "base/power.h"
#include "core/func.h"
#include "core/search.h"
#include "hydraulics/elevation_sweep.h"
#include "hydraulics/critical_sweep.h"
#include "hydraulics/normal_levels.h"
#include "hydraulics/zones.h"
#include "test_support.h"

namespace normlevel {
namespace {

std::vector<std::pair<double, std::int32_t>> points_by_elevation(const CrossSection& d) {
  std::vector<std::pair<double, std::int32_t>> order;
  for (std::int32_t i = 1; i <= d.N; ++i) order.push_back({d.z[i], i});
  std::sort(order.begin(), order.end());
  return order;
}

std::vector<std::size_t> segment_parts(const CrossSection& d) {
  std::vector<std::size_t> part_of(static_cast<std::size_t>(d.N));
  for (std::size_t p = 0; p < d.parts.size(); ++p)
    for (std::int32_t i = d.parts[p].first; i <= d.parts[p].last; ++i) part_of[static_cast<std::size_t>(i)] = p;
  return part_of;
}

double near(double value) { return 1e-7 * std::fabs(value) + 1e-9; }

// The halving search finds the first element past the level wherever the
// level falls: before all, on ties, between, after all; in lists of every
// length up to a few halvings, as std::partition_point finds it.
TEST(OrderedSearch, CountsTheElementsAtOrBelowALevelAsPartitionPointDoes) {
  const std::vector<double> levels = {1, 2, 2, 5};
  EXPECT_EQ(count_until(std::span<const double>(levels), [](double e) { return 2 < e; }), 3u);  // the header's example
  const std::vector<double> all = {-1, 0, 0, 0, 1.5, 2, 3, 3, 7, 9, 9, 12, 20};
  for (std::size_t n = 0; n <= all.size(); ++n) {
    const std::span<const double> sorted(all.data(), n);
    for (const double h : {-2.0, -1.0, 0.0, 0.5, 3.0, 9.0, 19.0, 20.0, 25.0}) {
      const auto after = [h](double e) { return h < e; };
      const auto expected = std::partition_point(sorted.begin(), sorted.end(), [&](double e) { return !after(e); });
      EXPECT_EQ(count_until(sorted, after), static_cast<std::size_t>(expected - sorted.begin())) << n << " " << h;
    }
  }
}

// Whatever the spread of the elevations (to centimetres with many ties, a
// far outlier crowding the rest together, signed zeros, one flat, two
// levels, ever falling), the order is by elevation and then by place.
TEST(Sweep, OrdersThePointsOfEveryShapeByElevationThenPlace) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(0, 1);
  const struct {
    const char* shape;
    int points;
    std::function<double(int)> z;
  } shapes[] = {
      {"a valley to centimetres", 300,
       [&](int i) { return std::round((100 + std::abs(i - 150) * 0.05 + unit(random) * 0.3) * 100) / 100; }},
      {"a far outlier", 300, [&](int i) { return i == 7 ? 1e6 : 100 + unit(random); }},
      {"signed zeros", 40, [&](int i) { return i % 3 == 0 ? -0.0 : i % 3 == 1 ? 0.0 : unit(random); }},
      {"one flat", 50, [](int) { return 5.0; }},
      {"two levels", 200, [](int i) { return i % 2 ? 1.0 : 2.0; }},
      {"ever falling", 300, [](int i) { return -0.5 * i; }},
  };
  for (const auto& shape : shapes) {
    CrossSection d;
    d.N = shape.points;
    d.il = 2;
    d.ip = shape.points - 1;
    d.s = 0.001;
    d.nc = 0.03;
    d.nf = 0.05;
    d.x = {0};
    d.z = {0};
    for (int i = 1; i <= d.N; ++i) {
      d.x.push_back(i);
      d.z.push_back(shape.z(i));
    }
    d.zmin = *std::min_element(d.z.begin() + 1, d.z.end());
    d.zmax = *std::max_element(d.z.begin() + 1, d.z.end());
    measure_segments(d);
    std::vector<std::pair<double, std::int32_t>> expected;
    for (std::int32_t i = 1; i <= d.N; ++i) expected.push_back({d.z[i], i});
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const Sweep sweep(d, 1);
    const auto order = sweep.order();
    ASSERT_EQ(order.size(), expected.size()) << shape.shape;
    for (std::size_t k = 0; k < order.size(); ++k) {
      ASSERT_EQ(order[k].second, expected[k].second) << shape.shape << ", place " << k;
      ASSERT_EQ(std::signbit(order[k].first), std::signbit(expected[k].first)) << shape.shape << ", place " << k;
    }
  }
}

// The sums at an elevation add its points in the order the sweep takes
// them: the section's, so that no library's sort can change a bit.
TEST(Sweep, TakesThePointsAtOneElevationInTheSectionsOrder) {
  std::mt19937 random(1211);
  for (int section = 0; section < 60; ++section) {
    const CrossSection d = testing::varied_section(random, section, section % 2 ? Rules::model : Rules::divided);
    const Sweep sweep(d, 1);
    const auto order = sweep.order();
    ASSERT_EQ(order.size(), static_cast<std::size_t>(d.N));
    std::vector<bool> seen(order.size() + 1);
    for (std::size_t k = 0; k < order.size(); ++k) {
      const auto [z, point] = order[k];
      ASSERT_EQ(z, d.z[point]) << "section " << section;
      seen[static_cast<std::size_t>(point)] = true;
      if (k > 0) {
        ASSERT_LT(order[k - 1], order[k]) << "section " << section << ", place " << k;
      }
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), true), d.N) << "section " << section;
  }
}

TEST(RunBounds, HoldEachSubdivisionsWaterAtEveryLevelOfTheRunAndMeetItAtItsEnds) {
  std::mt19937 random(1210);
  int checked = 0;
  for (int section = 0; section < 300; ++section) {
    const CrossSection d = testing::varied_section(random, section, section % 2 ? Rules::model : Rules::divided);
    const std::vector<std::pair<double, std::int32_t>> order = points_by_elevation(d);
    const RunBounds bounds(d, order, segment_parts(d), segment_slopes(d));
    std::uniform_real_distribution<double> level(d.zmin, search_top(d));
    double a = level(random), c = level(random);
    if (section % 3 == 0) a = order[static_cast<std::size_t>(section) % order.size()].first;  // at a point's elevation
    if (a > c) std::swap(a, c);
    std::vector<EnergyRange> ranges;
    ASSERT_TRUE(bounds.ranges(a, c, ranges));
    const std::vector<PartGeometry> at_a = geometry_at(d, a), at_c = geometry_at(d, c);
    const std::string where = "section " + std::to_string(section) + " from " + std::to_string(a) + " to " +
                              std::to_string(c);
    // The levels above a, where the water grows from a's (near a segment's
    // foot the sums' dP/dh is the water's edge's rounding's as much as the segment's).
    for (int k = 0; k <= 20; ++k) {
      const double h = a + (c - a) * (k == 0 ? 0x1p-20 : k / 20.0);
      const std::vector<PartGeometry> g = geometry_at(d, h);
      for (std::size_t p = 0; p < g.size(); ++p) {
        const EnergyRange& r = ranges[p];
        if (!r.holds_water) {
          EXPECT_EQ(g[p].A, 0) << where << " part " << p;
          continue;
        }
        ++checked;
        EXPECT_GE(g[p].A, r.water.low_A) << where << " part " << p << " at " << h;
        EXPECT_LE(g[p].A, r.water.high_A) << where << " part " << p << " at " << h;
        EXPECT_LE(g[p].P, r.water.high_P) << where << " part " << p << " at " << h;
        EXPECT_LE(g[p].B, r.high_B) << where << " part " << p << " at " << h;
        EXPECT_LE(g[p].dP, r.dP * (1 + 1e-6)) << where << " part " << p << " at " << h;
        const double carried = std::isnan(g[p].conveying) ? g[p].A * manning_power(g[p].A / g[p].P) : g[p].conveying;
        if (g[p].A > 0) {  // no stretch's radius above high_R
          EXPECT_LE(carried, g[p].A * manning_power(r.water.high_R)) << where << " part " << p << " at " << h;
        }
      }
    }
    for (std::size_t p = 0; p < ranges.size(); ++p) {
      if (!ranges[p].holds_water) continue;
      EXPECT_NEAR(ranges[p].water.low_A, at_a[p].A, near(at_a[p].A)) << where << " part " << p;
      EXPECT_NEAR(ranges[p].water.high_A, at_c[p].A, near(at_c[p].A)) << where << " part " << p;
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(checked, 10000) << "most runs must hold water to check";
}

TEST(RunBounds, RefuseStationsThatFallBack) {
  CrossSection d = testing::trapezoid();
  std::swap(d.x[2], d.x[3]);
  std::vector<EnergyRange> ranges;
  const RunBounds bounds(d, points_by_elevation(d), segment_parts(d), segment_slopes(d));
  EXPECT_FALSE(bounds.ranges(d.zmin, d.zmax, ranges));
}

// A visitor that asks for nothing: the sweep then goes stretch by stretch.
void each_stretch(double, double, const StretchGeometry&, const StretchBounds&, const StretchKeeper&) {}

// Sections of 20 to 200 points, so that runs of many stretches are common.
CrossSection long_section(std::mt19937& random, int k) {
  CrossSection d = testing::random_section(random, 20 + k % 181, k % 5 == 0 ? 30 : 1);
  if (k % 2 == 1) testing::vary_roughness(d, random);
  d.rules = k % 3 ? Rules::model : Rules::divided;
  measure_segments(d);
  return d;
}

TEST(CriticalLevels, RunsOfStretchesFindWhatTheSweepFindsStretchByStretch) {
  std::mt19937 random(1209);
  long runs = 0;
  for (int section = 0; section < 400; ++section) {
    const CrossSection d = long_section(random, section);
    std::uniform_real_distribution<double> depth(0.05, d.zmax - d.zmin + 2);
    const double Q = std::max(0.01, -balance(d, 0, d.zmin + depth(random))), top = search_top(d);
    const std::string where = "section " + std::to_string(section) + " Q " + std::to_string(Q);
    PassedOver passed;
    const std::vector<CriticalLevel> by_runs = critical_levels(d, Q, top, {}, {}, &passed);
    const std::vector<CriticalLevel> by_stretches = critical_levels(d, Q, top, each_stretch);
    ASSERT_EQ(by_runs.size(), by_stretches.size()) << where;
    for (std::size_t k = 0; k < by_runs.size(); ++k) {
      EXPECT_EQ(by_runs[k].level, by_stretches[k].level) << where;
      EXPECT_EQ(by_runs[k].energy, by_stretches[k].energy) << where;
      EXPECT_EQ(by_runs[k].at_end, by_stretches[k].at_end) << where;
    }
    // The levels carrying Q alongside, from runs, and from every stretch.
    std::vector<CriticalLevel> critical;
    const CarryingLevels with_runs = levels_carrying(d, Q, false, &critical), alone = levels_carrying(d, Q, false);
    EXPECT_EQ(with_runs.walk.level, alone.walk.level) << where;
    ASSERT_EQ(with_runs.every.size(), alone.every.size()) << where;
    for (std::size_t k = 0; k < alone.every.size(); ++k) {
      EXPECT_EQ(with_runs.every[k].level, alone.every[k].level) << where;
      EXPECT_EQ(with_runs.every[k].falling, alone.every[k].falling) << where;
    }
    EXPECT_EQ(critical.size(), by_runs.size()) << where;
    for (const auto& [lo, hi] : passed.rising)
      runs += std::any_of(d.z.begin() + 1, d.z.end(), [&](double z) { return z > lo && z < hi; }) ? 1 : 0;
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(runs, 200) << "the sweep must pass over runs of several stretches";
}

}  // namespace
}  // namespace normlevel
