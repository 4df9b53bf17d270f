#pragma once

// A command-line run: each input in turn, each section of it, each query
// on it, the results written in the chosen format.

#include <iosfwd>

#include "cli/command_line.h"

namespace normlevel {

/// Runs what `options` asks for, writing the results on `out` and the
/// warnings on `err`; returns the exit status: 0, or 1 when an input failed
/// and --keep-going went on past it. Without --keep-going throws Failure at
/// the first input or section that cannot be read or computed, naming it;
/// UsageError when an input lacks a value the command line must give. The
/// document on `out` is whole either way.
int run_command_line(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace normlevel
