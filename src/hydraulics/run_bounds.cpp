#include "hydraulics/run_bounds.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/ordered_search.h"

namespace normlevel {

namespace {

// How far the bounds allow for the sums at a level (a run's, and the
// sweep's alike) to stray from the geometry by rounding, besides their own
// error, which they work out.
constexpr double kRounding = 1e-9;

}  // namespace

std::vector<SegmentSlope> segment_slopes(const CrossSection& d) {
  std::vector<SegmentSlope> slopes(static_cast<std::size_t>(std::max(d.N, 1)));
  for (std::int32_t i = 1; i < d.N; ++i) {
    const double dz = std::fabs(d.z[i + 1] - d.z[i]);
    if (dz > 0) slopes[static_cast<std::size_t>(i)] = {0.5 * (d.x[i + 1] - d.x[i]) / dz, d.length[i] / dz};
  }
  return slopes;
}

template <class Sums>
const Sums& RunBounds::List<Sums>::upto(double h) const {
  return sums[count_until(key, [h](double k) { return h < k; })];
}

// Elevations are taken from zmin, so that the sums hold no more than the
// section's height to the second power. A segment enters the list of its
// subdivision's getting wet at its lower end, and the list of its wholly
// wet at its upper end (a level one at once), in the order the sweep
// passes its points.
RunBounds::RunBounds(const CrossSection& d, std::span<const std::pair<double, std::int32_t>> order,
                     std::span<const std::size_t> part_of, std::span<const SegmentSlope> slopes)
    : d_(d), order_(order), origin_(d.zmin), span_(d.zmax - d.zmin), parts_(d.parts.size()) {
  tolerance_ = (static_cast<double>(d.N) + 64) * std::numeric_limits<double>::epsilon();
  for (std::size_t p = 0; p < d.parts.size(); ++p) {
    Part& part = parts_[p];
    const Subdivision& sub = d.parts[p];
    part.lowest = std::numeric_limits<double>::infinity();
    part.walls_low = d.rules == Rules::model && sub.first == 1;
    part.walls_high = d.rules == Rules::model && sub.last == d.N - 1;
    for (std::int32_t i = sub.first; i <= sub.last; ++i) falls_back_ = falls_back_ || d.x[i + 1] < d.x[i];
  }
  if (parts_.empty() || d.N < 2) return;
  std::vector<std::size_t> count(parts_.size()), start(parts_.size());
  for (std::int32_t i = 1; i < d.N; ++i) ++count[part_of[static_cast<std::size_t>(i)]];
  std::size_t size = 0;
  for (std::size_t p = 0; p < parts_.size(); ++p) {
    start[p] = size;
    size += count[p] + 1;
  }
  keys_.reset(new double[2 * size]);  // left unset: each is written before it is read
  segments_.reset(new std::int32_t[2 * size]);
  wetting_sums_.reset(new Wetting[size]);
  wet_sums_.reset(new Wet[size]);
  for (std::size_t p = 0; p < parts_.size(); ++p) {
    Part& part = parts_[p];
    part.wetting = {{keys_.get() + start[p], count[p]}, {wetting_sums_.get() + start[p], count[p] + 1},
                    {segments_.get() + start[p], count[p]}};
    part.wet = {{keys_.get() + size + start[p], count[p]}, {wet_sums_.get() + start[p], count[p] + 1},
                {segments_.get() + size + start[p], count[p]}};
    part.wetting.sums[0] = Wetting{};
    part.wet.sums[0] = Wet{};
  }
  fill(part_of, slopes);
}

void RunBounds::fill(std::span<const std::size_t> part_of, std::span<const SegmentSlope> slopes) {
  list_segments(part_of);
  for (Part& part : parts_) {
    sum_wetting(part.wetting, slopes);
    sum_wet(part.wet, slopes);
    // The points come in order of elevation: the first to get wet is the lowest.
    if (!part.wetting.key.empty()) part.lowest = part.wetting.key[0] - origin_;
  }
}

// Each point in order, the segment to its left before the one to its right:
// a segment joins its subdivision's list of those getting wet at its lower
// end, and of the wholly wet at its upper end. The list is picked by its
// index, not by a branch: which end of a segment a point is follows no
// pattern.
void RunBounds::list_segments(std::span<const std::size_t> part_of) {
  const CrossSection& d = d_;
  std::vector<std::int32_t*> next;  // [2p]: the end of subdivision p's list getting wet, [2p + 1]: wholly wet
  for (Part& part : parts_) {
    next.push_back(part.wetting.segments.data());
    next.push_back(part.wet.segments.data());
  }
  const std::int32_t N = d.N;  // not read again after each store: to the compiler, one might change d.N
  const double* z = d.z.data();
  for (const auto& by_elevation : order_) {
    const std::int32_t point = by_elevation.second;
    if (point > 1)  // its upper end where it rises
      *next[2 * part_of[static_cast<std::size_t>(point - 1)] + (z[point - 1] <= z[point])]++ = point - 1;
    if (point < N) *next[2 * part_of[static_cast<std::size_t>(point)] + !(z[point] <= z[point + 1])]++ = point;
  }
}

void RunBounds::sum_wetting(List<Wetting>& list, std::span<const SegmentSlope> slopes) {
  const CrossSection& d = d_;
  Wetting total = list.sums[0];
  for (std::size_t k = 0; k < list.segments.size(); ++k) {
    const std::int32_t i = list.segments[k];
    const SegmentSlope& slope = slopes[static_cast<std::size_t>(i)];
    const double low = std::min(d.z[i], d.z[i + 1]), zl = low - origin_;
    const double w = slope.half, g = slope.grow, w_z = w * zl;
    list.key[k] = low;
    list.sums[k + 1] = total = total + Wetting{d.x[i + 1] - d.x[i], w, w_z, w_z * zl, g, g * zl};
  }
}

void RunBounds::sum_wet(List<Wet>& list, std::span<const SegmentSlope> slopes) {
  const CrossSection& d = d_;
  Wet total = list.sums[0];
  for (std::size_t k = 0; k < list.segments.size(); ++k) {
    const std::int32_t i = list.segments[k];
    const SegmentSlope& slope = slopes[static_cast<std::size_t>(i)];
    const double high = std::max(d.z[i], d.z[i + 1]), zl = std::min(d.z[i], d.z[i + 1]) - origin_, zu = high - origin_;
    const double dx = d.x[i + 1] - d.x[i];
    const double w = slope.half, g = slope.grow;
    list.key[k] = high;
    if (zu > zl) {
      const double w_z = w * zl;
      total = total + Wet{dx, dx * 0.5 * (zl + zu), d.length[i], w, w_z, w_z * zl, g, g * zl, 0};
    } else {
      total = total + Wet{dx, dx * zl, d.length[i], 0, 0, 0, 0, 0, dx};
    }
    list.sums[k + 1] = total;
  }
}

std::size_t points_upto(std::span<const std::pair<double, std::int32_t>> order, double h) {
  return count_until(order, [h](const std::pair<double, std::int32_t>& p) { return h < p.first; });
}

// A = sum over the wholly wet of dx (h - zm) plus over the rest wet in part
// of w (h - zl)^2; P alike. Each with a bound on its rounding: the terms'
// magnitudes times the sums' length, and the elevations' own rounding from zmin.
RunBounds::Level RunBounds::level(const Part& part, double h) const {
  return {part.wetting.upto(h), part.wet.upto(h), h - origin_};
}

RunBounds::Water RunBounds::water_at(const Level& at) const {
  const Wetting& in = at.wetting;
  const Wet& full = at.wet;
  const double t = at.t;
  const double A =
      t * full.dx - full.dx_z + t * t * (in.w - full.w) - 2 * t * (in.w_z - full.w_z) + (in.w_z2 - full.w_z2);
  const double A_size = t * full.dx + full.dx_z + t * t * (in.w + full.w) + 2 * t * (in.w_z + full.w_z) + in.w_z2 +
                        full.w_z2 + (t + span_) * in.dx;
  const double P = full.length + t * (in.g - full.g) - (in.g_z - full.g_z);
  const double P_size = full.length + t * (in.g + full.g) + in.g_z + full.g_z + (t + span_) * in.g;
  return {A, tolerance_ * A_size, P, tolerance_ * P_size};
}

double RunBounds::wall_height(const Part& part, double h) const {
  double height = 0;
  if (part.walls_low) height += std::max(0.0, h - d_.z[1]);
  if (part.walls_high) height += std::max(0.0, h - d_.z[d_.N]);
  return height;
}

// A lumped subdivision holds no radius above its most area over its least
// perimeter; stretches of a floodplain's water none above their depth
// (A <= B depth and B <= P).
bool RunBounds::ranges(double a, double c, std::vector<EnergyRange>& out) const {
  if (falls_back_) return false;
  out.resize(parts_.size());
  for (std::size_t p = 0; p < parts_.size(); ++p) {
    const Part& part = parts_[p];
    EnergyRange& range = out[p] = EnergyRange{};
    range.holds_water = !part.wetting.key.empty() && part.wetting.key.front() <= c;
    if (!range.holds_water) continue;
    const Level from = level(part, a), to = level(part, c);
    const Water low = water_at(from), high = water_at(to);
    WaterRange& water = range.water;
    water.low_A = std::max(0.0, (low.A - low.A_error) * (1 - kRounding));
    water.high_A = (high.A + high.A_error) * (1 + kRounding);
    water.high_P = (high.P + high.P_error + wall_height(part, c)) * (1 + kRounding);
    water.high_R = (c - origin_ - part.lowest) * (1 + kRounding) + tolerance_ * (c - origin_);
    const double low_P = (low.P - low.P_error + wall_height(part, a)) * (1 - kRounding);
    if (d_.rules != Rules::model || d_.parts[p].zone == kChannel)
      if (low_P > 0) water.high_R = std::min(water.high_R, water.high_A / low_P);
    range.high_B = to.wetting.dx * (1 + kRounding);
    const double walls = (part.walls_low && d_.z[1] <= c ? 1 : 0) + (part.walls_high && d_.z[d_.N] <= c ? 1 : 0);
    range.dP = ((to.wetting.g - from.wet.g) + tolerance_ * to.wetting.g + walls) * (1 + kRounding);
  }
  return true;
}

bool RunBounds::flat_between(std::size_t p, double a, double c) const {
  const List<Wet>& wet = parts_[p].wet;
  if (wet.key.empty() || wet.sums.back().flat == 0) return false;  // no level segment at all, as most subdivisions
  return wet.upto(c).flat > wet.upto(a).flat;
}

}  // namespace normlevel
