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
const Sums& RunBounds::List<Sums>::upto(double h, std::size_t below) const {
  if (!before.empty()) return sums[before[below]];
  return sums[static_cast<std::size_t>(std::upper_bound(key.begin(), key.end(), h) - key.begin())];
}

namespace {

// Each segment at the place in `order` of its lower end, and of its upper
// end: two places a point, its segment to the left first, as the sweep
// meets them; 0 where a point ends no segment so. A level segment's lower
// end is its first point.
struct EndPlaces {
  std::vector<std::int32_t> lower, upper;
};

EndPlaces end_places(const CrossSection& d, std::span<const std::pair<double, std::int32_t>> order) {
  std::vector<std::uint32_t> rank(static_cast<std::size_t>(d.N) + 1);
  for (std::size_t k = 0; k < order.size(); ++k)
    rank[static_cast<std::size_t>(order[k].second)] = static_cast<std::uint32_t>(k);
  EndPlaces ends{std::vector<std::int32_t>(2 * order.size()), std::vector<std::int32_t>(2 * order.size())};
  const auto place = [&](std::int32_t point, std::int32_t i) {  // segment i is to the right of its first point
    return 2 * static_cast<std::size_t>(rank[static_cast<std::size_t>(point)]) + (point == i ? 1 : 0);
  };
  for (std::int32_t i = 1; i < d.N; ++i) {
    const bool rises = d.z[i] <= d.z[i + 1];
    ends.lower[place(rises ? i : i + 1, i)] = i;
    ends.upper[place(rises ? i + 1 : i, i)] = i;
  }
  return ends;
}

// The places in `places` that hold a segment, each subdivision's together
// from its `start` on, in their order. Without a branch on each place: an
// empty one is written past its subdivision's so far (each has room for
// one more) and then written over.
std::vector<std::uint32_t> by_part(std::span<const std::int32_t> places, std::span<const std::size_t> part_of,
                                   std::vector<std::size_t> start, std::size_t size) {
  std::vector<std::uint32_t> out(size);
  for (std::size_t k = 0; k < places.size(); ++k) {
    const std::int32_t i = places[k];
    std::size_t& next = start[part_of[static_cast<std::size_t>(i)]];
    out[next] = static_cast<std::uint32_t>(k);
    next += i != 0 ? 1 : 0;
  }
  return out;
}

// Lists a table each of how many they hold below each point, where all the
// tables together hold no more than this.
constexpr std::size_t kMostTabled = std::size_t{1} << 17;

}  // namespace

// Elevations are taken from zmin, so that the sums hold no more than the
// section's height to the second power. A segment enters the list of its
// subdivision's getting wet at its lower end, and the list of its wholly
// wet at its upper end (a level one at once), in the order the sweep
// passes its points.
RunBounds::RunBounds(const CrossSection& d, std::span<const std::pair<double, std::int32_t>> order,
                     std::span<const std::size_t> part_of, std::span<const SegmentSlope> slopes, bool tables)
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
  const EndPlaces ends = end_places(d, order);
  const std::vector<std::uint32_t> lower = by_part(ends.lower, part_of, start, size);
  const std::vector<std::uint32_t> upper = by_part(ends.upper, part_of, start, size);
  tables_ = tables && 2 * parts_.size() * (order.size() + 1) <= kMostTabled;
  const std::size_t table = tables_ ? order.size() + 1 : 0;
  keys_.reset(new double[2 * size]);  // left unset: each is written before it is read
  wetting_sums_.reset(new Wetting[size]);
  wet_sums_.reset(new Wet[size]);
  before_.resize(2 * parts_.size() * table);
  for (std::size_t p = 0; p < parts_.size(); ++p) {
    Part& part = parts_[p];
    part.wetting = {{keys_.get() + start[p], count[p]}, {wetting_sums_.get() + start[p], count[p] + 1},
                    {before_.data() + 2 * p * table, table}};
    part.wet = {{keys_.get() + size + start[p], count[p]}, {wet_sums_.get() + start[p], count[p] + 1},
                {before_.data() + (2 * p + 1) * table, table}};
    part.wetting.sums[0] = Wetting{};
    part.wet.sums[0] = Wet{};
    const std::span<const std::uint32_t> wetting(lower.data() + start[p], count[p]);
    const std::span<const std::uint32_t> wet(upper.data() + start[p], count[p]);
    fill(part, wetting, wet, ends.lower, ends.upper, slopes);
  }
}

