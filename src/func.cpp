#include "func.h"

#include <cmath>
#include <limits>

#include "CSdata.h"

namespace normlevel {

namespace {

// A floodplain wetted over no more than this counts as dry.
constexpr double ZERO = static_cast<double>(1e-10f);

// The wetted geometry of the latest level; kept between calls.
double AL = 0, A0 = 0, AP = 0, PL = 0, P0 = 0, PP = 0;

double floodplain_radius(double A, double P) { return std::fabs(P) <= ZERO ? 0.0 : A / P; }

}  // namespace

double radius_power(double R) {
  if (std::isnan(R)) return 1.0;
  if (R == 0) return 0.0;
  if (R < 0) return std::numeric_limits<double>::quiet_NaN();
  return std::pow(R, kManningExponent);
}

double func(double h) {
  basichydro(h, AL, A0, AP, PL, P0, PP);
  const double RL = floodplain_radius(AL, PL);
  const double R0 = A0 / P0;
  const double RP = floodplain_radius(AP, PP);
  const double root_s = std::sqrt(CSDATA.s);
  const double QL = radius_power(RL) * (root_s / CSDATA.nf) * AL;
  const double Q0 = radius_power(R0) * (root_s / CSDATA.nc) * A0;
  const double QP = radius_power(RP) * (root_s / CSDATA.nf) * AP;
  return CSDATA.Q - QL - Q0 - QP;
}

}  // namespace normlevel
