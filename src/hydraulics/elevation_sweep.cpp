#include "hydraulics/elevation_sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/func.h"

namespace normlevel {

namespace {

// A segment wet in part from its lower end zl up: a triangle whose width
// and wetted length grow in proportion to the depth.
void add_partial(const CrossSection& d, const SegmentSlope& slope, StretchPoly& q, std::int32_t i, double ref,
                 double sign) {
  const double zl = std::min(d.z[i], d.z[i + 1]), half = slope.half, grow = slope.grow, tl = zl - ref;
  q.a2 += sign * half;
  q.a1 -= sign * 2 * half * tl;
  q.a0 += sign * half * tl * tl;
  q.p1 += sign * grow;
  q.p0 -= sign * grow * tl;
}

void add_full(const CrossSection& d, StretchPoly& q, std::int32_t i, double ref) {
  const double dx = d.x[i + 1] - d.x[i], tm = 0.5 * (d.z[i] + d.z[i + 1]) - ref;
  q.a1 += dx;
  q.a0 -= dx * tm;
  q.p0 += d.length[i];
}

// The subdivisions' geometry at h: their stretches' summed, and where a
// floodplain holds several wet stretches, their conveying one by one.
void geometry_from(const CrossSection& d, const StretchPolys& s, double ref, double h, std::vector<PartGeometry>& out,
                   std::vector<double>& dB, bool conveying_apart = true) {
  const double t = h - ref;
  const std::size_t parts = d.parts.size();
  out.assign(parts, PartGeometry{});
  dB.assign(parts, 0);
  const bool apart = conveying_apart && d.rules == Rules::model;
  for (std::size_t k = 0; k < s.polys.size(); ++k) {  // a lumped subdivision's sums are its one poly's, bit for bit
    const StretchPoly& q = s.polys[k];
    const std::size_t p = s.part[k];
    const double A = (q.a2 * t + q.a1) * t + q.a0, P = q.p1 * t + q.p0;
    if (P != 0 && apart && d.parts[p].zone != kChannel) {  // the only ones that convey apart
      // NaN until the first stretch (no stretch's share is NaN): the sum starts from 0.
      const double before = std::isnan(out[p].conveying) ? 0.0 : out[p].conveying;
      out[p].conveying = before + stretch_conveying(A, P);
    }
    out[p].A += A;
    out[p].P += P;
    out[p].B += 2 * q.a2 * t + q.a1;
    out[p].dP += q.p1;
    dB[p] += 2 * q.a2;
  }
}

// One polynomial over t in [0, T]: P is linear, A quadratic (its vertex
// matters only where it bends down). Where P may be dry, a stretch wetting
// from nothing at t = 0 has R = (a2 t + a1) / p1, growing with t. Unknown
// where neither tells, or where a coefficient that is a width or a wetted
// length at the origin has come out below 0 (the sums then go their own way).
void gather(const StretchPoly& q, double T, WaterRange& water) {
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

// The same polynomial about an origin d above its own: t' = t - d.
StretchPoly moved(const StretchPoly& q, double d) {
  return {q.a2, 2 * q.a2 * d + q.a1, (q.a2 * d + q.a1) * d + q.a0, q.p1, q.p1 * d + q.p0};
}

// B = 2 a2 t + a1 is linear: its ends bound it, and both at least 0 keep
// it so on the way (rounding is monotone).
void gather_energy(const StretchPoly& q, double T, EnergyRange& range) {
  gather(q, T, range.water);
  const double B0 = q.a1, BT = 2 * q.a2 * T + q.a1;
  if (!(B0 >= 0 && BT >= 0)) range.widths_known = false;
  range.high_B += std::max(B0, BT);
  range.low_B += std::min(B0, BT);
  range.dP += q.p1;
  range.holds_water = range.holds_water || q.a2 != 0 || q.a1 != 0 || q.a0 != 0 || q.p1 != 0 || q.p0 != 0;
}

using Point = std::pair<double, std::int32_t>;

constexpr auto lower = [](const Point& a, const Point& b) { return a.first < b.first; };

struct Span {
  double low, high;
  bool nan;
};

// The lowest and highest elevation, and whether one is NaN: in one pass,
// the first lowest and the last highest as std::minmax_element finds them.
Span span_of(const std::vector<Point>& order) {
  Span span{order.front().first, order.front().first, false};
  for (const Point& p : order) {
    span.low = p.first < span.low ? p.first : span.low;
    span.high = span.high > p.first ? span.high : p.first;
    span.nan = span.nan || p.first != p.first;
  }
  return span;
}

// A bucket holding more points than this is sorted the usual way.
constexpr std::uint32_t kCrowded = 64;

// The points, given in the section's order, in order of elevation, those at
// one elevation in the section's order as a stable sort leaves them (the
// sums there take them in that order). A section's elevations spread fairly
// evenly over its height: dealt into four buckets a point by elevation,
// nearly all lie in order already, and sorting the few that do not costs
// little (with one bucket a point, twice as many share one, and each put in
// order there is a branch mispredicted). Where the buckets are crowded, a
// stable sort.
void sort_by_elevation(std::vector<Point>& order) {
  const std::size_t n = order.size();
  if (n < 2) return;
  // The room first: the span is then worked out in registers, no call
  // after it for which they would have to be saved.
  const std::size_t buckets = 4 * n;
  std::vector<std::uint32_t> start(buckets + 1, 0);
  std::vector<Point> dealt(n);
  const Span span = span_of(order);
  const double lowest = span.low, scale = static_cast<double>(buckets) / (span.high - span.low);
  if (span.nan || !(scale > 0 && scale < std::numeric_limits<double>::infinity())) {  // or an infinite elevation
    std::stable_sort(order.begin(), order.end(), lower);
    return;
  }
  const auto bucket = [buckets, lowest, scale](double z) {  // the signed conversion is one instruction
    return std::min(buckets - 1, static_cast<std::size_t>(static_cast<std::int64_t>((z - lowest) * scale)));
  };
  std::uint32_t most = 0;
  for (const Point& p : order) most = std::max(most, ++start[bucket(p.first) + 1]);
  if (most > kCrowded) {
    std::stable_sort(order.begin(), order.end(), lower);
    return;
  }
  for (std::size_t b = 0; b < buckets; ++b) start[b + 1] += start[b];
  for (const Point& p : order) dealt[start[bucket(p.first)]++] = p;
  for (std::size_t k = 1; k < n; ++k) {  // a point moves only within its bucket
    const Point p = dealt[k];
    std::size_t j = k;
    for (; j > 0 && dealt[j - 1].first > p.first; --j) dealt[j] = dealt[j - 1];
    dealt[j] = p;
  }
  order.swap(dealt);
}

}  // namespace

EnergySlope Polynomials::slope(double h, double Q) {
  geometry_from(d_, polys_, ref_, h, geometry_, dB_);
  const int wet = conveyances(d_, geometry_, conveyance_);
  return energy_slope(*d_.units, conveyance_, wet, geometry_, h, Q, dB_);
}

std::span<const PartGeometry> Polynomials::geometry(double h) {
  geometry_from(d_, polys_, ref_, h, geometry_, dB_);
  return geometry_;
}

Sweep::Sweep(const CrossSection& d, double Q) : d_(d), order_(static_cast<std::size_t>(d.N)), origin_(d.zmin), Q_(Q) {
  for (std::int32_t i = 1; i <= d.N; ++i) order_[static_cast<std::size_t>(i - 1)] = {d.z[i], i};
  sort_by_elevation(order_);
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
  active_.reserve(group_part_.size());  // once, not as stretches get wet
  live_.polys.reserve(group_part_.size());
  live_.part.reserve(group_part_.size());
  for (std::size_t p = 0; p < parts; ++p) activate(p);  // a lumped subdivision counts, wet or dry
}

std::size_t Sweep::first_above(double h) const { return points_upto(order_, h); }

void Sweep::pass_elevation(bool keep_origin) {
  const double e = elevation();
  if (!keep_origin) move_origin(e);
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

bool Sweep::jumps_ahead(std::vector<std::size_t>& jumped, std::vector<WaterAtElevation>& water) {
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
    const StretchPoly& q = polys_[g];
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

EnergySlope Sweep::above() {
  pass_elevation();
  return just_passed();
}

EnergySlope Sweep::just_passed() {
  const double e = origin_;  // A = a0, B = a1, P = p0, dP = p1 there
  widened_ = false;
  wet_above_ = 0;
  geometry_from(d_, live(), origin_, e, at_origin_, dB_, may_jump_);  // what conveys is taken only then
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

bool Sweep::bounds(double hi, std::span<WaterRange> out) {
  const double T = covered_span(origin_, hi);
  std::fill(out.begin(), out.end(), WaterRange{});
  for (const std::size_t g : active_) gather(polys_[g], T, out[group_part_[g]]);
  return std::all_of(out.begin(), out.end(), [](const WaterRange& w) { return w.known; });
}

void Sweep::energy_ranges(double hi, std::vector<EnergyRange>& out) {
  const double T = covered_span(origin_, hi);
  out.assign(d_.parts.size(), EnergyRange{});
  for (const std::size_t g : active_) gather_energy(polys_[g], T, out[group_part_[g]]);
}

// Each polynomial about lo instead.
void Sweep::energy_ranges(double lo, double hi, std::vector<EnergyRange>& out) {
  const double T = covered_span(lo, hi), d = lo - origin_;
  out.assign(d_.parts.size(), EnergyRange{});
  for (const std::size_t g : active_) gather_energy(moved(polys_[g], d), T, out[group_part_[g]]);
}

void Sweep::remember() {
  remembered_ = live();
  remembered_origin_ = origin_;
}

EnergySlope Sweep::below_from(const StretchPolys& polys, double ref, double h) {
  geometry_from(d_, polys, ref, h, geometry_, dB_);
  wet_ = conveyances(d_, geometry_, conveyance_);
  return energy_slope(*d_.units, conveyance_, wet_, geometry_, h, Q_, dB_);
}

void Sweep::jumped(std::size_t part) {
  may_jump_ = true;
  if (std::find(jumped_parts_.begin(), jumped_parts_.end(), part) == jumped_parts_.end())
    jumped_parts_.push_back(part);
}

bool Sweep::flat_under(std::int32_t point) const {
  return point < d_.N && d_.z[point] == d_.z[point + 1] && d_.x[point + 1] > d_.x[point];
}

bool Sweep::joins_water(std::int32_t point) {
  if (point <= 1 || point >= d_.N) return false;
  const auto left = static_cast<std::size_t>(point - 1), right = static_cast<std::size_t>(point);
  if (segment_part_[left] != segment_part_[right]) return false;
  const std::size_t a = root(segment_group_[left]), b = root(segment_group_[right]);
  return a != b && place_[a] != kNowhere && place_[b] != kNowhere;
}

void Sweep::move_origin(double o) {
  const double d = o - origin_;
  for (const std::size_t g : active_) polys_[g] = moved(polys_[g], d);
  origin_ = o;
}

void Sweep::wall_event(std::int32_t point) {
  if (point == 1) poly_of(1).p1 += 1;
  if (point == d_.N) poly_of(d_.N - 1).p1 += 1;
}

void Sweep::segment_event(std::int32_t i, std::int32_t point) {
  const CrossSection& d = d_;
  const bool flat = d.z[i] == d.z[i + 1];
  const std::int32_t lower = d.z[i] <= d.z[i + 1] ? i : i + 1;
  StretchPoly& q = poly_of(i);
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

StretchPoly& Sweep::poly_of(std::int32_t i) {
  const std::size_t g = root(segment_group_[static_cast<std::size_t>(i)]);
  activate(g);
  return polys_[g];
}

std::size_t Sweep::root(std::size_t g) {
  while (parent_[g] != g) g = parent_[g] = parent_[parent_[g]];
  return g;
}

void Sweep::activate(std::size_t g) {
  if (place_[g] != kNowhere) return;
  place_[g] = active_.size();
  active_.push_back(g);
}

void Sweep::join_at(std::int32_t point) {
  if (point <= 1 || point >= d_.N) return;
  if (segment_part_[static_cast<std::size_t>(point - 1)] != segment_part_[static_cast<std::size_t>(point)]) return;
  const std::size_t a = root(segment_group_[static_cast<std::size_t>(point - 1)]);
  const std::size_t b = root(segment_group_[static_cast<std::size_t>(point)]);
  if (a == b) return;
  StretchPoly& into = polys_[a];
  const StretchPoly& from = polys_[b];
  into = {into.a2 + from.a2, into.a1 + from.a1, into.a0 + from.a0, into.p1 + from.p1, into.p0 + from.p0};
  parent_[b] = a;
  const std::size_t at = place_[b];
  place_[active_.back()] = at;
  active_[at] = active_.back();
  active_.pop_back();
  place_[b] = kNowhere;
  jumped(segment_part_[static_cast<std::size_t>(point)]);
}

const StretchPolys& Sweep::live() {
  live_.polys.clear();
  live_.part.clear();
  for (const std::size_t g : active_) {
    live_.polys.push_back(polys_[g]);
    live_.part.push_back(group_part_[g]);
  }
  return live_;
}

}  // namespace normlevel
