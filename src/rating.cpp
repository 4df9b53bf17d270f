#include "rating.h"

#include "CSdata.h"
#include "Failure.h"
#include "command_line.h"
#include "zones.h"

namespace normlevel {

namespace {

[[noreturn]] void too_many_rows(double step) {
  throw UsageError("option '--rating': a step of " + shortest_real(step) + " gives more than " +
                   std::to_string(kMostRatingRows) + " rows");
}

// Every subdivision's geometry at every level is held at once: refuse a table
// that would take more than this rather than run out halfway.
constexpr std::size_t kMostRatingBytes = std::size_t{1} << 30;

void check_rating_size(std::size_t rows, std::size_t parts) {
  const double bytes = static_cast<double>(rows) * static_cast<double>(parts) * sizeof(PartGeometry);
  if (bytes <= static_cast<double>(kMostRatingBytes)) return;
  const std::string words = "a rating of " + std::to_string(rows) + " rows x " + std::to_string(parts) +
                            " subdivisions needs " + std::to_string(static_cast<long long>(bytes / 1048576)) +
                            " MB, more than the 1024 MB allowed; take a larger step";
  throw Failure(kRunTimeError, words, "");
}

RatingRow row_at(double level, double zmin, const Breakdown& b) {
  return {level,
          level - zmin,
          b.total.area,
          b.total.top_width,
          b.left.discharge,
          b.channel.discharge,
          b.right.discharge,
          b.total.discharge,
          b.channel.velocity};
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
RatingTable rating_table(const CrossSection& d, double step, bool connected) {
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
  const std::size_t parts = d.parts.size();
  check_rating_size(levels.size(), parts);
  const std::vector<PartGeometry> geometry = geometry_at_levels(d, levels);
  for (std::size_t k = 0; k < levels.size(); ++k)
    table.rows.push_back(row_at(levels[k], d.zmin, flow_split(d, std::span(geometry).subspan(k * parts, parts))));
  return table;
}

}  // namespace normlevel
