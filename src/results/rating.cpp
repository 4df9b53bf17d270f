#include "results/rating.h"

#include <algorithm>
#include <span>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "hydraulics/zones.h"

namespace normlevel {

namespace {

// The step suits one section and not another, so it is the section that
// fails: a batch goes on past it with --keep-going.
[[noreturn]] void too_many_rows(double step) {
  throw Failure(kRunTimeError, "option '--rating': a step of " + shortest_real(step) + " gives more than " +
                                   std::to_string(kMostRatingRows) + " rows",
                "");
}

RatingRow row_at(double level, double zmin, const Breakdown& b) {
  return {.level = level,
          .depth = level - zmin,
          .area = b.total.area,
          .top_width = b.total.top_width,
          .left_discharge = b.left.discharge,
          .channel_discharge = b.channel.discharge,
          .right_discharge = b.right.discharge,
          .discharge = b.total.discharge,
          .channel_velocity = b.channel.velocity};
}

// The rows at some of the levels, from their geometry in one pass.
void add_rows(const CrossSection& d, std::span<const double> levels, RatingTable& table) {
  const std::size_t parts = d.parts.size();
  const std::vector<PartGeometry> geometry = geometry_at_levels(d, levels);
  for (std::size_t k = 0; k < levels.size(); ++k)
    table.rows.push_back(row_at(levels[k], d.zmin, flow_split(d, std::span(geometry).subspan(k * parts, parts))));
}

}  // namespace

// Each level is a product, not a running sum, so that no rounding piles up.
std::vector<double> rating_levels(double zmin, double zmax, double step) {
  if ((zmax - zmin) / step > static_cast<double>(kMostRatingRows)) too_many_rows(step);
  std::vector<double> levels;
  for (double k = 1;; ++k) {
    if (levels.size() == kMostRatingRows) too_many_rows(step);
    levels.push_back(zmin + k * step);
    if (levels.back() >= zmax) return levels;
  }
}

// Connected water changes with the level: each level is taken alone.
RatingTable rating_table(const CrossSection& d, double step, bool connected, std::size_t batch_entries) {
  RatingTable table;
  table.units = d.units;
  table.slope_per_mille = d.s_per_mille;
  table.n = zone_roughness(d);
  const std::vector<double> levels = rating_levels(d.zmin, d.zmax, step);
  table.rows.reserve(levels.size());
  if (connected) {
    for (const double h : levels) table.rows.push_back(row_at(h, d.zmin, flow_split(d, geometry_at(d, h, true))));
    return table;
  }
  // A batch of levels at a time, so that a section of many subdivisions
  // needs no more memory for a fine table than for a coarse one.
  const std::size_t batch = std::max<std::size_t>(1, batch_entries / std::max<std::size_t>(d.parts.size(), 1));
  for (std::size_t first = 0; first < levels.size(); first += batch)
    add_rows(d, std::span(levels).subspan(first, std::min(batch, levels.size() - first)), table);
  return table;
}

}  // namespace normlevel
