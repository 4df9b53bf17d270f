#include "func.h"

#include <cmath>
#include <vector>

#include "power.h"

namespace normlevel {

namespace {

constexpr double ZERO = kDryPerimeter;

// The wetted geometry of the latest level: kept between calls, one per thread.
thread_local std::vector<PartGeometry> latest;

double floodplain_radius(double A, double P) { return std::fabs(P) <= ZERO ? 0.0 : A / P; }

// Velocity first, then times the area: the order the discharge is rounded in.
ZoneFlow flow_of(const CrossSection& d, double R, double n, double A) {
  const double V = radius_power(R) * (d.units->k * std::sqrt(d.s) / n);
  return {R, V, V * A};
}

}  // namespace

double radius_power(double R) {
  return std::isnan(R) ? 1.0 : manning_power(R);
}

ZoneFlow part_flow(const CrossSection& d, const Subdivision& part, double A, double P) {
  const double R = part.zone == kChannel ? A / P : floodplain_radius(A, P);
  return flow_of(d, R, roughness_of(d, part), A);
}

ZoneFlow part_flow(const CrossSection& d, const Subdivision& part, const PartGeometry& g) {
  if (std::isnan(g.conveying)) return part_flow(d, part, g.A, g.P);
  const double Q = g.conveying * (d.units->k * std::sqrt(d.s) / roughness_of(d, part));
  return {g.A / g.P, g.A == 0 ? 0 : Q / g.A, Q};
}

ZoneFlow zone_flow(const CrossSection& d, Zone zone, std::span<const PartGeometry> geometry) {
  const std::vector<Subdivision>& parts = d.parts;
  double A = 0, P = 0, Q = 0;
  int count = 0;
  ZoneFlow only{0, 0, 0};
  for (std::size_t p = 0; p < parts.size(); ++p) {
    if (parts[p].zone != zone) continue;
    only = part_flow(d, parts[p], geometry[p]);
    A += geometry[p].A;
    P += geometry[p].P;
    Q += only.Q;
    ++count;
  }
  if (P == 0) return {0, 0, 0};
  if (count == 1) return only;
  return {A / P, A == 0 ? 0 : Q / A, Q};
}

namespace {

double balance_in(const CrossSection& d, double discharge, double h, SegmentWindow window) {
  const std::vector<Subdivision>& parts = d.parts;
  std::vector<PartGeometry>& geometry = latest;
  if (geometry.size() != parts.size()) geometry.assign(parts.size(), PartGeometry{});
  wetted_areas(d, h, geometry, window);
  double Q[3] = {0, 0, 0};
  for (std::size_t p = 0; p < parts.size(); ++p) Q[parts[p].zone] += part_flow(d, parts[p], geometry[p]).Q;
  return discharge - Q[kLeft] - Q[kChannel] - Q[kRight];
}

}  // namespace

double balance(const CrossSection& d, double Q, double h) { return balance_in(d, Q, h, {}); }

double connected_balance(const CrossSection& d, double Q, double h) {
  return balance_in(d, Q, h, connected_window(d, h));
}

double func(double h) { return balance(CSDATA, CSDATA.Q, h); }

}  // namespace normlevel
