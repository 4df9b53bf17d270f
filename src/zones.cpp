#include "zones.h"

#include <algorithm>
#include <cmath>

#include "CSdata.h"
#include "func.h"

namespace normlevel {

namespace {

double ratio(double numerator, double divisor) { return divisor == 0 ? 0 : numerator / divisor; }

double froude(double velocity, double area, double top_width) {
  const double hydraulic_depth = ratio(area, top_width);
  return hydraulic_depth == 0 ? 0 : velocity / std::sqrt(kGravity * hydraulic_depth);
}

// A dry zone keeps its (zero) geometry and carries nothing; the balance's
// NaN radius of a dry channel must not reach the figures.
ZoneFigures zone(double A, double P, double B, ZoneFlow flow) {
  if (P == 0) return {A, P, 0, B, 0, 0, 0};
  return {A, P, flow.R, B, flow.V, flow.Q, 0};
}

ZoneFigures floodplain(const ZoneGeometry& g) { return zone(g.A, g.P, g.B, floodplain_flow(g.A, g.P)); }

SectionGeometry geometry_at(double h) {
  SectionGeometry g;
  basichydro(h, g.left.A, g.channel.A, g.right.A, g.left.P, g.channel.P, g.right.P);
  topwidths(h, g.left.B, g.channel.B, g.right.B);
  return g;
}

ZoneFigures sum(const Breakdown& z) {
  ZoneFigures total;
  total.area = z.left.area + z.channel.area + z.right.area;
  total.perimeter = z.left.perimeter + z.channel.perimeter + z.right.perimeter;
  total.radius = ratio(total.area, total.perimeter);
  total.top_width = z.left.top_width + z.channel.top_width + z.right.top_width;
  total.discharge = z.left.discharge + z.channel.discharge + z.right.discharge;
  total.velocity = ratio(total.discharge, total.area);
  return total;
}

}  // namespace

Breakdown flow_split(const SectionGeometry& g) {
  Breakdown b;
  b.left = floodplain(g.left);
  b.channel = zone(g.channel.A, g.channel.P, g.channel.B, channel_flow(g.channel.A, g.channel.P));
  b.right = floodplain(g.right);
  b.total = sum(b);
  for (ZoneFigures* figures : {&b.left, &b.channel, &b.right, &b.total})
    figures->share = ratio(figures->discharge, b.total.discharge);
  b.froude_channel = froude(b.channel.velocity, b.channel.area, b.channel.top_width);
  b.froude_section = froude(b.total.velocity, b.total.area, b.total.top_width);
  return b;
}

double discharge_carried(double h) { return flow_split(geometry_at(h)).total.discharge; }

Breakdown breakdown(double h) {
  Breakdown b = flow_split(geometry_at(h));
  b.bankfull_level = std::min(CSDATA.z[CSDATA.il], CSDATA.z[CSDATA.ip]);
  b.bankfull_discharge = discharge_carried(b.bankfull_level);
  return b;
}

}  // namespace normlevel
