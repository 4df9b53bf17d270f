#pragma once

// The level search: the walk up the section in fixed steps until the
// balance changes sign, then the halving of that bracket.

#include "base/Bisect.h"
#include "core/CSdata.h"

namespace normlevel {

/// The outcome of a level search.
struct LevelSearch {
  bool found;    ///< false when the walk met no change of sign
  double level;  ///< the level found (when found)
};

/// Walks up section d from just above its lowest point in 0.1 m steps to
/// 20 m above its highest until Q - carried changes sign, then halves that
/// bracket to 1 mm. Under the divided rules the walk proves signs of its
/// own; under the model rules it takes those `model_signs` tells.
LevelSearch find_level(const CrossSection& d, double Q, const SignProof& model_signs = {});

/// The same for the water connected to the channel's alone.
LevelSearch find_connected_level(const CrossSection& d, double Q);

/// The same walk and halving on any balance of the level; where `proof`
/// tells the balance's sign at a level, the balance is not worked out there.
LevelSearch find_level_of(const CrossSection& d, const Function& balance, const SignProof& proof = {});

/// Levels this close to the one the walk finds cannot be told from it: the
/// walk halves its bracket to 1 mm.
inline constexpr double kNearWalk = 2e-3;

/// The top of the walk: 20 m above the highest point.
double search_top(const CrossSection& d);

/// Mean velocity in the main channel at level HC: 0 when it is dry there.
double channel_velocity(const CrossSection& d, double HC);

}  // namespace normlevel
