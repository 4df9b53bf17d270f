#pragma once

// The flow split between the zones of a section at one level:
// what each zone and each of its subdivisions carries, the Froude numbers
// and the bankfull figures.

#include <span>
#include <vector>

#include "CSdata.h"

namespace normlevel {

/// One subdivision's figures at a level (stations from, to; its n).
struct PartFigures {
  double from = 0, to = 0;  ///< stations of its first and last point
  double n = 0;             ///< Manning coefficient
  double area = 0, perimeter = 0, top_width = 0, discharge = 0;
  double conveyance = 0;  ///< k A R^(2/3) / n
};

/// One zone's figures at a level. A dry zone, or a floodplain wetted over
/// no more than 1e-10 m, has radius, velocity and discharge 0.
struct ZoneFigures {
  double area = 0;       ///< wetted area, m2
  double perimeter = 0;  ///< wetted perimeter, m
  double radius = 0;     ///< hydraulic radius, m
  double top_width = 0;  ///< width of the water surface over the zone, m
  double velocity = 0;   ///< mean velocity, m/s
  double discharge = 0;  ///< m3/s
  double share = 0;      ///< the discharge's share of the total (0 ... 1)
  double conveyance = 0; ///< sum of its subdivisions' k A R^(2/3) / n: Q = K sqrt(s)
  double shear = 0;       ///< mean boundary shear gamma R s
  double stream_power = 0;  ///< shear times velocity, per unit of bed area
  std::vector<PartFigures> parts;  ///< its subdivisions, left to right (none for the total)
};

/// The whole breakdown at one level; every ratio whose divisor is 0 is 0.
struct Breakdown {
  ZoneFigures left, channel, right, total;
  double froude_channel = 0;      ///< V0 / sqrt(g A0 / B0)
  double froude_section = 0;      ///< (Q / A) / sqrt(g A / B)
  double bankfull_level = 0;      ///< the lower of the two bank elevations
  double bankfull_discharge = 0;  ///< what the section carries at that level
};

/// The zone of a breakdown: 0 left, 1 channel, 2 right, 3 total.
const ZoneFigures& zone_of(const Breakdown& b, int zone);

/// Section d's subdivisions' geometry at level h: of every wet segment, or
/// only of the water connected to the channel's.
std::vector<PartGeometry> geometry_at(const CrossSection& d, double h, bool connected = false);

/// The same of the segments of `window` alone.
std::vector<PartGeometry> geometry_within(const CrossSection& d, double h, SegmentWindow window);

/// What the three zones of d carry at level h, summed left, channel, right.
double discharge_carried(const CrossSection& d, double h, bool connected = false);

/// What the segments of `window` carry at level h, as if they were all.
double discharge_within(const CrossSection& d, double h, SegmentWindow window);

/// The flow split given the subdivisions' geometry at a level (in
/// d.parts order); no bankfull figures.
Breakdown flow_split(const CrossSection& d, std::span<const PartGeometry> geometry);

/// The breakdown of section d at level h.
Breakdown breakdown(const CrossSection& d, double h, bool connected = false);

/// The same from the subdivisions' geometry at the level, as geometry_at gives it.
Breakdown breakdown(const CrossSection& d, std::span<const PartGeometry> geometry, bool connected);

}  // namespace normlevel
