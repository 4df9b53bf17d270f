#include "base/NumberField.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "base/real_chars.h"

namespace normlevel {

namespace {

constexpr int kDecimals = 5;
constexpr int kSignificantDigits = 17;
constexpr std::size_t kLabelWidth = 13;
constexpr std::size_t kUnitWidth = 4;

// Powers of ten exact in a double; the scaling takes none above 1e8 (see below).
constexpr const auto& kPowersOfTen = real_chars::kExactPowersOfTen;

std::string right_aligned(std::string text) {
  if (text.size() >= kValueWidth) return text;
  return std::string(kValueWidth - text.size(), ' ') + text;
}

int unbiased_exponent(double magnitude) {
  return static_cast<int>((real_chars::bits(magnitude) >> 52) & 0x7ff) - 1023;
}

// floor(e2 * 19728 / 65536): an estimate of floor(log10) that never
// overshoots for the exponents that matter here.
int decimal_exponent_estimate(int e2) {
  const int product = e2 * 19728;
  return product >= 0 ? product / 65536 : -((-product + 65535) / 65536);
}

// The first 17 digits of the exact decimal expansion of d in [1, 10).
std::string leading_digits(double d) {
  char text[80];
  const char* end = real_chars::fixed(text, text + sizeof text, d, 60);
  std::string digits;
  for (const char* p = text; p != end && digits.size() < kSignificantDigits; ++p)
    if (*p != '.') digits += *p;
  return digits;
}

// Digits of |v| * 10^5 rounded half up, or "" when the value is too small
// to reach the fifth decimal.
std::string scaled_digits(double magnitude) {
  int k = decimal_exponent_estimate(unbiased_exponent(magnitude));
  if (k > 8) return std::string(kValueWidth + 1, '9');  // surely too many integer digits
  if (k < -(kDecimals + 1)) return "";     // below 1e-6: rounds to zero
  double scaled = k > 0 ? magnitude / kPowersOfTen[k] : magnitude * kPowersOfTen[-k];
  if (scaled >= 10) {
    scaled /= 10;
    ++k;
  }
  std::string digits = leading_digits(scaled);
  const int kept = k + 1 + kDecimals;  // digits up to the fifth decimal
  if (kept < 0) return "";
  const bool round_up = digits[static_cast<std::size_t>(kept)] >= '5';
  digits.resize(static_cast<std::size_t>(kept));
  if (round_up) {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0)
      digits.insert(digits.begin(), '1');
    else
      ++digits[i - 1];
  }
  return digits;
}

}  // namespace

std::string format_value(double value) {
  const bool negative = std::signbit(value);
  if (std::isnan(value)) return right_aligned(negative ? "-NaN" : "NaN");
  if (std::isinf(value)) return right_aligned(negative ? "-INF" : "INF");
  std::string digits = scaled_digits(std::fabs(value));
  const bool is_zero = digits.find_first_not_of('0') == std::string::npos;
  if (digits.size() < kDecimals + 1) digits.insert(0, kDecimals + 1 - digits.size(), '0');
  digits.insert(digits.size() - kDecimals, 1, '.');
  // A negative value that rounds to zero shows no sign, unless it is too
  // small to be a normal number.
  const bool show_sign = negative && (!is_zero || (value != 0 && !std::isnormal(value)));
  if (show_sign) digits.insert(0, 1, '-');
  if (digits.size() > kValueWidth) return std::string(kValueWidth, '*');
  return right_aligned(digits);
}

std::string report_line(std::string_view label, double value, std::string_view unit) {
  std::string line(label.substr(0, kLabelWidth));
  line.resize(kLabelWidth, ' ');
  line += format_value(value);
  line.append(kUnitWidth - std::min(kUnitWidth, unit.size()), ' ');
  line += unit;
  line += "\r\n";
  return line;
}

}  // namespace normlevel
