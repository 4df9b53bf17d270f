#pragma once

// Bounds on every subdivision's water over a run of levels that may span
// many elevations of the points, at the cost of a few searches: above any
// level the area, perimeter and surface width only grow (the stations never
// fall back), so sums over the segments wet at the run's two ends bound them.

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "core/CSdata.h"
#include "hydraulics/rise_proof.h"

namespace normlevel {

/// How a segment wet in part grows with the depth over its lower end: half
/// its width and its whole wetted length per unit of depth (0 for a level one).
struct SegmentSlope {
  double half = 0, grow = 0;
};

/// Every segment's of section d, indexed as its points' are (the first unused).
std::vector<SegmentSlope> segment_slopes(const CrossSection& d);

/// The segments of section d, each subdivision's sorted by the elevation at
/// which they begin to get wet and at which they are wholly wet, with their
/// sums so far.
class RunBounds {
 public:
  /// `order`: section d's points, ascending in elevation; `part_of` and
  /// `slopes`: each segment's subdivision and slope.
  RunBounds(const CrossSection& d, std::span<const std::pair<double, std::int32_t>> order,
            std::span<const std::size_t> part_of, std::span<const SegmentSlope> slopes);

  /// Each subdivision's ranges over every level from a up to c, zmin <= a < c,
  /// into `out`; false where the stations fall back somewhere.
  bool ranges(double a, double c, std::vector<EnergyRange>& out) const;

 private:
  // Sums over segments: their widths, widths times mid-elevation, lengths,
  // and the coefficients of a triangle's area (w = dx / 2dz) and perimeter
  // (g = length / dz) times powers of the lower end's elevation.
  struct Sums {
    double dx = 0, dx_z = 0, length = 0, w = 0, w_z = 0, w_z2 = 0, g = 0, g_z = 0;
  };
  struct List {
    std::vector<double> key;
    std::vector<Sums> sums{Sums{}};  ///< sums[k]: of the first k
    void add(double at, double dx, double dx_z, double length, double w, double zl, double g);
    const Sums& upto(double h) const;
  };
  struct Part {
    List wetting, wet;  ///< by lower end (from there wet in part), by upper end (wholly wet)
    double lowest = 0;
    bool walls_low = false, walls_high = false;
  };
  struct Water {
    double A, A_error, P, P_error;
  };
  Water water_at(const Part& part, double h) const;
  double wall_height(const Part& part, double h) const;

  const CrossSection& d_;
  double origin_, span_, tolerance_;
  bool falls_back_ = false;
  std::vector<Part> parts_;
};

}  // namespace normlevel
