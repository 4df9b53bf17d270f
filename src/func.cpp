#include "func.h"

#include <cmath>
#include <vector>

#include "power.h"

namespace normlevel {

namespace {

constexpr double ZERO = kDryPerimeter;

// The wetted geometry of the latest level; kept between calls.
std::vector<PartGeometry> latest;

double floodplain_radius(double A, double P) { return std::fabs(P) <= ZERO ? 0.0 : A / P; }

// Velocity first, then times the area: the order the discharge is rounded in.
ZoneFlow flow_of(double R, double n, double A) {
  const double V = radius_power(R) * (CSDATA.units->k * std::sqrt(CSDATA.s) / n);
  return {R, V, V * A};
}

}  // namespace

double radius_power(double R) {
  return std::isnan(R) ? 1.0 : manning_power(R);
}

ZoneFlow part_flow(const Subdivision& part, double A, double P) {
  const double R = part.zone == kChannel ? A / P : floodplain_radius(A, P);
  return flow_of(R, roughness_of(part), A);
}

ZoneFlow zone_flow(Zone zone, std::span<const PartGeometry> geometry) {
  const std::vector<Subdivision>& parts = CSDATA.parts;
  double A = 0, P = 0, Q = 0;
  int count = 0;
  ZoneFlow only{0, 0, 0};
  for (std::size_t p = 0; p < parts.size(); ++p) {
    if (parts[p].zone != zone) continue;
    only = part_flow(parts[p], geometry[p].A, geometry[p].P);
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

double balance_in(double h, SegmentWindow window) {
  const std::vector<Subdivision>& parts = CSDATA.parts;
  if (latest.size() != parts.size()) latest.assign(parts.size(), PartGeometry{});
  wetted_areas(h, latest, window);
  double Q[3] = {0, 0, 0};
  for (std::size_t p = 0; p < parts.size(); ++p) Q[parts[p].zone] += part_flow(parts[p], latest[p].A, latest[p].P).Q;
  return CSDATA.Q - Q[kLeft] - Q[kChannel] - Q[kRight];
}

}  // namespace

double func(double h) { return balance_in(h, {}); }

double connected_func(double h) { return balance_in(h, connected_window(h)); }

}  // namespace normlevel
