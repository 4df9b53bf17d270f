#pragma once

// Proofs from the bounds of a stretch between two elevations of the points
// that E(h) rises all through it, and that it cannot fall at once at an
// elevation between two such stretches: where they hold, the sweep for the
// critical levels works out nothing there.

#include <cstddef>
#include <vector>

#include "core/CSdata.h"
#include "hydraulics/critical_sweep.h"

namespace normlevel {

/// x^(2/3) from below and above, within about 0.3% (Manning's float
/// exponent included): 8 -> [3.9996, 4.0108], 0 -> [0, 0].
struct PowerBounds {
  double low, high;
};
PowerBounds two_thirds_bounds(double x);

/// What bounds the terms of dE/dh over a stretch, for one subdivision: its
/// water, its widest surface and how fast its perimeter grows.
struct EnergyRange {
  WaterRange water;
  double high_B = 0;
  double low_B = 0;  ///< the narrowest surface (0 where not known)
  double dP = 0;
  bool widths_known = true;  ///< no width below 0 at either end
  bool holds_water = false;  ///< some stretch of it is not dry all through
};

/// A subdivision's conveyance over a stretch, from below and above.
struct ConveyanceBounds {
  bool wet = false;
  double low_A = 0, high_A = 0, low_K = 0, high_K = 0;
  double low_S3() const { return low_K * low_K * low_K / (high_A * high_A); }
};

/// A subdivision's water at an elevation, on either side of it: its area,
/// its perimeter just below and just above (where a level segment goes
/// under), and no stretch of it with a hydraulic radius above R.
struct WaterAtElevation {
  double A = 0, low_P = 0, high_P = 0, R = 0;
};

/// The proofs for section d and discharge Q.
class RiseProof {
 public:
  RiseProof(const CrossSection& d, double Q);

  /// Whether dE/dh stays above 1/2 through the stretch whose ranges are
  /// given, every subdivision wet all through it or dry; each one's
  /// conveyance there into `out`.
  bool rises(const std::vector<EnergyRange>& ranges, std::vector<ConveyanceBounds>& out) const;

  /// Whether dE/dh stays below -1/2 through the stretch whose ranges are
  /// given, one subdivision alone holding water there.
  bool falls(const std::vector<EnergyRange>& ranges) const;

  /// Whether E cannot fall at once at the elevation between two stretches
  /// that rise, where the subdivisions `jumped` may convey less at once (a
  /// level segment gone under, stretches of water joined).
  static bool rises_across(const std::vector<std::size_t>& jumped, const std::vector<ConveyanceBounds>& below,
                           const std::vector<ConveyanceBounds>& above);

  /// The same from each subdivision's water at the elevation itself.
  bool rises_across(const std::vector<std::size_t>& jumped, const std::vector<WaterAtElevation>& water);

  /// Whether E cannot fall at once at any elevation inside a run of
  /// stretches whose ranges and conveyance bounds are given, where the
  /// subdivisions `jumped` may convey less at once.
  bool slower_than_mean(const std::vector<std::size_t>& jumped, const std::vector<EnergyRange>& ranges,
                        const std::vector<ConveyanceBounds>& bounds) const;

 private:
  // Another subdivision's conveyance and (K / A)^2, from below.
  struct Speed {
    double low_K, high_K, square;
  };
  static double least_mean(std::vector<Speed>& others);

  double head_;
  std::vector<double> k_;
  std::vector<ConveyanceBounds> at_elevation_;
  mutable std::vector<Speed> others_;
};

}  // namespace normlevel
