#pragma once

// What a run is asked of each section and how its results are to be
// written: the results and the writers know these without the command line.

namespace normlevel {

/// How results are written.
enum class Format { text, csv, json };

/// One thing asked of each section: the level for a discharge, or the discharge at a level.
struct Query {
  enum class Kind { file_discharge, discharge, level } kind = Kind::file_discharge;
  double value = 0;  ///< the discharge or the level asked for
};

/// A value given on the command line in place of the file's own.
struct Override {
  bool given = false;
  double value = 0;
};

/// What --solve looks for at each --level.
enum class Solve { none, n, slope };

/// What --plot draws.
enum class PlotKind { section, rating, energy };

}  // namespace normlevel
