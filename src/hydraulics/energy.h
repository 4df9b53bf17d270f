#pragma once

// The specific energy of a section, E(h) = h + alpha Q^2 / (2 g A^2),
// with alpha from the subdivisions' conveyances, and the energy figures at
// a level.

#include <span>

#include "core/CSdata.h"

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

}  // namespace normlevel
