#include "core/CSdata.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "base/real_chars.h"
#include <cmath>
#include <filesystem>
#include <limits>
#include <new>
#include <string>

#include "base/Failure.h"
#include "base/FreeForm.h"
#include "core/func.h"
#include "base/platform.h"

namespace normlevel {

CrossSection CSDATA;

std::string shortest_real(double value) {
  char text[32];
  return std::string(text, real_chars::shortest(text, text + sizeof text, value));
}

namespace {

void divide_section(CrossSection& d);
void mark_still_water(CrossSection& d);

// Beyond these the 0.1 m walk of the level search could not end promptly,
// and no real valley comes near them.
constexpr double kMaxElevation = 1e5;
constexpr double kMaxStation = 1e9;

std::string trim_blanks(std::string_view field) {
  const std::size_t first = field.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = field.find_last_not_of(' ');
  return std::string(field.substr(first, last - first + 1));
}

[[noreturn]] void reject(const std::string& message, const std::string& plain = "") {
  throw Failure(kRunTimeError, message, "", plain);
}

std::string on_line(std::size_t line) { return line == 0 ? "" : "line " + std::to_string(line) + ": "; }

void skip_records(ListReader& reader, int count) {
  for (int i = 0; i < count; ++i) reader.read({});
}

void check_point_count(const CrossSection& d, std::size_t line = 0) {
  if (d.N < 2) {
    const std::string message = "the section needs at least 2 points, but N = " + std::to_string(d.N);
    reject(message, on_line(line) + message);
  }
  if (d.il < 1 || d.il >= d.ip || d.ip > d.N) {
    const std::string message = "bank points il = " + std::to_string(d.il) + " and ip = " + std::to_string(d.ip) +
                                " do not satisfy 1 <= il < ip <= N = " + std::to_string(d.N);
    reject(message, on_line(line) + message);
  }
}

void check_finite(const char* what, double value, const char* unit = "") {
  if (!std::isfinite(value)) reject(std::string(what) + " = " + shortest_real(value) + unit + " is not a finite number");
}

void check_roughness(const char* name, double n, double slope_fraction, double per_mille) {
  check_finite(name, n);
  if (n <= 0) reject(std::string(name) + " = " + shortest_real(n) + " is not positive");
  if (!std::isfinite(std::sqrt(slope_fraction) / n))
    reject(std::string(name) + " = " + shortest_real(n) + " is too small for the slope of " + shortest_real(per_mille) +
           " per mille");
}

}  // namespace

// The discharge may be 0 or negative and the slope 0: the search then
// simply finds no level and says so.
void check_flow_values(const CrossSection& d) {
  const double per_mille = d.s_per_mille;
  check_finite("discharge Q", d.Q);
  check_finite("slope s", per_mille, " per mille");
  if (per_mille < 0) reject("slope s = " + shortest_real(per_mille) + " per mille is negative");
  if (d.roughness.empty()) {
    check_roughness("roughness nc", d.nc, d.s, per_mille);
    check_roughness("roughness nf", d.nf, d.s, per_mille);
    return;
  }
  for (const Subdivision& part : d.parts) check_roughness("roughness n", roughness_of(d, part), d.s, per_mille);
}

namespace {

// What is wrong with point i, if anything: the loader's wording and the
// plainer one of a command-line run.
struct PointFault {
  std::int32_t point = 0;  ///< 0: none
  std::size_t line = 0;
  std::string message, plain;
};

PointFault point_fault(std::int32_t i, const char* what, const char* noun, double value, const std::string& why,
                       const std::string& plain_why) {
  const std::string point = "point " + std::to_string(i) + ": ";
  return {i, 0, point + what + " = " + shortest_real(value) + " " + why, point + noun + " " + shortest_real(value) + " " + plain_why};
}

bool point_sound(const CrossSection& d, std::int32_t i) {
  const double x = d.x[i], z = d.z[i];
  return std::fabs(x) <= kMaxStation && std::fabs(z) <= kMaxElevation && (i == 1 || x >= d.x[i - 1]);
}

PointFault check_point(const CrossSection& d, std::int32_t i) {
  const double x = d.x[i];
  const double z = d.z[i];
  if (!std::isfinite(x)) return point_fault(i, "station x", "station", x, "is not a finite number", "is not a finite number");
  if (!std::isfinite(z))
    return point_fault(i, "elevation z", "elevation", z, "is not a finite number", "is not a finite number");
  if (std::fabs(x) > kMaxStation)
    return point_fault(i, "station x", "station", x, "lies beyond 1e9 m", "lies more than 1e9 from the datum");
  if (std::fabs(z) > kMaxElevation)
    return point_fault(i, "elevation z", "elevation", z, "lies beyond 1e5 m", "lies more than 1e5 from the datum");
  if (i > 1 && x < d.x[i - 1]) {
    const std::string before = shortest_real(d.x[i - 1]);
    return {i, 0,
            "point " + std::to_string(i) + ": station x = " + shortest_real(x) + " is smaller than the station of point " +
                std::to_string(i - 1) + " (" + before + ")",
            "point " + std::to_string(i) + ": stations must not decrease (" + shortest_real(x) + " after " + before + ")"};
  }
  return {};
}

[[noreturn]] void reject(const PointFault& fault) { reject(fault.message, on_line(fault.line) + fault.plain); }

// A point needs at least three characters and a line end, so the file's
// size bounds how many points it can hold: a huge N in a short file costs
// no memory.
std::size_t points_possible(const std::string& name) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(native_path(name), ec);
  if (ec) return 1 << 12;
  return static_cast<std::size_t>(size / 3 + 1);
}

constexpr const char* kHeading[] = {"a heading line"};
constexpr const char* kFlowNames[] = {"Q", "s", "nc", "nf"};
constexpr const char* kCountNames[] = {"N", "il", "ip"};
constexpr const char* kPointNames[] = {"station", "elevation"};

// Each point is checked as it comes, so that a bad one can be named by its
// line; the first fault is reported once the flow values have been checked.
PointFault read_points(CrossSection& d, ListReader& reader, std::size_t room) {
  const std::size_t count = static_cast<std::size_t>(d.N) + 1;
  d.x.reserve(std::min(count, room + 1));
  d.z.reserve(std::min(count, room + 1));
  d.x.push_back(std::numeric_limits<double>::quiet_NaN());
  d.z.push_back(std::numeric_limits<double>::quiet_NaN());
  reader.name_targets(kPointNames);
  PointFault first;
  for (std::int32_t i = 1; i <= d.N; ++i) {
    double x = std::numeric_limits<double>::quiet_NaN();  // a null value leaves a point undefined
    double z = std::numeric_limits<double>::quiet_NaN();
    reader.read({&x, &z});
    d.x.push_back(x);
    d.z.push_back(z);
    if (first.point != 0 || point_sound(d, i)) continue;
    first = check_point(d, i);
    first.line = reader.line();
  }
  return first;
}

// Kept in locals: stored into d at each point, they would be read back from
// memory at the next (d's fields might be the points themselves, as far as
// the compiler knows). A point below the lowest is never above the highest.
void find_extremes(CrossSection& d) {
  double zmin = d.z[1], zmax = d.z[1];
  for (std::int32_t i = 2; i <= d.N; ++i) {
    const double z = d.z[i];
    zmin = z < zmin ? z : zmin;
    zmax = z > zmax ? z : zmax;
  }
  d.zmin = zmin;
  d.zmax = zmax;
}

PointFault read_data(CrossSection& d, RecordSource& source, std::size_t room) {
  ListReader reader(source, kReadDataFile);
  reader.name_targets(kHeading);
  skip_records(reader, 4);
  reader.name_targets(kFlowNames);
  reader.read({&d.Q, &d.s, &d.nc, &d.nf});
  reader.name_targets(kHeading);
  skip_records(reader, 2);
  reader.name_targets(kCountNames);
  reader.read({&d.N, &d.il, &d.ip});
  check_point_count(d, reader.line());
  reader.name_targets(kHeading);
  skip_records(reader, 1);
  return read_points(d, reader, room);
}

}  // namespace

