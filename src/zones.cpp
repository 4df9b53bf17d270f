#include "zones.h"

#include <algorithm>
#include <cmath>

#include "func.h"

namespace normlevel {

namespace {

double ratio(double numerator, double divisor) { return divisor == 0 ? 0 : numerator / divisor; }

double froude(const CrossSection& d, double velocity, double area, double top_width) {
  const double hydraulic_depth = ratio(area, top_width);
  return hydraulic_depth == 0 ? 0 : velocity / std::sqrt(d.units->g * hydraulic_depth);
}

PartFigures part_figures(const CrossSection& d, const Subdivision& part, const PartGeometry& g) {
  const double n = roughness_of(d, part);
  const ZoneFlow flow = part_flow(d, part, g);
  const bool dry = g.P == 0;  // a conveyance whatever the slope: --solve slope starts from a slope of 0 too
  const double conveyance = dry                      ? 0
                            : std::isnan(g.conveying) ? radius_power(flow.R) * (d.units->k / n) * g.A
                                                      : (d.units->k / n) * g.conveying;
  return {d.x[part.first], d.x[part.last + 1], n, g.A, g.P, g.B, dry ? 0 : flow.Q, conveyance};
}

// A zone's geometry is its subdivisions' summed; its flow as the balance
// takes it. A dry zone keeps its (zero) geometry and carries nothing.
ZoneFigures zone(const CrossSection& d, Zone which, std::span<const PartGeometry> geometry) {
  ZoneFigures z;
  const std::vector<Subdivision>& parts = d.parts;
  for (std::size_t p = 0; p < parts.size(); ++p) {
    if (parts[p].zone != which) continue;
    z.parts.push_back(part_figures(d, parts[p], geometry[p]));
    z.area += geometry[p].A;
    z.perimeter += geometry[p].P;
    z.top_width += geometry[p].B;
    z.conveyance += z.parts.back().conveyance;
  }
  const ZoneFlow flow = zone_flow(d, which, geometry);
  z.radius = flow.R;
  z.velocity = flow.V;
  z.discharge = flow.Q;
  return z;
}

ZoneFigures sum(const Breakdown& z) {
  ZoneFigures total;
  total.area = z.left.area + z.channel.area + z.right.area;
  total.perimeter = z.left.perimeter + z.channel.perimeter + z.right.perimeter;
  total.radius = ratio(total.area, total.perimeter);
  total.top_width = z.left.top_width + z.channel.top_width + z.right.top_width;
  total.discharge = z.left.discharge + z.channel.discharge + z.right.discharge;
  total.velocity = ratio(total.discharge, total.area);
  total.conveyance = z.left.conveyance + z.channel.conveyance + z.right.conveyance;
  return total;
}

void add_shear(const CrossSection& d, ZoneFigures& z) {
  z.shear = d.units->gamma * z.radius * d.s;
  z.stream_power = z.shear * z.velocity;
}

}  // namespace

std::vector<PartGeometry> geometry_within(const CrossSection& d, double h, SegmentWindow window) {
  std::vector<PartGeometry> geometry(d.parts.size());
  wetted_parts(d, h, geometry, window);
  return geometry;
}

std::vector<PartGeometry> geometry_at(const CrossSection& d, double h, bool connected) {
  return geometry_within(d, h, connected ? connected_window(d, h) : SegmentWindow{});
}

const ZoneFigures& zone_of(const Breakdown& b, int which) {
  const ZoneFigures* zones[] = {&b.left, &b.channel, &b.right, &b.total};
  return *zones[which];
}

Breakdown flow_split(const CrossSection& d, std::span<const PartGeometry> geometry) {
  Breakdown b;
  b.left = zone(d, kLeft, geometry);
  b.channel = zone(d, kChannel, geometry);
  b.right = zone(d, kRight, geometry);
  b.total = sum(b);
  for (ZoneFigures* figures : {&b.left, &b.channel, &b.right, &b.total}) {
    figures->share = ratio(figures->discharge, b.total.discharge);
    add_shear(d, *figures);
  }
  b.froude_channel = froude(d, b.channel.velocity, b.channel.area, b.channel.top_width);
  b.froude_section = froude(d, b.total.velocity, b.total.area, b.total.top_width);
  return b;
}

double discharge_carried(const CrossSection& d, double h, bool connected) {
  return flow_split(d, geometry_at(d, h, connected)).total.discharge;
}

double discharge_within(const CrossSection& d, double h, SegmentWindow window) {
  return flow_split(d, geometry_within(d, h, window)).total.discharge;
}

Breakdown breakdown(const CrossSection& d, double h, bool connected) {
  return breakdown(d, geometry_at(d, h, connected), connected);
}

Breakdown breakdown(const CrossSection& d, std::span<const PartGeometry> geometry, bool connected) {
  Breakdown b = flow_split(d, geometry);
  b.bankfull_level = std::min(d.z[d.il], d.z[d.ip]);
  b.bankfull_discharge = discharge_carried(d, b.bankfull_level, connected);
  return b;
}

}  // namespace normlevel
