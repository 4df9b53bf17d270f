#pragma once
// Text <-> double conversions the output's bytes depend on. They are the
// standard <charconv> ones wherever the library has them; a library without
// floating-point to_chars/from_chars (libc++ 13, as in the WebAssembly build)
// gets stand-ins on snprintf/strtod that give the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace real_chars {

struct Parsed {
  const char* ptr;
  std::errc ec;
};

// Shortest text that reads back as value: fixed or scientific, whichever is
// shorter (fixed on a tie), as std::to_chars(first, last, value) writes it.
char* shortest(char* first, char* last, double value);
// Shortest digits that read back as value, always in fixed notation.
char* shortest_fixed(char* first, char* last, double value);
// value in fixed notation with the given digits after the point.
char* fixed(char* first, char* last, double value, int precision);
// A plain or scientific decimal, as std::from_chars(first, last, value) reads it.
Parsed parse(const char* first, const char* last, double& value);

/// Powers of ten a double holds exactly, 1e0 to 1e22: an exact integer
/// times or over one of them is one correctly rounded operation.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
/// Every integer of this many decimal digits is exact in a double.
inline constexpr int kExactDigits = 15;

/// What a reader's plain decimals may hold besides [-]digits[.digits].
struct PlainForm {
  bool plus = false;   ///< a leading '+'
  bool comma = false;  ///< ',' for the decimal point
};

/// The quick reading of the form nearly every surveyed value takes:
/// [sign] digits [point digits], 1 to kExactDigits digits in all, read from
/// first on as the digits over an exact power of ten, so bit for bit the
/// value from_chars gives. Shaped like from_chars: ptr stands after the
/// number, and an exponent or anything else after it is left unread. Where
/// no digit starts there, or more than kExactDigits follow, ec is
/// invalid_argument, ptr is first and value untouched: the general
/// conversion decides those.
///   "12.5" -> 12.5         "-.5" -> -0.5          "405591." -> 405591
///   "007" -> 7             "-0" -> -0             "1.5e3" -> 1.5, ptr at 'e'
///   "+7" -> not read       "+7" with plus -> 7    "12,5" -> 12, ptr at ','
///   "12,5" with comma -> 12.5                     "1.2.3" -> 1.2, ptr at the second '.'
///   "." -> not read        "-" -> not read        "1234567890123456" -> not read
inline Parsed plain_decimal(const char* first, const char* last, double& value, PlainForm form = {}) {
  const char* p = first;  // a local: the compiler keeps it in a register
  const bool negative = p != last && *p == '-';
  if (negative || (form.plus && p != last && *p == '+')) ++p;
  const auto digit = [](char c) { return static_cast<unsigned>(c - '0') < 10; };
  std::uint64_t digits = 0;
  const char* const whole = p;
  while (p != last && digit(*p)) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
  std::ptrdiff_t count = p - whole, fraction = 0;
  if (p != last && (*p == '.' || (form.comma && *p == ','))) {
    const char* const decimals = ++p;
    while (p != last && digit(*p)) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    fraction = p - decimals;
    count += fraction;
  }
  if (count == 0 || count > kExactDigits) return {first, std::errc::invalid_argument};
  const double magnitude = static_cast<double>(digits) / kExactPowersOfTen[fraction];
  value = negative ? -magnitude : magnitude;
  return {p, std::errc{}};
}

inline std::uint64_t bits(double value) {
  std::uint64_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

// The stand-ins themselves, built everywhere so they can be checked
// against the standard functions where those exist.
namespace fallback {
char* shortest(char* first, char* last, double value);
char* shortest_fixed(char* first, char* last, double value);
char* fixed(char* first, char* last, double value, int precision);
Parsed parse(const char* first, const char* last, double& value);
}  // namespace fallback

}  // namespace real_chars
