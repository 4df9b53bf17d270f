#pragma once

// Plots of a section drawn from the engine's own figures: the
// rating curve and the specific-energy curve, each a self-contained SVG.

#include <iosfwd>
#include <string>
#include <vector>

#include "output.h"

namespace normlevel {

/// A text placed on a plot: its anchor point and alignment, for layout
/// checks as much as for drawing.
struct PlotLabel {
  double x = 0, y = 0;  ///< the baseline's anchor point
  std::string text;
  const char* anchor = "start";  ///< "start", "middle" or "end"
};

/// Labels at the wanted heights y, in order, moved apart to at least `gap`
/// and kept within top ... bottom where there is room for them all:
///   ({10, 12, 50}, 14, 0, 100) -> 10 24 50
std::vector<double> spread_apart(std::vector<double> wanted, double gap, double top, double bottom);

/// The levels a result marks as carrying its discharge: every normal level
/// (the reported one among them), or none when the walk found none.
std::vector<double> carrying_levels(const LevelResult& r);

/// The rating curve of section d (level against discharge, each zone's
/// share stacked), with bankfull and the results' levels marked.
void write_rating_plot(std::ostream& out, const CrossSection& d, const std::vector<LevelResult>& results, bool connected);

/// E(h) of section d for the first result's discharge, with every critical
/// level marked and the governing one named.
void write_energy_plot(std::ostream& out, const CrossSection& d, const std::vector<LevelResult>& results);

}  // namespace normlevel