// A subdivision's lists from the places of its segments' lower ends and
// upper ends, in order.
void RunBounds::fill(Part& part, std::span<const std::uint32_t> wetting, std::span<const std::uint32_t> wet,
                     std::span<const std::int32_t> lower, std::span<const std::int32_t> upper,
                     std::span<const SegmentSlope> slopes) {
  const CrossSection& d = d_;
  if (tables_) {
    count_before(part.wetting, wetting);
    count_before(part.wet, wet);
  }
  for (const std::uint32_t place : wetting) {
    const std::int32_t i = lower[place];
    const double low = std::min(d.z[i], d.z[i + 1]), zl = low - origin_;
    const SegmentSlope& slope = slopes[static_cast<std::size_t>(i)];
    const double w = slope.half, g = slope.grow, w_z = w * zl, w_z2 = w_z * zl;
    part.lowest = std::min(part.lowest, zl);
    part.wetting.add(low, {d.x[i + 1] - d.x[i], w, w_z, w_z2, w_z2 * zl, g, g * zl});
  }
  for (const std::uint32_t place : wet) {
    const std::int32_t i = upper[place];
    const double high = std::max(d.z[i], d.z[i + 1]), zl = std::min(d.z[i], d.z[i + 1]) - origin_, zu = high - origin_;
    const double dx = d.x[i + 1] - d.x[i];
    const SegmentSlope& slope = slopes[static_cast<std::size_t>(i)];
    const double w = slope.half, g = slope.grow;
    if (zu > zl) {
      const double w_z = w * zl, w_u = w * zu, w_u2 = w_u * zu;
      part.wet.add(high, {dx, dx * 0.5 * (zl + zu), d.length[i], w, w_z, w_z * zl, g, g * zl, w_u, w_u2, w_u2 * zu, 0, 0, 0});
    } else {
      part.wet.add(high, {dx, dx * zl, d.length[i], 0, 0, 0, 0, 0, 0, 0, 0, dx, dx * zl, dx * zl * zl});
    }
  }
}

// The k-th point in order is at places 2k and 2k + 1.
template <class Sums>
void RunBounds::count_before(List<Sums>& list, std::span<const std::uint32_t> places) const {
  const std::span<std::uint32_t> before = list.before;
  for (const std::uint32_t place : places) ++before[place / 2 + 1];
  for (std::size_t k = 1; k < before.size(); ++k) before[k] += before[k - 1];
}

std::size_t points_upto(std::span<const std::pair<double, std::int32_t>> order, double h) {
  return static_cast<std::size_t>(
      std::upper_bound(order.begin(), order.end(), h, [](double v, const auto& p) { return v < p.first; }) -
      order.begin());
}

// What the tables are looked up by; nothing where there are none.
std::size_t RunBounds::tabled_upto(double h) const { return tables_ ? points_upto(order_, h) : 0; }

// A = sum over the wholly wet of dx (h - zm) plus over the rest wet in part
// of w (h - zl)^2; P alike. Each with a bound on its rounding: the terms'
// magnitudes times the sums' length, and the elevations' own rounding from zmin.
RunBounds::Level RunBounds::level(const Part& part, double h, std::size_t below) const {
  return {part.wetting.upto(h, below), part.wet.upto(h, below), h - origin_};
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
  const std::size_t below_a = tabled_upto(a), below_c = tabled_upto(c);
  for (std::size_t p = 0; p < parts_.size(); ++p) {
    const Part& part = parts_[p];
    EnergyRange& range = out[p] = EnergyRange{};
    range.holds_water = !part.wetting.key.empty() && part.wetting.key.front() <= c;
    if (!range.holds_water) continue;
    const Level from = level(part, a, below_a), to = level(part, c, below_c);
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
  if (wet.key.empty() || wet.sums.back().flat == 0) return false;  // no level segment at all, as most subdivisions
  return wet.upto(c, tabled_upto(c)).flat > wet.upto(a, tabled_upto(a)).flat;
}

}  // namespace normlevel
