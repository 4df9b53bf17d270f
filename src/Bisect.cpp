#include "Bisect.h"

#include <cmath>

namespace normlevel {

bool sign_change(double a, double b) { return !((a > 0 && b > 0) || (a < 0 && b < 0)); }

namespace {

bool opposite_signs(double a, double b) { return (a < 0 && b > 0) || (a > 0 && b < 0); }

}  // namespace

std::int32_t localroot(double& a, double& b, double fin, Function f) {
  const double DX = b;
  double FA = f(a);
  b = a + DX;
  double FB = f(b);
  for (;;) {
    if (sign_change(FA, FB)) return 1;
    if (!((DX > 0 && b < fin) || (DX < 0 && b > fin))) return 0;
    a = b;
    FA = FB;
    b = b + DX;
    FB = f(b);
  }
}

double bis(double& a, double& b, Function f, double eps) {
  double FA = f(a);
  do {
    const double c = 0.5 * (a + b);
    const double FC = f(c);
    if (opposite_signs(FA, FC)) {
      b = c;
    } else {
      a = c;
      FA = FC;
    }
  } while (std::fabs(a - b) > eps);
  return 0.5 * (a + b);
}

}  // namespace normlevel
