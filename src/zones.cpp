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

struct Zones {
  ZoneFigures left, channel, right;
};

Zones zones_at(double h) {
  double AL = 0, A0 = 0, AP = 0, PL = 0, P0 = 0, PP = 0, BL = 0, B0 = 0, BP = 0;
  basichydro(h, AL, A0, AP, PL, P0, PP);
  topwidths(h, BL, B0, BP);
  return {zone(AL, PL, BL, floodplain_flow(AL, PL)), zone(A0, P0, B0, channel_flow(A0, P0)),
          zone(AP, PP, BP, floodplain_flow(AP, PP))};
}

ZoneFigures sum(const Zones& z) {
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

double discharge_carried(double h) { return sum(zones_at(h)).discharge; }

Breakdown breakdown(double h) {
  const Zones z = zones_at(h);
  Breakdown b{z.left, z.channel, z.right, sum(z)};
  for (ZoneFigures* figures : {&b.left, &b.channel, &b.right, &b.total})
    figures->share = ratio(figures->discharge, b.total.discharge);
  b.froude_channel = froude(b.channel.velocity, b.channel.area, b.channel.top_width);
  b.froude_section = froude(b.total.velocity, b.total.area, b.total.top_width);
  b.bankfull_level = std::min(CSDATA.z[CSDATA.il], CSDATA.z[CSDATA.ip]);
  b.bankfull_discharge = discharge_carried(b.bankfull_level);
  return b;
}

}  // namespace normlevel
