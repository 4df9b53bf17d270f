#include "hydraulics/critical_sweep.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

#include "base/power.h"
#include "core/func.h"
#include "hydraulics/energy.h"
#include "hydraulics/energy_sums.h"
#include "hydraulics/rise_proof.h"
#include "hydraulics/run_bounds.h"

namespace normlevel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kRefineTo = 1e-6;

// A subdivision's wetted geometry between two elevations of the points, as
// polynomials in t = h - ref: A = a2 t^2 + a1 t + a0 (so B = 2 a2 t + a1)
// and P = p1 t + p0 (so dP = p1).
struct Poly {
  double a2 = 0, a1 = 0, a0 = 0, p1 = 0, p0 = 0;
};

// A segment wet in part from its lower end zl up: a triangle whose width
// and wetted length grow in proportion to the depth.
void add_partial(const CrossSection& d, const SegmentSlope& slope, Poly& q, std::int32_t i, double ref, double sign) {
  const double zl = std::min(d.z[i], d.z[i + 1]), half = slope.half, grow = slope.grow, tl = zl - ref;
  q.a2 += sign * half;
  q.a1 -= sign * 2 * half * tl;
  q.a0 += sign * half * tl * tl;
  q.p1 += sign * grow;
  q.p0 -= sign * grow * tl;
}

void add_full(const CrossSection& d, Poly& q, std::int32_t i, double ref) {
  const double dx = d.x[i + 1] - d.x[i], tm = 0.5 * (d.z[i] + d.z[i + 1]) - ref;
  q.a1 += dx;
  q.a0 -= dx * tm;
  q.p0 += d.length[i];
}

// The water of each subdivision, as polynomials of its stretches: one for
// a subdivision that is lumped (the channel; every one under the divided
// rules), one for each wet stretch of a floodplain's under the model rules.
struct StretchPolys {
  std::vector<Poly> polys;
  std::vector<std::size_t> part;  ///< the subdivision each stretch lies in
};

// Each subdivision's count of wet stretches and their conveying summed:
// kept by whoever asks for level after level, so that a level costs no allocation.
struct StretchTally {
  std::vector<int> stretches;
  std::vector<double> conveying;
};

// The subdivisions' geometry at h: their stretches' summed, and where a
// floodplain holds several wet stretches, their conveying one by one.
void geometry_from(const CrossSection& d, const StretchPolys& s, double ref, double h, std::vector<PartGeometry>& out,
                   std::vector<double>& dB, StretchTally& tally, bool conveying_apart = true) {
  const double t = h - ref;
  const std::size_t parts = d.parts.size();
  out.assign(parts, PartGeometry{});
  dB.assign(parts, 0);
  std::vector<int>& stretches = tally.stretches;
  std::vector<double>& conveying = tally.conveying;
  stretches.assign(parts, 0);
  conveying.assign(parts, 0);
  const bool apart = conveying_apart && d.rules == Rules::model;
  for (std::size_t k = 0; k < s.polys.size(); ++k) {  // a lumped subdivision's sums are its one poly's, bit for bit
    const Poly& q = s.polys[k];
    const std::size_t p = s.part[k];
    const double A = (q.a2 * t + q.a1) * t + q.a0, P = q.p1 * t + q.p0;
    if (P != 0 && apart && d.parts[p].zone != kChannel) {  // the only ones that convey apart
      ++stretches[p];
      conveying[p] += stretch_conveying(A, P);
    }
    out[p].A += A;
    out[p].P += P;
    out[p].B += 2 * q.a2 * t + q.a1;
    out[p].dP += q.p1;
    dB[p] += 2 * q.a2;
  }
  for (std::size_t p = 0; p < parts; ++p)
    if (stretches[p] > 0) out[p].conveying = conveying[p];
}

// One polynomial over t in [0, T]: P is linear, A quadratic (its vertex
// matters only where it bends down). Where P may be dry, a stretch wetting
// from nothing at t = 0 has R = (a2 t + a1) / p1, growing with t. Unknown
// where neither tells, or where a coefficient that is a width or a wetted
// length at the origin has come out below 0 (the sums then go their own way).
void gather(const Poly& q, double T, WaterRange& water) {
  if (!(q.a0 >= 0 && q.a1 >= 0 && q.p0 >= 0)) {
    water.known = false;
    return;
  }
  const double AT = (q.a2 * T + q.a1) * T + q.a0, PT = q.p1 * T + q.p0;
  const double vertex = q.a2 < 0 ? -q.a1 / (2 * q.a2) : T;
  const double least_A = std::min(q.a0, AT), least_P = std::min(q.p0, PT), most_P = std::max(q.p0, PT);
  const double most_A = std::max({q.a0, AT, vertex < T ? q.a0 - q.a1 * q.a1 / (4 * q.a2) : 0.0});
  if (!(least_A >= 0 && least_P >= 0)) {
    water.known = false;
  } else if (least_P > kDryPerimeter) {
    water.low_A += least_A;
    water.high_P += most_P;
    water.high_A += most_A;
    water.high_R = std::max(water.high_R, most_A / least_P);
  } else if (most_A > 0) {
    water.known = water.known && q.a0 == 0 && q.p0 == 0 && q.a2 >= 0 && PT > 0;
    water.high_A += most_A;
    water.high_R = std::max(water.high_R, AT / PT);
  }
}

// The span of levels a stretch's bounds cover: a level computed as
// lo + f (hi - lo) may round past hi.
double covered_span(double ref, double hi) { return (hi - ref) * (1 + 0x1p-40); }

