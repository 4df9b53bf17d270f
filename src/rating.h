#pragma once

// The rating table of a section: what it carries at evenly spaced
// levels from its lowest point up, and how that splits between the zones.

#include <vector>

#include "results.h"

namespace normlevel {

/// The most rows a rating table may have.
inline constexpr std::size_t kMostRatingRows = 100000;

/// zmin + k * step for k = 1, 2, ... up to and including the first level at
/// or above zmax; UsageError when that would be more than kMostRatingRows.
///   (100, 103, 1) -> 101 102 103     (100, 103, 2) -> 102 104
std::vector<double> rating_levels(double zmin, double zmax, double step);

/// The rows of section d for the levels of rating_levels: of every wet
/// segment, or only of the water connected to the channel's.
RatingTable rating_table(const CrossSection& d, double step, bool connected = false);

}  // namespace normlevel
