#pragma once

// A picture of a section with its water levels: a self-contained
// SVG 1.1 document (no scripts, fonts or files of its own).

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "output.h"

namespace normlevel {

/// The colours of the picture's areas.
inline constexpr const char* kBackground = "#ffffff";
inline constexpr const char* kGround = "#c8ad7f";
inline constexpr const char* kChannelWater = "#2f74c9";
inline constexpr const char* kFloodplainWater = "#9ccbf2";
inline constexpr const char* kPondedWater = "#8fc9a9";

/// A tint darkened for the k-th level from the top, so that nested levels
/// stay apart:  ("#9ccbf2", 0) -> "#9ccbf2"   ("#ffffff", 1) -> "#d6d6d6"
std::string level_tint(const char* tint, int k);

/// About how wide a label of 12-pixel sans-serif text is, in pixels: each
/// character, however many bytes it takes in UTF-8, counts alike.
double text_width(std::string_view text, double font_size = 12);

/// value with fixed decimals:  (1.005, 1) -> "1.0"   (-0.001, 2) -> "0.00"
std::string fixed_number(double value, int decimals = 2);

/// Text made safe for XML character data and attribute values:
///   a&b<c> -> a&amp;b&lt;c&gt;   say "hi" -> say &quot;hi&quot;
std::string xml_escaped(std::string_view text);

/// Tick spacing of 1, 2 or 5 times a power of ten giving about `ticks`
/// intervals over `span`:  (10, 5) -> 2   (0.37, 5) -> 0.1   (700, 8) -> 100
double round_step(double span, int ticks);

/// The points of section d drawn of first ... last: all of them, or where
/// more than a few fall in one of `columns` equal columns of stations
/// x0 ... x1, that column's first, lowest, highest and last point, in their order.
std::vector<int> points_to_draw(const CrossSection& d, int first, int last, double x0, double x1, int columns);

/// The SVG picture of section d with each result's water level; the
/// stations of the first and last point span the plot's frame. With
/// `connected` water cut off from the channel's carried nothing.
void write_picture(std::ostream& out, const CrossSection& d, const std::vector<LevelResult>& results, bool connected);

}  // namespace normlevel
