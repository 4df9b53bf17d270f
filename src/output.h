#pragma once

// Writing what a command-line run computed: the report's own text, CSV
// (RFC 4180) or JSON, every number in the shortest form that reads back
// as the same double.

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "zones.h"

namespace normlevel {

/// One file and one query: the level found (or asked for) and its figures.
struct LevelResult {
  std::string file;  ///< the name as given
  Query query;
  double discharge = 0;  ///< asked for, or with a level query the discharge carried
  double slope = 0;      ///< as a fraction
  double nc = 0, nf = 0;
  bool found = false;  ///< false: the walk found no level (the notice)
  double level = 0;
  double zmin = 0, zmax = 0, bank_left = 0, bank_right = 0;
  double channel_velocity = 0;
  Breakdown zones;
};

/// One row of the rating table.
struct RatingRow {
  double level, depth, area, top_width;
  double left_discharge, channel_discharge, right_discharge, discharge;
  double channel_velocity;
};

/// The rating table of one file.
struct RatingTable {
  std::string file;
  double slope = 0, nc = 0, nf = 0;
  std::vector<RatingRow> rows;
};

/// Receives the results in order and writes them in one format.
class ResultWriter {
 public:
  virtual ~ResultWriter() = default;
  virtual void write(const LevelResult& result) = 0;
  virtual void write(const RatingTable& table) = 0;
  /// Closes the document (the JSON array); text and CSV need nothing.
  virtual void finish() {}
};

/// How a run's results are laid out.
struct Layout {
  Format format = Format::text;
  bool details = false;      ///< text: the zone breakdown after each report
  bool name_blocks = false;  ///< text: more than one block, each headed by its file
  bool name_queries = false; ///< text: several queries, the heading names each
};

std::unique_ptr<ResultWriter> make_writer(const Layout& layout, std::ostream& out);

/// The shortest text that reads back as the same double; "null" for NaN
/// and infinities, which JSON cannot hold:  0.1 -> "0.1"   1e21 -> "1e+21"
std::string shortest_number(double value);

/// A number for people to read, in plain digits where that loses none:
///   1e6 -> "1000000"   0.03 -> "0.03"   1e-7 -> "1e-07"
std::string plain_number(double value);

/// Length of the well-formed UTF-8 sequence of a character of two bytes or
/// more at the start of `text`, or 0:  "\xC3\xA9x" -> 2   "\xE9x" -> 0   "a" -> 0
std::size_t utf8_length(std::string_view text);

/// A JSON string literal; bytes that are not UTF-8 are taken as Latin-1:
///   a"b -> "a\"b"   tab -> "\t"   0xE9 alone -> "\u00e9"
std::string json_string(std::string_view text);

/// A report line for a discharge: the label in 13 columns, the value field, " m3/s":
///   ("Q brzegowe:", 3.5) -> "Q brzegowe:          3.50000 m3/s\r\n"
std::string discharge_line(std::string_view label, double value);

/// A CSV field, quoted when it holds a comma, a quote or a line end:
///   a,b -> "a,b"   say "hi" -> "say ""hi"""
std::string csv_field(std::string_view text);

}  // namespace normlevel
