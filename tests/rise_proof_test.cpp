// The proof that E cannot fall at once where a subdivision's conveyance
// falls: it must hold wherever the subdivision is no faster than the
// others' mean at its least, and nowhere it may be faster.

#include "hydraulics/rise_proof.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "test_support.h"

namespace normlevel {
namespace {

// The least of sum(K_j v_j^2) / sum(K_j) with each K_j anywhere in its
// range: a ratio of sums linear in each K_j is least at a corner of the box.
double least_mean_by_corners(const std::vector<ConveyanceBounds>& bounds, std::size_t jumped) {
  std::vector<std::size_t> others;
  for (std::size_t p = 0; p < bounds.size(); ++p)
    if (p != jumped && bounds[p].wet) others.push_back(p);
  double least = std::numeric_limits<double>::infinity();
  for (unsigned corner = 0; corner < (1u << others.size()); ++corner) {
    double sum = 0, weight = 0;
    for (std::size_t j = 0; j < others.size(); ++j) {
      const ConveyanceBounds& b = bounds[others[j]];
      const double K = (corner >> j & 1) ? b.high_K : b.low_K, speed = b.low_K / b.low_A;
      sum += K * speed * speed;
      weight += K;
    }
    least = std::min(least, sum / weight);
  }
  return least;
}

TEST(RiseProof, SlowerThanMeanHoldsExactlyBelowTheOthersLeastMean) {
  const CrossSection d = testing::trapezoid();  // three subdivisions
  const RiseProof proof(d, 10);
  const double k = d.units->k / d.nf;          // the left floodplain's, the one whose water joins
  std::mt19937 random(31);
  std::uniform_real_distribution<double> unit(0, 1);
  int proven = 0, refused = 0;
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<ConveyanceBounds> bounds(3);
    std::vector<EnergyRange> ranges(3);
    for (std::size_t p = 1; p < 3; ++p) {  // the others: every speed and spread of conveyance
      const double A = 1 + 50 * unit(random), K = A * (1 + 80 * unit(random));
      bounds[p] = {true, A, A * (1 + 5 * unit(random)), K, K * (1 + 20 * unit(random))};
      ranges[p].water.high_R = 1e6;  // their conveyance bounded by high_K alone
    }
    const double least = least_mean_by_corners(bounds, 0);
    const double R = std::pow(std::sqrt(least) / k * (0.9 + 0.2 * unit(random)), 1.5);
    ranges[0].water.high_R = R;
    bounds[0] = {true, 1, 2, 1, 2};
    const double v = k * two_thirds_bounds(R).high;
    if (std::fabs(v * v / least - 1) < 1e-3) continue;  // within the proof's own allowance
    const bool slower = v * v < least;
    EXPECT_EQ(proof.slower_than_mean({0}, ranges, bounds), slower)
        << "trial " << trial << ": (K/A)^2 " << v * v << " against the least mean " << least;
    (slower ? proven : refused) += 1;
  }
  EXPECT_GE(proven, 500);
  EXPECT_GE(refused, 500);
}

}  // namespace
}  // namespace normlevel