void setdata(std::string_view field) {
  CSDATA = CrossSection{};
  CSDATA = read_section_file(field);
}

CrossSection read_section_file(std::string_view field) {
  const std::string name = trim_blanks(field);
  if (name.empty()) throw Failure(kRunTimeError, "Bad file specification", kOpenDataFile, "the file name is empty");
  int code = 0;
  const FileHandle file = open_for_reading(name, code);
  if (!file) throw Failure(kSystemError, system_error_text(code), kOpenDataFile, open_error_words(code));
  FileSource source(file.get());
  return read_section(source, points_possible(name));
}

void setdata_from(RecordSource& source, std::size_t room) {
  CSDATA = CrossSection{};
  CSDATA = read_section(source, room);
}

CrossSection read_section(RecordSource& source, std::size_t room) {
  CrossSection d;
  PointFault fault;
  try {
    fault = read_data(d, source, room);
  } catch (const std::bad_alloc&) {
    throw Failure(kRunTimeError, "Buffer allocation failed", "", "not enough memory for the points");
  }
  d.s_per_mille = d.s;
  d.s = d.s / 1000;
  check_flow_values(d);
  if (fault.point != 0) reject(fault);
  find_extremes(d);
  measure_segments(d);
  return d;
}

void prepare_section(CrossSection& d) {
  check_point_count(d);
  bool sound = true;  // looked at all at once, without a branch a point; the first fault found only if there is one
  for (std::int32_t i = 1; i <= d.N; ++i) sound &= point_sound(d, i);
  for (std::int32_t i = 1; !sound && i <= d.N; ++i)
    if (!point_sound(d, i)) reject(check_point(d, i));
  find_extremes(d);
  measure_segments(d);
}

