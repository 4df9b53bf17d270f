#include "BalanceSign.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <limits>
#include <span>
#include <utility>

#include "CSdata.h"
#include "func.h"
#include "power.h"

namespace normlevel {

// Why the bounds hold. At level h the balance sums, zone by zone and in
// segment order, one term per wet segment: a wholly wet one adds
// hdx (2h - z1 - z2) to the area and its length to the perimeter; one wet
// in part adds a triangle no wider than the segment and no deeper than
// h - min(z1, z2), so between 0 and hdx (h - min(z1, z2)), and a wetted
// length between that depth h - min(z1, z2) and its length. Every term is >= 0, so the rounding of
// the ordered sum of n terms is at most about n u times the sum, and each
// term's own rounding at most 8 u hdx (|h| + |z1| + |z2|); the totals here,
// summed in another order, err by as little again. All of it is below
// 128 (N + 16) u times the magnitude 2 |h| sum(hdx) + sum(hdx (|z1| + |z2|))
// of the wet segments (u = DBL_EPSILON / 2), which is the slack taken.
// Each subdivision then carries k A (A / P)^(2/3), rising with A and
// falling with P, so the area and perimeter bounds bound the discharge;
// 1e-8 of it covers the power's half an ulp and the roundings many times over. The S + 3 roundings of adding up
// the S subdivisions' discharges and of Q - QL - Q0 - QP are covered by
// (1e-12 + (S + 3) 2^-52) (|Q| + the discharges).

WetTotals::WetTotals(const CrossSection& d)
    : section(&d), full(d.parts.size()), wet(d.parts.size()), part_area(d.parts.size()), part_length(d.parts.size()) {}

namespace {

struct Range {
  double lo, hi;
};

double slack(const CrossSection& d) { return 128.0 * (static_cast<double>(d.N) + 16.0) * DBL_EPSILON; }

// Bounds on what the segments wet only in part add, from the totals: an
// area between 0 and sum(hdx (h - min z)), a length at least their depths.
// That depth bound is a difference of large sums when the levels are far
// from the datum, so the better of it and 0 is taken.
Range area_in_part(double h, const SegmentTotals& full, const SegmentTotals& wet) {
  return {0, std::max(0.0, h * (wet.hdx - full.hdx) - (wet.hdx_low - full.hdx_low))};
}

// Errors are bounded as at a level of magnitude `reach` (|h| for a level
// alone), times `scale`.
struct ErrorReach {
  double reach, scale;
  double slack;  ///< the section's, as slack() gives it
};

double least_length_in_part(double h, const SegmentTotals& full, const SegmentTotals& wet, ErrorReach e) {
  const double depths = h * (wet.count - full.count) - (wet.low - full.low);
  const double depths_error = e.scale * e.slack * (e.reach * wet.count + wet.abs_low);
  return std::max(0.0, depths - depths_error);
}

// What the zone can carry at most and at least: k A (A / P)^(2/3), with 0
// wherever it may be dry.
double discharge_most(double s, Range A, Range P, double n, bool floodplain, bool with_pow) {
  const double dry_up_to = floodplain ? kDryPerimeter : 0.0;
  if (!(A.hi > 0 && P.hi > dry_up_to)) return 0;
  const double P_least = std::max(P.lo, dry_up_to);
  if (!(P_least > 0)) return std::numeric_limits<double>::infinity();
  const double R = A.hi / P_least;
  const double power = with_pow ? manning_power(R) : std::max(1.0, R);
  return std::sqrt(s) / n * A.hi * power * (1 + 1e-8);
}

double discharge_least(double s, Range A, Range P, double n, bool floodplain) {
  const double dry_up_to = floodplain ? kDryPerimeter : 0.0;
  if (!(A.lo > 0 && P.lo > dry_up_to)) return 0;
  return std::sqrt(s) / n * A.lo * manning_power(A.lo / P.hi) * (1 - 1e-8);
}

}  // namespace

void SegmentTotals::add(const CrossSection& d, std::int32_t i) {
  const double z1 = d.z[i], z2 = d.z[i + 1];
  const double half = (d.x[i + 1] - d.x[i]) * 0.5;
  hdx += half;
  hdx_z += half * (z1 + z2);
  hdx_abs_z += half * (std::fabs(z1) + std::fabs(z2));
  hdx_low += half * std::min(z1, z2);
  length += d.length[i];
  count += 1;
  low += std::min(z1, z2);
  abs_low += std::fabs(std::min(z1, z2));
}

void WetTotals::add_part(double h, std::int32_t segment) {
  double A = 0, P = 0;
  if (!segment_share(*section, h, segment, A, P)) return;
  const std::size_t part = part_of(*section, segment);
  part_area[part] += A;
  part_length[part] += P;
}

namespace {

// The subdivision's area and perimeter at h: the wholly wet segments from
// the totals, those wet in part as they are when known, else bounded.
void bound_zone(double h, const WetTotals& t, std::size_t zone, ErrorReach e, Range& A, Range& P) {
  const SegmentTotals& full = t.full[zone];
  const SegmentTotals& wet = t.wet[zone];
  const double wholly = 2.0 * h * full.hdx - full.hdx_z;
  const double area_error = e.scale * e.slack * (2.0 * e.reach * wet.hdx + wet.hdx_abs_z);
  const double length_error = e.scale * e.slack * wet.length;
  const Range part = t.partials_known ? Range{t.part_area[zone], t.part_area[zone]} : area_in_part(h, full, wet);
  const double least_length = t.partials_known ? t.part_length[zone] : least_length_in_part(h, full, wet, e);
  const double most_length = t.partials_known ? full.length + t.part_length[zone] : wet.length;
  A = {std::max(0.0, wholly + part.lo - area_error), std::max(0.0, wholly) + part.hi + area_error};
  P = {std::max(0.0, full.length + least_length - length_error), most_length + length_error};
}

}  // namespace

namespace {

struct PartBounds {
  Range A, P;
  double n;
  bool floodplain;
};

// The sign proved for every level from `low` to `high`, between which no
// segment gets wet or wholly wet: areas and perimeters only grow with the
// level, so the least of each is bounded at `low` (totals as there) and
// the most at `high`. The roundings at any level between are bounded as at
// the farther of the two from the datum, and twice over, as each bound is
// taken at another level than the sums it stands for.
// The upper bounds first, as the walk starts where the balance is
// positive, and first without pow: R^(2/3) <= max(1, R) proves most levels
// far below the one sought.
int sign_from_bounds(double Q, double low, const WetTotals& at_low, double high, const WetTotals& at_high,
                     std::span<PartBounds> b) {
  const CrossSection& d = *at_low.section;
  const std::vector<Subdivision>& parts = d.parts;
  const ErrorReach e{std::max(std::fabs(low), std::fabs(high)), low == high ? 1.0 : 2.0, slack(d)};
  for (std::size_t p = 0; p < b.size(); ++p) {
    Range A_low, P_low, A_high, P_high;
    bound_zone(low, at_low, p, e, A_low, P_low);
    if (&at_high == &at_low && high == low) {
      A_high = A_low;
      P_high = P_low;
    } else {
      bound_zone(high, at_high, p, e, A_high, P_high);
    }
    b[p].A = {A_low.lo, A_high.hi};
    b[p].P = {P_low.lo, P_high.hi};
    b[p].n = roughness_of(d, parts[p]) / d.units->k;
    b[p].floodplain = parts[p].zone != kChannel;
  }
  const double margin = 1e-12 + static_cast<double>(b.size() + 3) * DBL_EPSILON;
  const auto below = [Q, margin](double most) { return Q - most > margin * (std::fabs(Q) + most); };
  double rough = 0, most = 0, least = 0;
  for (const PartBounds& p : b) rough += discharge_most(d.s, p.A, p.P, p.n, p.floodplain, false);
  if (below(rough)) return 1;
  for (const PartBounds& p : b) most += discharge_most(d.s, p.A, p.P, p.n, p.floodplain, true);
  if (below(most)) return 1;
  for (const PartBounds& p : b) least += discharge_least(d.s, p.A, p.P, p.n, p.floodplain);
  if (least - Q > margin * (std::fabs(Q) + least)) return -1;
  return 0;  // also when a bound is not a number
}

// Most sections have a few subdivisions: their bounds stay on the stack,
// as the walk may ask for millions of levels.
constexpr std::size_t kFewParts = 8;

}  // namespace

int proved_sign(double Q, double low, const WetTotals& at_low, double high, const WetTotals& at_high) {
  const std::size_t count = at_low.section->parts.size();
  if (count <= kFewParts) {
    std::array<PartBounds, kFewParts> bounds;
    return sign_from_bounds(Q, low, at_low, high, at_high, std::span(bounds.data(), count));
  }
  std::vector<PartBounds> bounds(count);
  return sign_from_bounds(Q, low, at_low, high, at_high, bounds);
}

int proved_sign(double Q, double h, const WetTotals& t) { return proved_sign(Q, h, t, h, t); }

// ---- the walk ---------------------------------------------------------

namespace {

// The index of the first level above z (levels.size() when none is):
// estimated from the even spacing, then settled by comparison.
std::size_t first_level_above(const std::vector<double>& levels, double per_step, double z) {
  const std::size_t count = levels.size();
  std::size_t k = 0;
  if (count > 1) {
    const double estimate = (z - levels[0]) * per_step;
    if (estimate > 0) k = estimate < static_cast<double>(count) ? static_cast<std::size_t>(estimate) : count;
  }
  while (k < count && levels[k] <= z) ++k;
  while (k > 0 && levels[k - 1] > z) --k;
  return k;
}

constexpr std::uint32_t kNone = 0;  // segments are numbered from 1

// Beyond this many segments wet in part their shares are bounded, not taken.
constexpr std::size_t kMostKnownParts = 4096;

// Fewer levels than this between two events are proved one by one.
constexpr std::size_t kShortestSpan = 4;

}  // namespace

// One pass files each segment under the level where it gets wet and the
// one where it gets wholly wet; the walk then adds each segment once.
WalkSigns::WalkSigns(const CrossSection& d, double Q, std::vector<double> levels)
    : d_(d),
      Q_(Q),
      levels_(std::move(levels)),
      first_wet_(levels_.size() + 1, kNone),
      first_full_(levels_.size() + 1, kNone),
      next_wet_(static_cast<std::size_t>(d.N), kNone),
      next_full_(static_cast<std::size_t>(d.N), kNone),
      totals_(d),
      top_(d) {
  const double per_step = levels_.size() > 1 ? 1 / (levels_[1] - levels_[0]) : 0;
  for (std::int32_t i = 1; i < d.N; ++i) {
    const auto segment = static_cast<std::uint32_t>(i);
    const std::size_t wet = first_level_above(levels_, per_step, std::min(d.z[i], d.z[i + 1]));
    const std::size_t full = first_level_above(levels_, per_step, std::max(d.z[i], d.z[i + 1]));
    next_wet_[segment] = std::exchange(first_wet_[wet], segment);
    next_full_[segment] = std::exchange(first_full_[full], segment);
  }
}

// The first level after k that adds a segment (levels.size() when none
// does), searched from where the last search ended: levels only rise.
std::size_t WalkSigns::next_event(std::size_t k) {
  if (next_event_ <= k) next_event_ = k + 1;
  while (next_event_ < levels_.size() && first_wet_[next_event_] == kNone && first_full_[next_event_] == kNone)
    ++next_event_;
  return next_event_;
}

void WalkSigns::add_bucket(std::uint32_t first, const std::vector<std::uint32_t>& next,
                           std::vector<SegmentTotals>& into) {
  for (std::uint32_t segment = first; segment != kNone; segment = next[segment]) {
    const auto i = static_cast<std::int32_t>(segment);
    into[part_of(d_, i)].add(d_, i);
    if (&into == &totals_.wet) in_part_.push_back(i);
  }
}

// The shares of the segments wet only in part at the level, as the
// ordered sums take them.
void WalkSigns::take_parts(WetTotals& into, double level) const {
  into.partials_known = true;
  std::fill(into.part_area.begin(), into.part_area.end(), 0.0);
  std::fill(into.part_length.begin(), into.part_length.end(), 0.0);
  for (const std::int32_t i : in_part_) into.add_part(level, i);
}

// The sign at every level from..to, none of which adds a segment after
// the first: from the totals alone first; where they do not tell, the
// segments wet only in part, when few, are taken at both ends. Those
// wholly wet by now leave the list for good: levels only rise.
int WalkSigns::prove(std::size_t from, std::size_t to) {
  const double low = levels_[from], high = levels_[to];
  totals_.partials_known = false;
  const int sign = proved_sign(Q_, low, totals_, high, totals_);
  if (sign != 0) return sign;
  const CrossSection& d = d_;
  std::erase_if(in_part_, [&](std::int32_t i) { return std::max(d.z[i], d.z[i + 1]) < low; });
  if (in_part_.size() > kMostKnownParts) return 0;
  take_parts(totals_, low);
  if (from == to) return proved_sign(Q_, low, totals_);
  top_.full = totals_.full;
  top_.wet = totals_.wet;
  take_parts(top_, high);
  return proved_sign(Q_, low, totals_, high, top_);
}

// Between two levels that add segments the sign is tried for all the
// levels left at once, then for the first half of them, and so on: a walk
// over a deep section with few points costs a few proofs, not one a step.
int WalkSigns::operator()(double level) {
  std::size_t k = next_level_ == 0 ? 0 : next_level_ - 1;
  while (k < levels_.size() && levels_[k] < level) ++k;
  if (k == levels_.size() || levels_[k] != level) return 0;
  for (; next_level_ <= k; ++next_level_) {
    add_bucket(first_wet_[next_level_], next_wet_, totals_.wet);
    add_bucket(first_full_[next_level_], next_full_, totals_.full);
  }
  if (k < known_until_) return known_sign_;
  const std::size_t end = next_event(k);
  for (std::size_t span = end - k; span >= kShortestSpan; span /= 2) {
    const int sign = prove(k, k + span - 1);
    if (sign != 0) {
      known_sign_ = sign;
      known_until_ = k + span;
      return sign;
    }
  }
  return prove(k, k);
}

// ---- the bisection ----------------------------------------------------

BracketSigns::BracketSigns(const CrossSection& d, double Q, double lo, double hi)
    : Q_(Q), lo_(lo), hi_(hi), settled_(d) {
  for (std::int32_t i = 1; i < d.N; ++i) {
    const double low = std::min(d.z[i], d.z[i + 1]), high = std::max(d.z[i], d.z[i + 1]);
    if (high < lo) {  // wholly wet throughout
      settled_.full[part_of(d, i)].add(d, i);
      settled_.wet[part_of(d, i)].add(d, i);
    } else if (low < hi) {
      changing_.push_back({i, low, high});
    }
  }
}

int BracketSigns::operator()(double level) const {
  if (!(level >= lo_ && level <= hi_)) return 0;
  WetTotals totals = settled_;
  totals.partials_known = true;
  const CrossSection& d = *settled_.section;
  for (const Changing& c : changing_) {
    const std::size_t zone = part_of(d, c.segment);
    if (c.high < level) totals.full[zone].add(d, c.segment);
    if (c.low < level) totals.wet[zone].add(d, c.segment);
    if (c.low < level && c.high >= level) totals.add_part(level, c.segment);
  }
  return proved_sign(Q_, level, totals);
}

}  // namespace normlevel
