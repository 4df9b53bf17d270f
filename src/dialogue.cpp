#include "dialogue.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>
#include <ostream>
#include <string>

#include "BalanceSign.h"
#include "Bisect.h"
#include "CSdata.h"
#include "FreeForm.h"
#include "Failure.h"
#include "NumberField.h"
#include "func.h"

namespace normlevel {

namespace {

// The search starts 1 mm above the lowest point and walks up in 0.1 m
// steps to 20 m above the highest; the bracket is then halved to 1 mm.
constexpr double LOCS = static_cast<double>(0.1f);
constexpr double kStartAboveBed = static_cast<double>(0.001f);
constexpr double EPS = static_cast<double>(0.001f);
constexpr double kHeadroom = 20;

}  // namespace

double search_top() { return CSDATA.zmax + kHeadroom; }

// The walk and the bisection decide by the balance's sign alone; where its
// bounds prove the sign, the ordered sums over every segment are skipped.
LevelSearch find_level() {
  const double FINISH = search_top();
  double HA = CSDATA.zmin + kStartAboveBed;
  double HB = LOCS;
  WalkSigns walk(walk_levels(HA, HB, FINISH));
  if (localroot(HA, HB, FINISH, func, std::ref(walk)) != 1) return {false, 0};
  const BracketSigns bracket(HA, HB);
  return {true, bis(HA, HB, func, EPS, std::cref(bracket))};
}

LevelSearch find_level_of(double (*balance)(double)) {
  const double FINISH = search_top();
  double HA = CSDATA.zmin + kStartAboveBed;
  double HB = LOCS;
  if (localroot(HA, HB, FINISH, balance) != 1) return {false, 0};
  return {true, bis(HA, HB, balance, EPS)};
}

// A channel that is dry at HC (its bed above the water) has no velocity.
double channel_velocity(double HC) {
  std::vector<PartGeometry> geometry(CSDATA.parts.size());
  wetted_areas(HC, geometry);
  return zone_flow(kChannel, geometry).V;
}

void write_report(std::ostream& out, double HC, double V0, std::string_view after_level) {
  const char* m = CSDATA.units->length;
  out << report_line("zw. wody:    ", HC, m) << after_level << kBlankLine;
  out << report_line("min rzedna:  ", CSDATA.zmin, m) << report_line("max rzedna:  ", CSDATA.zmax, m)
      << report_line("brzeg lewy:  ", CSDATA.z[CSDATA.il], m) << report_line("brzeg prawy: ", CSDATA.z[CSDATA.ip], m)
      << kBlankLine;
  // A unit as wide as its field still stands apart from the value.
  const std::string_view velocity = CSDATA.units->velocity;
  std::string unit(velocity.size() < 4 ? "" : " ");
  unit += velocity;
  out << report_line("pred.(korto):  ", V0, unit);
}

void search_and_report(std::ostream& out) {
  const LevelSearch search = find_level();
  if (search.found)
    write_report(out, search.level, channel_velocity(search.level));
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
