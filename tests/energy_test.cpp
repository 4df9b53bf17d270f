// The specific energy E(h) = h + alpha Q^2 / (2 g A^2): alpha by hand, the
// critical levels of the textbook compound channel, and every minimum the
// sweep finds checked against a dense scan of E on random sections.

#include "hydraulics/energy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/CSdata.h"
#include "hydraulics/critical_sweep.h"
#include "core/func.h"
#include "core/search.h"
#include "test_support.h"
#include "hydraulics/zones.h"

namespace normlevel {
namespace {

// Conveyance by hand: K = A R^(2/3) / n.
double conveyance(double A, double P, double n) { return A * std::pow(A / P, 2.0 / 3.0) / n; }

TEST(Energy, AlphaIsOneWithOnlyTheChannelWetAndByHandAboveTheBanks) {
  const CrossSection d = testing::trapezoid();
  const EnergyFigures low = energy_at(d, geometry_at(d, 100.8), 100.8, 10);
  EXPECT_EQ(low.alpha, 1);
  EXPECT_EQ(low.beta, 1);
  const double A0 = 0.8 * 2 + 0.8 * 0.8 * 2, V = 10 / A0;
  EXPECT_NEAR(low.velocity_head, V * V / (2 * 9.81), 1e-14);
  EXPECT_EQ(low.energy_level, 100.8 + low.velocity_head);
  // At 102 m, as in the rating table: floodplains 2.5 m2 over sqrt(26) m each.
  const double KL = conveyance(2.5, std::sqrt(26.0), 0.05), K0 = conveyance(10, 2 + 2 * std::sqrt(5.0), 0.03);
  const double K = 2 * KL + K0, A = 15;
  const double alpha = (2 * KL * KL * KL / 6.25 + K0 * K0 * K0 / 100) / (K * K * K / (A * A));
  const double beta = (2 * KL * KL / 2.5 + K0 * K0 / 10) / (K * K / A);
  const EnergyFigures high = energy_at(d, geometry_at(d, 102), 102, 16);
  EXPECT_NEAR(high.alpha, alpha, 1e-7 * alpha);
  EXPECT_NEAR(high.beta, beta, 1e-7 * beta);
  EXPECT_NEAR(high.velocity_head, alpha * (16 / A) * (16 / A) / (2 * 9.81), 1e-7);
}

// Chow's compound rectangle: a 1 m wide, 1 m deep channel between two
// floodplains 3 m wide, n 0.013 and 0.0144, Q = 2.5 m3/s. E has minima at
// 0.8605 (the channel's own critical depth) and 1.1311 m, a maximum
// between them just above the banks.
TEST(CriticalLevels, TheCompoundRectangleHasTwoMinimaAndNoMaximumAmongThem) {
  const CrossSection d = testing::section_of({{0, 2}, {0, 1}, {3, 1}, {3, 0}, {4, 0}, {4, 1}, {7, 1}, {7, 2}}, 3, 6, 2.5,
                                             0.001, 0.013, 0.0144);
  const std::vector<CriticalLevel> levels = critical_levels(d, 2.5, search_top(d));
  ASSERT_EQ(levels.size(), 2u);
  EXPECT_NEAR(levels[0].level, 0.8605, 5e-5);
  EXPECT_NEAR(levels[0].energy, 1.2907, 5e-5);
  EXPECT_NEAR(levels[1].level, 1.1311, 5e-5);
  EXPECT_NEAR(levels[1].energy, 1.2504, 5e-5);
  EXPECT_NEAR(levels[0].level, std::cbrt(2.5 * 2.5 / 9.81), 1e-6) << "y_c = (q^2 / g)^(1/3)";
  EXPECT_EQ(governing_critical(levels), 1);
  for (const CriticalLevel& c : levels) EXPECT_NEAR(energy_at(d, geometry_at(d, c.level), c.level, 2.5).froude, 1, 1e-3);
  EXPECT_TRUE(critical_levels(d, 0, search_top(d)).empty()) << "no discharge, no critical level";
}

// E at many levels at once.
std::vector<double> energies(const CrossSection& d, const std::vector<double>& levels, double Q) {
  const std::vector<PartGeometry> all = geometry_at_levels(d, levels);
  const std::size_t parts = d.parts.size();
  std::vector<double> E(levels.size());
  for (std::size_t j = 0; j < levels.size(); ++j)
    E[j] = specific_energy(d, std::span(all).subspan(j * parts, parts), levels[j], Q).E;
  return E;
}

double energy(const CrossSection& d, double h, double Q) { return specific_energy(d, geometry_at(d, h), h, Q).E; }

TEST(CriticalLevels, NoMinimumOfADenseScanMissedNoneInvented) {
  std::mt19937 random(4711);
  constexpr int kLevels = 100000;
  int minima = 0;
  for (int section = 0; section < 200; ++section) {
    CrossSection d = testing::random_section(random, 2 + section % 38);
    if (section % 2 == 1) testing::vary_roughness(d, random);
    std::uniform_real_distribution<double> depth(0.05, d.zmax - d.zmin + 2);
    const double Q = std::max(0.01, -balance(d, 0, d.zmin + depth(random)));
    const double top = search_top(d), step = (top - d.zmin) / kLevels;
    std::vector<double> levels(kLevels);
    for (int j = 0; j < kLevels; ++j) levels[j] = d.zmin + (j + 0.5) * step;
    const std::vector<double> E = energies(d, levels, Q);
    const std::vector<CriticalLevel> found = critical_levels(d, Q, top);
    const std::string where = "section " + std::to_string(section) + " Q " + std::to_string(Q);
    for (int j = 1; j + 1 < kLevels; ++j) {
      if (!(E[j] < E[j - 1] && E[j] <= E[j + 1])) continue;
      ++minima;
      const bool near = std::any_of(found.begin(), found.end(), [&](const CriticalLevel& c) {
        return c.level >= levels[j - 1] - 1e-6 && c.level <= levels[j + 1] + 1e-6;
      });
      EXPECT_TRUE(near) << where << ": the scan's minimum at " << levels[j] << " was missed";
    }
    // A minimum found lies below its neighbours: 2e-5 away for one refined
    // to 1e-6, or the last digits away where a level segment going under
    // makes E jump.
    for (const CriticalLevel& c : found) {
      const double here = energy(d, c.level, Q);
      const auto lowest_within = [&](double by) {
        return here <= energy(d, c.level - by, Q) && here <= energy(d, std::min(c.level + by, top), Q);
      };
      EXPECT_TRUE(lowest_within(2e-5) || lowest_within(1e-12 * std::max(1.0, std::fabs(c.level))))
          << where << ": no minimum at " << c.level;
      EXPECT_NEAR(c.energy, here, 1e-12 * std::fabs(here)) << where;
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(minima, 200) << "the sample must hold minima to find";
}

// What the sweep passes over it must have proven: dE/dh at least 1/2 all
// through a stretch it calls rising (at most -1/2 through one it calls
// falling), wherever a sample or a halving may fall, and E not falling at
// once at an elevation it did not work out.
TEST(CriticalLevels, WhereTheSweepPassesOverERisesAndDoesNotFallAtOnce) {
  std::mt19937 random(2026);
  long stretches = 0, elevations = 0, falling = 0;
  for (int section = 0; section < 300; ++section) {
    const CrossSection d = testing::varied_section(random, section, section % 3 == 0 ? Rules::divided : Rules::model);
    std::uniform_real_distribution<double> depth(0.05, d.zmax - d.zmin + 2);
    const double Q = std::max(0.01, -balance(d, 0, d.zmin + depth(random)));
    PassedOver passed;
    critical_levels(d, Q, search_top(d), {}, {}, &passed);
    const auto slope = [&](double h) { return specific_energy(d, geometry_at(d, h), h, Q); };
    const std::string where = "section " + std::to_string(section) + " Q " + std::to_string(Q);
    const auto samples = [](double lo, double hi) {  // ever closer to its foot, and evenly through many stretches
      std::vector<double> levels{std::nextafter(lo, INFINITY)};
      for (int k = 1; k <= 24; ++k)
        levels.push_back(k >= 16 ? lo + (hi - lo) * (k - 15) / 9 : lo + std::ldexp(hi - lo, k - 16));
      return levels;
    };
    for (const auto& [lo, hi] : passed.rising) {
      ++stretches;
      for (const double h : samples(lo, hi))
        EXPECT_GE(slope(h).dE, 0.5 - 1e-9) << where << ": at " << h << " in " << lo << " to " << hi;
    }
    for (const auto& [lo, hi] : passed.falling) {
      ++falling;
      for (const double h : samples(lo, hi))
        EXPECT_LE(slope(h).dE, -0.5 + 1e-9) << where << ": at " << h << " in " << lo << " to " << hi << " (falling)";
    }
    for (const double e : passed.not_falling) {
      ++elevations;
      const double below = slope(e).E, above = slope(std::nextafter(e, INFINITY)).E;
      EXPECT_GE(above, below - 1e-12 * std::fabs(below)) << where << ": E falls at once at " << e;
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(stretches, 1200) << "the sweep must pass over many stretches";
  EXPECT_GE(falling, 100) << "some of them falling";
  EXPECT_GE(elevations, 100) << "and over elevations where E may change at once";
}

// Under the model rules a floodplain's stretches of water convey apart and
// E falls at once where two of them join. Every change of the sums' dE/dh
// from - to + is a minimum, and so is an elevation where E falls at once and
// then rises. The sweep passes over the stretches whose bounds prove E rising
// all through them, and over elevations where they prove it cannot fall:
// none of those may hide a minimum.
TEST(CriticalLevels, UnderTheModelRulesNoChangeOfSignAndNoFallAtOnceMissed) {
  std::mt19937 random(815);
  constexpr int kLevels = 20000;
  int changes = 0, falls = 0;
  for (int section = 0; section < 150; ++section) {
    const CrossSection d = testing::varied_section(random, section, Rules::model);
    std::uniform_real_distribution<double> depth(0.05, d.zmax - d.zmin + 2);
    const double Q = std::max(0.01, -balance(d, 0, d.zmin + depth(random)));
    const double top = search_top(d), step = (top - d.zmin) / kLevels;
    const std::vector<CriticalLevel> found = critical_levels(d, Q, top);
    const std::string where = "section " + std::to_string(section) + " Q " + std::to_string(Q);
    const auto found_within = [&](double lo, double hi) {
      return std::any_of(found.begin(), found.end(), [&](const CriticalLevel& c) { return c.level >= lo && c.level <= hi; });
    };
    const auto slope = [&](double h) { return specific_energy(d, geometry_at(d, h), h, Q); };
    double before = slope(d.zmin + 0.5 * step).dE;
    for (int j = 1; j < kLevels; ++j) {
      const double h = d.zmin + (j + 0.5) * step, now = slope(h).dE;
      if (before < 0 && now >= 0) {
        ++changes;
        EXPECT_TRUE(found_within(h - step - 1e-6, h + 1e-6)) << where << ": dE/dh turns up below " << h << " unseen";
      }
      before = now;
    }
    for (int i = 1; i <= d.N; ++i) {
      const double e = d.z[static_cast<std::size_t>(i)];
      if (!(e > d.zmin && e < top)) continue;
      const EnergySlope below = slope(std::nextafter(e, -INFINITY)), above = slope(std::nextafter(e, INFINITY));
      if (!(above.E < below.E - 1e-9 * std::fabs(below.E) && above.dE >= 0)) continue;
      ++falls;
      EXPECT_TRUE(found_within(e, std::nextafter(e, INFINITY))) << where << ": E falls at once at " << e << " unseen";
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GE(changes, 100) << "the sample must hold minima to find";
  EXPECT_GE(falls, 20) << "the sample must hold falls at once";
}

}  // namespace
}  // namespace normlevel
