#pragma once

// The rating table of a section: what it carries at evenly spaced
// levels from its lowest point up, and how that splits between the zones.

#include <cstddef>
#include <vector>

#include "results/results.h"

namespace normlevel {

/// The most rows a rating table may have.
inline constexpr std::size_t kMostRatingRows = 100000;

/// zmin + k * step for k = 1, 2, ... up to and including the first level at
/// or above zmax; a Failure when that would be more than kMostRatingRows.
///   (100, 103, 1) -> 101 102 103     (100, 103, 2) -> 102 104
std::vector<double> rating_levels(double zmin, double zmax, double step);

/// How many subdivisions' geometries a rating table holds at once at most:
/// its levels are worked out in batches of this many over the subdivisions.
inline constexpr std::size_t kRatingBatchEntries = std::size_t{1} << 16;

/// The rows of section d for the levels of rating_levels: of every wet
/// segment, or only of the water connected to the channel's. The rows are
/// the same for any `batch_entries`.
RatingTable rating_table(const CrossSection& d, double step, bool connected = false,
                         std::size_t batch_entries = kRatingBatchEntries);

}  // namespace normlevel
