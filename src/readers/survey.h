#pragma once

// A cross-section as the station-table and geometry-file readers find it:
// points, bank stations and roughness by station, put into the section
// data set the rest of the program works on.

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_blocks.h"
#include "core/CSdata.h"

namespace normlevel {

/// Where a section stands in a river model: empty for tables and data files.
struct SectionName {
  std::string river, reach, station;
  bool empty() const { return river.empty() && reach.empty() && station.empty(); }
  /// "river reach station", blanks between the parts that are there.
  std::string text() const;
};

/// A section's place as an output names it: the file, then the section's
/// name after the output's separator where it has one.
///   ("reach.g01", {"Creek", "Upper", "105.5"}, ", ") -> "reach.g01, Creek Upper 105.5"
///   ("reach.g01", {"", "", "7"}, ": ") -> "reach.g01: 7"        ("table.csv", {}, ": ") -> "table.csv"
std::string section_place(const std::string& file, const SectionName& section, std::string_view separator);

/// How a bank station that is not a point of the section is taken.
enum class BankRule {
  point,   ///< it must be a point: an error naming the nearest points
  insert,  ///< a point is put there on the line between its neighbours
};

/// One section read from a station table or a geometry file.
struct SurveyedSection {
  SectionName name;
  std::size_t line = 0;              ///< where it begins in its file
  std::vector<double> x, z;          ///< stations and elevations, left to right
  std::vector<double> n_station, n;  ///< n[k] applies from n_station[k] to the next one; empty: none given
  std::vector<double> point_n;       ///< or point_n[i]: n from point i to the next (a table's n column)
  double bank_left = 0, bank_right = 0;  ///< bank stations
  std::vector<std::string> left_out;     ///< what the file holds that the divided rules leave out
  std::vector<std::string> notes;        ///< how the points were taken, for the user to know
  std::vector<std::string> bent;         ///< a warning: the surveyed points stray from a straight line
  std::vector<StillWater> still;         ///< ineffective flow areas, as the file gives them
  std::vector<Levee> levees;
  std::vector<StillWater> obstructions;  ///< blocked: the ground is raised to their elevation
};

/// The index of the point at `station`, 0-based: for the left bank the
/// first point there, for the right bank the last (a vertical wall at a
/// bank belongs to the channel); with BankRule::insert a point is inserted
/// on the segment that crosses it. Throws Failure naming the nearest points.
std::size_t bank_point(SurveyedSection& s, double station, bool left, BankRule rule);

/// Puts the section into d: its points, its banks and each segment's n
/// (when it has any), checked by the loader's rules; n stations that fall
/// inside a segment get a point of their own, and a segment starting at a
/// station where n changes takes the new n. Q, s and the units are left
/// as they are. Under the model rules (d.rules, set before) the ground
/// is raised over the obstructions and points are put at the edges of the
/// ineffective areas and at the levees. Throws Failure for a section that cannot be computed.
void install_section(CrossSection& d, SurveyedSection& s, BankRule rule);

/// A real as a table or geometry file writes it: optional sign, digits with
/// an optional decimal point (or comma, when `comma` is true), an optional
/// exponent; false for anything else.
///   "12.5" -> 12.5   "-.5" -> -0.5   "405591." -> 405591   "1e3" -> 1000
///   "12,5" with comma -> 12.5        "12,5" without -> false   "1.5D3" -> false
bool parse_decimal(std::string_view text, bool comma, double& value);

/// The text without the blanks and tabs around it:  "  12 \t" -> "12"
std::string_view trimmed(std::string_view text);

/// Throws the Failure a reader gives for what stands on one line:
///   (12, "no station") -> "line 12: no station"
[[noreturn]] void refuse_line(std::size_t line, const std::string& message);

/// The lines of a text, LF or CR LF, numbered from 1; a UTF-8 byte-order
/// mark at its start is not part of the first.
class Lines {
 public:
  /// A text held in memory as a whole.
  explicit Lines(std::string_view bytes);
  /// A text that arrives in blocks: the same lines as its blocks joined.
  explicit Lines(std::unique_ptr<ByteBlocks> blocks);
  /// The next line, without its line end; false after the last. It stays
  /// valid until release_before is told of a later line, or of none.
  bool next(std::string_view& line);
  /// No line before `keep` is looked at again; an empty `keep`: no line
  /// handed out so far is.
  void release_before(std::string_view keep);
  /// The number of the line `next` gave last.
  std::size_t number() const { return number_; }

 private:
  bool next_block();
  std::string_view joined_line();

  std::string_view bytes_;  // the block at hand
  std::size_t at_ = 0, number_ = 0;
  std::unique_ptr<ByteBlocks> blocks_;
  bool ended_ = false;
  std::deque<std::string> joined_;  // lines that run from one block into the next
};

}  // namespace normlevel