// B = 2 a2 t + a1 is linear: its ends bound it, and both at least 0 keep
// it so on the way (rounding is monotone).
void gather_energy(const Poly& q, double T, EnergyRange& range) {
  gather(q, T, range.water);
  const double B0 = q.a1, BT = 2 * q.a2 * T + q.a1;
  if (!(B0 >= 0 && BT >= 0)) range.widths_known = false;
  range.high_B += std::max(B0, BT);
  range.dP += q.p1;
  range.holds_water = range.holds_water || q.a2 != 0 || q.a1 != 0 || q.a0 != 0 || q.p1 != 0 || q.p0 != 0;
}

// E and dE/dh from polynomials: a level taken inside a stretch between elevations.
class Polynomials {
 public:
  Polynomials(const CrossSection& d, StretchPolys polys, double ref) : d_(d), polys_(std::move(polys)), ref_(ref) {}
  EnergySlope slope(double h, double Q) {
    geometry_from(d_, polys_, ref_, h, geometry_, dB_, tally_);
    const int wet = conveyances(d_, geometry_, conveyance_);
    return energy_slope(*d_.units, conveyance_, wet, geometry_, h, Q, dB_);
  }
  std::span<const PartGeometry> geometry(double h) {
    geometry_from(d_, polys_, ref_, h, geometry_, dB_, tally_);
    return geometry_;
  }

 private:
  const CrossSection& d_;
  StretchPolys polys_;
  double ref_;
  std::vector<PartGeometry> geometry_;
  std::vector<double> dB_;
  std::vector<Conveyance> conveyance_;
  StretchTally tally_;
};

// Whether dE/dh, of one sign at both ends of [lo, hi] and turning inside,
// may reach 0 there: the cubic through its values and slopes at the ends
// comes within half of the nearer end's value of 0 somewhere.
bool may_cross_zero(double lo, const EnergySlope& a, double hi, const EnergySlope& b) {
  const double w = hi - lo, sign = a.dE > 0 ? 1 : -1;
  const double nearest = std::min(sign * a.dE, sign * b.dE);
  for (int k = 1; k < 16; ++k) {
    const double t = k / 16.0, t2 = t * t, t3 = t2 * t;
    const double f = (2 * t3 - 3 * t2 + 1) * a.dE + (t3 - 2 * t2 + t) * w * a.d2E + (-2 * t3 + 3 * t2) * b.dE +
                     (t3 - t2) * w * b.d2E;
    if (sign * f < 0.5 * nearest) return true;
  }
  return false;
}

