#pragma once

// A command-line run: each data file in turn, each query on it, the results
// written in the chosen format.

#include <iosfwd>

#include "command_line.h"

namespace normlevel {

/// Runs what `options` asks for, writing the results on `out`; returns the
/// exit status. Throws Failure at the first file that cannot be loaded or
/// whose values (with the overrides) no search can use, UsageError for a
/// rating step too fine for the file's section.
int run_command_line(const Options& options, std::ostream& out);

}  // namespace normlevel
