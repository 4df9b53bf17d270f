#pragma once

// The one river cross-section of a run: its data file, its loader and the
// wetted geometry of its three zones (left floodplain, main channel, right
// floodplain) at a given water level.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace normlevel {

class RecordSource;

/// The cross-section data set. Points are numbered 1 ... N across the
/// valley; x[0] and z[0] are unused so that x[i] is the station of point i.
struct CrossSection {
  double Q = 0;   ///< design discharge, m3/s
  double s = 0;   ///< bed slope as a fraction (the file gives per mille)
  double s_per_mille = 0;  ///< the same slope as given, per mille: diagnostics quote it
  double nc = 0;  ///< Manning coefficient of the main channel
  double nf = 0;  ///< Manning coefficient of both floodplains
  std::int32_t N = 0;   ///< number of points
  std::int32_t il = 0;  ///< left bank point: the main channel begins here
  std::int32_t ip = 0;  ///< right bank point: the main channel ends here
  std::vector<double> x;  ///< stations, m
  std::vector<double> z;  ///< elevations, m
  std::vector<double> length;  ///< length[i]: segment i, from point i to i + 1 (worked out, not read)
  double zmax = 0;  ///< highest elevation
  double zmin = 0;  ///< lowest elevation
};

/// The process-wide data set: written by setdata only, read everywhere.
extern CrossSection CSDATA;

/// Loads CSDATA from the file named by `name` (a blank-padded field).
/// Throws Failure when the file cannot be opened or read, or when its data
/// describe no valid section.
void setdata(std::string_view name);

/// Loads CSDATA from an open source of records, as setdata does once the
/// file is open; `room` bounds how many points the source can hold.
void setdata_from(RecordSource& source, std::size_t room);

/// Checks Q, s, nc and nf as the loader does, with the same messages; throws
/// Failure for values no search can use.
void check_flow_values();

/// Works out the segment lengths from x and z. setdata does this itself;
/// code that fills CSDATA by hand must call it before basichydro.
void measure_segments();

/// Frees the point arrays.
void finishdata();

/// Wetted areas and perimeters of the three zones at level h. Returns 0 and
/// leaves the outputs untouched when h lies below zmin, 1 otherwise.
std::int32_t basichydro(double h, double& AFL, double& A0, double& AFP, double& PFL, double& P0, double& PFP);

/// Segment i's wetted area and length at level h, exactly as basichydro
/// adds them; false (and nothing set) when the segment is dry there.
bool segment_share(double h, std::int32_t i, double& A, double& P);

/// Widths of the water surface over the three zones at level h, by the same
/// wet-or-dry rules as basichydro; all 0 below zmin.
void topwidths(double h, double& BL, double& B0, double& BP);

/// One zone's wetted area A, wetted perimeter P and water-surface width B.
struct ZoneGeometry {
  double A = 0, P = 0, B = 0;
};

/// The three zones' geometry at one level.
struct SectionGeometry {
  ZoneGeometry left, channel, right;
};

/// The geometry at each of `levels` (ascending) in one pass over the
/// points: the very sums basichydro and topwidths give level by level
/// (zeros below zmin).
std::vector<SectionGeometry> geometry_at_levels(std::span<const double> levels);

}  // namespace normlevel
