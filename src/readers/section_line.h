#pragma once

// A cross-section surveyed as map points (easting, northing): the straight
// line that fits them best, and each point's station along it.

#include <cstddef>
#include <vector>

namespace normlevel {

/// The points' stations along their fitted line, and how far off it they lie.
struct SectionLine {
  std::vector<double> stations;  ///< from the first point's projection, towards the last point's
  double farthest = 0;           ///< the largest distance of a point from the line
  std::size_t farthest_point = 0;  ///< its index, 0-based
};

/// Projects the points onto the line of least perpendicular distances
/// (total least squares) through them. Throws Failure when the points all
/// stand at one place, where no line is defined.
///   (0,0) (3,4) (6,8) -> stations 0, 5, 10, farthest 0
SectionLine project_on_fitted_line(const std::vector<double>& easting, const std::vector<double>& northing);

}  // namespace normlevel