double refine_in(Polynomials& stretch, double lo, double hi, double Q) {
  while (hi - lo > kRefineTo) {
    const double mid = 0.5 * (lo + hi);
    (stretch.slope(mid, Q).dE < 0 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// Where the sweep samples only some elevations: dE/dh from the geometry itself.
double refine_by_geometry(const CrossSection& d, double lo, double hi, double Q) {
  std::vector<PartGeometry> geometry(d.parts.size());
  while (hi - lo > kRefineTo) {
    const double mid = 0.5 * (lo + hi);
    wetted_parts(d, mid, geometry);
    (specific_energy(d, geometry, mid, Q).dE < 0 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// The points in order of elevation; a segment becomes wet in part at its
// lower end's elevation and wholly wet at its upper end's (a level segment
// at once wholly wet).
class Sweep {
 public:
  Sweep(const CrossSection& d, double Q) : d_(d), order_(static_cast<std::size_t>(d.N)), origin_(d.zmin), Q_(Q) {
    for (std::int32_t i = 1; i <= d.N; ++i) order_[static_cast<std::size_t>(i - 1)] = {d.z[i], i};
    std::sort(order_.begin(), order_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    slopes_ = segment_slopes(d);
    const std::size_t parts = d.parts.size();
    segment_part_.resize(static_cast<std::size_t>(d.N));
    segment_group_.resize(static_cast<std::size_t>(d.N));
    group_part_.resize(parts + static_cast<std::size_t>(d.N));
    for (std::size_t p = 0; p < parts; ++p) {
      const bool apart = d.rules == Rules::model && d.parts[p].zone != kChannel;
      for (std::int32_t i = d.parts[p].first; i <= d.parts[p].last; ++i) {
        const auto segment = static_cast<std::size_t>(i);
        segment_part_[segment] = p;
        segment_group_[segment] = apart ? parts + segment : p;
        group_part_[segment_group_[segment]] = p;
      }
      group_part_[p] = p;
    }
    polys_.resize(group_part_.size());
    parent_.resize(group_part_.size());
    for (std::size_t g = 0; g < parent_.size(); ++g) parent_[g] = g;
    place_.assign(group_part_.size(), kNowhere);
    for (std::size_t p = 0; p < parts; ++p) activate(p);  // a lumped subdivision counts, wet or dry
  }

  bool done() const { return next_ == order_.size(); }
  double elevation() const { return order_[next_].first; }
  /// The first point above level h, counted in order of elevation, and
  /// the elevation of the k-th (infinity past the last).
  std::size_t first_above(double h) const {
    return static_cast<std::size_t>(
        std::upper_bound(order_.begin(), order_.end(), h, [](double v, const auto& p) { return v < p.first; }) -
        order_.begin());
  }
  double elevation_at(std::size_t k) const { return k < order_.size() ? order_[k].first : kInfinity; }
  std::size_t points() const { return order_.size(); }
  /// The points in order of elevation, and each segment's subdivision.
  std::span<const std::pair<double, std::int32_t>> order() const { return order_; }
  std::span<const std::size_t> segment_parts() const { return segment_part_; }
  std::span<const SegmentSlope> slopes() const { return slopes_; }

  /// Takes in every point at the next elevation, which becomes the origin
  /// of the polynomials: a segment getting wet there starts from t = 0, so
  /// levels just above it are worked out without cancellation.
  void pass_elevation() {
    const double e = elevation();
    move_origin(e);
    may_jump_ = false;
    jumped_parts_.clear();
    const std::size_t first = next_;
    for (; next_ < order_.size() && order_[next_].first == e; ++next_) {
      const std::int32_t point = order_[next_].second;
      for (const std::int32_t i : {point - 1, point})
        if (i >= 1 && i < d_.N) segment_event(i, point);
      if (d_.rules == Rules::model) wall_event(point);
    }
    for (std::size_t k = first; k < next_; ++k) join_at(order_[k].second);
  }

  /// Before the next elevation is passed: whether some subdivision may
  /// convey less at once there (a level segment going under, two stretches
  /// of water joining), which ones into `jumped`, and then each one's water
  /// there, on either side of it, into `water`.
  bool jumps_ahead(std::vector<std::size_t>& jumped, std::vector<WaterAtElevation>& water) {
    const double e = elevation();
    jumped.clear();
    const auto add = [&](std::size_t part) {
      if (std::find(jumped.begin(), jumped.end(), part) == jumped.end()) jumped.push_back(part);
    };
    for (std::size_t k = next_; k < order_.size() && order_[k].first == e; ++k) {
      const std::int32_t point = order_[k].second;
      if (flat_under(point) || joins_water(point)) add(segment_part_[static_cast<std::size_t>(point)]);
    }
    if (jumped.empty()) return false;
    water.assign(d_.parts.size(), WaterAtElevation{});
    const double t = e - origin_;
    for (const std::size_t g : active_) {
      const Poly& q = polys_[g];
      const double A = (q.a2 * t + q.a1) * t + q.a0, P = q.p1 * t + q.p0;
      WaterAtElevation& w = water[group_part_[g]];
      w.A += A;
      w.low_P += P;
      if (P > 0) w.R = std::max(w.R, A / P);
    }
    for (WaterAtElevation& w : water) w.high_P = w.low_P;
    for (std::size_t k = next_; k < order_.size() && order_[k].first == e; ++k) {
      const std::int32_t point = order_[k].second;
      if (flat_under(point)) water[segment_part_[static_cast<std::size_t>(point)]].high_P += d_.length[point];
    }
    return true;
  }

  /// E and its derivatives just below level h: the next elevation or short of it.
  EnergySlope below(double h) { return below_from(live(), origin_, h); }

  /// Passes the next elevation, just below which `below` stood, and gives E
  /// and its derivatives just above it. A is the same on both sides; B and
  /// dP jump, and so does P where a level segment goes under at once, and
  /// with it the conveyance and E.
  EnergySlope above() {
    pass_elevation();
    return just_passed();
  }

  /// `above` for the elevation just passed, `below` having stood below it.
  EnergySlope just_passed() {
    const double e = origin_;  // A = a0, B = a1, P = p0, dP = p1 there
    widened_ = false;
    wet_above_ = 0;
    geometry_from(d_, live(), origin_, e, at_origin_, dB_, tally_, may_jump_);  // what conveys is taken only then
    for (std::size_t p = 0; p < geometry_.size(); ++p) {
      const PartGeometry& q = at_origin_[p];
      PartGeometry& g = geometry_[p];
      widened_ = widened_ || q.B > kWidening * g.B;
      wet_above_ += g.A > 0 || q.B > 0 || q.dP > 0 ? 1 : 0;
      g.B = q.B;
      g.dP = q.dP;
      if (may_jump_) {
        g.P = q.P;
        g.conveying = q.conveying;
      }
    }
    if (may_jump_) wet_ = conveyances(d_, geometry_, conveyance_);
    return energy_slope(*d_.units, conveyance_, wet_, geometry_, e, Q_, dB_);
  }

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

  /// Each subdivision's water over the levels from the elevation last passed up to hi.
  bool bounds(double hi, std::span<WaterRange> out) {
    const double T = covered_span(origin_, hi);
    std::fill(out.begin(), out.end(), WaterRange{});
    for (const std::size_t g : active_) gather(polys_[g], T, out[group_part_[g]]);
    return std::all_of(out.begin(), out.end(), [](const WaterRange& w) { return w.known; });
  }

  /// The same with the widths and the perimeters' growth, for dE/dh.
  void energy_ranges(double hi, std::vector<EnergyRange>& out) {
    const double T = covered_span(origin_, hi);
    out.assign(d_.parts.size(), EnergyRange{});
    for (const std::size_t g : active_) gather_energy(polys_[g], T, out[group_part_[g]]);
  }

  /// Keeps the stretches as they stand, so that the level just below the
  /// next elevation can still be asked for once it is passed.
  void remember() {
    remembered_ = live();
    remembered_origin_ = origin_;
  }

  /// `below` for the elevation passed since `remember`.
  EnergySlope remembered_below(double h) { return below_from(remembered_, remembered_origin_, h); }

  /// The subdivisions where E may have jumped at the last elevation passed.
  const std::vector<std::size_t>& jumped_parts() const { return jumped_parts_; }

 private:
  static constexpr double kWidening = 1.25;

  EnergySlope below_from(const StretchPolys& polys, double ref, double h) {
    geometry_from(d_, polys, ref, h, geometry_, dB_, tally_);
    wet_ = conveyances(d_, geometry_, conveyance_);
    return energy_slope(*d_.units, conveyance_, wet_, geometry_, h, Q_, dB_);
  }

  void jumped(std::size_t part) {
    may_jump_ = true;
    if (std::find(jumped_parts_.begin(), jumped_parts_.end(), part) == jumped_parts_.end())
      jumped_parts_.push_back(part);
  }

  // Whether the level segment from this point on goes under at its elevation.
  bool flat_under(std::int32_t point) const {
    return point < d_.N && d_.z[point] == d_.z[point + 1] && d_.x[point + 1] > d_.x[point];
  }

  // Whether this point going under joins two stretches of a floodplain's
  // water that were wet below it. Where one of them only begins to get wet
  // there, joining adds nothing to its water and E stays as it was.
  bool joins_water(std::int32_t point) {
    if (point <= 1 || point >= d_.N) return false;
    const auto left = static_cast<std::size_t>(point - 1), right = static_cast<std::size_t>(point);
    if (segment_part_[left] != segment_part_[right]) return false;
    const std::size_t a = root(segment_group_[left]), b = root(segment_group_[right]);
    return a != b && place_[a] != kNowhere && place_[b] != kNowhere;
  }

  // A = a2 t^2 + a1 t + a0 about a new origin o: t' = t - (o - origin).
  void move_origin(double o) {
    const double d = o - origin_;
    for (const std::size_t g : active_) {
      Poly& q = polys_[g];
      q.a0 = (q.a2 * d + q.a1) * d + q.a0;
      q.a1 = 2 * q.a2 * d + q.a1;
      q.p0 = q.p1 * d + q.p0;
    }
    origin_ = o;
  }

  // Under the model rules the walls above the end points have friction: from
  // the end point's elevation (the origin now) the end subdivision's
  // perimeter grows with the level.
  void wall_event(std::int32_t point) {
    if (point == 1) poly_of(1).p1 += 1;
    if (point == d_.N) poly_of(d_.N - 1).p1 += 1;
  }

  void segment_event(std::int32_t i, std::int32_t point) {
    const CrossSection& d = d_;
    const bool flat = d.z[i] == d.z[i + 1];
    const std::int32_t lower = d.z[i] <= d.z[i + 1] ? i : i + 1;
    Poly& q = poly_of(i);
    if (point == lower) {
      if (flat && d.x[i + 1] > d.x[i]) jumped(segment_part_[static_cast<std::size_t>(i)]);
      if (flat)
        add_full(d, q, i, origin_);
      else
        add_partial(d, slopes_[static_cast<std::size_t>(i)], q, i, origin_, 1);
    } else if (!flat) {
      add_partial(d, slopes_[static_cast<std::size_t>(i)], q, i, origin_, -1);
      add_full(d, q, i, origin_);
    }
  }

  const CrossSection& d_;
  std::vector<std::pair<double, std::int32_t>> order_;
  std::vector<std::size_t> segment_part_;
  std::vector<SegmentSlope> slopes_;
  // The stretch segment i's water belongs to, a live one.
  Poly& poly_of(std::int32_t i) {
    const std::size_t g = root(segment_group_[static_cast<std::size_t>(i)]);
    activate(g);
    return polys_[g];
  }

  std::size_t root(std::size_t g) {
    while (parent_[g] != g) g = parent_[g] = parent_[parent_[g]];
    return g;
  }

  void activate(std::size_t g) {
    if (place_[g] != kNowhere) return;
    place_[g] = active_.size();
    active_.push_back(g);
  }

  // A floodplain's point gone under joins the stretches on either side of
  // it: the water there no longer conveys apart, and the conveyance falls
  // at once (as where a level segment goes under).
  void join_at(std::int32_t point) {
    if (point <= 1 || point >= d_.N) return;
    if (segment_part_[static_cast<std::size_t>(point - 1)] != segment_part_[static_cast<std::size_t>(point)]) return;
    const std::size_t a = root(segment_group_[static_cast<std::size_t>(point - 1)]);
    const std::size_t b = root(segment_group_[static_cast<std::size_t>(point)]);
    if (a == b) return;
    Poly& into = polys_[a];
    const Poly& from = polys_[b];
    into = {into.a2 + from.a2, into.a1 + from.a1, into.a0 + from.a0, into.p1 + from.p1, into.p0 + from.p0};
    parent_[b] = a;
    const std::size_t at = place_[b];
    place_[active_.back()] = at;
    active_[at] = active_.back();
    active_.pop_back();
    place_[b] = kNowhere;
    jumped(segment_part_[static_cast<std::size_t>(point)]);
  }

  // The live stretches, for the geometry at a level.
  const StretchPolys& live() {
    live_.polys.clear();
    live_.part.clear();
    for (const std::size_t g : active_) {
      live_.polys.push_back(polys_[g]);
      live_.part.push_back(group_part_[g]);
    }
    return live_;
  }

  static constexpr std::size_t kNowhere = SIZE_MAX;
  std::vector<std::size_t> segment_group_, group_part_, parent_, place_, active_;
  std::vector<Poly> polys_;
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
  StretchTally tally_;
  int wet_ = 0, wet_above_ = 0;
  bool widened_ = true, may_jump_ = false;
};

// A stretch's geometry that owns its polynomials.
StretchGeometry kept(Polynomials polys) {
  const auto owned = std::make_shared<Polynomials>(std::move(polys));
  return [owned](double h) { return owned->geometry(h); };
}

bool at_an_end(const CrossSection& d, double e) { return e == d.z[1] || e == d.z[d.N]; }

// At an elevation E may jump (a level segment going under adds its whole
// length to the perimeter at once, stretches join, held water starts to
// flow), up or down. E falling into the elevation and rising past it (or
// jumping up) has its minimum there; E jumping down and then rising has it
// just above.
template <class Add>
void minimum_at_elevation(const CrossSection& d, double e, const EnergySlope& below, const EnergySlope& above,
                          bool may_jump, const Add& add) {
  const bool jump = may_jump && std::fabs(above.E - below.E) > 1e-12 * std::fabs(below.E);
  if (jump && above.E < below.E) {
    if (above.dE >= 0) add(std::nextafter(e, kInfinity), false);
  } else if (below.dE < 0 && (above.dE >= 0 || jump)) {
    add(e, at_an_end(d, e));
  }
}

// Where, between two elevations, dE/dh is sampled besides at their ends:
// ever closer to the lower one, just after which a subdivision got wet or
// wider, where alpha changes fastest and at every scale.
constexpr double kInside[] = {0x1p-20, 0x1p-16, 0x1p-13, 0x1p-11, 0x1p-9, 0x1p-7, 0x1p-5, 0x1p-3,
                              0.25,    0.375,   0.5,     0.625,   0.75,   0.875};

// How often a stretch may be halved where dE/dh turns inside it.
constexpr int kHalvings = 40;

// Evaluations of the sums at every elevation cost the subdivisions each
// time: past this many in all, only every so many elevations are sampled.
constexpr double kMostEvaluations = 5e7;

// Under the model rules the geometry is summed level by level (no
// polynomials know its walls and stretches): it is smooth between the
// points' elevations and the levels at which held water starts to flow.
std::vector<double> model_breaks(const CrossSection& d, double top) {
  std::vector<double> breaks;
  const auto take = [&](double e) {
    if (e > d.zmin && e < top) breaks.push_back(e);
  };
  for (std::int32_t i = 1; i <= d.N; ++i) take(d.z[i]);
  for (std::int32_t i = 1; i < d.N; ++i) take(d.flows_from[i]);
  for (const CrossSection::Wall& w : d.walls) take(w.crest);
  breaks.push_back(top);
  std::sort(breaks.begin(), breaks.end());
  breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
  return breaks;
}

// Plain sums cost the points at each level: past this many points in all,
// only the ends of each stretch are sampled.
constexpr double kMostModelSums = 2e6;

EnergySlope slope_at(const CrossSection& d, double h, double Q, std::vector<PartGeometry>& geometry) {
  wetted_parts(d, h, geometry);
  return specific_energy(d, geometry, h, Q);
}

std::vector<CriticalLevel> model_critical_levels(const CrossSection& d, double Q, double top) {
  std::vector<CriticalLevel> found;
  std::vector<PartGeometry> geometry(d.parts.size());
  const std::vector<double> breaks = model_breaks(d, top);
  const bool inside = static_cast<double>(breaks.size()) * static_cast<double>(d.N) * 16 < kMostModelSums;
  const auto add = [&](double h, bool at_end) {
    wetted_parts(d, h, geometry);
    found.push_back({h, energy_at(d, geometry, h, Q).energy_level, at_end});
  };
  double lo = d.zmin;
  EnergySlope before{kInfinity, -kInfinity, kInfinity};
  for (const double hi : breaks) {
    double from = lo;
    for (const double f : kInside) {
      if (!inside && f != 0.5) continue;
      const double h = lo + f * (hi - lo);
      const EnergySlope here = slope_at(d, h, Q, geometry);
      if (before.dE < 0 && here.dE >= 0) add(refine_by_geometry(d, from, h, Q), false);
      before = here;
      from = h;
    }
    const EnergySlope below = slope_at(d, std::nextafter(hi, -kInfinity), Q, geometry);
    if (before.dE < 0 && below.dE >= 0) add(refine_by_geometry(d, from, hi, Q), false);
    if (hi == top) break;
    const EnergySlope above = slope_at(d, std::nextafter(hi, kInfinity), Q, geometry);
    minimum_at_elevation(d, hi, below, above, true, add);
    before = above;
    lo = hi;
  }
  return found;
}

// The sweep up through the elevations for the minima of E: dE/dh at both
// ends of each stretch, and inside it where it may turn, but not through
// the stretches proven to rise. It may show each stretch to a visitor too,
// as for_each_stretch would, so that one sweep serves both.
class MinimumSearch {
 public:
  MinimumSearch(const CrossSection& d, double Q, double top, const StretchVisitor& also, const RunTest& passes_run,
                PassedOver* passed)
      : d_(d), Q_(Q), top_(top), also_(also), passed_(passed), sweep_(d, Q), proof_(d, Q), passes_run_(passes_run) {
    runs_ = !also_ || passes_run_;
    const double evaluations = static_cast<double>(d.N) * static_cast<double>(std::max<std::size_t>(1, d.parts.size()));
    stride_ = static_cast<std::size_t>(std::max(1.0, std::ceil(evaluations / kMostEvaluations)));
    if (!sweep_.done() && sweep_.elevation() <= d.zmin) {  // the lowest points: nothing wet yet
      sweep_.below(d.zmin);
      sweep_.above();
    }
  }

  std::vector<CriticalLevel> run() {
    for (std::size_t count = 0;; ++count) {
      const bool last = sweep_.done() || sweep_.elevation() >= top_;
      const double e = last ? top_ : sweep_.elevation();
      stretch_.reset();
      if (lagging_) {  // runs of stretches proven one after another: the sweep stands below lo
        if (run_ahead()) {
          if (run_to_top_) break;
          continue;
        }
        catch_up(lo_);
        lagging_ = false;
        rise_past(lo_);
        continue;
      }
      if (rising_ && !last && runs_ && run_ahead()) {
        if (run_to_top_) break;
        continue;
      }
      if (also_) visit(passed_to_, e);
      passed_to_ = e;
      if (!last && (count + 1) % stride_ != 0) {
        sweep_.pass_elevation();
        ranges_known_ = false;
      } else if (rising_) {
        if (passed_) passed_->rising.push_back({lo_, e});
        if (last) break;
        rise_past(e);
      } else {
        work_out(e, last);
        if (last) break;
      }
    }
    return std::move(found_);
  }

 private:
  void add(double h, bool at_end) {
    std::vector<PartGeometry> geometry(d_.parts.size());
    wetted_parts(d_, h, geometry);
    found_.push_back({h, energy_at(d_, geometry, h, Q_).energy_level, at_end});
  }

  // The polynomials of the stretch, copied when first needed.
  Polynomials& stretch_now() {
    if (!stretch_) stretch_.emplace(sweep_.stretch());
    return *stretch_;
  }

  // The stretch from lo to e for the visitor, with the bounds already
  // gathered for the proof where there are some.
  void visit(double lo, double e) {
    const StretchGeometry geometry = [this](double h) { return stretch_now().geometry(h); };
    const StretchBounds bounds = [this, e](std::span<WaterRange> out) {
      if (!ranges_known_) return sweep_.bounds(e, out);
      for (std::size_t p = 0; p < out.size(); ++p) out[p] = ranges_[p].water;
      return std::all_of(out.begin(), out.end(), [](const WaterRange& w) { return w.known; });
    };
    const StretchKeeper keep = [this] { return kept(sweep_.stretch()); };
    also_(lo, e, geometry, bounds, keep);
  }

  // Between two levels of one stretch: a change of sign from - to + is a
  // smooth minimum; the same sign at both ends with dE/dh turning towards 0
  // from both (a turning point of its own inside) is looked into by halves.
  void scan(double lo, EnergySlope at_lo, double hi, EnergySlope at_hi, int depth) {
    if (at_lo.dE < 0 && at_hi.dE >= 0) {
      add(stride_ == 1 ? refine_in(stretch_now(), lo, hi, Q_) : refine_by_geometry(d_, lo, hi, Q_), false);
      return;
    }
    const bool dip = at_lo.dE > 0 && at_hi.dE > 0 && at_lo.d2E < 0 && at_hi.d2E > 0;
    const bool hump = at_lo.dE < 0 && at_hi.dE < 0 && at_lo.d2E > 0 && at_hi.d2E < 0;
    if (!(dip || hump) || depth == 0 || stride_ > 1 || hi - lo < kRefineTo * 1e-3) return;
    if (!may_cross_zero(lo, at_lo, hi, at_hi)) return;
    const double mid = 0.5 * (lo + hi);
    const EnergySlope at_mid = stretch_now().slope(mid, Q_);
    scan(lo, at_lo, mid, at_mid, depth - 1);
    scan(mid, at_mid, hi, at_hi, depth - 1);
  }

  // The stretch from lo to e worked out, then the elevation e passed.
  void work_out(double e, bool last) {
    const EnergySlope below = sweep_.below(e);
    // Just after another subdivision got wet or one widened alpha changes
    // fastest: samples there at every scale.
    const int wet = sweep_.wet_above();
    double from = lo_;
    EnergySlope at_from = lo_right_;
    if (stride_ == 1 && wet > 1 && (last || wet > wet_before_ || sweep_.widened()))
      for (const double f : kInside) {
        const double h = lo_ + f * (e - lo_);
        const EnergySlope here = stretch_now().slope(h, Q_);
        scan(from, at_from, h, here, kHalvings);
        from = h;
        at_from = here;
      }
    wet_before_ = wet;
    scan(from, at_from, e, below, kHalvings);
    if (last) return;
    const EnergySlope above = sweep_.above();
    minimum_at_elevation(d_, e, below, above, sweep_.may_jump(), [this](double h, bool end) { add(h, end); });
    lo_ = e;
    lo_right_ = above;
    wet_at_lo_ = sweep_.wet_above();
    rising_ = stride_ == 1 && rises_ahead(lower_);
  }

  // Past e at the top of a stretch that rises all through: E there is
  // worked out only where it may jump down or the next stretch may not rise.
  void rise_past(double e) {
    sweep_.remember();
    sweep_.pass_elevation();
    const bool ahead = rises_ahead(upper_);
    std::swap(lower_, upper_);
    lo_ = e;
    if (ahead && (!sweep_.may_jump() || RiseProof::rises_across(sweep_.jumped_parts(), upper_, lower_))) {
      if (passed_ && sweep_.may_jump()) passed_->not_falling.push_back(e);
      const auto wet = [](const ConveyanceBounds& b) { return b.wet; };
      wet_at_lo_ = static_cast<int>(std::count_if(lower_.begin(), lower_.end(), wet));
      return;
    }
    const EnergySlope below = sweep_.remembered_below(e);
    const EnergySlope above = sweep_.just_passed();
    minimum_at_elevation(d_, e, below, above, sweep_.may_jump(), [this](double h, bool end) { add(h, end); });
    wet_before_ = wet_at_lo_;
    wet_at_lo_ = sweep_.wet_above();
    lo_right_ = above;
    rising_ = ahead;
  }

  // From lo, where the stretch above is proven to rise, a run of stretches
  // as far up as bounds from the segments themselves prove E rising all
  // through and not falling at once, and the visitor passes it over too:
  // one pass over the points instead of a proof per stretch. The run's
  // reach doubles while runs are proven and halves when one is not.
  bool run_ahead() {
    if (cooling_ > 0) {
      --cooling_;
      return false;
    }
    double tried = top_ + 1;
    const std::size_t above = sweep_.first_above(lo_);
    for (std::size_t k = std::min(reach_, sweep_.points() - above); k >= kShortestRun; k /= 2) {
      const double b = std::min(sweep_.elevation_at(above + k), top_);
      if (b <= sweep_.elevation_at(above) || b == tried) continue;
      tried = b;
      if (!run_proven(lo_, b)) continue;
      take_run(lo_, b);
      reach_ = std::min(2 * k, kLongestRun);
      return true;
    }
    reach_ = std::max(reach_ / 2, kShortestRun);
    cooling_ = kShortestRun;
    return false;
  }

  bool run_proven(double a, double b) {
    if (!run_geometry_bounds_) run_geometry_bounds_.emplace(d_, sweep_.order(), sweep_.segment_parts(), sweep_.slopes());
    const double c = b + (b - a) * 0x1p-30 + std::fabs(b) * 0x1p-40;  // past what rounding may add to b
    if (!run_geometry_bounds_->ranges(a, c, run_ranges_) || !proof_.rises(run_ranges_, run_bounds_)) return false;
    run_water_.resize(run_ranges_.size());
    for (std::size_t p = 0; p < run_ranges_.size(); ++p) run_water_[p] = run_ranges_[p].water;
    return !also_ || (passes_run_ && passes_run_(run_water_));
  }

  // The run from a to b: where bounds over its elevations show that E
  // cannot fall at once at any of them (b's too), the visitor sees it as one
  // stretch and the sweep is left where it stands, below a, for the next
  // run. Otherwise the sweep goes up through it, looking at each elevation
  // where E may fall at once from its own stretches, as far as E is proven
  // not to; the sweep then stands where it ends as though each stretch of it
  // had been proven in turn.
  void take_run(double a, double b) {
    const bool to_top = b >= top_;
    if (cannot_fall_within(a, b)) {
      if (also_) visit_run(a, b);
      if (passed_) {
        passed_->rising.push_back({a, b});
        passed_->not_falling.insert(passed_->not_falling.end(), inside_.begin(), inside_.end());
      }
      run_to_top_ = to_top;
      lo_ = passed_to_ = b;
      std::swap(lower_, run_bounds_);
      lagging_ = true;
      return;
    }
    catch_up(a);
    lagging_ = false;
    double end = b;
    while (!sweep_.done() && sweep_.elevation() < b) {
      const double e = sweep_.elevation();
      if (sweep_.jumps_ahead(jumped_, water_at_)) {
        if (!proof_.rises_across(jumped_, water_at_)) {
          end = e;
          break;
        }
        if (passed_) passed_->not_falling.push_back(e);
      }
      sweep_.pass_elevation();
    }
    if (also_) visit_run(a, end);
    if (passed_) passed_->rising.push_back({a, end});
    run_to_top_ = end >= top_;
    if (run_to_top_) return;
    passed_to_ = end;
    std::swap(lower_, run_bounds_);
    rise_past(end);
  }

  // The sweep up to elevation h, its stretches below proven already.
  void catch_up(double h) {
    while (!sweep_.done() && sweep_.elevation() < h) sweep_.pass_elevation();
  }

  // Whether E can fall at once at none of the elevations above a up to b
  // (below b where b is the top), from bounds over them all, then over
  // halves, and so on.
  bool cannot_fall_within(double a, double b) {
    inside_.clear();
    const auto inside = [&](double e) { return e < b || (e == b && b < top_); };
    for (std::size_t k = sweep_.first_above(a); inside(sweep_.elevation_at(k)); ++k)
      if (inside_.empty() || inside_.back() != sweep_.elevation_at(k)) inside_.push_back(sweep_.elevation_at(k));
    // The run's own bounds hold at all of them first.
    return inside_.empty() || falls_nowhere(a, b, run_ranges_, run_bounds_) || cannot_fall_at(a, 0, inside_.size() - 1);
  }

  // At the elevations inside_[i] ... inside_[j]; just below inside_[i] the
  // water is within that of the elevation before.
  bool cannot_fall_at(double a, std::size_t i, std::size_t j) {
    if (cannot_fall(i == 0 ? a : inside_[i - 1], inside_[j])) return true;
    if (i == j) return false;
    const std::size_t mid = i + (j - i) / 2;
    return cannot_fall_at(a, i, mid) && cannot_fall_at(a, mid + 1, j);
  }

  // Where a level segment goes under or, under the model rules, a
  // floodplain's stretches of water join above a up to c, that
  // subdivision's water is slower than the mean.
  bool cannot_fall(double a, double c) {
    c += std::fabs(c) * 0x1p-40;
    return run_geometry_bounds_->ranges(a, c, piece_ranges_) && proof_.rises(piece_ranges_, piece_bounds_) &&
           falls_nowhere(a, c, piece_ranges_, piece_bounds_);
  }

  // The same from ranges and conveyance bounds over the levels from a up to c.
  bool falls_nowhere(double a, double c, const std::vector<EnergyRange>& ranges,
                     const std::vector<ConveyanceBounds>& bounds) {
    jumped_.clear();
    for (std::size_t p = 0; p < d_.parts.size(); ++p) {
      const bool apart = d_.rules == Rules::model && d_.parts[p].zone != kChannel;
      if (ranges[p].holds_water && (apart || run_geometry_bounds_->flat_between(p, a, c))) jumped_.push_back(p);
    }
    return jumped_.empty() || proof_.slower_than_mean(jumped_, ranges, bounds);
  }

  // The visitor sees the run's bounds; should it ask for levels inside, the
  // sums answer them.
  void visit_run(double a, double b) {
    const auto summed = [this](double h) -> std::span<const PartGeometry> {
      run_geometry_.resize(d_.parts.size());
      wetted_parts(d_, h, run_geometry_);
      return run_geometry_;
    };
    const StretchBounds bounds = [this](std::span<WaterRange> out) {
      std::copy(run_water_.begin(), run_water_.end(), out.begin());
      return true;
    };
    const StretchKeeper keep = [this] {
      return StretchGeometry([&d = d_, g = std::vector<PartGeometry>(d_.parts.size())](double h) mutable {
        wetted_parts(d, h, g);
        return std::span<const PartGeometry>(g);
      });
    };
    also_(a, b, summed, bounds, keep);
  }

  // Whether the stretch just entered rises all through.
  bool rises_ahead(std::vector<ConveyanceBounds>& bounds) {
    sweep_.energy_ranges(sweep_.done() || sweep_.elevation() >= top_ ? top_ : sweep_.elevation(), ranges_);
    ranges_known_ = true;
    return proof_.rises(ranges_, bounds);
  }

  const CrossSection& d_;
  double Q_, top_;
  const StretchVisitor& also_;
  PassedOver* passed_;
  Sweep sweep_;
  RiseProof proof_;
  std::size_t stride_ = 1;
  std::vector<CriticalLevel> found_;
  std::optional<Polynomials> stretch_;
  double lo_ = d_.zmin;         // where dE/dh was last worked out, or the stretch proven to rise begins
  double passed_to_ = d_.zmin;  // the elevation last passed
  EnergySlope lo_right_{kInfinity, -kInfinity, kInfinity};  // just above lo
  int wet_before_ = 0, wet_at_lo_ = 0;
  std::vector<EnergyRange> ranges_;  // of the stretch from lo up, where ranges_known_
  bool ranges_known_ = false;
  std::vector<ConveyanceBounds> lower_, upper_;  // the stretches below and above the next elevation
  bool rising_ = false;                          // the stretch from lo up rises all through
  // Runs of stretches: how many points ahead the next is tried, how many
  // elevations to wait after none could be proven, and the last one's bounds.
  static constexpr std::size_t kShortestRun = 4, kFirstRun = 16, kLongestRun = std::size_t{1} << 40;
  const RunTest& passes_run_;
  bool runs_ = true, run_to_top_ = false, lagging_ = false;
  std::size_t reach_ = kFirstRun, cooling_ = 0;
  std::vector<EnergyRange> run_ranges_;
  std::vector<ConveyanceBounds> run_bounds_;
  std::optional<RunBounds> run_geometry_bounds_;
  std::vector<double> inside_;
  std::vector<EnergyRange> piece_ranges_;
  std::vector<ConveyanceBounds> piece_bounds_;
  std::vector<std::size_t> jumped_;
  std::vector<WaterAtElevation> water_at_;
  std::vector<WaterRange> run_water_;
  std::vector<PartGeometry> run_geometry_;
};

}  // namespace

std::vector<CriticalLevel> critical_levels(const CrossSection& d, double Q, double top, const StretchVisitor& also,
                                           const RunTest& passes_run, PassedOver* passed) {
  if (!(Q > 0) || !(top > d.zmin)) return {};
  if (d.plain_sums) {
    if (also) for_each_stretch(d, top, also);
    return model_critical_levels(d, Q, top);
  }
  return MinimumSearch(d, Q, top, also, passes_run, passed).run();
}

void for_each_stretch(const CrossSection& d, double top, const StretchVisitor& visit) {
  if (!(top > d.zmin)) return;
  if (d.plain_sums) {
    std::vector<PartGeometry> geometry(d.parts.size());
    const StretchGeometry summed = [&d, &geometry](double h) -> std::span<const PartGeometry> {
      wetted_parts(d, h, geometry);
      return geometry;
    };
    const StretchBounds unknown = [](std::span<WaterRange>) { return false; };
    const StretchKeeper keep = [&d] {
      return StretchGeometry([&d, g = std::vector<PartGeometry>(d.parts.size())](double h) mutable {
        wetted_parts(d, h, g);
        return std::span<const PartGeometry>(g);
      });
    };
    double lo = d.zmin;
    for (const double hi : model_breaks(d, top)) {
      visit(lo, hi, summed, unknown, keep);
      lo = hi;
    }
    return;
  }
  Sweep sweep(d, 1);
  while (!sweep.done() && sweep.elevation() <= d.zmin) sweep.pass_elevation();
  std::optional<Polynomials> stretch;  // copied only for a stretch whose levels are asked for
  double hi = d.zmin;
  const StretchGeometry geometry = [&](double h) {
    if (!stretch) stretch.emplace(sweep.stretch());
    return stretch->geometry(h);
  };
  const StretchBounds bounds = [&](std::span<WaterRange> out) { return sweep.bounds(hi, out); };
  const StretchKeeper keep = [&] { return kept(sweep.stretch()); };
  for (double lo = d.zmin;;) {
    const bool last = sweep.done() || sweep.elevation() >= top;
    hi = last ? top : sweep.elevation();
    stretch.reset();
    visit(lo, hi, geometry, bounds, keep);
    if (last) return;
    sweep.pass_elevation();
    lo = hi;
  }
}

double least_conveying(const WaterRange& water) {
  return water.low_A > 0 ? water.low_A * two_thirds_bounds(water.low_A / water.high_P).low : 0;
}

double most_conveying(const WaterRange& water) {
  return water.high_A > 0 ? water.high_A * two_thirds_bounds(water.high_R).high : 0;
}

int governing_critical(const std::vector<CriticalLevel>& levels) {
  int best = -1;
  for (std::size_t i = 0; i < levels.size(); ++i)
    if (!levels[i].at_end && (best < 0 || levels[i].energy < levels[static_cast<std::size_t>(best)].energy))
      best = static_cast<int>(i);
  return best;
}

}  // namespace normlevel
