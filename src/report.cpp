#include "report.h"

#include <ostream>
#include <string>

#include "NumberField.h"

namespace normlevel {

ReportFigures report_figures(const CrossSection& d, double HC, double V0) {
  return {HC, d.zmin, d.zmax, d.z[d.il], d.z[d.ip], V0, d.units};
}

void write_report(std::ostream& out, const ReportFigures& f, std::string_view after_level) {
  const char* m = f.units->length;
  out << report_line("zw. wody:    ", f.level, m) << after_level << kBlankLine;
  out << report_line("min rzedna:  ", f.zmin, m) << report_line("max rzedna:  ", f.zmax, m)
      << report_line("brzeg lewy:  ", f.bank_left, m) << report_line("brzeg prawy: ", f.bank_right, m) << kBlankLine;
  // A unit as wide as its field still stands apart from the value.
  const std::string_view velocity = f.units->velocity;
  std::string unit(velocity.size() < 4 ? "" : " ");
  unit += velocity;
  out << report_line("pred.(korto):  ", f.channel_velocity, unit);
}

}  // namespace normlevel
