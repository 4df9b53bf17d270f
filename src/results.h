#pragma once

// What a command-line run finds for each section and query: the level (or
// the discharge at a level), the flow split, the energy and the critical
// levels, a solved roughness or slope, and the assumptions it rests on.

#include <limits>
#include <string>
#include <vector>

#include "command_line.h"
#include "energy.h"
#include "normal_levels.h"
#include "survey.h"
#include "zones.h"

namespace normlevel {

/// An assumption a figure rests on, for the user to weigh.
struct Warning {
  std::string code;     ///< e.g. "wall_left"
  std::string message;  ///< plain words, with the figures
};

/// The n of a zone's subdivisions: the least and the greatest (least >
/// most where none has a number), and whether it has any.
struct RoughnessRange {
  double least = std::numeric_limits<double>::infinity();
  double most = -std::numeric_limits<double>::infinity();
  bool any = false;
};

/// Each zone's n where it has one only, else NaN; nf is the floodplains'
/// when both have the same one. With each zone's range, by Zone, so that
/// what is written of a section's n needs no section.
struct ZoneRoughness {
  double nc, nl, nr, nf;
  RoughnessRange range[3];
};

/// One section and one query: the level found (or asked for) and its figures.
struct LevelResult {
  std::string file;  ///< the name as given
  SectionName section;
  std::string profile;  ///< --flow: the profile whose discharge this is
  const Units* units = &kSI;
  Rules rules = Rules::divided;
  Query query;
  Solve solve = Solve::none;
  double n_factor = 1;   ///< --solve n: every n is the file's times this
  double discharge = 0;  ///< asked for, or with a level query the discharge carried
  double slope_per_mille = 0;
  ZoneRoughness n{};
  bool strickler = false;  ///< roughness was given as Strickler's k: JSON gives k = 1/n beside each n
  bool found = false;  ///< false: the walk found no level (the notice)
  double level = 0;
  double zmin = 0, zmax = 0, bank_left = 0, bank_right = 0;
  double channel_velocity = 0;
  Breakdown zones;
  EnergyFigures energy;
  std::vector<CriticalLevel> critical_levels;
  int critical = -1;  ///< the governing one's index in critical_levels; -1: none
  const char* regime = "";  ///< "subcritical", "supercritical", "critical" or "" (no level)
  std::vector<NormalLevel> normal_levels;  ///< every level carrying the discharge sought, the walk's among them
  std::vector<Warning> warnings;
};

/// One row of the rating table.
struct RatingRow {
  double level, depth, area, top_width;
  double left_discharge, channel_discharge, right_discharge, discharge;
  double channel_velocity;
};

/// The rating table of one section.
struct RatingTable {
  std::string file;
  SectionName section;
  const Units* units = &kSI;
  double slope_per_mille = 0;
  ZoneRoughness n{};
  std::vector<RatingRow> rows;
};

/// An input or section that could not be read or computed.
struct FailedInput {
  std::string file;
  SectionName section;
  std::string error;
};

/// What the command line asks to be computed of each section.
struct Computation {
  bool connected = false;
  Solve solve = Solve::none;
  Override solve_discharge;
};

/// Section d's n by zone, as ZoneRoughness states it.
ZoneRoughness zone_roughness(const CrossSection& d);

/// The result of one query on section d, Q being the discharge it seeks
/// (or, solving at a level, the one to solve for unless the command line
/// gives its own). Throws Failure when a --solve has no answer.
LevelResult result_for(const CrossSection& d, const Computation& computation, const Query& query, double Q);

}  // namespace normlevel
