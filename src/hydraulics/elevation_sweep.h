#pragma once

// The sweep up through a section's elevations. Between two elevations of
// the points every subdivision's wetted area is a quadratic and its
// perimeter a linear function of the level; the sweep keeps those
// polynomials up to date as segments get wet, so that a level inside a
// stretch costs the subdivisions, not the points.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "core/CSdata.h"
#include "hydraulics/critical_sweep.h"
#include "hydraulics/energy.h"
#include "hydraulics/energy_sums.h"
#include "hydraulics/rise_proof.h"
#include "hydraulics/run_bounds.h"

namespace normlevel {

// A subdivision's wetted geometry between two elevations of the points, as
// polynomials in t = h - ref: A = a2 t^2 + a1 t + a0 (so B = 2 a2 t + a1)
// and P = p1 t + p0 (so dP = p1).
struct StretchPoly {
  double a2 = 0, a1 = 0, a0 = 0, p1 = 0, p0 = 0;
};

// The water of each subdivision, as polynomials of its stretches: one for
// a subdivision that is lumped (the channel; every one under the divided
// rules), one for each wet stretch of a floodplain's under the model rules.
struct StretchPolys {
  std::vector<StretchPoly> polys;
  std::vector<std::size_t> part;  ///< the subdivision each stretch lies in
};

/// E and dE/dh, and the geometry, at levels inside one stretch between
/// elevations, from its polynomials about ref.
class Polynomials {
 public:
  Polynomials(const CrossSection& d, StretchPolys polys, double ref) : d_(d), polys_(std::move(polys)), ref_(ref) {}
  EnergySlope slope(double h, double Q);
  std::span<const PartGeometry> geometry(double h);
  /// Another stretch of the same section, in the storage this one held.
  void take(const StretchPolys& polys, double ref) {
    polys_ = polys;
    ref_ = ref;
  }

 private:
  const CrossSection& d_;
  StretchPolys polys_;
  double ref_;
  std::vector<PartGeometry> geometry_;
  std::vector<double> dB_;
  std::vector<Conveyance> conveyance_;
};

/// Section d's points in order of elevation, passed one elevation after
/// another: a segment becomes wet in part at its lower end's elevation and
/// wholly wet at its upper end's (a level segment at once wholly wet).
class Sweep {
 public:
  Sweep(const CrossSection& d, double Q);

  bool done() const { return next_ == order_.size(); }
  double elevation() const { return order_[next_].first; }
  /// The first point above level h, counted in order of elevation, and
  /// the elevation of the k-th (infinity past the last).
  std::size_t first_above(double h) const;
  double elevation_at(std::size_t k) const {
    return k < order_.size() ? order_[k].first : std::numeric_limits<double>::infinity();
  }
  std::size_t points() const { return order_.size(); }
  /// The points in order of elevation, and each segment's subdivision.
  std::span<const std::pair<double, std::int32_t>> order() const { return order_; }
  std::span<const std::size_t> segment_parts() const { return segment_part_; }
  std::span<const SegmentSlope> slopes() const { return slopes_; }

  /// Takes in every point at the next elevation, which becomes the origin
  /// of the polynomials: a segment getting wet there starts from t = 0, so
  /// levels just above it are worked out without cancellation. With
  /// `keep_origin` the origin stays (a sweep that works out no level there
  /// spares moving every stretch's polynomials).
  void pass_elevation(bool keep_origin = false);

  /// Before the next elevation is passed: whether some subdivision may
  /// convey less at once there (a level segment going under, two stretches
  /// of water joining), which ones into `jumped`, and then each one's water
  /// there, on either side of it, into `water`.
  bool jumps_ahead(std::vector<std::size_t>& jumped, std::vector<WaterAtElevation>& water);

  /// E and its derivatives just below level h: the next elevation or short of it.
  EnergySlope below(double h) { return below_from(live(), origin_, h); }

