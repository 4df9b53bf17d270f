// The public API: each call is the engine's on the section the handle
// holds, its internal failures turned into normlevel::Error.

#include <normlevel/normlevel.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <utility>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "base/FreeForm.h"
#include "results/assumptions.h"
#include "hydraulics/energy.h"
#include "readers/geometry_file.h"
#include "hydraulics/normal_levels.h"
#include "results/rating.h"
#include "results/results.h"
#include "core/search.h"
#include "readers/station_table.h"
#include "readers/survey.h"
#include "hydraulics/zones.h"

namespace normlevel {

struct Section::Data {
  CrossSection section;
  std::string name;
  std::vector<Caveat> read_warnings;  // what the reader left out or doubts, whatever the query
};

namespace {

// Every engine failure reaches the caller as Error with the plain wording,
// the one that names the line or point.
template <class Call>
auto guarded(Call&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const Failure& failure) {
    throw Error(failure.plain());
  } catch (const UsageError& usage) {
    throw Error(usage.what());
  }
}

void check_discharge(double Q) {
  if (!std::isfinite(Q)) throw Error("discharge Q = " + shortest_real(Q) + " is not a finite number");
}

// Indices a caller may have built by hand rather than with Banks::points.
void check_bank_points(const Banks& banks, std::size_t count) {
  const auto index = [](double i) { return i >= 0 && std::floor(i) == i; };
  if (!index(banks.left) || !index(banks.right) || !(banks.left < banks.right) ||
      !(banks.right < static_cast<double>(count)))
    throw Error("bank points " + shortest_real(banks.left) + " and " + shortest_real(banks.right) +
                ": the left must come before the right, both indices of the " + std::to_string(count) + " points");
}

const Units& units_of(UnitSystem units) { return units == UnitSystem::us ? kUS : kSI; }

Rules rules_of(RuleSet rules) { return rules == RuleSet::model ? Rules::model : Rules::divided; }

// One n a zone; where the floodplains differ, or the section already has n
// segment by segment, each segment of a zone takes its zone's.
void set_roughness(CrossSection& d, const Roughness& n) {
  if (d.roughness.empty() && n.left == n.right) {
    d.nc = n.channel;
    d.nf = n.left;
    return;
  }
  d.roughness.assign(static_cast<std::size_t>(d.N), 0.0);
  for (std::int32_t i = 1; i < d.N; ++i)
    d.roughness[static_cast<std::size_t>(i)] = i < d.il ? n.left : i < d.ip ? n.channel : n.right;
  measure_segments(d);
}

void set_slope(CrossSection& d, double per_mille) {
  d.s_per_mille = per_mille;
  d.s = per_mille / 1000;
}

// Checked as the program checks a section before its first query; a river
// model's feet take its own Manning factor.
void settle(CrossSection& d) {
  check_flow_values(d);
  d.units = units_under(d.units, d.rules);
}

ZoneResult zone_result(const ZoneFigures& z) {
  return {z.area, z.perimeter, z.radius, z.top_width, z.velocity, z.discharge, z.share, z.conveyance};
}

std::vector<Caveat> left_out_caveats(const std::vector<std::string>& left_out, const std::vector<std::string>& bent) {
  std::vector<Caveat> caveats;
  for (const std::string& what : left_out)
    caveats.push_back({"left_out", what + " are not modelled: the section is computed without them"});
  for (const std::string& what : bent) caveats.push_back({"bent_section_line", what});
  return caveats;
}

}  // namespace