// A segment's length is its wetted perimeter whenever it lies wholly under
// water, at every level: worked out once, not at each evaluation.
void measure_segments(CrossSection& d) {
  d.length.assign(d.x.size(), 0.0);
  for (std::int32_t i = 1; i < d.N; ++i) {
    const double dx = d.x[i + 1] - d.x[i];
    const double dz = d.z[i + 1] - d.z[i];
    d.length[i] = std::sqrt(dx * dx + dz * dz);
  }
  divide_section(d);
  mark_still_water(d);
}

void finishdata() { CSDATA = CrossSection{}; }

namespace {

// One segment's share of a subdivision: its wetted area AC, wetted length
// PC, the width BC of the water surface over it, and dPC, how fast PC grows
// with the level (0 once the segment lies wholly under water).
struct Wetted {
  double AC;
  double PC;
  double BC;
  double dPC;
};

// The whole segment lies under water: a trapezoid of mean depth below h,
// wetted over its whole length.
Wetted FULLS(double h, double x1, double z1, double x2, double z2, double length) {
  return {(x2 - x1) * 0.5 * (2.0 * h - z1 - z2), length, x2 - x1, 0.0};
}

// Station where the water line meets the segment. Kept within the
// segment's stations: on a vertical wall the interpolation may land one
// rounding step outside, which would make the area negative.
double waters_edge(double h, double x1, double z1, double x2, double z2) {
  const double ALF = (h - z1) / (z2 - z1);
  const double edge = (1 - ALF) * x1 + ALF * x2;
  return std::clamp(edge, std::min(x1, x2), std::max(x1, x2));
}

// A triangle of the given width and depth; its wetted length grows in
// proportion to the depth.
Wetted triangle(double width, double depth) {
  const double length = std::sqrt(width * width + depth * depth);
  return {width * 0.5 * depth, length, width, length / depth};
}

// Left end dry (or exactly at the level): a triangle from the water's edge XL.
Wetted LEFTS(double h, double x1, double z1, double x2, double z2) {
  const double XL = waters_edge(h, x1, z1, x2, z2);
  return triangle(x2 - XL, h - z2);
}

// Right end dry (or exactly at the level): a triangle up to the water's edge XR.
Wetted RIGHTS(double h, double x1, double z1, double x2, double z2) {
  const double XR = waters_edge(h, x1, z1, x2, z2);
  return triangle(XR - x1, h - z1);
}

// Segment i at level h: false when it is dry. A segment with one end
// exactly at the level and the other below is wet up to that end, so the
// wetted area grows smoothly as the level passes a survey point; a level
// segment lying exactly at the level stays dry.
bool SETCC(const CrossSection& d, double h, std::int32_t i, Wetted& wet) {
  const double x1 = d.x[i], z1 = d.z[i];
  const double x2 = d.x[i + 1], z2 = d.z[i + 1];
  if (z1 < h && z2 < h)
    wet = FULLS(h, x1, z1, x2, z2, d.length[i]);
  else if (z2 < h)
    wet = LEFTS(h, x1, z1, x2, z2);
  else if (z1 < h)
    wet = RIGHTS(h, x1, z1, x2, z2);
  else
    return false;
  return true;
}

// Sums segments first ... last in order; skipping dry ones changes no sum,
// since adding +0 to a sum that starts at +0 is exact. The sums live in
// locals: the caller's variables could alias the point arrays. The widths
// and the perimeter's growth only when asked for: the search needs neither.
template <bool kEverything>
PartGeometry add_segments(const CrossSection& d, double h, std::int32_t first, std::int32_t last) {
  double area = 0, perimeter = 0, width = 0, growth = 0;
  Wetted wet;
  for (std::int32_t i = first; i <= last; ++i) {
    if (!SETCC(d, h, i, wet)) continue;
    area += wet.AC;
    perimeter += wet.PC;
    if constexpr (kEverything) {
      width += wet.BC;
      growth += wet.dPC;
    }
  }
  return {area, perimeter, width, growth};
}

// Under the model rules the walls standing on segment i: the section's
// ends, a friction wall above an end point, and the levees' faces.
struct Faces {
  double wetted = 0, growth = 0;
};

Faces faces_on(const CrossSection& d, double h, std::int32_t i) {
  Faces f;
  const auto wall = [&](double ground) {
    if (h > ground) f = {f.wetted + (h - ground), f.growth + 1};
  };
  if (i == 1) wall(d.z[1]);
  if (i == d.N - 1) wall(d.z[d.N]);
  for (const CrossSection::Wall& w : d.walls) {
    if (w.segment != i) continue;
    const double ground = d.z[w.point];
    if (h < w.crest)
      wall(ground);
    else if (w.crest > ground)
      f.wetted += 2 * (w.crest - ground);  // overtopped: both faces, up to the crest
  }
  return f;
}


// The model's sums of segments first ... last of `part`: water that does
// not flow yet adds nothing (but parts no stretch: only ground does), the
// walls add their wetted faces, and a floodplain's stretches, parted by
// ground at or above the level, convey one by one.
template <bool kEverything>
PartGeometry add_model_segments(const CrossSection& d, double h, const Subdivision& part, std::int32_t first,
                                std::int32_t last) {
  double area = 0, perimeter = 0, width = 0, growth = 0;
  double stretch_area = 0, stretch_perimeter = 0, conveying = 0;
  int stretches = 0;
  const auto close_stretch = [&] {
    if (stretch_perimeter == 0) return;
    conveying += stretch_conveying(stretch_area, stretch_perimeter);
    ++stretches;
    stretch_area = stretch_perimeter = 0;
  };
  Wetted wet;
  for (std::int32_t i = first; i <= last; ++i) {
    if (d.z[i] >= h) close_stretch();
    if (h < d.flows_from[i] || !SETCC(d, h, i, wet)) continue;
    const Faces faces = faces_on(d, h, i);
    area += wet.AC;
    perimeter += wet.PC + faces.wetted;
    stretch_area += wet.AC;
    stretch_perimeter += wet.PC + faces.wetted;
    if constexpr (kEverything) {
      width += wet.BC;
      growth += wet.dPC + faces.growth;
    }
  }
  close_stretch();
  PartGeometry g{area, perimeter, width, growth};
  if (part.zone != kChannel && stretches > 0) g.conveying = conveying;
  return g;
}

// The segments that can be wet at h: from the one ending at the first
// point below h to the one starting at the last. Every other one has both
// ends at or above h and is dry, and skipping it changes no sum.
SegmentWindow wet_window(const CrossSection& d, double h) {
  std::int32_t first = 1, last = d.N;
  while (first <= d.N && !(d.z[first] < h)) ++first;
  if (first > d.N) return {1, 0};
  while (!(d.z[last] < h)) --last;
  return {first - 1, last};
}

template <bool kEverything>
void add_parts(const CrossSection& d, double h, std::span<PartGeometry> out, SegmentWindow given) {
  const std::vector<Subdivision>& parts = d.parts;
  const bool model = d.rules == Rules::model;
  const SegmentWindow wet = wet_window(d, h);
  const SegmentWindow window{std::max(given.first, wet.first), std::min(given.last, wet.last)};
  for (std::size_t p = 0; p < parts.size(); ++p) {
    const std::int32_t first = std::max(parts[p].first, window.first), last = std::min(parts[p].last, window.last);
    out[p] = model ? add_model_segments<kEverything>(d, h, parts[p], first, last) : add_segments<kEverything>(d, h, first, last);
  }
}

// A zone's area and perimeter are its subdivisions' added in order.
std::array<PartGeometry, 3> zone_sums(const CrossSection& d, double h) {
  std::array<PartGeometry, 3> zones{};
  for (const Subdivision& part : d.parts) {
    const PartGeometry g = add_segments<false>(d, h, part.first, part.last);
    zones[part.zone].A += g.A;
    zones[part.zone].P += g.P;
  }
  return zones;
}

// The sums of one subdivision at many levels. Taking the segments in order
// and the levels inside keeps every level's sums in segment order, as
// wetted_parts adds them. Sorted levels split each segment's levels into
// dry (skipped: adding +0 changes no sum), partly wet and wholly wet; the
// wholly wet ones, nearly all the work, run two segments at a time, each
// level taking the first segment's share and then the second's, so that
// every sum is loaded and stored once for both.
struct ZoneSums {
  std::vector<double> A, P, B, dP;
  explicit ZoneSums(std::size_t levels) : A(levels), P(levels), B(levels), dP(levels) {}
};

// One segment as FULLS needs it, with the range of levels where it is wet.
struct SegmentAtLevels {
  std::int32_t i;
  double half_width, z1, z2, length, width;
  std::size_t wet, full;  ///< levels [wet, full) wet in part, [full, ...) wholly
};

// How many of the ascending levels lie at or below `value`, found by walking
// from the count of a neighbouring point: neighbours stand at similar heights.
std::size_t levels_at_or_below(std::span<const double> levels, double value, std::size_t from) {
  while (from < levels.size() && levels[from] <= value) ++from;
  while (from > 0 && levels[from - 1] > value) --from;
  return from;
}

SegmentAtLevels segment_at_levels(const CrossSection& d, std::span<const double> levels, std::int32_t i,
                                  const SegmentAtLevels& previous) {
  const double z1 = d.z[i], z2 = d.z[i + 1];
  // Dry while both ends stand at or above the level; wholly wet once both lie below.
  const std::size_t wet = levels_at_or_below(levels, std::min(z1, z2), previous.wet);
  const std::size_t full = levels_at_or_below(levels, std::max(z1, z2), std::max(previous.full, wet));
  return {i, (d.x[i + 1] - d.x[i]) * 0.5, z1, z2, d.length[i], d.x[i + 1] - d.x[i], wet, full};
}

// The segment's shares at levels [its wet, end), the level-by-level way.
void add_up_to(const CrossSection& d, std::span<const double> levels, const SegmentAtLevels& s, std::size_t end,
               ZoneSums& sums) {
  Wetted part;
  for (std::size_t k = s.wet; k < end; ++k) {
    if (!SETCC(d, levels[k], s.i, part)) continue;
    sums.A[k] += part.AC;
    sums.P[k] += part.PC;
    sums.B[k] += part.BC;
    sums.dP[k] += part.dPC;
  }
}

// FULLS of a and then of b at each level from `from` up: the same
// operations in the same order, written out for the vectorizer. A wholly
// wet segment adds nothing to dP.
void add_wholly_wet(std::span<const double> levels, std::size_t from, const SegmentAtLevels& a,
                    const SegmentAtLevels& b, ZoneSums& sums) {
  const std::size_t count = levels.size();
  const double* __restrict h = levels.data();
  double* __restrict A = sums.A.data();
  double* __restrict P = sums.P.data();
  double* __restrict B = sums.B.data();
  for (std::size_t k = from; k < count; ++k) {
    A[k] = A[k] + a.half_width * (2.0 * h[k] - a.z1 - a.z2) + b.half_width * (2.0 * h[k] - b.z1 - b.z2);
    P[k] = P[k] + a.length + b.length;
    B[k] = B[k] + a.width + b.width;
  }
}

ZoneSums part_at_levels(const CrossSection& d, std::span<const double> levels, std::int32_t first, std::int32_t last) {
  ZoneSums sums(levels.size());
  SegmentAtLevels previous{0, 0, 0, 0, 0, 0, 0, 0};
  std::int32_t i = first;
  for (; i < last; i += 2) {
    const SegmentAtLevels a = segment_at_levels(d, levels, i, previous);
    const SegmentAtLevels b = segment_at_levels(d, levels, i + 1, a);
    const std::size_t both = std::max(a.full, b.full);
    add_up_to(d, levels, a, both, sums);
    add_up_to(d, levels, b, both, sums);
    add_wholly_wet(levels, both, a, b, sums);
    previous = b;
  }
  if (i == last) add_up_to(d, levels, segment_at_levels(d, levels, i, previous), levels.size(), sums);
  return sums;
}

// Each zone's segments, split wherever their n changes.
void divide_zone(CrossSection& d, std::int32_t first, std::int32_t last, Zone zone) {
  for (std::int32_t start = first; start <= last;) {
    std::int32_t end = start;
    if (!d.roughness.empty())
      while (end < last && d.roughness[end + 1] == d.roughness[start]) ++end;
    else
      end = last;
    d.parts.push_back({start, end, zone});
    start = end + 1;
  }
}

// The first and the last point at a station; {0, -1} when none stands there.
std::pair<std::int32_t, std::int32_t> points_at(const CrossSection& d, double station) {
  std::int32_t first = 0, last = -1;
  for (std::int32_t i = 1; i <= d.N; ++i)
    if (d.x[i] == station) {
      if (first == 0) first = i;
      last = i;
    }
  return {first, last};
}

void hold_back(CrossSection& d, std::int32_t first, std::int32_t last, double from) {
  for (std::int32_t i = std::max(first, 1); i <= std::min(last, d.N - 1); ++i)
    d.flows_from[i] = std::max(d.flows_from[i], from);
}

// Under the model rules: the levels from which each segment's water flows
// (the ineffective areas' and the levees' doing), and the levees' walls.
void mark_still_water(CrossSection& d) {
  d.flows_from.assign(d.x.size(), -std::numeric_limits<double>::infinity());
  d.walls.clear();
  d.plain_sums = false;
  if (d.rules != Rules::model) return;
  for (const StillWater& s : d.still) {
    const double from = s.permanent ? std::numeric_limits<double>::infinity() : s.elevation;
    for (std::int32_t i = 1; i < d.N; ++i)
      if (d.x[i] >= s.from && d.x[i + 1] <= s.to) d.flows_from[i] = std::max(d.flows_from[i], from);
  }
  for (const Levee& levee : d.levees) {
    const auto [first, last] = points_at(d, levee.station);
    if (first == 0) continue;  // off the section
    if (levee.left) {
      hold_back(d, 1, last - 1, levee.crest);
      if (last < d.N) d.walls.push_back({last, last, levee.crest});
    } else {
      hold_back(d, first, d.N - 1, levee.crest);
      if (first > 1) d.walls.push_back({first, first - 1, levee.crest});
    }
  }
  d.plain_sums = !d.walls.empty() || std::any_of(d.flows_from.begin(), d.flows_from.end(), [](double f) {
    return f > -std::numeric_limits<double>::infinity();
  });
}

void divide_section(CrossSection& d) {
  d.parts.clear();
  divide_zone(d, 1, d.il - 1, kLeft);
  divide_zone(d, d.il, d.ip - 1, kChannel);
  divide_zone(d, d.ip, d.N - 1, kRight);
}

}  // namespace

