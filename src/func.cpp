#include "func.h"

#include <cmath>
#include <limits>

#include "CSdata.h"

namespace normlevel {

namespace {

constexpr double ZERO = kDryPerimeter;

// The wetted geometry of the latest level; kept between calls.
double AL = 0, A0 = 0, AP = 0, PL = 0, P0 = 0, PP = 0;

double floodplain_radius(double A, double P) { return std::fabs(P) <= ZERO ? 0.0 : A / P; }

// Velocity first, then times the area: the order the discharge is rounded in.
ZoneFlow zone_flow(double R, double n, double A) {
  const double V = radius_power(R) * (std::sqrt(CSDATA.s) / n);
  return {R, V, V * A};
}

}  // namespace

double radius_power(double R) {
  if (std::isnan(R)) return 1.0;
  if (R == 0) return 0.0;
  if (R < 0) return std::numeric_limits<double>::quiet_NaN();
  return std::pow(R, kManningExponent);
}

ZoneFlow floodplain_flow(double A, double P) { return zone_flow(floodplain_radius(A, P), CSDATA.nf, A); }

ZoneFlow channel_flow(double A, double P) { return zone_flow(A / P, CSDATA.nc, A); }

double func(double h) {
  basichydro(h, AL, A0, AP, PL, P0, PP);
  const double QL = floodplain_flow(AL, PL).Q;
  const double Q0 = channel_flow(A0, P0).Q;
  const double QP = floodplain_flow(AP, PP).Q;
  return CSDATA.Q - QL - Q0 - QP;
}

}  // namespace normlevel
