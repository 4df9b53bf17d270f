#pragma once

// The specific energy of a section, E(h) = h + alpha Q^2 / (2 g A^2),
// with alpha from the subdivisions' conveyances: the energy figures at a
// level and every critical level, where E has a local minimum.

#include <functional>
#include <span>
#include <vector>

#include "CSdata.h"

namespace normlevel {

/// E, dE/dh and d2E/dh2 at a level (the derivatives as the level rises
/// through it).
struct EnergySlope {
  double E = 0;
  double dE = 0;
  double d2E = 0;  ///< where the widths' growth is known (else 0)
};

/// E(h) and dE/dh for discharge Q, from the geometry at h of section d's
/// subdivisions. With K_i = k A_i R_i^(2/3) / n_i of each wet subdivision
/// and K their sum, alpha / A^2 = sum(K_i^3 / A_i^2) / K^3. Nothing wet: E = inf.
EnergySlope specific_energy(const CrossSection& d, std::span<const PartGeometry> geometry, double h, double Q);

/// The energy figures at one level.
struct EnergyFigures {
  double alpha = 1;          ///< sum(K_i^3 / A_i^2) / (K^3 / A^2); 1 when one subdivision is wet
  double beta = 1;           ///< sum(K_i^2 / A_i) / (K^2 / A); 1 when one subdivision is wet
  double velocity_head = 0;  ///< alpha V^2 / (2 g), V = Q / A
  double energy_level = 0;   ///< the level plus the velocity head
  double froude = 0;         ///< sqrt(1 - dE/dh): 1 at a critical level, below 1 subcritical
};

/// The energy figures for discharge Q at level h (nothing wet: all but
/// alpha and beta 0, the energy level h).
EnergyFigures energy_at(const CrossSection& d, std::span<const PartGeometry> geometry, double h, double Q);

/// A level where E(h) has a local minimum.
struct CriticalLevel {
  double level = 0;
  double energy = 0;
  bool at_end = false;  ///< at an end point's elevation, where the assumed walls take over
};

/// Every local minimum of section d's E(h) for discharge Q > 0 with zmin < h < top,
/// ascending: E is smooth between the elevations of the points and kinks
/// at them, so dE/dh is taken just above and below every elevation in the
/// range and each change of its sign from - to + refined to 1e-6.
std::vector<CriticalLevel> critical_levels(const CrossSection& d, double Q, double top);

/// The critical level by the usual convention: the index of the minimum of
/// least energy not at an end of the section; -1 when there is none.
int governing_critical(const std::vector<CriticalLevel>& levels);

/// Every subdivision's wetted geometry at a level inside one stretch.
using StretchGeometry = std::function<std::span<const PartGeometry>(double)>;
using StretchVisitor = std::function<void(double lo, double hi, const StretchGeometry&)>;

/// Visits, ascending, the stretches between section d's points' elevations
/// from the lowest point up to top, where the geometry is smooth (polynomials in the
/// level, so a level inside costs the subdivisions, not the points).
void for_each_stretch(const CrossSection& d, double top, const StretchVisitor& visit);

}  // namespace normlevel
