#pragma once

// Bounds on every subdivision's water over a run of levels that may span
// many elevations of the points, at the cost of a few searches: above any
// level the area, perimeter and surface width only grow (the stations never
// fall back), so sums over the segments wet at the run's two ends bound them.

#include <cstdint>
#include <memory>
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

/// How many of the points in `order` (ascending in elevation) lie at or below h.
std::size_t points_upto(std::span<const std::pair<double, std::int32_t>> order, double h);

/// The segments of section d, each subdivision's sorted by the elevation at
/// which they begin to get wet and at which they are wholly wet, with their
/// sums so far.
class RunBounds {
 public:
  /// `order`: section d's points, ascending in elevation; `part_of` and
  /// `slopes`: each segment's subdivision and slope.
  RunBounds(const CrossSection& d, std::span<const std::pair<double, std::int32_t>> order,
            std::span<const std::size_t> part_of, std::span<const SegmentSlope> slopes);
  RunBounds(const RunBounds&) = delete;  // its lists point into its own storage
  RunBounds& operator=(const RunBounds&) = delete;

  /// Each subdivision's ranges over every level from a up to c, zmin <= a < c,
  /// into `out`; false where the stations fall back somewhere.
  bool ranges(double a, double c, std::vector<EnergyRange>& out) const;

  /// Whether a level segment of subdivision p goes under at an elevation above a, up to c.
  bool flat_between(std::size_t p, double a, double c) const;

 private:
  // Over the segments getting wet, in part from their lower end zl up:
  // their widths, and the coefficients of a triangle's area (w = dx / 2dz)
  // and perimeter (g = length / dz) times powers of zl.
  struct Wetting {
    double dx, w, w_z, w_z2, g, g_z;  // no initialiser: the lists' storage is written before it is read
    Wetting operator+(const Wetting& o) const {
      return {dx + o.dx, w + o.w, w_z + o.w_z, w_z2 + o.w_z2, g + o.g, g_z + o.g_z};
    }
  };
  // Over the wholly wet: their widths, widths times mid-elevation, lengths;
  // the same coefficients, to take off what they held in part; the level
  // ones' widths.
  struct Wet {
    double dx, dx_z, length, w, w_z, w_z2, g, g_z, flat;
    Wet operator+(const Wet& o) const {
      return {dx + o.dx, dx_z + o.dx_z, length + o.length, w + o.w, w_z + o.w_z,
              w_z2 + o.w_z2, g + o.g, g_z + o.g_z, flat + o.flat};
    }
  };
  // A subdivision's segments in one order, in spans of the storage the
  // bounds keep for all of them at once.
  template <class Sums>
  struct List {
    std::span<double> key;
    std::span<Sums> sums;  ///< sums[k]: of the first k; one longer than key
    /// Each one's segment, in order.
    std::span<std::int32_t> segments;
    /// The sums of those at or below h.
    const Sums& upto(double h) const;
  };
  struct Part {
    List<Wetting> wetting;  ///< by lower end
    List<Wet> wet;          ///< by upper end
    double lowest = 0;
    bool walls_low = false, walls_high = false;
  };
  struct Level {  // the sums of the segments getting wet and wholly wet at a level, and its height over zmin
    const Wetting& wetting;
    const Wet& wet;
    double t;
  };
  struct Water {
    double A, A_error, P, P_error;
  };
  void fill(std::span<const std::size_t> part_of, std::span<const SegmentSlope> slopes);
  void list_segments(std::span<const std::size_t> part_of);
  void sum_wetting(List<Wetting>& list, std::span<const SegmentSlope> slopes);
  void sum_wet(List<Wet>& list, std::span<const SegmentSlope> slopes);
  Level level(const Part& part, double h) const;
  Water water_at(const Level& at) const;
  double wall_height(const Part& part, double h) const;

  const CrossSection& d_;
  std::span<const std::pair<double, std::int32_t>> order_;
  double origin_, span_, tolerance_;
  bool falls_back_ = false;
  std::vector<Part> parts_;
  std::unique_ptr<double[]> keys_;
  std::unique_ptr<std::int32_t[]> segments_;
  std::unique_ptr<Wetting[]> wetting_sums_;
  std::unique_ptr<Wet[]> wet_sums_;
};

}  // namespace normlevel
