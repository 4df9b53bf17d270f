#include "Bisect.h"

#include <cmath>

namespace normlevel {

bool sign_change(double a, double b) { return !((a > 0 && b > 0) || (a < 0 && b < 0)); }

namespace {

bool opposite_signs(double a, double b) { return (a < 0 && b > 0) || (a > 0 && b < 0); }

bool goes_on(double DX, double b, double fin) { return (DX > 0 && b < fin) || (DX < 0 && b > fin); }

// f at x, or where the proof knows its sign a stand-in of that sign: the
// search compares signs only, so it cannot tell the two apart.
double value_or_sign(const Function& f, const SignProof& proof, double x) {
  const int known = proof ? proof(x) : 0;
  return known != 0 ? static_cast<double>(known) : f(x);
}

}  // namespace

std::int32_t localroot(double& a, double& b, double fin, const Function& f, const SignProof& proof) {
  const double DX = b;
  double FA = value_or_sign(f, proof, a);
  b = a + DX;
  double FB = value_or_sign(f, proof, b);
  for (;;) {
    if (sign_change(FA, FB)) return 1;
    if (!goes_on(DX, b, fin)) return 0;
    a = b;
    FA = FB;
    b = b + DX;
    FB = value_or_sign(f, proof, b);
  }
}

std::vector<double> walk_levels(double a, double step, double fin) {
  std::vector<double> levels = {a};
  double b = a + step;
  levels.push_back(b);
  while (goes_on(step, b, fin)) {
    b = b + step;
    levels.push_back(b);
  }
  return levels;
}

double bis(double& a, double& b, const Function& f, double eps, const SignProof& proof) {
  double FA = value_or_sign(f, proof, a);
  do {
    const double c = 0.5 * (a + b);
    const double FC = value_or_sign(f, proof, c);
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
