#include "hydraulics/run_bounds.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
  return sums[static_cast<std::size_t>(std::upper_bound(key.begin(), key.end(), h) - key.begin())];
}

// Elevations are taken from zmin, so that the sums hold no more than the
// section's height to the second power. A segment enters the list of its
// subdivision's getting wet at its lower end, and the list of its wholly
// wet at its upper end (a level one at once).
RunBounds::RunBounds(const CrossSection& d, std::span<const std::pair<double, std::int32_t>> order,
                     std::span<const std::size_t> part_of, std::span<const SegmentSlope> slopes)
    : d_(d), origin_(d.zmin), span_(d.zmax - d.zmin), parts_(d.parts.size()) {
  tolerance_ = (static_cast<double>(d.N) + 64) * std::numeric_limits<double>::epsilon();
  for (std::size_t p = 0; p < d.parts.size(); ++p) {
    Part& part = parts_[p];
    const Subdivision& sub = d.parts[p];
    const auto segments = static_cast<std::size_t>(sub.last - sub.first + 1);
    part.wetting.key.reserve(segments);
    part.wetting.sums.reserve(segments + 1);
    part.wet.key.reserve(segments);
    part.wet.sums.reserve(segments + 1);
    part.lowest = std::numeric_limits<double>::infinity();
    part.walls_low = d.rules == Rules::model && sub.first == 1;
    part.walls_high = d.rules == Rules::model && sub.last == d.N - 1;
    for (std::int32_t i = sub.first; i <= sub.last; ++i) falls_back_ = falls_back_ || d.x[i + 1] < d.x[i];
  }
  for (const auto& [z, point] : order) {
    for (const std::int32_t i : {point - 1, point}) {
      if (i < 1 || i >= d.N) continue;
      const bool rises = d.z[i] <= d.z[i + 1];  // a level segment's lower end is its first point
      const bool lower_end = rises == (point == i);
      const double zl = (rises ? d.z[i] : d.z[i + 1]) - origin_, zu = (rises ? d.z[i + 1] : d.z[i]) - origin_;
      const double dx = d.x[i + 1] - d.x[i];
      const SegmentSlope& slope = slopes[static_cast<std::size_t>(i)];
      const double w = slope.half, g = slope.grow;
      Part& part = parts_[part_of[static_cast<std::size_t>(i)]];
      if (lower_end) {
        part.lowest = std::min(part.lowest, zl);
        part.wetting.add(z, {dx, w, w * zl, w * zl * zl, w * zl * zl * zl, g, g * zl});
      } else if (zu > zl) {
        part.wet.add(z, {dx, dx * 0.5 * (zl + zu), d.length[i], w, w * zl, w * zl * zl, g, g * zl, w * zu, w * zu * zu,
                         w * zu * zu * zu});
      } else {
        part.wet.add(z, {dx, dx * zl, d.length[i], 0, 0, 0, 0, 0, 0, 0, 0, dx, dx * zl, dx * zl * zl});
      }
    }
  }
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

// The integral of the depth squared across the water: 2/3 w (h - zl)^3 for
// a segment wet in part, less 2/3 w (h - zu)^3 once wholly wet, and
// dx (h - z)^2 for a level one; an upper bound, its rounding allowed for.
double RunBounds::depth_squared(const Level& at) const {
  const Wetting& in = at.wetting;
  const Wet& full = at.wet;
  const double t = at.t, t2 = t * t, t3 = t2 * t;
  const double cubes = (t3 * in.w - 3 * t2 * in.w_z + 3 * t * in.w_z2 - in.w_z3) -
                       (t3 * full.w - 3 * t2 * full.w_u + 3 * t * full.w_u2 - full.w_u3);
  const double squares = t2 * full.flat - 2 * t * full.flat_z + full.flat_z2;
  const double top = t + span_;
  const double size = top * top * top * (in.w + full.w) + top * top * full.flat;
  return 2.0 / 3.0 * cubes + squares + 8 * tolerance_ * size;
}

double RunBounds::wall_height(const Part& part, double h) const {
  double height = 0;
  if (part.walls_low) height += std::max(0.0, h - d_.z[1]);
  if (part.walls_high) height += std::max(0.0, h - d_.z[d_.N]);
  return height;
}

// A lumped subdivision holds no radius above its most area over its least
// perimeter; stretches of a floodplain's water none above their depth
// (A <= B depth and B <= P). Stretch m holds A_m, the integral of the depth
// over its width B_m <= P_m, so A_m R_m <= A_m^2 / B_m <= the integral of
// the depth squared: that over the least area bounds their mean radius.
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
    if (water.low_A > 0) range.mean_R = depth_squared(to) * (1 + kRounding) / water.low_A;
    const double walls = (part.walls_low && d_.z[1] <= c ? 1 : 0) + (part.walls_high && d_.z[d_.N] <= c ? 1 : 0);
    range.dP = ((to.wetting.g - from.wet.g) + tolerance_ * to.wetting.g + walls) * (1 + kRounding);
  }
  return true;
}

bool RunBounds::flat_between(std::size_t p, double a, double c) const {
  const List<Wet>& wet = parts_[p].wet;
  return wet.upto(c).flat > wet.upto(a).flat;
}

}  // namespace normlevel
