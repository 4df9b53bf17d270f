#pragma once

/// normlevel as a library: the normal water level of a river cross-section
/// (the level at which it carries a discharge in steady uniform flow, by
/// Manning's formula zone by zone), its flow split, energy, critical levels
/// and rating table. Needs C++20 and nothing but the standard library.
///
///   #include <cstdio>
///   #include <normlevel/normlevel.h>
///
///   int main() {
///     const normlevel::Section trapezoid = normlevel::Section::from_points(
///         {{0, 103}, {10, 101}, {12, 100}, {14, 100}, {16, 101}, {26, 103}},
///         normlevel::Banks::points(1, 4), normlevel::Roughness(0.03, 0.05), 1.0);
///     const normlevel::Levels found = trapezoid.normal_levels(10.0);
///     if (found.found) std::printf("%.5f m\n", found.level);  // 101.64045 m
///   }
///
/// Every call that cannot give an answer from its data throws normlevel::Error.

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace normlevel {

/// Data that describe no section, or a value no computation can use; what() says what and where.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Metres and m3/s (Manning's k = 1), or feet and cfs (k = 1.486).
enum class UnitSystem { si, us };

/// Which water carries flow: the divided channel's rules, or a 1-D river model's.
enum class RuleSet { divided, model };

/// A surveyed point across the valley, left to right.
struct Point {
  double station;    ///< distance across the valley
  double elevation;  ///< same datum as the levels computed
};

/// The two bank points between which the main channel lies.
struct Banks {
  bool by_station = false;  ///< false: left and right are point indices
  double left = 0, right = 0;
  /// The points with these 0-based indices.
  static Banks points(std::size_t left_point, std::size_t right_point) {
    return {false, static_cast<double>(left_point), static_cast<double>(right_point)};
  }
  /// The points at these stations.
  static Banks stations(double left_station, double right_station) { return {true, left_station, right_station}; }
};

/// Manning's n of the main channel and of each floodplain.
struct Roughness {
  double channel, left, right;
  /// One n for both floodplains.
  Roughness(double channel_n, double floodplains_n) : channel(channel_n), left(floodplains_n), right(floodplains_n) {}
  Roughness(double channel_n, double left_n, double right_n) : channel(channel_n), left(left_n), right(right_n) {}
};

/// How a station table or a geometry file is taken, beyond what it holds.
struct SurveyOptions {
  std::optional<Roughness> n{};       ///< replaces the file's n; a table without an n column needs it
  std::optional<Banks> banks{};       ///< a table's banks where no codes mark them; a geometry file has its own
  std::optional<UnitSystem> units{};  ///< none: a table's unit line, else SI
  std::optional<RuleSet> rules{};     ///< none: the model's for a geometry file, divided for a table
};

/// The levels at which a section carries a discharge.
struct Levels {
  bool found = false;        ///< false: no level up to 20 m above the highest point carries it
  double level = 0;          ///< the one reported: the first found walking up, to 1 mm
  std::vector<double> all;   ///< every level carrying it, ascending (a divided section may have several)
};

/// One zone's figures at a level; every ratio whose divisor is 0 is 0.
struct ZoneResult {
  double area = 0;        ///< wetted area
  double perimeter = 0;   ///< wetted perimeter
  double radius = 0;      ///< hydraulic radius
  double top_width = 0;   ///< width of the water surface
  double velocity = 0;    ///< mean velocity
  double discharge = 0;   ///< what it carries
  double share = 0;       ///< its discharge's part of the total, 0 ... 1
  double conveyance = 0;  ///< K: discharge = K sqrt(slope)
};

/// The flow split at one level between the zones.
struct FlowBreakdown {
  ZoneResult left, channel, right, total;
};

/// The energy figures for a discharge at one level.
struct Energy {
  double alpha = 1;          ///< Coriolis coefficient
  double beta = 1;           ///< Boussinesq coefficient
  double velocity_head = 0;  ///< alpha V^2 / (2 g)
  double energy_level = 0;   ///< the level plus the velocity head
  double froude = 0;         ///< 1 at a critical level, below 1 subcritical
};

/// A level where the specific energy has a local minimum.
struct Critical {
  double level = 0;
  double energy = 0;
  bool at_end = false;     ///< at an end point's elevation, where assumed walls take over
  bool governing = false;  ///< the critical level by the usual convention
};

/// One row of a rating table.
struct RatingPoint {
  double level, depth, area, top_width;
  double left_discharge, channel_discharge, right_discharge, discharge;
  double channel_velocity;
};

/// An assumption a result rests on: a stable code ("wall_left", "supercritical", ...) and plain words.
struct Caveat {
  std::string code;
  std::string message;
};

/// A river cross-section, immutable; copies share its data.
class Section {
 public:
  /// Points left to right, the banks, n, the bed slope (per mille) and the units.
  static Section from_points(const std::vector<Point>& points, Banks banks, Roughness n, double slope_per_mille,
                             UnitSystem units = UnitSystem::si);
  /// The text of a data file: its discharge, slope, n, banks and points.
  static Section from_data_file(std::string_view text, UnitSystem units = UnitSystem::si);
  /// The text of a station table (a spreadsheet export): one section per section it names. It holds no slope.
  static std::vector<Section> from_table(std::string_view text, double slope_per_mille, const SurveyOptions& options = {});
  /// The text of a river model's geometry file: every cross section it holds, each named. It holds no slope.
  static std::vector<Section> from_geometry(std::string_view text, double slope_per_mille,
                                            const SurveyOptions& options = {});

  /// "river reach station" of a geometry file's section, a table's section name, else "".
  const std::string& name() const;
  /// The discharge a data file gives; 0 for other inputs.
  double design_discharge() const;
  double lowest() const;   ///< the lowest elevation
  double highest() const;  ///< the highest elevation

  /// The levels carrying discharge Q; connected: ponded water carries nothing.
  Levels normal_levels(double Q, bool connected = false) const;
  /// The flow split at a level.
  FlowBreakdown breakdown(double level, bool connected = false) const;
  /// The energy figures for discharge Q at a level.
  Energy energy(double level, double Q, bool connected = false) const;
  /// Every local minimum of the specific energy for Q, ascending.
  std::vector<Critical> critical_levels(double Q) const;
  /// Rows at lowest() + step, + 2 step, ... up to the first at or above highest().
  std::vector<RatingPoint> rating(double step, bool connected = false) const;
  /// The assumptions the level for Q rests on, and what the reader left out.
  std::vector<Caveat> warnings(double Q, bool connected = false) const;

  struct Data;  ///< opaque: defined inside the library alone

 private:
  explicit Section(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
  std::shared_ptr<const Data> data_;
};

}  // namespace normlevel
