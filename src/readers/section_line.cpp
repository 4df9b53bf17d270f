#include "readers/section_line.h"

#include <cmath>

#include "base/Failure.h"

namespace normlevel {

namespace {

struct Direction {
  double e, n;
};

// The principal axis of the points' scatter about their centroid: the line
// the perpendicular distances are least from. Coordinates run to millions
// of metres, so the scatter is summed about the centroid, not the origin.
// Spreads so wide that their squares would overflow are scaled down by a
// power of two first: the angle is the same, and no rounding changes.
Direction principal_axis(const std::vector<double>& e, const std::vector<double>& n, double ce, double cn) {
  double widest = 0;
  for (std::size_t i = 0; i < e.size(); ++i)
    widest = std::fmax(widest, std::fmax(std::fabs(e[i] - ce), std::fabs(n[i] - cn)));
  const double scale = widest > 0x1p500 && std::isfinite(widest) ? std::ldexp(1.0, -std::ilogb(widest)) : 1.0;
  double see = 0, snn = 0, sen = 0;
  for (std::size_t i = 0; i < e.size(); ++i) {
    const double de = (e[i] - ce) * scale, dn = (n[i] - cn) * scale;
    see += de * de;
    snn += dn * dn;
    sen += de * dn;
  }
  if (see + snn == 0) throw Failure(kRunTimeError, "the points all stand at one place: no section line runs through them", "");
  const double angle = 0.5 * std::atan2(2 * sen, see - snn);
  return {std::cos(angle), std::sin(angle)};
}

double mean(const std::vector<double>& values) {
  double sum = 0;
  for (const double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}

}  // namespace

SectionLine project_on_fitted_line(const std::vector<double>& easting, const std::vector<double>& northing) {
  const double ce = mean(easting), cn = mean(northing);
  Direction d = principal_axis(easting, northing, ce, cn);
  // Stations grow from the first point surveyed towards the last.
  const std::size_t last = easting.size() - 1;
  if ((easting[last] - easting[0]) * d.e + (northing[last] - northing[0]) * d.n < 0) d = {-d.e, -d.n};
  SectionLine line;
  line.stations.reserve(easting.size());
  for (std::size_t i = 0; i < easting.size(); ++i) {
    line.stations.push_back((easting[i] - easting[0]) * d.e + (northing[i] - northing[0]) * d.n);
    const double off = std::fabs((northing[i] - cn) * d.e - (easting[i] - ce) * d.n);
    if (off > line.farthest) {
      line.farthest = off;
      line.farthest_point = i;
    }
  }
  return line;
}

}  // namespace normlevel
