#include "dialogue.h"

#include <array>
#include <ostream>
#include <string_view>

#include "CSdata.h"
#include "Failure.h"
#include "FreeForm.h"
#include "report.h"
#include "search.h"

namespace normlevel {

void search_and_report(std::ostream& out) {
  const LevelSearch search = find_level(CSDATA, CSDATA.Q);
  if (search.found)
    write_report(out, report_figures(CSDATA, search.level, channel_velocity(CSDATA, search.level)));
  else
    out << kNotice;
}

void dialogue(std::istream& console_in, std::ostream& console_out) {
  StreamSource source(console_in);
  ListReader console(source, kReadConsole);
  console_out << "plik z danymi: " << std::flush;
  std::array<char, 100> NAZWA;
  NAZWA.fill(' ');  // a null value (a leading comma or slash) leaves it blank
  console.read({CharField(NAZWA)});
  console_out << kBlankLine;
  setdata(std::string_view(NAZWA.data(), NAZWA.size()));
  search_and_report(console_out);
  console_out << kBlankLine << kClosingPrompt << std::flush;
  console.read({});
  finishdata();
}

}  // namespace normlevel