Section Section::from_points(const std::vector<Point>& points, Banks banks, Roughness n, double slope_per_mille,
                             UnitSystem units) {
  return guarded([&] {
    if (points.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
      throw Error("a section of " + std::to_string(points.size()) + " points is more than the engine numbers");
    auto data = std::make_shared<Data>();
    CrossSection& d = data->section;
    if (banks.by_station) {  // the points there, found as a station table's are
      SurveyedSection s;
      for (const Point& p : points) {
        s.x.push_back(p.station);
        s.z.push_back(p.elevation);
      }
      s.bank_left = banks.left;
      s.bank_right = banks.right;
      install_section(d, s, BankRule::point);
    } else {  // as a data file gives them: the points' own checks, in its words
      check_bank_points(banks, points.size());
      d.N = static_cast<std::int32_t>(points.size());
      d.il = static_cast<std::int32_t>(banks.left) + 1;
      d.ip = static_cast<std::int32_t>(banks.right) + 1;
      d.x.assign(1, std::numeric_limits<double>::quiet_NaN());  // points are numbered from 1
      d.z = d.x;
      for (const Point& p : points) {
        d.x.push_back(p.station);
        d.z.push_back(p.elevation);
      }
      prepare_section(d);
    }
    d.units = &units_of(units);
    set_roughness(d, n);
    set_slope(d, slope_per_mille);
    settle(d);
    return Section(std::move(data));
  });
}

Section Section::from_data_file(std::string_view text, UnitSystem units) {
  return guarded([&] {
    auto data = std::make_shared<Data>();
    std::istringstream in{std::string(text)};
    StreamSource source(in);
    // A point takes at least three characters and a line end.
    data->section = read_section(source, text.size() / 3 + 1);
    data->section.units = &units_of(units);
    settle(data->section);
    return Section(std::move(data));
  });
}

std::vector<Section> Section::from_table(std::string_view text, double slope_per_mille, const SurveyOptions& options) {
  return guarded([&] {
    TableOptions table_options;
    table_options.banks_by_code = !options.banks;
    SurveyTable table = read_survey_table(text, table_options);
    const Units& units = options.units ? units_of(*options.units) : table.units ? *table.units : kSI;
    std::vector<Section> sections;
    for (TableSection& t : table.sections) {
      shape_section(t, table_options, units.length);
      SurveyedSection& s = t.section;
      if (options.banks && options.banks->by_station) {
        s.bank_left = options.banks->left;
        s.bank_right = options.banks->right;
      } else if (options.banks) {
        check_bank_points(*options.banks, s.x.size());
        s.bank_left = s.x[static_cast<std::size_t>(options.banks->left)];
        s.bank_right = s.x[static_cast<std::size_t>(options.banks->right)];
      } else if (t.left_bank == SIZE_MAX) {
        throw Error("the table marks no bank points: give SurveyOptions::banks");
      }
      auto data = std::make_shared<Data>();
      CrossSection& d = data->section;
      d.rules = rules_of(options.rules.value_or(RuleSet::divided));
      install_section(d, s, BankRule::point);
      d.units = &units;
      if (options.n)
        set_roughness(d, *options.n);
      else if (d.roughness.empty())
        throw Error("the table holds no n: give SurveyOptions::n");
      set_slope(d, slope_per_mille);
      settle(d);
      data->name = s.name.text();
      data->read_warnings = left_out_caveats(s.left_out, s.bent);
      sections.push_back(Section(std::move(data)));
    }
    return sections;
  });
}

std::vector<Section> Section::from_geometry(std::string_view text, double slope_per_mille,
                                            const SurveyOptions& options) {
  return guarded([&] {
    if (options.banks) throw Error("a geometry file gives each section's bank stations: no SurveyOptions::banks");
    GeometryFile file{std::string(text)};
    std::vector<Section> sections;
    for (SurveyedSection s;; s = SurveyedSection{}) {
      auto data = std::make_shared<Data>();
      CrossSection& d = data->section;
      d.rules = rules_of(options.rules.value_or(RuleSet::model));
      try {
        if (!file.next(s)) break;
        // n the caller replaces is never used: a stand-in keeps the file's subdivisions.
        if (options.n)
          for (std::size_t k = 0; k < s.n.size(); ++k)
            if (!(s.n[k] > 0) || !std::isfinite(s.n[k])) s.n[k] = 1000.0 + static_cast<double>(k);
        install_section(d, s, BankRule::insert);
        d.units = &units_of(options.units.value_or(UnitSystem::si));
        if (options.n) set_roughness(d, *options.n);
        set_slope(d, slope_per_mille);
        settle(d);
      } catch (Failure& failure) {  // the section's name is read before its records
        if (!s.name.empty()) failure.name_place(s.name.text());
        throw;
      }
      data->name = s.name.text();
      data->read_warnings =
          left_out_caveats(d.rules == Rules::model ? left_out_by_model(s.left_out) : s.left_out, s.bent);
      sections.push_back(Section(std::move(data)));
    }
    if (sections.empty()) throw Error("the text holds no cross section (Type RM Length L Ch R = 1 ,...)");
    return sections;
  });
}

const std::string& Section::name() const { return data_->name; }

double Section::design_discharge() const { return data_->section.Q; }

double Section::lowest() const { return data_->section.zmin; }

double Section::highest() const { return data_->section.zmax; }

Levels Section::normal_levels(double Q, bool connected) const {
  check_discharge(Q);
  return guarded([&] {
    const CrossSection& d = data_->section;
    const CarryingLevels carrying = levels_carrying(d, Q, connected);
    Levels levels;
    levels.found = carrying.walk.found;
    levels.level = carrying.walk.found ? carrying.walk.level : 0;
    for (const NormalLevel& l : carrying.every) levels.all.push_back(l.level);
    return levels;
  });
}

FlowBreakdown Section::breakdown(double level, bool connected) const {
  return guarded([&] {
    const Breakdown b = normlevel::breakdown(data_->section, level, connected);
    return FlowBreakdown{zone_result(b.left), zone_result(b.channel), zone_result(b.right), zone_result(b.total)};
  });
}

Energy Section::energy(double level, double Q, bool connected) const {
  check_discharge(Q);
  return guarded([&] {
    const CrossSection& d = data_->section;
    const EnergyFigures e = energy_at(d, geometry_at(d, level, connected), level, Q);
    return Energy{e.alpha, e.beta, e.velocity_head, e.energy_level, e.froude};
  });
}

std::vector<Critical> Section::critical_levels(double Q) const {
  check_discharge(Q);
  return guarded([&] {
    const CrossSection& d = data_->section;
    const std::vector<CriticalLevel> found = normlevel::critical_levels(d, Q, search_top(d));
    const int governing = governing_critical(found);
    std::vector<Critical> levels;
    for (std::size_t k = 0; k < found.size(); ++k)
      levels.push_back({found[k].level, found[k].energy, found[k].at_end, static_cast<int>(k) == governing});
    return levels;
  });
}

std::vector<RatingPoint> Section::rating(double step, bool connected) const {
  if (!(step > 0) || !std::isfinite(step)) throw Error("rating step " + shortest_real(step) + " is not a positive number");
  return guarded([&] {
    std::vector<RatingPoint> rows;
    for (const RatingRow& r : rating_table(data_->section, step, connected).rows)
      rows.push_back({r.level, r.depth, r.area, r.top_width, r.left_discharge, r.channel_discharge, r.right_discharge,
                      r.discharge, r.channel_velocity});
    return rows;
  });
}

std::vector<Caveat> Section::warnings(double Q, bool connected) const {
  check_discharge(Q);
  return guarded([&] {
    Computation computation;
    computation.connected = connected;
    const LevelResult r = result_for(data_->section, computation, Query{Query::Kind::discharge, Q}, Q);
    std::vector<Caveat> caveats;
    for (const Warning& w : r.warnings) caveats.push_back({w.code, w.message});
    caveats.insert(caveats.end(), data_->read_warnings.begin(), data_->read_warnings.end());
    return caveats;
  });
}

}  // namespace normlevel