double roughness_of(const CrossSection& d, const Subdivision& part) {
  if (!d.roughness.empty()) return d.roughness[part.first];
  return part.zone == kChannel ? d.nc : d.nf;
}

std::size_t part_of(const CrossSection& d, std::int32_t segment) {
  const std::vector<Subdivision>& parts = d.parts;
  if (parts.size() <= 8) {
    std::size_t p = 0;
    while (p + 1 < parts.size() && parts[p].last < segment) ++p;
    return p;
  }
  const auto at = std::partition_point(parts.begin(), parts.end(),
                                       [segment](const Subdivision& p) { return p.last < segment; });
  return static_cast<std::size_t>(at - parts.begin());
}

double stretch_conveying(double area, double perimeter) {
  return perimeter > kDryPerimeter && area > 0 ? area * radius_power(area / perimeter) : 0;
}

// Levels go through the points in blocks whose sums stay in the fastest cache.
constexpr std::size_t kLevelsPerPass = 256;

std::vector<PartGeometry> geometry_at_levels(const CrossSection& d, std::span<const double> levels) {
  const std::vector<Subdivision>& parts = d.parts;
  std::vector<PartGeometry> geometry(levels.size() * parts.size());
  if (d.rules == Rules::model) {  // the one-pass sums know only the divided rules
    for (std::size_t k = 0; k < levels.size(); ++k)
      wetted_parts(d, levels[k], std::span(geometry).subspan(k * parts.size(), parts.size()));
    return geometry;
  }
  for (std::size_t first = 0; first < levels.size(); first += kLevelsPerPass) {
    const std::span<const double> block = levels.subspan(first, std::min(kLevelsPerPass, levels.size() - first));
    for (std::size_t p = 0; p < parts.size(); ++p) {
      const ZoneSums sums = part_at_levels(d, block, parts[p].first, parts[p].last);
      for (std::size_t k = 0; k < block.size(); ++k)
        if (block[k] >= d.zmin) geometry[(first + k) * parts.size() + p] = {sums.A[k], sums.P[k], sums.B[k], sums.dP[k]};
    }
  }
  return geometry;
}

