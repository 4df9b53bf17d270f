#pragma once

// The command line: data files as arguments and the options that change
// what is computed and how it is written.

#include <stdexcept>
#include <string>
#include <vector>

namespace normlevel {

/// A command line that cannot be run; main prints what() and the usage line
/// to stderr and exits with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kUsageLine = "usage: normlevel [OPTION]... FILE...";

enum class Format { text, csv, json };

/// One thing asked of each file: the level for a discharge, or the discharge at a level.
struct Query {
  enum class Kind { file_discharge, discharge, level } kind = Kind::file_discharge;
  double value = 0;  ///< the discharge (m3/s) or the level (m) asked for
};

/// A value given on the command line in place of the file's own.
struct Override {
  bool given = false;
  double value = 0;
};

struct Options {
  enum class Action { run, help, version } action = Action::run;
  std::vector<std::string> files;
  std::vector<Query> queries;  ///< in the order given; the file's own discharge when none
  Override slope_per_mille, nc, nf;
  bool details = false;
  Format format = Format::text;
  double rating_step = 0;  ///< > 0: the rating table in this step, m
  bool svg = false;
};

/// The options and files of argv[1] ... (without the program name).
///   {"-q", "50", "a.txt"} -> one file, one discharge query of 50
///   {"--format=csv", "a.txt"} -> csv
///   {"--nc"} -> UsageError "option '--nc' needs a value"
Options parse_command_line(const std::vector<std::string>& arguments);

/// The --help text, ending in a line end.
std::string help_text();

/// The --version line: "normlevel 1.1".
std::string version_text();

}  // namespace normlevel
