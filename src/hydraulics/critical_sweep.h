#pragma once

// Where a section's specific energy E(h) has a local minimum, the critical
// levels: one sweep up through the elevations of the points, between which
// the geometry is smooth; the same stretches for whoever else walks the levels.

#include <functional>
#include <span>
#include <vector>

#include "core/CSdata.h"

namespace normlevel {

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
