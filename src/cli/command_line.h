#pragma once

// The command line: inputs as arguments and the options that change what
// is computed and how it is written.

#include <string>
#include <vector>

#include "base/Failure.h"
#include "results/query.h"
#include "core/units.h"

namespace normlevel {

inline constexpr const char* kUsageLine = "usage: normlevel [OPTION]... FILE...";

/// How an input is read.
enum class Reader {
  by_name,    ///< by its name: *.csv and *.tsv tables, *.g01 ... *.g99 geometry files, else a data file
  data_file,  ///< the program's own data file
  table,      ///< a station/elevation table
  geometry,   ///< a river model's geometry file
};

/// One input named on the command line ("-": standard input).
struct Input {
  std::string name;
  Reader reader = Reader::by_name;
};

struct Options {
  enum class Action { run, help, version } action = Action::run;
  std::vector<Input> inputs;
  std::vector<Query> queries;  ///< in the order given; the file's own discharge when none
  Override slope_per_mille, nc, nf, nl, nr;
  Override bank_left, bank_right;  ///< --banks L,R: the bank stations of a table
  const Units* units = nullptr;    ///< --units; null: SI, or what a geometry file's project says
  bool rules_given = false;        ///< --rules: else a geometry file's sections are the model's, others divided
  Rules rules = Rules::divided;
  std::vector<std::string> sections;  ///< --section: parts of the names of the sections wanted
  std::string section_column;         ///< --section-column: a table's column naming each point's section
  bool y_first = false;               ///< --xy-order yx: a table's x is the northing, y the easting
  std::string left_code, right_code;  ///< --bank-codes L,R: the codes of a table's bank points
  bool strickler = false;             ///< --kc or --kf gave roughness as Strickler's k
  std::string flow;  ///< --flow: a steady-flow file giving each profile's discharge; empty: none
  bool connected = false;   ///< only water connected to the channel's carries flow
  Solve solve = Solve::none;
  Override solve_discharge;    ///< with --solve, -q: the discharge to carry; else the file's
  bool details = false;
  bool keep_going = false;
  unsigned jobs = 0;  ///< -j: threads computing the sections; 0: one a core
  Format format = Format::text;
  double rating_step = 0;  ///< > 0: the rating table in this step
  bool svg = false;  ///< an SVG of the section, or with --plot of another kind
  std::string picture_option = "--svg";  ///< the option that asked for the SVG, as messages name it
  PlotKind plot = PlotKind::section;
};

/// The options and inputs of argv[1] ... (without the program name).
///   {"-q", "50", "a.txt"} -> one input, one discharge query of 50
///   {"--format=csv", "a.txt"} -> csv
///   {"--nc"} -> UsageError "option '--nc' needs a value"
///   {"--nc", "0", "a.txt"} -> UsageError "option '--nc': '0' is not a positive number"
Options parse_command_line(const std::vector<std::string>& arguments);

/// The reader an input takes: its own, or the one its name calls for.
///   "a.csv" -> table   "reach.g05" -> geometry   "a.txt" -> data_file
Reader reader_for(const Input& input);

/// The --help text, ending in a line end.
std::string help_text();

/// The --version line: "normlevel 1.2".
std::string version_text();

}  // namespace normlevel
