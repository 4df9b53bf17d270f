#pragma once

// The classic report's lines: the level, the section's extremes and banks,
// the channel's velocity, each line ending in CR LF.

#include <iosfwd>
#include <string_view>

#include "CSdata.h"

namespace normlevel {

/// A line the report leaves blank: one space, CR LF.
inline constexpr const char* kBlankLine = " \r\n";
/// What is printed instead of the report when no level is found.
inline constexpr const char* kNotice = " nieudana lokalizacja !!!\r\n";

/// What the report tells of a level.
struct ReportFigures {
  double level = 0;
  double zmin = 0, zmax = 0;
  double bank_left = 0, bank_right = 0;  ///< the bank points' elevations
  double channel_velocity = 0;
  const Units* units = &kSI;
};

/// The figures of section d at level HC with channel velocity V0.
ReportFigures report_figures(const CrossSection& d, double HC, double V0);

/// The report, from the level line to the velocity line; `after_level`
/// (whole lines) goes right after the level line.
void write_report(std::ostream& out, const ReportFigures& figures, std::string_view after_level = {});

}  // namespace normlevel
