#include "core/search.h"

#include <functional>
#include <vector>

#include "core/BalanceSign.h"
#include "base/Bisect.h"
#include "core/func.h"

namespace normlevel {

namespace {

// The search starts 1 mm above the lowest point and walks up in 0.1 m
// steps to 20 m above the highest; the bracket is then halved to 1 mm.
constexpr double LOCS = static_cast<double>(0.1f);
constexpr double kStartAboveBed = static_cast<double>(0.001f);
constexpr double EPS = static_cast<double>(0.001f);
constexpr double kHeadroom = 20;

// The walk and the bisection decide by the balance's sign alone; where its
// bounds prove the sign, the ordered sums over every segment are skipped.
LevelSearch proved_search(const CrossSection& d, double Q) {
  const double FINISH = search_top(d);
  double HA = d.zmin + kStartAboveBed;
  double HB = LOCS;
  const Function f = [&d, Q](double h) { return balance(d, Q, h); };
  WalkSigns walk(d, Q, walk_levels(HA, HB, FINISH));
  if (localroot(HA, HB, FINISH, f, std::ref(walk)) != 1) return {false, 0};
  const BracketSigns bracket(d, Q, HA, HB);
  return {true, bis(HA, HB, f, EPS, std::cref(bracket))};
}

}  // namespace

double search_top(const CrossSection& d) { return d.zmax + kHeadroom; }

// The walk's own proofs bound the divided rules' sums only.
LevelSearch find_level(const CrossSection& d, double Q, const SignProof& model_signs) {
  if (d.rules == Rules::model) return find_level_of(d, [&d, Q](double h) { return balance(d, Q, h); }, model_signs);
  return proved_search(d, Q);
}

LevelSearch find_connected_level(const CrossSection& d, double Q) {
  return find_level_of(d, [&d, Q](double h) { return connected_balance(d, Q, h); });
}

LevelSearch find_level_of(const CrossSection& d, const Function& balance, const SignProof& proof) {
  const double FINISH = search_top(d);
  double HA = d.zmin + kStartAboveBed;
  double HB = LOCS;
  if (localroot(HA, HB, FINISH, balance, proof) != 1) return {false, 0};
  return {true, bis(HA, HB, balance, EPS, proof)};
}

// A channel that is dry at HC (its bed above the water) has no velocity.
double channel_velocity(const CrossSection& d, double HC) {
  std::vector<PartGeometry> geometry(d.parts.size());
  wetted_areas(d, HC, geometry);
  return zone_flow(d, kChannel, geometry).V;
}

}  // namespace normlevel
