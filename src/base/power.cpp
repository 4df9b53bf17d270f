#include "base/power.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "base/real_chars.h"

namespace normlevel {

namespace {

// A value carried as an unevaluated sum hi + lo, |lo| <= ulp(hi) / 2.
struct DoubleDouble {
  double hi, lo;
};

// a * b exactly, by Dekker's splitting into 26-bit halves whose products
// round to nothing: no fused multiply-add, so the same on every CPU.
inline DoubleDouble exact_product(double a, double b) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  const double ta = kSplitter * a, tb = kSplitter * b;
  const double a_hi = ta - (ta - a), b_hi = tb - (tb - b);
  const double a_lo = a - a_hi, b_lo = b - b_hi;
  const double p = a * b;
  return {p, ((a_hi * b_hi - p) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo};
}

// A positive finite x as m 2^k with m in [0.5, 1); by its bits, as frexp is
// a call into the C library on some platforms and this is a hot path.
struct Binary {
  double m;
  int k;
};

Binary split_binary(double x) {
  int scaled = 0;
  if (x < std::numeric_limits<double>::min()) {
    x *= 18014398509481984.0;  // 2^54: a subnormal made normal
    scaled = 54;
  }
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  const int biased = static_cast<int>(bits >> 52);
  bits = (bits & 0x000FFFFFFFFFFFFFu) | (std::uint64_t{1022} << 52);
  double m = 0;
  std::memcpy(&m, &bits, sizeof m);
  return {m, biased - 1022 - scaled};
}

// 2^e for a normal result.
double power_of_two(int e) {
  const std::uint64_t bits = static_cast<std::uint64_t>(e + 1023) << 52;
  double power = 0;
  std::memcpy(&power, &bits, sizeof power);
  return power;
}

// The cube root of a = m 2^r, m in [0.5, 1), r in {0, 1, 2}, as hi + lo,
// good to about 2^-100: a quartic start (within 2.2e-5), one Halley step
// to within about 1e-14, and one Newton step on the exact residual a - hi^3.
DoubleDouble cube_root(double m, int r) {
  constexpr double kCubeRootOfTwo[] = {1.0, 1.2599210498948732, 1.5874010519681994};
  constexpr double kStart[] = {0.40380825194469616, 1.1326308565642706, -0.9403900694236361, 0.535128474407512,
                               -0.13119325786795158};
  const double a = m * power_of_two(r);
  double y = kStart[4];
  for (int i = 3; i >= 0; --i) y = kStart[i] + m * y;
  y *= kCubeRootOfTwo[r];
  const double start_cube = y * y * y;
  y = y * (start_cube + 2 * a) / (2 * start_cube + a);
  const DoubleDouble square = exact_product(y, y);
  const DoubleDouble cube = exact_product(y, square.hi);
  const double residual = ((a - cube.hi) - cube.lo) - y * square.lo;
  return {y, residual / (3 * square.hi)};
}

// ln x for a positive normal x, good to an ulp of the result or so:
// k ln 2 + 2 atanh((m - 1) / (m + 1)) for m in [sqrt(1/2), sqrt(2)).
double natural_log(double m, int k) {
  constexpr double kLn2 = 0.6931471805599453;
  if (m < 0.7071067811865476) {
    m *= 2;
    --k;
  }
  const double u = (m - 1) / (m + 1), u2 = u * u;
  constexpr double kTwoOverOdd[] = {2.0,      2.0 / 3,  2.0 / 5,  2.0 / 7,  2.0 / 9,
                                    2.0 / 11, 2.0 / 13, 2.0 / 15, 2.0 / 17, 2.0 / 19};
  double series = kTwoOverOdd[9];
  for (int i = 8; i >= 0; --i) series = kTwoOverOdd[i] + u2 * series;
  return k * kLn2 + u * series;
}

}  // namespace

// x^e = x^(2/3) x^(1 / (3 * 2^24)). The second factor is exp(eps) with
// |eps| = |ln x| / (3 * 2^24) < 1.5e-5, so an ordinary double ln and four
// terms of the exponential's series carry it far below the last bit; the
// first is the square of a double-double cube root. Only the final sum
// rounds at the scale of the result.
double manning_power(double x) {
  if (!(x > 0)) return x == 0 ? 0.0 : std::numeric_limits<double>::quiet_NaN();
  if (x == std::numeric_limits<double>::infinity()) return x;
  const auto [m, k] = split_binary(x);
  const int q = (k >= 0 ? k : k - 2) / 3, r = k - 3 * q;
  const DoubleDouble root = cube_root(m, r);
  const DoubleDouble square = exact_product(root.hi, root.hi);
  const double square_lo = square.lo + 2 * root.hi * root.lo;
  const double eps = natural_log(m, k) * (1.0 / 50331648.0);
  const double growth = eps * (1 + eps * (0.5 + eps * (1.0 / 6 + eps * (1.0 / 24))));
  const double correction = square_lo + (square.hi * growth + square_lo * growth);
  return (square.hi + correction) * power_of_two(2 * q);
}

double power_of_ten(int e) {
  constexpr const auto& kExact = real_chars::kExactPowersOfTen;
  if (e >= 0 && e <= 22) return kExact[e];
  if (e < 0 && e >= -22) return 1 / kExact[-e];
  double power = e > 0 ? kExact[22] : 1 / kExact[22];
  for (int left = e > 0 ? e - 22 : e + 22; left != 0; left += left > 0 ? -1 : 1) power *= left > 0 ? 10.0 : 0.1;
  return power;
}

int decimal_exponent(double x) {
  int e = static_cast<int>(std::floor((split_binary(x).k - 1) * 0.30102999566398120));
  while (power_of_ten(e) > x) --e;
  while (power_of_ten(e + 1) <= x) ++e;
  return e;
}

}  // namespace normlevel
