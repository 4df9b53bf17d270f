#pragma once

// The console dialogue: ask for the data file, load it, find and report
// the normal water level, wait for Enter.

#include <iosfwd>

namespace normlevel {

/// The last words of the dialogue, before it waits for Enter.
inline constexpr const char* kClosingPrompt = "Nacisnij <ENTER>, aby zakonczyc ...   ";

/// The level search on CSDATA, the loaded section, and its report (or the
/// notice that no level was found), each line ending in CR LF.
void search_and_report(std::ostream& out);

/// The whole dialogue on the given console streams; throws Failure when
/// the console or the data file cannot be read.
void dialogue(std::istream& console_in, std::ostream& console_out);

}  // namespace normlevel
