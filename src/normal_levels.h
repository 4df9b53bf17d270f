#pragma once

// Every level at which the section carries the discharge: the conveyance
// of a divided section need not rise with the level (a flat floodplain
// getting wet adds perimeter faster than area), so there may be several.

#include <vector>

#include "CSdata.h"

namespace normlevel {

/// A level where the section carries Q; falling: what it carries drops
/// through Q there as the level rises.
struct NormalLevel {
  double level = 0;
  bool falling = false;
};

/// Every level with zmin < h <= top at which section d carries Q,
/// ascending: what it carries is sampled within each stretch
/// between the points' elevations (ever closer to its foot, where a new
/// subdivision's wetting changes it fastest) and each change of sign of
/// Q - carried refined by halving.
std::vector<NormalLevel> normal_levels(const CrossSection& d, double Q, double top);

/// The list with the walk's level in it: it takes the place of the root it
/// was refined from (the nearest within tolerance), or joins the list.
void include_level(std::vector<NormalLevel>& levels, double level);

}  // namespace normlevel
