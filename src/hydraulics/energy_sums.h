#pragma once

// The sums over the wet subdivisions that E(h) and its derivatives are made
// of: one set for the energy figures at a level, and one kept by the sweep,
// which asks level after level without allocating.

#include <span>
#include <vector>

#include "core/CSdata.h"
#include "hydraulics/energy.h"

namespace normlevel {

/// A subdivision's share of the sums at one level: with
/// K_i = k A_i^(5/3) / (n_i P_i^(2/3)) and
/// g_i = d ln K_i / dh = 5 B_i / (3 A_i) - 2 dP_i / (3 P_i),
/// alpha / A^2 = S3 / K^3 where S3 = sum(K_i^3 / A_i^2) and K = sum(K_i);
/// its derivative follows from dK = sum(K_i g_i) and
/// dS3 = sum(K_i^3 / A_i^2 (3 B_i / A_i - 2 dP_i / P_i)).
struct Conveyance {
  bool wet = false;
  double A = 0, P = 0, S3 = 0, K = 0;
  double per_A = 0, per_P = 0;  ///< 1 / A, 1 / P
};

/// Each subdivision's share from its A and P at a level, into `out`; the
/// count of wet subdivisions.
int conveyances(const CrossSection& d, std::span<const PartGeometry> geometry, std::vector<Conveyance>& out);

/// E, dE/dh and, where each subdivision's dB/dh is given, d2E/dh2 at level h
/// for discharge Q from the shares and each subdivision's B and dP.
EnergySlope energy_slope(const Units& units, const std::vector<Conveyance>& conveyance, int wet,
                         std::span<const PartGeometry> geometry, double h, double Q, std::span<const double> dB = {});

}  // namespace normlevel
