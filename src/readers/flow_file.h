#pragma once

// The steady-flow file of a 1-D river model (files *.f01 ... *.f99): its
// profiles' names and, at each flow change location of a reach, every
// profile's discharge from there downstream to the next location.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "readers/survey.h"

namespace normlevel {

/// Where the discharges change and what they become there.
struct FlowChange {
  std::string river, reach, station;  ///< as the file names them, blanks around taken off
  double river_station = 0;           ///< the station's value: smaller is further downstream
  std::vector<double> discharges;     ///< one a profile, in the profiles' order
  std::size_t line = 0;               ///< of its River Rch & RM= record
};

/// What a steady-flow file says of the discharges.
struct SteadyFlows {
  std::vector<std::string> profiles;
  std::vector<FlowChange> changes;  ///< in the file's order
};

/// Reads a steady-flow file from its bytes: "Number of Profiles= P",
/// "Profile Names=A,B,...", and each "River Rch & RM=river,reach,station"
/// with its P discharges in 8-character fields, ten a line. Other records
/// (boundaries, titles) are passed over. Throws Failure naming the line
/// of what cannot be read:
///   "line 4: River Rch & RM= expected 3 discharges, found 2"
SteadyFlows read_flow_file(std::string_view bytes);

/// The change location whose discharges reach the section: on its river and
/// reach, the nearest at or upstream of it (river stations fall downstream;
/// a trailing '*' of an interpolated section's station is no part of its
/// value). Throws Failure when there is none:
///   "the flow file gives no discharge here: the section lies upstream of
///    every flow change location of its reach (the uppermost at 100)"
const FlowChange& flow_change_for(const SteadyFlows& flows, const SectionName& section);

}  // namespace normlevel
