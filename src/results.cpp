#include "results.h"

#include <cmath>
#include <limits>
#include <tuple>

#include "Failure.h"
#include "assumptions.h"
#include "dialogue.h"
#include "func.h"

namespace normlevel {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// The one n a zone's subdivisions share, or NaN.
double zone_n(Zone zone) {
  double n = kNone;
  bool first = true;
  for (const Subdivision& part : CSDATA.parts) {
    if (part.zone != zone) continue;
    const double here = roughness_of(part);
    if (!first && here != n) return kNone;
    n = here;
    first = false;
  }
  return n;
}

[[noreturn]] void no_solution(const std::string& why) { throw Failure(kRunTimeError, "--solve: " + why, ""); }

// The section's roughness and slope as they were, back when it goes: what
// a --solve tries stays with its own result.
class KeepRoughnessAndSlope {
 public:
  KeepRoughnessAndSlope() : kept_(CSDATA.nc, CSDATA.nf, CSDATA.s, CSDATA.s_per_mille), roughness_(CSDATA.roughness) {}
  ~KeepRoughnessAndSlope() {
    std::tie(CSDATA.nc, CSDATA.nf, CSDATA.s, CSDATA.s_per_mille) = kept_;
    CSDATA.roughness = roughness_;
  }
  KeepRoughnessAndSlope(const KeepRoughnessAndSlope&) = delete;
  KeepRoughnessAndSlope& operator=(const KeepRoughnessAndSlope&) = delete;

 private:
  std::tuple<double, double, double, double> kept_;
  std::vector<double> roughness_;
};

// The figures at the level, with the roughness and slope as they now stand.
void fill_figures(LevelResult& r, const Computation& c) {
  r.slope_per_mille = CSDATA.s_per_mille;
  r.n = zone_roughness();
  const std::vector<PartGeometry> geometry = geometry_at(r.level, c.connected);
  r.zones = breakdown(geometry, c.connected);
  if (!r.found) return;
  r.channel_velocity = r.zones.channel.velocity;
  r.energy = energy_at(geometry, r.level, r.discharge);
}

void find_critical(LevelResult& r) {
  r.critical_levels = critical_levels(r.discharge, search_top());
  r.critical = governing_critical(r.critical_levels);
  if (!r.found || r.critical < 0) return;
  const double critical = r.critical_levels[static_cast<std::size_t>(r.critical)].level;
  r.regime = r.level > critical ? "subcritical" : r.level < critical ? "supercritical" : "critical";
}

// With --connected the ponds carry nothing, which the sweep does not know:
// the walk's level is then the only one told.
void find_normal_levels(LevelResult& r, const Computation& c) {
  if (!c.connected) r.normal_levels = normal_levels(r.discharge, search_top());
  if (r.found) include_level(r.normal_levels, r.level);
}

// The figures, the critical levels and the assumptions, all with the
// roughness and slope as they now stand.
void complete(LevelResult& r, const Computation& c) {
  fill_figures(r, c);
  find_critical(r);
  r.warnings = assumptions(r, c.connected);
}

// --solve: the factor on every n, or the slope per mille, with which the
// section carries Q at H. Q goes as K sqrt(s) / n, so both come at once
// from what it carries there as it stands.
double solved_value(const LevelResult& r, const Computation& c) {
  const double H = r.level, Q = r.discharge;
  if (!(H > CSDATA.zmin))
    no_solution("the level " + shortest_real(H) + " is not above the lowest point " + shortest_real(CSDATA.zmin));
  if (!(Q > 0)) no_solution("the discharge " + shortest_real(Q) + " is not positive");
  const Breakdown at = breakdown(H, c.connected);
  if (c.solve == Solve::n) {
    if (!(at.total.discharge > 0)) no_solution("the section carries nothing at " + shortest_real(H) + " (a slope of 0?)");
    return at.total.discharge / Q;
  }
  const double K = at.total.conveyance;
  if (!(K > 0)) no_solution("the section conveys nothing at " + shortest_real(H));
  return 1000 * (Q / K) * (Q / K);
}

void solve_at(LevelResult& r, const Computation& c) {
  const double value = solved_value(r, c);
  const KeepRoughnessAndSlope keep;
  CrossSection& d = CSDATA;
  if (c.solve == Solve::n) {
    r.n_factor = value;
    d.nc *= value;
    d.nf *= value;
    for (double& n : d.roughness) n *= value;
  } else {
    d.s_per_mille = value;
    d.s = value / 1000;
  }
  complete(r, c);
}

}  // namespace

ZoneRoughness zone_roughness() {
  const CrossSection& d = CSDATA;
  if (d.roughness.empty()) return {d.nc, d.nf, d.nf, d.nf};
  const double nl = zone_n(kLeft), nr = zone_n(kRight);
  return {zone_n(kChannel), nl, nr, nl == nr ? nl : kNone};
}

LevelResult result_for(const Computation& c, const Query& query) {
  const CrossSection& d = CSDATA;
  LevelResult r;
  r.units = d.units;
  r.query = query;
  r.solve = c.solve;
  r.zmin = d.zmin;
  r.zmax = d.zmax;
  r.bank_left = d.z[d.il];
  r.bank_right = d.z[d.ip];
  if (query.kind == Query::Kind::level && c.solve != Solve::none) {
    r.found = true;
    r.level = query.value;
    r.discharge = c.solve_discharge.given ? c.solve_discharge.value : d.Q;
    solve_at(r, c);
    return r;
  }
  if (query.kind == Query::Kind::level) {
    r.found = true;
    r.level = query.value;
    r.discharge = discharge_carried(r.level, c.connected);
  } else {
    r.discharge = d.Q;
    const LevelSearch search = c.connected ? find_level_of(connected_func) : find_level();
    r.found = search.found;
    r.level = search.found ? search.level : 0;
    find_normal_levels(r, c);
  }
  complete(r, c);
  return r;
}

}  // namespace normlevel
