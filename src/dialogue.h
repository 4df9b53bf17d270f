#pragma once

// The console dialogue: ask for the data file, load it, find and report
// the normal water level, wait for Enter.

#include <iosfwd>
#include <string_view>

namespace normlevel {

/// A line the report leaves blank: one space, CR LF.
inline constexpr const char* kBlankLine = " \r\n";
/// What is printed instead of the report when no level is found.
inline constexpr const char* kNotice = " nieudana lokalizacja !!!\r\n";
/// The last words of the dialogue, before it waits for Enter.
inline constexpr const char* kClosingPrompt = "Nacisnij <ENTER>, aby zakonczyc ...   ";

/// The outcome of the level search on the loaded section.
struct LevelSearch {
  bool found;    ///< false when the walk met no change of sign
  double level;  ///< the level found (when found)
};

/// Walks up from just above the lowest point in 0.1 m steps to 20 m above
/// the highest until the balance changes sign, then halves that bracket.
LevelSearch find_level();

/// The same walk and halving on another balance of the level, evaluated
/// at every level it visits.
LevelSearch find_level_of(double (*balance)(double));

/// The top of the walk: 20 m above the highest point.
double search_top();

/// Mean velocity in the main channel at level HC: 0 when it is dry there.
double channel_velocity(double HC);

/// The report for level HC with channel velocity V0, from the level line
/// to the velocity line; `after_level` (whole lines) goes right after the
/// level line. Units as the loaded section's.
void write_report(std::ostream& out, double HC, double V0, std::string_view after_level = {});

/// The level search on the loaded section and its report (or the notice
/// that no level was found), each line ending in CR LF.
void search_and_report(std::ostream& out);

/// The whole dialogue on the given console streams; throws Failure when
/// the console or the data file cannot be read.
void dialogue(std::istream& console_in, std::ostream& console_out);

}  // namespace normlevel
