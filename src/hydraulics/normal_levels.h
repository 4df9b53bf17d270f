#pragma once

// Every level at which the section carries the discharge: the conveyance
// of a divided section need not rise with the level (a flat floodplain
// getting wet adds perimeter faster than area), so there may be several.

#include <span>
#include <vector>

#include "core/CSdata.h"
#include "core/search.h"
#include "hydraulics/critical_sweep.h"

namespace normlevel {

/// A level where the section carries Q; falling: what it carries drops
/// through Q there as the level rises.
struct NormalLevel {
  double level = 0;
  bool falling = false;
};

/// A stretch between the points' elevations, lo to hi, and what its bounds
/// tell of Q - carried all through it: +1 above 0, -1 below, 0 nothing.
struct StretchSide {
  double lo, hi;
  int side;
  StretchGeometry geometry = {};  ///< where nothing is told under the model rules: the stretch's own, kept
};

/// The sign of Q - carried at a level h strictly inside one of the stretches
/// (ascending) where that one tells it, else 0.
int side_at(std::span<const StretchSide> sides, double h);

/// The same, and where the stretch's bounds do not tell it, what its kept
/// geometry carries at h where that is well clear of Q.
int sign_at(const CrossSection& d, double Q, std::span<const StretchSide> sides, double h);

/// Every level with zmin < h <= top at which section d carries Q,
/// ascending: what it carries is sampled within each stretch
/// between the points' elevations (ever closer to its foot, where a new
/// subdivision's wetting changes it fastest) and each change of sign of
/// Q - carried refined by halving; a stretch whose bounds keep what it
/// carries clear of Q throughout is passed over unsampled.
/// With `sides`, every stretch visited is appended to it with what its bounds tell.
std::vector<NormalLevel> normal_levels(const CrossSection& d, double Q, double top,
                                       std::vector<StretchSide>* sides = nullptr);

/// The list with the walk's level in it: it takes the place of the root it
/// was refined from (the nearest within tolerance), or joins the list.
void include_level(std::vector<NormalLevel>& levels, double level);

/// The walk's level and every level carrying Q, the walk's among them.
struct CarryingLevels {
  LevelSearch walk;
  std::vector<NormalLevel> every;
};

/// Both for discharge Q; with `connected` the ponds carry nothing, which the
/// sweep does not know: the walk's level alone. Under the model rules the
/// walk is told the balance's sign wherever a stretch's bounds tell it.
/// With `critical`, the critical levels for Q into it, from the same sweep.
CarryingLevels levels_carrying(const CrossSection& d, double Q, bool connected,
                               std::vector<CriticalLevel>* critical = nullptr);

}  // namespace normlevel
