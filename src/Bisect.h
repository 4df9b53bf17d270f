#pragma once

// Generic root search for a function of one real variable: a walk in fixed
// steps until the sign changes, then bisection of the bracket found.

#include <cstdint>

namespace normlevel {

/// A function of the level: one double in, one double out.
using Function = double (*)(double);

/// True unless a and b are both positive or both negative: a zero or a NaN
/// counts as a change. Tests signs, so no product can underflow to zero.
bool sign_change(double a, double b);

/// Walks from a in steps of b (its sign gives the direction) until f
/// changes sign, at the latest at the first point at or beyond fin.
/// Returns 1 with the bracket in [a, b], or 0 with the last two points.
std::int32_t localroot(double& a, double& b, double fin, Function f);

/// Halves the bracket [a, b] until it is no wider than eps (at least once)
/// and returns the midpoint of the last bracket.
double bis(double& a, double& b, Function f, double eps);

}  // namespace normlevel
