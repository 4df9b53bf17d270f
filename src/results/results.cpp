#include "results/results.h"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "base/Failure.h"
#include "results/assumptions.h"
#include "core/search.h"

namespace normlevel {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// The one n a zone's subdivisions share, or NaN.
double zone_n(const CrossSection& d, Zone zone) {
  double n = kNone;
  bool first = true;
  for (const Subdivision& part : d.parts) {
    if (part.zone != zone) continue;
    const double here = roughness_of(d, part);
    if (!first && here != n) return kNone;
    n = here;
    first = false;
  }
  return n;
}

[[noreturn]] void no_solution(const std::string& why) { throw Failure(kRunTimeError, "--solve: " + why, ""); }

// The figures at the level, with the roughness and slope of d.
void fill_figures(const CrossSection& d, LevelResult& r, const Computation& c) {
  r.slope_per_mille = d.s_per_mille;
  r.n = zone_roughness(d);
  const std::vector<PartGeometry> geometry = geometry_at(d, r.level, c.connected);
  r.zones = breakdown(d, geometry, c.connected);
  if (!r.found) return;
  r.channel_velocity = r.zones.channel.velocity;
  r.energy = energy_at(d, geometry, r.level, r.discharge);
}

// The critical levels for r's discharge, unless a sweep for the levels
// carrying it found them already.
void find_critical(const CrossSection& d, LevelResult& r, std::optional<std::vector<CriticalLevel>> found) {
  r.critical_levels = found ? std::move(*found) : critical_levels(d, r.discharge, search_top(d));
  r.critical = governing_critical(r.critical_levels);
  if (!r.found || r.critical < 0) return;
  const double critical = r.critical_levels[static_cast<std::size_t>(r.critical)].level;
  r.regime = r.level > critical ? "subcritical" : r.level < critical ? "supercritical" : "critical";
}

// The figures, the critical levels and the assumptions, all with the
// roughness and slope of d.
void complete(const CrossSection& d, LevelResult& r, const Computation& c,
              std::optional<std::vector<CriticalLevel>> critical = std::nullopt) {
  fill_figures(d, r, c);
  find_critical(d, r, std::move(critical));
  r.warnings = assumptions(d, r, c.connected);
}

// --solve: the factor on every n, or the slope per mille, with which the
// section carries Q at H. Q goes as K sqrt(s) / n, so both come at once
// from what it carries there as it stands.
double solved_value(const CrossSection& d, const LevelResult& r, const Computation& c) {
  const double H = r.level, Q = r.discharge;
  if (!(H > d.zmin))
    no_solution("the level " + shortest_real(H) + " is not above the lowest point " + shortest_real(d.zmin));
  if (!(Q > 0)) no_solution("the discharge " + shortest_real(Q) + " is not positive");
  const Breakdown at = breakdown(d, H, c.connected);
  if (c.solve == Solve::n) {
    if (!(at.total.discharge > 0)) no_solution("the section carries nothing at " + shortest_real(H) + " (a slope of 0?)");
    return at.total.discharge / Q;
  }
  const double K = at.total.conveyance;
  if (!(K > 0)) no_solution("the section conveys nothing at " + shortest_real(H));
  return 1000 * (Q / K) * (Q / K);
}

// What a --solve tries stays with its own result: the section it is
// completed on is a copy of d with the n or the slope found.
void solve_at(const CrossSection& d, LevelResult& r, const Computation& c) {
  const double value = solved_value(d, r, c);
  CrossSection solved = d;
  if (c.solve == Solve::n) {
    r.n_factor = value;
    solved.nc *= value;
    solved.nf *= value;
    for (double& n : solved.roughness) n *= value;
  } else {
    solved.s_per_mille = value;
    solved.s = value / 1000;
  }
  complete(solved, r, c);
}

}  // namespace

ZoneRoughness zone_roughness(const CrossSection& d) {
  ZoneRoughness n{};
  if (d.roughness.empty()) {
    n.nc = d.nc;
    n.nl = n.nr = n.nf = d.nf;
  } else {
    n.nc = zone_n(d, kChannel);
    n.nl = zone_n(d, kLeft);
    n.nr = zone_n(d, kRight);
    n.nf = n.nl == n.nr ? n.nl : kNone;
  }
  for (const Subdivision& part : d.parts) {
    RoughnessRange& range = n.range[part.zone];
    range.least = std::min(range.least, roughness_of(d, part));
    range.most = std::max(range.most, roughness_of(d, part));
    range.any = true;
  }
  return n;
}

LevelResult result_for(const CrossSection& d, const Computation& c, const Query& query, double Q) {
  LevelResult r;
  r.units = d.units;
  r.rules = d.rules;
  r.query = query;
  r.solve = c.solve;
  r.zmin = d.zmin;
  r.zmax = d.zmax;
  r.bank_left = d.z[d.il];
  r.bank_right = d.z[d.ip];
  if (query.kind == Query::Kind::level && c.solve != Solve::none) {
    r.found = true;
    r.level = query.value;
    r.discharge = c.solve_discharge.given ? c.solve_discharge.value : Q;
    solve_at(d, r, c);
    return r;
  }
  if (query.kind == Query::Kind::level) {
    r.found = true;
    r.level = query.value;
    r.discharge = discharge_carried(d, r.level, c.connected);
    complete(d, r, c);
    return r;
  }
  r.discharge = Q;
  std::vector<CriticalLevel> critical;
  CarryingLevels levels = levels_carrying(d, Q, c.connected, &critical);
  r.found = levels.walk.found;
  r.level = levels.walk.found ? levels.walk.level : 0;
  r.normal_levels = std::move(levels.every);
  complete(d, r, c, std::move(critical));
  return r;
}

}  // namespace normlevel
