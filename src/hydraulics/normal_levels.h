#pragma once

// Every level at which the section carries the discharge: the conveyance
// of a divided section need not rise with the level (a flat floodplain
// getting wet adds perimeter faster than area), so there may be several.

#include <vector>

#include "core/CSdata.h"
#include "core/search.h"

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
/// Q - carried refined by halving; a stretch whose bounds keep what it
/// carries clear of Q throughout is passed over unsampled.
std::vector<NormalLevel> normal_levels(const CrossSection& d, double Q, double top);

/// The list with the walk's level in it: it takes the place of the root it
/// was refined from (the nearest within tolerance), or joins the list.
void include_level(std::vector<NormalLevel>& levels, double level);

/// Every level carrying Q with the walk's among them; with `connected` the
/// ponds carry nothing, which the sweep does not know: the walk's level alone.
std::vector<NormalLevel> every_normal_level(const CrossSection& d, double Q, bool connected, const LevelSearch& walk);

}  // namespace normlevel
