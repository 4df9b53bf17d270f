// Feeds arbitrary bytes to the station-table and geometry-file readers and
// computes whatever they accept: anything may be refused with a Failure,
// nothing may crash, hang or leak.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "hydraulics/energy.h"
#include "readers/geometry_file.h"
#include "results/results.h"
#include "readers/station_table.h"
#include "readers/survey.h"

namespace {

// A section the readers accepted, computed as a command-line run would.
void compute(normlevel::SurveyedSection& section, normlevel::BankRule rule) {
  using namespace normlevel;
  CrossSection d;
  install_section(d, section, rule);
  d.Q = 10;
  d.s_per_mille = 1;
  d.s = 0.001;
  d.nc = 0.03;
  d.nf = 0.05;
  check_flow_values(d);
  result_for(d, Computation{}, Query{}, d.Q);
}

// Every section of a table, in each of its forms: metadata lines, a
// section column, raw points projected, banks by code, Strickler's k.
void table(const std::string& bytes, std::uint8_t flags) {
  normlevel::TableOptions options;
  options.y_first = flags & 2;
  options.banks_by_code = flags & 4;
  if (flags & 8) options.section_column = "s";
  if (flags & 16) options.left_code = "l", options.right_code = "r";
  try {
    normlevel::SurveyTable survey = normlevel::read_survey_table(bytes, options);
    for (std::size_t k = 0; k < survey.sections.size() && k < 8; ++k) {
      try {
        normlevel::TableSection& t = survey.sections[k];
        normlevel::shape_section(t, options, "m");
        normlevel::SurveyedSection& section = t.section;
        if (section.x.size() > 400) continue;  // the search's cost grows with the points
        if (t.left_bank == SIZE_MAX) {
          section.bank_left = section.x[section.x.size() / 3];
          section.bank_right = section.x[2 * section.x.size() / 3];
        }
        compute(section, normlevel::BankRule::point);
      } catch (const normlevel::Failure&) {
      }
    }
  } catch (const normlevel::Failure&) {
  }
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1)
    table(bytes, data[0]);
  else
    geometry(bytes);
  return 0;
}