bool segment_share(const CrossSection& d, double h, std::int32_t i, double& A, double& P) {
  Wetted wet;
  if (!SETCC(d, h, i, wet)) return false;
  A = wet.AC;
  P = wet.PC;
  return true;
}

bool wetted_parts(const CrossSection& d, double h, std::span<PartGeometry> out, SegmentWindow window) {
  if (h < d.zmin) return false;
  add_parts<true>(d, h, out, window);
  return true;
}

std::vector<WetStretch> wet_stretches(const CrossSection& d, double h) {
  std::vector<WetStretch> stretches;
  Wetted wet;
  for (std::int32_t i = 1; i < d.N; ++i) {
    if (!SETCC(d, h, i, wet)) continue;
    const double from = d.z[i] < h ? d.x[i] : d.x[i + 1] - wet.BC;
    const double to = d.z[i + 1] < h ? d.x[i + 1] : d.x[i] + wet.BC;
    if (!stretches.empty() && stretches.back().last == i - 1 && d.z[i] < h) {
      stretches.back().last = i;
      stretches.back().to = to;
    } else {
      stretches.push_back({i, i, from, to});
    }
  }
  return stretches;
}

SegmentWindow connected_window(const CrossSection& d, double h) { return connected_window(d, wet_stretches(d, h)); }

