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
#include "results.h"

namespace normlevel {

/// Receives the results in order and writes them in one format; the
/// document is whole after finish(), whatever was written before.
class ResultWriter {
 public:
  virtual ~ResultWriter() = default;
  virtual void write(const LevelResult& result) = 0;
  virtual void write(const RatingTable& table) = 0;
  virtual void write(const FailedInput& failed) = 0;
  /// Closes the document (the JSON array); text and CSV need nothing.
  virtual void finish() {}
};

/// How a run's results are laid out.
struct Layout {
  Format format = Format::text;
  bool details = false;      ///< text: the zone breakdown after each report
  bool headings = false;     ///< text: each block headed by its file and section
  bool name_values = false;  ///< text: the heading names the discharge or level, the slope and the n used
  bool rating = false;       ///< the results are rating tables (CSV: their columns)
  bool solve = false;        ///< the results solve for n or the slope (CSV: their columns)
  bool profiles = false;     ///< the results are named by a flow file's profiles (CSV: its column)
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

/// A report line for a discharge: the label in 13 columns, the value field, the unit:
///   ("Q brzegowe:", 3.5, "m3/s") -> "Q brzegowe:          3.50000 m3/s\r\n"
std::string discharge_line(std::string_view label, double value, std::string_view unit = "m3/s");

/// A CSV field, quoted when it holds a comma, a quote or a line end:
///   a,b -> "a,b"   say "hi" -> "say ""hi"""
std::string csv_field(std::string_view text);

/// The names of the CSV columns for a layout, in order.
std::vector<std::string> csv_columns(const Layout& layout);

/// A zone's n for people: roughness_text of its subdivisions' least and
/// greatest n; for a zone of no width the n it would have, or "" where it
/// has none.
std::string zone_n_text(const ZoneRoughness& n, Zone zone);

/// The floodplains' n as a heading names them: ", nf = " and `shared`
/// where that is not "", else ", nl = ..., nr = ..." for each floodplain
/// that has any width; "" where neither has any.
std::string floodplain_n_named(const ZoneRoughness& n, const std::string& shared);

/// A zone's n for people: one value, or the least and the greatest:
///   (0.035, 0.035) -> "0.035"   (0.035, 0.1) -> "0.035...0.1"
std::string roughness_text(double least, double most);

}  // namespace normlevel
