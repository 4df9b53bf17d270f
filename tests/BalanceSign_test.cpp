// Every sign the bounds prove is checked against the ordered sums, over
// generated sections with walls, flats, points at trial levels, floodplains
// below the channel, notices and huge spans; the search must end exactly
// where it ends without the proofs.

#include "BalanceSign.h"

#include <gtest/gtest.h>

#include <random>

#include "Bisect.h"
#include "CSdata.h"
#include "func.h"
#include "search.h"
#include "test_support.h"

namespace normlevel {
namespace {

// The search's own constants: single-precision values widened.
const double kStep = static_cast<double>(0.1f), kStart = static_cast<double>(0.001f);
const double kEps = static_cast<double>(0.001f);

int sign_of(double value) { return value > 0 ? 1 : value < 0 ? -1 : 0; }

// What section d carries at level h.
double carried_at(const CrossSection& d, double h) { return -balance(d, 0, h); }

// A section of the given points, as its bank points divide them.
CrossSection section_of_points(const std::vector<std::pair<double, double>>& points, int il, int ip) {
  CrossSection d = testing::section_of({{0, 0}, {1, 0}}, 1, 2);
  d.x.resize(1);
  d.z.resize(1);
  for (const auto& [x, z] : points) {
    d.x.push_back(x);
    d.z.push_back(z);
  }
  d.N = static_cast<int>(points.size());
  d.il = il;
  d.ip = ip;
  d.zmin = *std::min_element(d.z.begin() + 1, d.z.end());
  d.zmax = *std::max_element(d.z.begin() + 1, d.z.end());
  measure_segments(d);
  return d;
}

struct Tally {
  long proved = 0, asked = 0;
};

// A proof that checks each sign it proves against the balance itself.
template <typename Proof>
SignProof checked(const CrossSection& d, double Q, Proof& proof, Tally& tally, const char* where) {
  return [&d, Q, &proof, &tally, where](double level) {
    const int known = proof(level);
    ++tally.asked;
    if (known != 0) {
      ++tally.proved;
      EXPECT_EQ(known, sign_of(balance(d, Q, level))) << where << " at " << level << " Q " << Q;
    }
    return known;
  };
}

// The search with checked proofs, compared step for step with the plain one.
void search_both_ways(const CrossSection& d, double Q, Tally& walk_tally, Tally& bracket_tally) {
  const double finish = d.zmax + 20;
  const Function f = [&d, Q](double h) { return balance(d, Q, h); };
  double a = d.zmin + kStart, b = kStep;
  double plain_a = a, plain_b = b;
  WalkSigns walk(d, Q, walk_levels(a, b, finish));
  const std::int32_t found = localroot(a, b, finish, f, checked(d, Q, walk, walk_tally, "walk"));
  ASSERT_EQ(found, localroot(plain_a, plain_b, finish, f));
  ASSERT_EQ(a, plain_a);
  ASSERT_EQ(b, plain_b);
  if (found != 1) return;
  const BracketSigns bracket(d, Q, a, b);
  const double level = bis(a, b, f, kEps, checked(d, Q, bracket, bracket_tally, "bracket"));
  ASSERT_EQ(level, bis(plain_a, plain_b, f, kEps));
  ASSERT_EQ(find_level(d, Q).level, level);
}

// Discharges that put the level near the bed, at survey points, high up,
// and none at all (the notice): 0, negative, more than any level carries.
std::vector<double> discharges(const CrossSection& d, std::mt19937& random) {
  std::uniform_real_distribution<double> above(0, d.zmax - d.zmin + 3);
  std::vector<double> Q = {0, -5, 1e30};
  for (int k = 0; k < 4; ++k) Q.push_back(carried_at(d, d.zmin + above(random)));
  Q.push_back(carried_at(d, d.z[1 + random() % d.N]));  // the level of a survey point
  return Q;
}

TEST(BalanceSign, EveryProvedSignIsTheOrderedSumsSign) {
  std::mt19937 random(1208);
  Tally walk, bracket;
  for (int section = 0; section < 400; ++section) {
    CrossSection d = testing::random_section(random, 2 + section % 60, section % 50 == 7 ? 40 : 1);
    if (section % 3 == 1) testing::vary_roughness(d, random);  // subdivisions inside the zones
    for (const double Q : discharges(d, random)) {
      search_both_ways(d, Q, walk, bracket);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
  // The proofs must do the work: most levels need no ordered sums.
  EXPECT_GT(walk.proved, walk.asked * 3 / 4) << walk.proved << " of " << walk.asked;
  EXPECT_GT(bracket.proved, bracket.asked / 4) << bracket.proved << " of " << bracket.asked;
}

// A long survey with small steps, like a real one: near the level only the
// last one or two steps of the walk and of the bisection are left unproved.
TEST(BalanceSign, ASurveyOfManyPointsNeedsTheOrderedSumsOnlyNearTheLevel) {
  std::mt19937 random(5);
  std::vector<std::pair<double, double>> points;
  std::uniform_real_distribution<double> noise(-0.05, 0.05);
  for (int i = 0; i < 5000; ++i) {
    const double t = i / 2500.0 - 1;
    points.push_back({i * 0.5, 100 + 8 * t * t + noise(random) - (std::abs(t) < 0.1 ? 3 : 0)});
  }
  const CrossSection d = section_of_points(points, 2250, 2750);
  for (const double depth : {1.0, 2.5, 6.0}) {
    Tally walk, bracket;
    search_both_ways(d, carried_at(d, d.zmin + depth), walk, bracket);
    EXPECT_GE(walk.proved, walk.asked - 3) << depth;
    EXPECT_GE(bracket.proved, bracket.asked - 3) << depth;
  }
}

// A few points and a deep section: long runs of the walk's levels add no
// segment, and their signs are proved a run at a time, far from the datum
// as near it; each of those signs is still checked level by level.
TEST(BalanceSign, RunsOfLevelsThatAddNoSegmentAreProvedAsTheyAreSummed) {
  std::mt19937 random(4021);
  Tally walk, bracket;
  for (int section = 0; section < 150; ++section) {
    CrossSection d = testing::random_section(random, 2 + section % 6, 10 + section % 40);
    const double offset = section % 3 == 0 ? 0 : section % 3 == 1 ? 9e4 : -9e4;
    for (std::size_t i = 1; i < d.z.size(); ++i) d.z[i] += offset;
    d.zmin += offset;
    d.zmax += offset;
    measure_segments(d);
    if (section % 4 == 1) testing::vary_roughness(d, random);
    for (const double Q : discharges(d, random)) {
      search_both_ways(d, Q, walk, bracket);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
  EXPECT_GT(walk.proved, walk.asked * 9 / 10) << walk.proved << " of " << walk.asked;
}

// The totals at h as the walk keeps them, with the shares wet in part.
WetTotals totals_at(const CrossSection& d, double h) {
  WetTotals t(d);
  t.partials_known = true;
  for (std::int32_t i = 1; i < d.N; ++i) {
    const double low = std::min(d.z[i], d.z[i + 1]), high = std::max(d.z[i], d.z[i + 1]);
    if (high < h) t.full[part_of(d, i)].add(d, i);
    if (low < h) t.wet[part_of(d, i)].add(d, i);
    if (low < h && high >= h) t.add_part(h, i);
  }
  return t;
}

struct SpanCase {
  const char* name;
  std::initializer_list<std::pair<double, double>> points;
  int il, ip;
};

// Between two point elevations the sign proved for a span must hold at
// every level of it, also where the discharge falls across the span (a
// wide, deep channel spilling onto a shelf) and where the balance changes
// sign inside it.
TEST(BalanceSign, ASpanProofHoldsAtEveryLevelOfTheSpan) {
  const SpanCase cases[] = {
      {"shelf", {{0, 14}, {0, 0}, {100, 0}, {100, 10}, {150, 10.15}, {150, 14}}, 1, 6},
      {"shelf on a floodplain", {{0, 14}, {0, 10.15}, {50, 10}, {50, 0}, {150, 0}, {150, 14}}, 3, 6},
      {"V far from the datum", {{0, 1e5}, {1e5, -1e5}, {2e5, 1e5}}, 1, 3},
      {"compound rectangle", {{0, 2}, {0, 1}, {3, 1}, {3, 0}, {4, 0}, {4, 1}, {7, 1}, {7, 2}}, 3, 6},
  };
  for (const SpanCase& c : cases) {
    const CrossSection d = testing::section_of(c.points, c.il, c.ip);
    std::vector<double> elevations(d.z.begin() + 1, d.z.end());
    std::sort(elevations.begin(), elevations.end());
    elevations.erase(std::unique(elevations.begin(), elevations.end()), elevations.end());
    int proved = 0;
    for (std::size_t e = 0; e + 1 < elevations.size(); ++e) {
      const double low = elevations[e] + (elevations[e + 1] - elevations[e]) * 1e-3;
      std::vector<double> carried;
      for (int k = 0; k <= 8; ++k) carried.push_back(carried_at(d, low + (elevations[e + 1] - low) * k / 8));
      std::vector<double> discharges = {carried.front() / 10, 10 * carried.back()};
      for (std::size_t k = 0; k + 1 < carried.size(); ++k) discharges.push_back((carried[k] + carried[k + 1]) / 2);
      // The whole run, then shorter spans from its foot, as the walk tries them.
      for (double high = elevations[e + 1]; high - low > 1e-3; high = low + (high - low) / 4) {
        for (const double Q : discharges) {
          const int sign = proved_sign(Q, low, totals_at(d, low), high, totals_at(d, high));
          proved += sign != 0 ? 1 : 0;
          for (int k = 0; k <= 100 && sign != 0; ++k) {
            const double h = low + (high - low) * k / 100;
            ASSERT_EQ(sign, sign_of(balance(d, Q, h))) << c.name << ": Q " << Q << " at " << h << " in " << low << ".." << high;
          }
        }
      }
    }
    EXPECT_GE(proved, 4 * static_cast<int>(elevations.size() - 1)) << c.name;
  }
}

TEST(BalanceSign, HugeSpansAndLevelsOnTheWalksOwnSteps) {
  std::mt19937 random(99);
  Tally walk, bracket;
  for (int section = 0; section < 4; ++section) {
    const CrossSection d = testing::random_section(random, 30, 4000);  // elevations tens of kilometres apart
    for (const double Q : {1e30, 1e6}) search_both_ways(d, Q, walk, bracket);
  }
  // Points standing exactly at the walk's levels: wet and dry flip there.
  const std::vector<double> at = walk_levels(kStart, kStep, 23);  // the walk's levels once zmin is 0
  const CrossSection d = testing::section_of(
      {{0, at[30]}, {1, at[10]}, {2, at[10]}, {3, 0}, {4, 0}, {5, at[20]}, {6, at[20]}, {7, at[30]}}, 3, 6);
  for (const double Q : {0.1, 1.0, 5.0, 50.0}) search_both_ways(d, Q, walk, bracket);
  EXPECT_GT(walk.proved, 0);
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

// Far from the datum the totals are large sums: the bounds must stay tight
// there too, or a V spanning the whole range would walk on ordered sums.
TEST(BalanceSign, AVSpanningTheWholeRangeWalksOnProofs) {
  const int n = 2001;
  std::vector<std::pair<double, double>> points;
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * i / (n - 1) - 1;
    points.push_back({1e5 * (t + 1), -1e5 + 2e5 * std::abs(t)});
  }
  const CrossSection d = section_of_points(points, n * 9 / 20, n * 11 / 20);
  for (const double depth : {3.0, 700.0, 62000.0}) {
    const std::vector<double> levels = walk_levels(d.zmin + kStart, kStep, d.zmax + 20);
    WalkSigns walk(d, carried_at(d, d.zmin + depth), levels);
    int unproved = 0;
    for (const double h : levels) {
      const int known = walk(h);
      unproved += known == 0 ? 1 : 0;
      if (known < 0) break;
    }
    EXPECT_LE(unproved, 3) << "depth " << depth;
  }
}

}  // namespace
}  // namespace normlevel
