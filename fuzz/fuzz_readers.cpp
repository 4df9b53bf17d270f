// Feeds arbitrary bytes to the station-table and geometry-file readers and
// computes whatever they accept: anything may be refused with a Failure,
// nothing may crash, hang or leak.

#include <cstddef>
#include <cstdint>
#include <string>

#include "CSdata.h"
#include "Failure.h"
#include "energy.h"
#include "geometry_file.h"
#include "results.h"
#include "station_table.h"
#include "survey.h"

namespace {

// A section the readers accepted, computed as a command-line run would.
void compute(normlevel::SurveyedSection& section, normlevel::BankRule rule) {
  using namespace normlevel;
  CSDATA = CrossSection{};
  install_section(section, rule);
  CSDATA.Q = 10;
  CSDATA.s_per_mille = 1;
  CSDATA.s = 0.001;
  CSDATA.nc = 0.03;
  CSDATA.nf = 0.05;
  check_flow_values();
  result_for(Computation{}, Query{});
}

void table(const std::string& bytes) {
  normlevel::SurveyedSection section;
  try {
    normlevel::read_station_table(bytes, section);
    if (section.x.size() > 400) return;  // the search's cost grows with the points
    section.bank_left = section.x[section.x.size() / 3];
    section.bank_right = section.x[2 * section.x.size() / 3];
    compute(section, normlevel::BankRule::point);
  } catch (const normlevel::Failure&) {
  }
  normlevel::finishdata();
}

void geometry(const std::string& bytes) {
  normlevel::GeometryFile file(bytes);
  normlevel::SurveyedSection section;
  for (int sections = 0; sections < 8; ++sections) {
    try {
      if (!file.next(section)) break;
      if (section.x.size() <= 400) compute(section, normlevel::BankRule::insert);
    } catch (const normlevel::Failure&) {
    }
  }
  normlevel::finishdata();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1)
    table(bytes);
  else
    geometry(bytes);
  return 0;
}
