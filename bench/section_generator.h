#pragma once

// Large, realistic valley sections for the benchmarks: a main channel
// between two wide floodplains whose ground rises towards the valley sides,
// all with survey noise, written in the program's data-file format.

#include <cstdint>
#include <string>

namespace normlevel::bench {

/// Writes a section of `points` points to `path`. The design discharge is
/// the one the section carries with the water `depth` metres above its
/// lowest point, so the search takes about depth / 0.1 steps; a depth of 0
/// asks for a discharge no level can carry (the search walks to its limit).
void write_valley(const std::string& path, std::int32_t points, double depth);

/// Writes a V whose elevations span the whole range the loader accepts,
/// -1e5 m at its bottom to 1e5 m at its ends, with a discharge it cannot
/// carry: the search walks some two million steps to its notice.
void write_wide_v(const std::string& path, std::int32_t points);

/// Writes the valley of write_valley as a station table (station,elevation
/// with a header row), the banks at stations *left and *right.
void write_table(const std::string& path, std::int32_t points, double& left, double& right);

/// Writes a river-model geometry file of `sections` cross sections of
/// `points` points each down one reach: valleys like write_valley's, each
/// a little lower and differently noisy, n 0.06 / 0.035 / 0.06 by zone.
/// Returns a discharge that stands about 3 m deep in them.
double write_geometry(const std::string& path, std::int32_t sections, std::int32_t points);

}  // namespace normlevel::bench
