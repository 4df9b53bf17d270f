#pragma once

// Powers computed by this program itself, in plain double arithmetic, so
// that every platform and CPU gives the same bits: a system's pow may take
// a fused multiply-add path on one CPU and not on another, and the C
// libraries of Linux, Windows and the browser round differently again.

namespace normlevel {

/// x^e for Manning's exponent e = float(2/3) = (2^25 + 1) / (3 * 2^24),
/// as x^(2/3) times x^(1 / (3 * 2^24)). Within 0.5 + 2^-14 ulp of the
/// exact power: the nearest double but in about one argument in a million
/// between 1e-12 and 1e6, a few in 100,000 at the ends of the range.
/// 0 for +-0, +inf for +inf, NaN for NaN and for x < 0.
double manning_power(double x);

/// 10^e, correctly rounded for |e| <= 22 (the exact power, or one division).
double power_of_ten(int e);

/// The largest e with 10^e <= x (as power_of_ten gives it), for a positive
/// finite x.
int decimal_exponent(double x);

}  // namespace normlevel
