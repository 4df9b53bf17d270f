#pragma once

// The report's fixed-format lines: a 13-character label, a 15-character
// value with five decimals and a 4-character unit.

#include <string>
#include <string_view>

namespace normlevel {

/// Width of the value field of a report line.
inline constexpr std::size_t kValueWidth = 15;

/// The value right-aligned in 15 columns with exactly five decimals,
/// rounded half up from the first 17 digits of the value scaled to [1, 10):
///   0.5 -> "        0.50000"      616.582235 -> "      616.58224"
///   0.015625 -> "        0.01563" -0.000001 -> "        0.00000"
///   -2.5 -> "       -2.50000"     1e9 -> "***************"
///   inf -> "            INF"      the NaN of 0/0 -> "           -NaN"
std::string format_value(double value);

/// One report line: label cut or padded to 13 columns, the value field,
/// the unit right-aligned in 4 columns, then CR LF.
///   ("zw. wody:    ", 101.64045, "m") -> "zw. wody:          101.64045   m\r\n"
std::string report_line(std::string_view label, double value, std::string_view unit);

}  // namespace normlevel
