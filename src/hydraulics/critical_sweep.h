#pragma once

// Where a section's specific energy E(h) has a local minimum, the critical
// levels: one sweep up through the elevations of the points, between which
// the geometry is smooth; the same stretches for whoever else walks the levels.

#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "core/CSdata.h"

namespace normlevel {

/// A level where E(h) has a local minimum.
struct CriticalLevel {
  double level = 0;
  double energy = 0;
  bool at_end = false;  ///< at an end point's elevation, where the assumed walls take over
};

/// The critical level by the usual convention: the index of the minimum of
/// least energy not at an end of the section; -1 when there is none.
int governing_critical(const std::vector<CriticalLevel>& levels);

/// Every subdivision's wetted geometry at a level inside one stretch.
using StretchGeometry = std::function<std::span<const PartGeometry>(double)>;

/// A subdivision's water at every level of one stretch, as its geometry
/// works it out: the stretches of it wet all through hold at least low_A
/// with at most high_P of perimeter; all of it at most high_A, none with a
/// hydraulic radius above high_R.
struct WaterRange {
  double low_A = 0;
  double high_P = 0;
  double high_A = 0;
  double high_R = 0;
  bool known = true;  ///< false: the stretch's ends do not tell
};

/// Bounds, within 0.3%, on the least and the most A R^(2/3) the subdivision
/// conveys there (Manning's float exponent included). Several
/// stretches conveying apart carry at least what they would as one (it is
/// convex and grows in proportion with A and P together), and at most their
/// area times the greatest R's power.
double least_conveying(const WaterRange& water);
double most_conveying(const WaterRange& water);

/// Each subdivision's water over the whole stretch, from its ends: false
/// where they cannot tell it (the stretch must then be sampled).
using StretchBounds = std::function<bool(std::span<WaterRange>)>;

/// A copy of the stretch's geometry that still answers once the sweep has
/// moved on.
using StretchKeeper = std::function<StretchGeometry()>;

using StretchVisitor =
    std::function<void(double lo, double hi, const StretchGeometry&, const StretchBounds&, const StretchKeeper&)>;

/// Whether a visitor would pass over, without asking for its levels, a run
/// of stretches whose water is bounded so: the sweep may then show it the
/// run as one stretch.
using RunTest = std::function<bool(std::span<const WaterRange>)>;

/// Visits, ascending, the stretches between section d's points' elevations
/// from the lowest point up to top, where the geometry is smooth (polynomials in the
/// level, so a level inside costs the subdivisions, not the points).
void for_each_stretch(const CrossSection& d, double top, const StretchVisitor& visit);

/// What the sweep for the critical levels passed over without working out
/// E: the stretches (lo, hi) proven to rise all through, with dE/dh at least
/// 1/2, and among their ends the elevations where E may have changed at once
/// but was proven not to fall; the stretches proven to fall, with dE/dh at most -1/2.
struct PassedOver {
  std::vector<std::pair<double, double>> rising;
  std::vector<double> not_falling;
  std::vector<std::pair<double, double>> falling;
};

/// Every local minimum of section d's E(h) for discharge Q > 0 with zmin < h < top,
/// ascending: E is smooth between the elevations of the points and kinks
/// at them, so dE/dh is taken just above and below every elevation in the
/// range (but through stretches whose bounds keep it above 0) and each
/// change of its sign from - to + refined to 1e-6. With `also`, the same
/// sweep visits every stretch as for_each_stretch would, or where
/// `passes_run` says so, a run of them at once; with `passed`, what it
/// passed over.
std::vector<CriticalLevel> critical_levels(const CrossSection& d, double Q, double top,
                                           const StretchVisitor& also = {}, const RunTest& passes_run = {},
                                           PassedOver* passed = nullptr);

}  // namespace normlevel
