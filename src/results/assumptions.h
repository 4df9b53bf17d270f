#pragma once

// The assumptions a result rests on, as warnings: water held by assumed
// walls, ponded water counted as flowing, supercritical flow, values that
// look mistyped, why no level was found.

#include <string>
#include <vector>

#include "results/results.h"

namespace normlevel {

/// A figure for a message: at most three decimals, no trailing zeros; from
/// 1e15 on six digits with an exponent.
///   0.9 -> "0.9"   101.640452 -> "101.64"   1e6 -> "1000000"   0.0004 -> "0.0004"   1e308 -> "1e+308"
std::string figure(double value);

/// The warnings for a result on section d, in a fixed order of their
/// codes: below_bed, wall_left, wall_right, above_section, ponded,
/// supercritical, input_n, input_slope, notice_reason.
std::vector<Warning> assumptions(const CrossSection& d, const LevelResult& result, bool connected);

}  // namespace normlevel
