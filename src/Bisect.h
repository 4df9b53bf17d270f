#pragma once

// Generic root search for a function of one real variable: a walk in fixed
// steps until the sign changes, then bisection of the bracket found.

#include <cstdint>
#include <functional>
#include <vector>

namespace normlevel {

/// A function of the level: one double in, one double out (a plain
/// function, or one bound to the section and discharge it balances).
using Function = std::function<double(double)>;

/// What is known of f's sign at a level without evaluating f: +1 or -1
/// when proved (f is then certainly > 0 or < 0 there), 0 when not known.
/// The search asks it only for the levels it visits, in the order it does.
using SignProof = std::function<int(double level)>;

/// True unless a and b are both positive or both negative: a zero or a NaN
/// counts as a change. Tests signs, so no product can underflow to zero.
bool sign_change(double a, double b);

/// Walks from a in steps of b (its sign gives the direction) until f
/// changes sign, at the latest at the first point at or beyond fin.
/// Returns 1 with the bracket in [a, b], or 0 with the last two points.
/// Only the signs of f count: where `proof` knows one, f is not evaluated.
std::int32_t localroot(double& a, double& b, double fin, const Function& f, const SignProof& proof = {});

/// The points localroot visits from a in steps of `step` up to fin, each
/// computed as it computes them:  (0, 0.5, 1.2) -> 0 0.5 1 1.5
std::vector<double> walk_levels(double a, double step, double fin);

/// Halves the bracket [a, b] until it is no wider than eps (at least once)
/// and returns the midpoint of the last bracket; `proof` as for localroot.
double bis(double& a, double& b, const Function& f, double eps, const SignProof& proof = {});

}  // namespace normlevel
