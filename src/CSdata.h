#pragma once

// A river cross-section as a value: its data file and loader, and the
// wetted geometry of its three zones (left floodplain, main channel, right
// floodplain) at a given water level. CSDATA is the classic dialogue's own.

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "units.h"

namespace normlevel {

class RecordSource;

/// Stations from ... to, where the water below `elevation` does not flow
/// (an ineffective area; permanent: whatever the level).
struct StillWater {
  double from, to, elevation;
  bool permanent = false;
};

/// A levee: a wall of no width standing on the ground at `station`, up to
/// `crest`; the water on the far side of it flows once the level reaches the crest.
struct Levee {
  double station, crest;
  bool left;  ///< it holds the water left of it back (else right)
};

/// The zones, left to right.
enum Zone : int { kLeft = 0, kChannel = 1, kRight = 2 };

/// A run of segments of one zone with one Manning coefficient: the zones
/// are split wherever n changes, and each subdivision carries its own flow.
struct Subdivision {
  std::int32_t first;  ///< its first segment
  std::int32_t last;   ///< its last segment
  Zone zone;
};

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
  const Units* units = &kSI;
  /// roughness[i]: Manning's n of segment i; empty: nf on the floodplains, nc in the channel
  std::vector<double> roughness;
  std::vector<Subdivision> parts;  ///< worked out by measure_segments, left to right
  Rules rules = Rules::divided;
  std::vector<StillWater> still;  ///< model rules: ineffective areas
  std::vector<Levee> levees;      ///< model rules
  std::vector<StillWater> obstructions;  ///< model rules: blocks the ground is raised to (for the picture)
  /// model rules, by measure_segments: segment i's water counts at levels >= flows_from[i]
  std::vector<double> flows_from;
  /// model rules: the levees' walls, as points of the section
  struct Wall {
    std::int32_t point;    ///< where it stands
    std::int32_t segment;  ///< the segment on its water side, whose subdivision its faces belong to
    double crest;
  };
  std::vector<Wall> walls;
  /// model rules, by measure_segments: held water or levees make the
  /// geometry jump where no point stands, so it is summed level by level
  bool plain_sums = false;
};

/// The classic dialogue's data set: written by setdata only. Everything
/// else takes the section it works on as a value.
extern CrossSection CSDATA;

/// Loads CSDATA from the file named by `name` (a blank-padded field).
/// Throws Failure when the file cannot be opened or read, or when its data
/// describe no valid section.
void setdata(std::string_view name);

/// Loads CSDATA from an open source of records, as setdata does once the
/// file is open; `room` bounds how many points the source can hold.
void setdata_from(RecordSource& source, std::size_t room);

/// The section the data file named by `name` (blank-padded or not)
/// describes; throws Failure as setdata does.
CrossSection read_section_file(std::string_view name);

/// The section a data file's records describe, read and checked as
/// setdata_from reads them; throws Failure as it does.
CrossSection read_section(RecordSource& source, std::size_t room);

/// Checks Q, s, nc and nf as the loader does, with the same messages; throws
/// Failure for values no search can use.
void check_flow_values(const CrossSection& d);

/// Works out the segment lengths and the subdivisions from x, z, the banks
/// and the roughness. The readers do this themselves; code that fills a
/// section by hand, or changes its roughness, must call it before basichydro.
void measure_segments(CrossSection& d);

/// The shortest text that reads back as the same double:  14.0 -> "14"   0.1 -> "0.1"
std::string shortest_real(double value);

/// Manning's n of a subdivision.
double roughness_of(const CrossSection& d, const Subdivision& part);

/// The subdivision segment i belongs to: its index in d.parts.
std::size_t part_of(const CrossSection& d, std::int32_t segment);

/// Checks the points and banks that a reader other than setdata put into
/// d, with setdata's rules, then works out extremes, segment lengths
/// and subdivisions. Throws Failure for data that describe no section.
void prepare_section(CrossSection& d);

/// Frees the point arrays.
void finishdata();

/// What the water covers of one subdivision at a level.
struct PartGeometry {
  double A = 0;   ///< wetted area
  double P = 0;   ///< wetted perimeter
  double B = 0;   ///< width of the water surface
  double dP = 0;  ///< dP/dh: how the wetted perimeter grows with the level
  /// Under the model rules, a wet floodplain's A R^(2/3) summed over its wet
  /// stretches, each conveying alone; NaN: A (A / P)^(2/3), the subdivision as one.
  double conveying = std::numeric_limits<double>::quiet_NaN();
};

/// One stretch of a floodplain conveying alone, under the model rules:
/// A (A / P)^(2/3); 0 where it holds no water.
double stretch_conveying(double area, double perimeter);

/// The segments that take part: all of them, or a run of them (the water
/// connected to the channel's).
struct SegmentWindow {
  std::int32_t first = 1;
  std::int32_t last = std::numeric_limits<std::int32_t>::max();
};

/// A stretch of water at a level: segments first ... last, wet at it and
/// joined by points below it, between the water's edges at stations from, to.
struct WetStretch {
  std::int32_t first, last;
  double from, to;
};

/// The stretches of water at level h, left to right; a point at or above
/// the level parts them.
std::vector<WetStretch> wet_stretches(const CrossSection& d, double h);

/// The water over the channel at level h: the segments from the leftmost
/// stretch that reaches into the channel to the rightmost one; a window
/// with first > last when the channel is dry.
SegmentWindow connected_window(const CrossSection& d, double h);

/// The same from the stretches wet_stretches gives at the level.
SegmentWindow connected_window(const CrossSection& d, std::span<const WetStretch> stretches);

/// Each subdivision's geometry at level h, summed segment by segment in
/// order; false, with nothing written, below zmin. out has parts.size() entries.
bool wetted_parts(const CrossSection& d, double h, std::span<PartGeometry> out, SegmentWindow window = {});

/// The same, areas and perimeters only (B and dP 0): what the search needs.
bool wetted_areas(const CrossSection& d, double h, std::span<PartGeometry> out, SegmentWindow window = {});

/// Wetted areas and perimeters of the three zones at level h, each the sum
/// of its subdivisions' in order. Returns 0 and leaves the outputs
/// untouched when h lies below zmin, 1 otherwise.
std::int32_t basichydro(const CrossSection& d, double h, double& AFL, double& A0, double& AFP, double& PFL, double& P0,
                        double& PFP);

/// The same for CSDATA, the classic dialogue's section.
std::int32_t basichydro(double h, double& AFL, double& A0, double& AFP, double& PFL, double& P0, double& PFP);

/// Segment i's wetted area and length at level h, exactly as basichydro
/// adds them; false (and nothing set) when the segment is dry there.
bool segment_share(const CrossSection& d, double h, std::int32_t i, double& A, double& P);

/// The subdivisions' geometry at each of `levels` (ascending) in one pass
/// over the points, level k's at [k * parts.size(), (k + 1) * parts.size()):
/// the very sums wetted_parts gives level by level (zeros below zmin).
std::vector<PartGeometry> geometry_at_levels(const CrossSection& d, std::span<const double> levels);

}  // namespace normlevel