  /// Passes the next elevation, just below which `below` stood, and gives E
  /// and its derivatives just above it. A is the same on both sides; B and
  /// dP jump, and so does P where a level segment goes under at once, and
  /// with it the conveyance and E.
  EnergySlope above();

  /// `above` for the elevation just passed, `below` having stood below it.
  EnergySlope just_passed();

  /// Whether E may jump at the last elevation passed: a level segment went
  /// under (the perimeter jumps) or two stretches joined (the conveyance falls).
  bool may_jump() const { return may_jump_; }

  /// Whether some subdivision's water surface got much wider at the last
  /// elevation passed (a flat), and how many hold water just above it.
  bool widened() const { return widened_; }
  int wet_above() const { return wet_above_; }

  /// The polynomials as they stand: for levels between the elevation last
  /// passed and the next.
  Polynomials stretch() { return Polynomials(d_, live(), origin_); }
  void stretch_into(Polynomials& polys) { polys.take(live(), origin_); }

  /// Each subdivision's water over the levels from the elevation last passed up to hi.
  bool bounds(double hi, std::span<WaterRange> out);

  /// The same with the widths and the perimeters' growth, for dE/dh.
  void energy_ranges(double hi, std::vector<EnergyRange>& out);
  /// The same over the levels from lo up to hi only, lo above the elevation last passed.
  void energy_ranges(double lo, double hi, std::vector<EnergyRange>& out);

  /// Keeps the stretches as they stand, so that the level just below the
  /// next elevation can still be asked for once it is passed.
  void remember();

  /// `below` for the elevation passed since `remember`.
  EnergySlope remembered_below(double h) { return below_from(remembered_, remembered_origin_, h); }

  /// The subdivisions where E may have jumped at the last elevation passed.
  const std::vector<std::size_t>& jumped_parts() const { return jumped_parts_; }

 private:
  static constexpr double kWidening = 1.25;

  EnergySlope below_from(const StretchPolys& polys, double ref, double h);

  void jumped(std::size_t part);

  // Whether the level segment from this point on goes under at its elevation.
  bool flat_under(std::int32_t point) const;

  // Whether this point going under joins two stretches of a floodplain's
  // water that were wet below it. Where one of them only begins to get wet
  // there, joining adds nothing to its water and E stays as it was.
  bool joins_water(std::int32_t point);

  // A = a2 t^2 + a1 t + a0 about a new origin o: t' = t - (o - origin).
  void move_origin(double o);

  // Under the model rules the walls above the end points have friction: from
  // the end point's elevation (the origin now) the end subdivision's
  // perimeter grows with the level.
  void wall_event(std::int32_t point);

  void segment_event(std::int32_t i, std::int32_t point);

  // The stretch segment i's water belongs to, a live one.
  StretchPoly& poly_of(std::int32_t i);

  std::size_t root(std::size_t g);

  void activate(std::size_t g);

  // A floodplain's point gone under joins the stretches on either side of
  // it: the water there no longer conveys apart, and the conveyance falls
  // at once (as where a level segment goes under).
  void join_at(std::int32_t point);

  // The live stretches, for the geometry at a level.
  const StretchPolys& live();

  static constexpr std::size_t kNowhere = SIZE_MAX;
  const CrossSection& d_;
  std::vector<std::pair<double, std::int32_t>> order_;
  std::vector<std::size_t> segment_part_;
  std::vector<SegmentSlope> slopes_;
  std::vector<std::size_t> segment_group_, group_part_, parent_, place_, active_;
  std::vector<StretchPoly> polys_;
  StretchPolys live_, remembered_;
  double remembered_origin_ = 0;
  std::vector<std::size_t> jumped_parts_;
  std::vector<PartGeometry> at_origin_;
  double origin_;
  double Q_;
  std::size_t next_ = 0;
  std::vector<PartGeometry> geometry_;
  std::vector<double> dB_;
  std::vector<Conveyance> conveyance_;
  int wet_ = 0, wet_above_ = 0;
  bool widened_ = true, may_jump_ = false;
};

}  // namespace normlevel