SegmentWindow connected_window(const CrossSection& d, std::span<const WetStretch> stretches) {
  SegmentWindow window{1, 0};
  bool any = false;
  for (const WetStretch& s : stretches) {
    if (s.last < d.il || s.first >= d.ip) continue;  // wholly outside the channel's segments
    if (!any) window.first = s.first;
    window.last = s.last;
    any = true;
  }
  return window;
}

bool wetted_areas(const CrossSection& d, double h, std::span<PartGeometry> out, SegmentWindow window) {
  if (h < d.zmin) return false;
  add_parts<false>(d, h, out, window);
  return true;
}

std::int32_t basichydro(double h, double& AFL, double& A0, double& AFP, double& PFL, double& P0, double& PFP) {
  return basichydro(CSDATA, h, AFL, A0, AFP, PFL, P0, PFP);
}

std::int32_t basichydro(const CrossSection& d, double h, double& AFL, double& A0, double& AFP, double& PFL, double& P0,
                        double& PFP) {
  if (h < d.zmin) return 0;
  const std::array<PartGeometry, 3> zones = zone_sums(d, h);
  AFL = zones[kLeft].A;
  A0 = zones[kChannel].A;
  AFP = zones[kRight].A;
  PFL = zones[kLeft].P;
  P0 = zones[kChannel].P;
  PFP = zones[kRight].P;
  return 1;
}

}  // namespace normlevel
