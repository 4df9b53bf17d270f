#include "base/real_chars.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace real_chars {
namespace fallback {
namespace {

char* copy_out(char* first, char* last, const std::string& text) {
  if (static_cast<std::size_t>(last - first) < text.size()) return last;
  return std::copy(text.begin(), text.end(), first);
}

// The fewest significant digits (and the decimal exponent of the first) that
// read back as the finite, positive magnitude.
struct Digits {
  std::string digits;
  int exponent;
};

Digits shortest_digits(double magnitude) {
  char text[40];
  for (int precision = 0; precision < 17; ++precision) {
    std::snprintf(text, sizeof text, "%.*e", precision, magnitude);
    if (std::strtod(text, nullptr) == magnitude) break;
  }
  const char* e = std::strchr(text, 'e');
  Digits result{std::string(), std::atoi(e + 1)};
  for (const char* c = text; c != e; ++c)
    if (*c != '.') result.digits += *c;
  while (result.digits.size() > 1 && result.digits.back() == '0') result.digits.pop_back();
  return result;
}

std::string as_fixed(const Digits& d) {
  const int count = static_cast<int>(d.digits.size());
  if (d.exponent < 0) return std::string("0.").append(-d.exponent - 1, '0').append(d.digits);
  if (d.exponent + 1 >= count) return d.digits + std::string(d.exponent + 1 - count, '0');
  return d.digits.substr(0, d.exponent + 1).append(".").append(d.digits, d.exponent + 1);
}

std::string as_scientific(const Digits& d) {
  std::string text = d.digits.substr(0, 1);
  if (d.digits.size() > 1) text.append(".").append(d.digits, 1);
  char exponent[16];
  std::snprintf(exponent, sizeof exponent, "e%c%02d", d.exponent < 0 ? '-' : '+', std::abs(d.exponent));
  return text.append(exponent);
}

// Zero, infinities and NaN, written as to_chars writes them; empty otherwise.
std::string special(double value) {
  const std::string sign = std::signbit(value) ? "-" : "";
  if (std::isnan(value)) return sign + std::string("nan");
  if (std::isinf(value)) return sign + std::string("inf");
  if (value == 0.0) return sign + std::string("0");
  return std::string();
}

}  // namespace

char* shortest(char* first, char* last, double value) {
  std::string text = special(value);
  if (text.empty()) {
    const Digits d = shortest_digits(std::fabs(value));
    const std::string fixed_text = as_fixed(d);
    const std::string scientific = as_scientific(d);
    text = std::string(value < 0 ? "-" : "").append(fixed_text.size() <= scientific.size() ? fixed_text : scientific);
  }
  return copy_out(first, last, text);
}

char* shortest_fixed(char* first, char* last, double value) {
  std::string text = special(value);
  if (text.empty()) text = std::string(value < 0 ? "-" : "").append(as_fixed(shortest_digits(std::fabs(value))));
  return copy_out(first, last, text);
}

char* fixed(char* first, char* last, double value, int precision) {
  std::string text = std::isfinite(value) ? std::string() : special(value);
  if (text.empty()) {
    text.resize(static_cast<std::size_t>(std::snprintf(nullptr, 0, "%.*f", precision, value)));
    std::snprintf(text.data(), text.size() + 1, "%.*f", precision, value);
  }
  return copy_out(first, last, text);
}

// Accepts what from_chars accepts for chars_format::general: an optional
// minus, digits with an optional point, an optional exponent; no hex, no
// leading spaces or plus; inf/nan spelled out.
Parsed parse(const char* first, const char* last, double& value) {
  const std::string text(first, last);
  const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
  const bool begins_well = start < text.size() &&
                           (std::isdigit(static_cast<unsigned char>(text[start])) || text[start] == '.' ||
                            text[start] == 'i' || text[start] == 'I' || text[start] == 'n' || text[start] == 'N');
  if (!begins_well) return {first, std::errc::invalid_argument};
  if (text[start] == '0' && start + 1 < text.size() && (text[start + 1] == 'x' || text[start + 1] == 'X')) {
    value = start ? -0.0 : 0.0;  // from_chars reads no hex here: the 0 alone
    return {first + start + 1, std::errc{}};
  }
  errno = 0;
  char* end = nullptr;
  const double result = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return {first, std::errc::invalid_argument};
  const char* ptr = first + (end - text.c_str());
  if (errno == ERANGE && (std::isinf(result) || result == 0.0)) return {ptr, std::errc::result_out_of_range};
  value = result;
  return {ptr, std::errc{}};
}

}  // namespace fallback

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
char* shortest(char* first, char* last, double value) { return std::to_chars(first, last, value).ptr; }
char* shortest_fixed(char* first, char* last, double value) {
  return std::to_chars(first, last, value, std::chars_format::fixed).ptr;
}
char* fixed(char* first, char* last, double value, int precision) {
  return std::to_chars(first, last, value, std::chars_format::fixed, precision).ptr;
}
Parsed parse(const char* first, const char* last, double& value) {
  const auto result = std::from_chars(first, last, value);
  return {result.ptr, result.ec};
}
#else
char* shortest(char* first, char* last, double value) { return fallback::shortest(first, last, value); }
char* shortest_fixed(char* first, char* last, double value) { return fallback::shortest_fixed(first, last, value); }
char* fixed(char* first, char* last, double value, int precision) {
  return fallback::fixed(first, last, value, precision);
}
Parsed parse(const char* first, const char* last, double& value) { return fallback::parse(first, last, value); }
#endif

}  // namespace real_chars
