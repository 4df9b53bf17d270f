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

void RunBounds::List::add(double at, double dx, double dx_z, double length, double w, double zl, double g) {
  const Sums& b = sums.back();
  key.push_back(at);
  sums.push_back({b.dx + dx, b.dx_z + dx_z, b.length + length, b.w + w, b.w_z + w * zl, b.w_z2 + w * zl * zl, b.g + g,
                  b.g_z + g * zl});
}

const RunBounds::Sums& RunBounds::List::upto(double h) const {
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
    for (List* list : {&part.wetting, &part.wet}) {
      list->key.reserve(segments);
      list->sums.reserve(segments + 1);
    }
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
        part.wetting.add(z, dx, 0, 0, w, zl, g);
      } else {
        part.wet.add(z, dx, dx * 0.5 * (zl + zu), d.length[i], w, zl, g);
      }
    }
  }
}

// A = sum over the wholly wet of dx (h - zm) plus over the rest wet in part
// of w (h - zl)^2; P alike. Each with a bound on its rounding: the terms'
// magnitudes times the sums' length, and the elevations' own rounding from zmin.
RunBounds::Water RunBounds::water_at(const Part& part, double h) const {
  const Sums& in = part.wetting.upto(h);
  const Sums& full = part.wet.upto(h);
  const double t = h - origin_;
  const double A = t * full.dx - full.dx_z + t * t * (in.w - full.w) - 2 * t * (in.w_z - full.w_z) + (in.w_z2 - full.w_z2);
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
  out.assign(parts_.size(), EnergyRange{});
  for (std::size_t p = 0; p < parts_.size(); ++p) {
    const Part& part = parts_[p];
    EnergyRange& range = out[p];
    range.holds_water = !part.wetting.key.empty() && part.wetting.key.front() <= c;
    if (!range.holds_water) continue;
    const Water low = water_at(part, a), high = water_at(part, c);
    WaterRange& water = range.water;
    water.low_A = std::max(0.0, (low.A - low.A_error) * (1 - kRounding));
    water.high_A = (high.A + high.A_error) * (1 + kRounding);
    water.high_P = (high.P + high.P_error + wall_height(part, c)) * (1 + kRounding);
    water.high_R = (c - origin_ - part.lowest) * (1 + kRounding) + tolerance_ * (c - origin_);
    const double low_P = (low.P - low.P_error + wall_height(part, a)) * (1 - kRounding);
    if (d_.rules != Rules::model || d_.parts[p].zone == kChannel)
      if (low_P > 0) water.high_R = std::min(water.high_R, water.high_A / low_P);
    const Sums& in = part.wetting.upto(c);
    range.high_B = in.dx * (1 + kRounding);
    const Sums& full = part.wet.upto(a);
    const double walls = (part.walls_low && d_.z[1] <= c ? 1 : 0) + (part.walls_high && d_.z[d_.N] <= c ? 1 : 0);
    range.dP = ((in.g - full.g) + tolerance_ * in.g + walls) * (1 + kRounding);
  }
  return true;
}

}  // namespace normlevel
