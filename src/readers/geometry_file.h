#pragma once

// The plain-text geometry file of a 1-D river model (files *.g01 ... *.g99):
// its cross sections one after another, each with its river, reach and
// river station, its points, its roughness and its bank stations.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "readers/survey.h"

namespace normlevel {

/// The values of fixed 8-character fields, as many as `count` asks for,
/// from the start of `line`: blank-padded numbers such as "  405591."
/// or "     -.5". False (and `bad` the field's text) for a field that is no
/// number. Appends to `values`.
///   ("    27.2  963.04", 2) -> 27.2 963.04
bool fixed_fields(std::string_view line, std::size_t count, std::vector<double>& values, std::string& bad);

/// Reads the cross sections of a geometry file, in order, from its bytes.
class GeometryFile {
 public:
  explicit GeometryFile(std::string bytes) : bytes_(std::move(bytes)), lines_(bytes_) {}
  /// A file read a block at a time, as its sections are asked for.
  explicit GeometryFile(std::unique_ptr<ByteBlocks> blocks) : lines_(std::move(blocks)) {}
  GeometryFile(const GeometryFile&) = delete;  // its lines point into its own bytes
  GeometryFile& operator=(const GeometryFile&) = delete;

  /// The next cross section (records "Type RM Length L Ch R = 1 ,..."):
  /// false at the end of the file. A section whose records cannot be read
  /// throws Failure naming the line; the next call goes on with the
  /// section after it.
  bool next(SurveyedSection& section);

  /// Records of other types (bridges, culverts, structures) passed over so far.
  std::size_t others() const { return others_; }

 private:
  bool next_line(std::string_view& line);
  bool read_section(SurveyedSection& section);
  void read_fields(std::size_t count, std::vector<double>& values, std::string_view record, std::size_t record_line,
                   bool loose = false);
  void read_model_record(std::string_view line, SurveyedSection& section);
  void read_blocks(std::string_view line, std::string_view key, std::vector<StillWater>& blocks);
  void read_permanence(std::vector<StillWater>& blocks, std::size_t from);
  void read_columns(std::string_view line, std::string_view key, std::size_t width, const char* what,
                    std::vector<double>& first, std::vector<double>& second);

  std::string bytes_;
  Lines lines_;
  std::size_t line_ = 0;
  std::string river_, reach_;
  std::size_t others_ = 0;
  std::vector<double> fields_;
  std::size_t ineffective_from_ = 0;  // the section's first block of the latest #XS Ineff=
  bool pending_ = false;  // the line last read starts a record not yet taken
  std::string_view pending_line_;
};

/// Of what a section's records hold that the divided rules leave out, what
/// the model rules leave out still: {"levees", "ice covers"} -> {"ice covers"}
std::vector<std::string> left_out_by_model(const std::vector<std::string>& left_out);

}  // namespace normlevel
