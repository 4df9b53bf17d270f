#include "hydraulics/rise_proof.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/power.h"

namespace normlevel {

namespace {

// How loosely the bounds on a stretch take x^(2/3) besides, Manning's
// float exponent included: they decide only which levels are worked out.
constexpr double kLoose = 1e-4;

// The cube roots of 2^r (1 + j / 256) for r = 0, 1, 2 and j = 0 ... 256, to
// the last bit or so, worked out by the compiler.
struct CubeRoots {
  double at[3][257] = {};
  constexpr CubeRoots() {
    for (int r = 0; r < 3; ++r)
      for (int j = 0; j <= 256; ++j) {
        const double v = (1 + j / 256.0) * (1 << r);
        double y = 1.5;
        for (int step = 0; step < 40; ++step) y = (2 * y + v / (y * y)) / 3;
        at[r][j] = y;
      }
  }
};
constexpr CubeRoots kCubeRoots;

}  // namespace

// x^(2/3) from below and above, within about 0.3% and kLoose: x's binade
// and the first 8 bits of its mantissa pick two cube roots from the table,
// which bound x^(1/3) as it grows with x. Outside 2^-1000 ... 2^1000 (and
// for 0, NaN and infinity) the power itself.
PowerBounds two_thirds_bounds(double x) {
  if (!(x >= 0x1p-1000 && x <= 0x1p1000)) {
    const double power = manning_power(x);
    return {power * (1 - kLoose), power * (1 + kLoose)};
  }
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  const int binade = static_cast<int>(bits >> 52) - 1023, q = (binade + 1002) / 3 - 334, r = binade - 3 * q;
  const auto j = static_cast<std::size_t>((bits >> 44) & 255);
  const std::uint64_t scale_bits = static_cast<std::uint64_t>(q + 1023) << 52;
  double scale = 0;
  std::memcpy(&scale, &scale_bits, sizeof scale);
  const double low = kCubeRoots.at[r][j] * scale, high = kCubeRoots.at[r][j + 1] * scale;
  return {low * low * (1 - kLoose), high * high * (1 + kLoose)};
}

RiseProof::RiseProof(const CrossSection& d, double Q) : head_(Q * Q / (2 * d.units->g)) {
  for (const Subdivision& part : d.parts) k_.push_back(d.units->k / roughness_of(d, part));
}

// With w_i = B_i / A_i and c_i = dP_i / P_i the sums give
// dE/dh = 1 + head / K^3 (3 sum(S3_i w_i) - 2 sum(S3_i c_i)
// - 5 S3 / K sum(K_i w_i) + 2 S3 / K sum(K_i c_i)); K_i <= k A_i R^(2/3),
// S3_i <= k^3 A_i R^2 and A_i / P_i <= R bound its terms. Where dE/dh stays
// at least 1/2 no rounding can bring it to 0.
bool RiseProof::rises(const std::vector<EnergyRange>& ranges, std::vector<ConveyanceBounds>& out) const {
  out.resize(ranges.size());
  double K = 0, S3 = 0, spread = 0, widening = 0, narrowing = 0;
  for (std::size_t p = 0; p < ranges.size(); ++p) {
    const EnergyRange& range = ranges[p];
    const WaterRange& water = range.water;
    if (!water.known || !range.widths_known) return false;
    out[p].wet = false;
    if (!range.holds_water) continue;
    const double k = k_[p], R = water.high_R, least_R = water.low_A / water.high_P;
    if (!(water.low_A > 0 && least_R >= 1e-100 && R <= 1e100)) return false;
    const double low = two_thirds_bounds(least_R).low, high = two_thirds_bounds(R).high;
    const double k3 = k * k * k, R3 = R * R * R;
    out[p] = {true, water.low_A, water.high_A, k * water.low_A * low, k * water.high_A * high};
    K += out[p].low_K;
    S3 += k3 * water.high_A * R * R * (1 + kLoose);
    spread += 2 * k3 * R3 * std::fabs(range.dP) * (1 + kLoose);  // 2 S3_i |c_i|
    widening += k * high * range.high_B;                          // K_i w_i
    narrowing += k * R * high * std::max(0.0, -range.dP);         // K_i |c_i| where c_i < 0
  }
  if (!(K > 0)) return false;
  const double least = 1 - head_ / (K * K * K) * (spread + (5 * widening + 2 * narrowing) * S3 / K);
  return least >= 0.5;
}

// One subdivision wet alone has alpha = 1: dE/dh = 1 - 2 head B / A^3, at
// most 1 - 2 head low_B / high_A^3 (a dry one's E is infinite and falls).
bool RiseProof::falls(const std::vector<EnergyRange>& ranges) const {
  const EnergyRange* holding = nullptr;
  for (const EnergyRange& range : ranges) {
    if (!range.water.known || !range.widths_known) return false;
    if (!range.holds_water) continue;
    if (holding) return false;
    holding = &range;
  }
  if (!holding) return false;
  const double A = holding->water.high_A;
  return A > 0 && 2 * head_ * holding->low_B * (1 - kLoose) / (A * A * A) >= 1.5;
}

// With the areas the same on both sides, S3 / K^3 (and E with it) rises as
// one K_i falls while K_i^2 K < S3 A_i^2: that subdivision's water slower
// than the mean. The largest K_i and K and the least S3 and A_i of either
// stretch bound every state between the two, one subdivision at a time.
bool RiseProof::rises_across(const std::vector<std::size_t>& jumped, const std::vector<ConveyanceBounds>& below,
                             const std::vector<ConveyanceBounds>& above) {
  double K = 0;
  for (std::size_t p = 0; p < below.size(); ++p) {
    if (below[p].wet != above[p].wet) return false;
    K += std::max(below[p].high_K, above[p].high_K);
  }
  for (const std::size_t i : jumped) {
    if (!below[i].wet) return false;
    double others = 0;
    for (std::size_t p = 0; p < below.size(); ++p)
      if (p != i && below[p].wet) others += std::min(below[p].low_S3(), above[p].low_S3());
    const double Ki = std::max(below[i].high_K, above[i].high_K), A = std::min(below[i].low_A, above[i].low_A);
    if (!(Ki * Ki * K <= others * A * A * (1 - kLoose))) return false;
  }
  return true;
}

// Each subdivision's conveyance on either side: at least what its water
// would carry as one stretch with the longer perimeter, at most its area
// times the greatest radius' power.
bool RiseProof::rises_across(const std::vector<std::size_t>& jumped, const std::vector<WaterAtElevation>& water) {
  at_elevation_.resize(water.size());
  for (std::size_t p = 0; p < water.size(); ++p) {
    const WaterAtElevation& w = water[p];
    ConveyanceBounds& b = at_elevation_[p];
    b = {w.A > 0, w.A, w.A, 0, 0};
    if (!b.wet) continue;
    if (!(w.high_P > 0 && w.R > 0)) return false;
    b.low_K = k_[p] * w.A * two_thirds_bounds(w.A / w.high_P).low;
    b.high_K = k_[p] * w.A * two_thirds_bounds(w.R).high;
  }
  return rises_across(jumped, at_elevation_, at_elevation_);
}

// As rises_across, with each subdivision's K_i / A_i bounded by the power
// of its greatest radius: over a run its area may grow many times over,
// that hardly. With the others' sums S3_o and K_o, E cannot fall as K_i
// falls while (K_i / A_i)^2 K_o <= S3_o: while the subdivision is no faster
// than the others' (K_j / A_j)^2 averaged weighted by K_j. That mean is
// bounded from each one's own least speed and its conveyance's range, not
// as the least S3_o over the most K_o, which would pair the water at the
// run's foot with that at its top.
bool RiseProof::slower_than_mean(const std::vector<std::size_t>& jumped, const std::vector<EnergyRange>& ranges,
                                 const std::vector<ConveyanceBounds>& bounds) const {
  const auto velocity = [&](std::size_t p) {
    return k_[p] * two_thirds_bounds(ranges[p].water.high_R).high;
  };
  for (const std::size_t i : jumped) {
    if (!bounds[i].wet) return false;
    others_.clear();
    for (std::size_t p = 0; p < bounds.size(); ++p)
      if (p != i && bounds[p].wet) {
        const double speed = bounds[p].low_K / bounds[p].low_A;
        others_.push_back({bounds[p].low_K, std::min(bounds[p].high_K, velocity(p) * bounds[p].high_A), speed * speed});
      }
    const double v = velocity(i);
    if (!(v * v <= least_mean(others_) * (1 - kLoose))) return false;
  }
  return true;
}

// The least the mean of the others' (K_j / A_j)^2 weighted by K_j can be:
// from every weight at its least, the slowest are given their most as long
// as each is below the mean so far.
double RiseProof::least_mean(std::vector<Speed>& others) {
  double sum = 0, weight = 0;
  for (const Speed& s : others) {
    sum += s.low_K * s.square;
    weight += s.low_K;
  }
  if (!(weight > 0)) return 0;
  std::sort(others.begin(), others.end(), [](const Speed& a, const Speed& b) { return a.square < b.square; });
  for (const Speed& s : others) {
    if (!(s.square < sum / weight)) break;
    sum += (s.high_K - s.low_K) * s.square;
    weight += s.high_K - s.low_K;
  }
  return sum / weight;
}

}  // namespace normlevel
