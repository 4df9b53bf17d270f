#include "hydraulics/normal_levels.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/ordered_search.h"
#include "core/func.h"
#include "hydraulics/critical_sweep.h"

namespace normlevel {

namespace {

constexpr double kRefineTo = 1e-9;
constexpr double kInside[] = {0x1p-24, 0x1p-16, 0x1p-10, 0x1p-6, 0x1p-3, 0.25, 0.5, 0.75, 1};

double shortfall(const CrossSection& d, double Q, std::span<const PartGeometry> geometry) {
  const std::vector<Subdivision>& parts = d.parts;
  double carried = 0;
  for (std::size_t p = 0; p < parts.size(); ++p) carried += part_flow(d, parts[p], geometry[p]).Q;
  return Q - carried;
}

// Far wider than the rounding of any one level's sums: a stretch is passed
// over only when what it carries stays this far from Q all through it.
constexpr double kClearOfQ = 1e-7;

// Each subdivision's discharge per unit of A R^(2/3): k sqrt(s) / n.
std::vector<double> flow_factors(const CrossSection& d) {
  std::vector<double> factors;
  for (const Subdivision& part : d.parts) factors.push_back(d.units->k * std::sqrt(d.s) / roughness_of(d, part));
  return factors;
}

// +1 where the section carries less than Q at every level whose water is
// bounded so, -1 where more, 0 where the bounds do not tell.
int side_within(std::span<const double> factors, double Q, std::span<const WaterRange> water) {
  const auto carried = [&](double (*conveying)(const WaterRange&)) {
    double sum = 0;
    for (std::size_t p = 0; p < water.size(); ++p) sum += conveying(water[p]) * factors[p];
    return sum;
  };
  if (carried(least_conveying) * (1 - kClearOfQ) > Q) return -1;
  if (carried(most_conveying) * (1 + kClearOfQ) < Q) return 1;
  return 0;
}

// The same all through a stretch, from its bounds.
int side_throughout(std::span<const double> factors, double Q, const StretchBounds& bounds,
                    std::vector<WaterRange>& water) {
  water.resize(factors.size());
  return bounds(water) ? side_within(factors, Q, water) : 0;
}

// A change of sign of Q - carried between lo and hi, refined by halving as
// far as it is asked to: one halved to the end stands at level().
struct Crossing {
  double lo, hi;
  bool falling;
  StretchGeometry geometry;  ///< kept where the halving is put off until the sweep has moved on
  std::size_t at = 0;        ///< its place among the levels found

  /// One halving; false where there is none left to make.
  bool halve(const CrossSection& d, double Q, const StretchGeometry& of) {
    if (!(hi - lo > kRefineTo * std::max(1.0, std::fabs(lo)))) return false;
    const double mid = 0.5 * (lo + hi);
    if (!(mid > lo && mid < hi)) return false;
    ((shortfall(d, Q, of(mid)) > 0) != falling ? lo : hi) = mid;
    return true;
  }
  bool halve(const CrossSection& d, double Q) { return halve(d, Q, geometry); }
  void halve_to_end(const CrossSection& d, double Q, const StretchGeometry& of) {
    while (halve(d, Q, of)) {
    }
  }
  double level() const { return 0.5 * (lo + hi); }
  double nearest_to(double h) const { return h < lo ? lo - h : h > hi ? h - hi : 0; }
  double farthest_from(double h) const { return std::max(std::fabs(lo - h), std::fabs(hi - h)); }
};

}  // namespace

// Inside a stretch only: at a point's elevation itself the sums at a level
// may part or join what the stretches on either side hold otherwise.
const StretchSide* stretch_holding(std::span<const StretchSide> sides, double h) {
  const std::size_t k = count_until(sides, [h](const StretchSide& s) { return !(s.hi < h); });
  return k < sides.size() && sides[k].lo < h && h < sides[k].hi ? &sides[k] : nullptr;
}

int side_at(std::span<const StretchSide> sides, double h) {
  const StretchSide* stretch = stretch_holding(sides, h);
  return stretch ? stretch->side : 0;
}

// The kept geometry's sums differ from the sums segment by segment in their
// last digits only, far inside kClearOfQ.
int sign_at(const CrossSection& d, double Q, std::span<const StretchSide> sides, double h) {
  const StretchSide* stretch = stretch_holding(sides, h);
  if (!stretch || stretch->side != 0 || !stretch->geometry) return stretch ? stretch->side : 0;
  const double short_of_Q = shortfall(d, Q, stretch->geometry(h));
  return std::fabs(short_of_Q) > kClearOfQ * Q ? (short_of_Q > 0 ? 1 : -1) : 0;
}

namespace {

// The levels carrying Q, stretch by stretch as a sweep visits them.
class CarryingSearch {
 public:
  /// With `put_off`, a change of sign is halved only once the walk's level is
  /// known (found_with): the walk's level takes the place of the one it lies at.
  CarryingSearch(const CrossSection& d, double Q, std::vector<StretchSide>* sides, bool put_off = false)
      : d_(d), Q_(Q), sides_(sides), put_off_(put_off), factors_(flow_factors(d)) {}

  void visit(double lo, double hi, const StretchGeometry& geometry, const StretchBounds& bounds,
             const StretchKeeper& keep) {
    const int side = side_throughout(factors_, Q_, bounds, water_);
    if (sides_) sides_->push_back({lo, hi, side, side == 0 && d_.rules == Rules::model ? keep() : StretchGeometry{}});
    // A stretch kept clear of Q all through holds no level but at its foot.
    if (side != 0) {
      if ((before_ > 0) != (side > 0) && lo > d_.zmin) found_.push_back({lo, side > 0});
      before_ = side;
      return;
    }
    // A level segment going under at the foot makes what is carried jump there.
    const double at_foot = shortfall(d_, Q_, geometry(lo));
    if ((before_ > 0) != (at_foot > 0) && lo > d_.zmin) found_.push_back({lo, at_foot > 0});
    before_ = at_foot;
    double from = lo;
    for (const double f : kInside) {
      const double h = f == 1 ? hi : lo + f * (hi - lo);
      const double now = shortfall(d_, Q_, geometry(h));
      if ((before_ > 0) != (now > 0)) cross(Crossing{from, h, now > 0, {}}, geometry, keep);
      before_ = now;
      from = h;
    }
  }

  void cross(Crossing c, const StretchGeometry& geometry, const StretchKeeper& keep) {
    if (!put_off_) {
      c.halve_to_end(d_, Q_, geometry);
      found_.push_back({c.level(), c.falling});
      return;
    }
    c.geometry = keep();
    c.at = found_.size();
    found_.push_back({c.level(), c.falling});
    crossings_.push_back(std::move(c));
  }

  // A run of stretches whose bounds keep what it carries clear of Q.
  RunTest run_test() {
    return [this](std::span<const WaterRange> water) { return side_within(factors_, Q_, water) != 0; };
  }

  StretchVisitor visitor() {
    return [this](double lo, double hi, const StretchGeometry& geometry, const StretchBounds& bounds,
                  const StretchKeeper& keep) { visit(lo, hi, geometry, bounds, keep); };
  }

  std::vector<NormalLevel> found() {
    halve_all(crossings_.size());
    return std::move(found_);
  }

  /// The levels with the walk's among them, as include_level puts it: the
  /// crossings are halved only as far as it takes to tell whether the walk's
  /// level takes the place of one of them, and that one no further.
  std::vector<NormalLevel> found_with(const LevelSearch& walk) {
    if (!walk.found) return found();
    const double w = walk.level;
    for (;;) {
      const std::size_t nearest = nearest_place(w);
      if (nearest == crossings_.size()) break;  // an exact one, or none: include_level tells
      const Crossing& c = crossings_[nearest];
      const bool alone = c.farthest_from(w) < nearest_other(nearest, w);
      if (alone && c.farthest_from(w) <= kNearWalk) {
        const std::size_t at = c.at;  // halve_all lets the crossings go
        halve_all(nearest);
        found_[at].level = w;
        return std::move(found_);
      }
      if (alone && c.nearest_to(w) > kNearWalk) break;
      if (!halve_widest_near(w, c.farthest_from(w))) break;
    }
    std::vector<NormalLevel> levels = found();
    include_level(levels, w);
    return levels;
  }

 private:
  const CrossSection& d_;
  double Q_;
  std::vector<StretchSide>* sides_;
  bool put_off_;
  std::vector<double> factors_;
  double before_ = Q_;  // nothing wet at the lowest point: all of Q short
  std::vector<WaterRange> water_;
  std::vector<NormalLevel> found_;
  std::vector<Crossing> crossings_;  // put off, their levels among found_ so far those of their brackets' middles

  // Every crossing but the one at `except` halved to the end.
  void halve_all(std::size_t except) {
    for (std::size_t k = 0; k < crossings_.size(); ++k) {
      if (k == except) continue;
      crossings_[k].halve_to_end(d_, Q_, crossings_[k].geometry);
      found_[crossings_[k].at].level = crossings_[k].level();
    }
    crossings_.clear();
  }

  // The crossing nearest to h, if it is nearer than every level found
  // exactly; crossings_.size() otherwise.
  std::size_t nearest_place(double h) const {
    std::size_t best = crossings_.size();
    for (std::size_t k = 0; k < crossings_.size(); ++k)
      if (best == crossings_.size() || crossings_[k].nearest_to(h) < crossings_[best].nearest_to(h)) best = k;
    return best;
  }

  // How near to h any level but the crossing `except` may come.
  double nearest_other(std::size_t except, double h) const {
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < crossings_.size(); ++k)
      if (k != except) nearest = std::min(nearest, crossings_[k].nearest_to(h));
    for (std::size_t i = 0; i < found_.size(); ++i)
      if (!put_off(i)) nearest = std::min(nearest, std::fabs(found_[i].level - h));
    return nearest;
  }

  bool put_off(std::size_t i) const {
    return std::any_of(crossings_.begin(), crossings_.end(), [i](const Crossing& c) { return c.at == i; });
  }

  // Halves the widest crossing that may come within `reach` of h; false where none can be.
  bool halve_widest_near(double h, double reach) {
    Crossing* widest = nullptr;
    for (Crossing& c : crossings_)
      if (c.nearest_to(h) <= reach && (!widest || c.hi - c.lo > widest->hi - widest->lo)) widest = &c;
    return widest && widest->halve(d_, Q_);
  }
};

}  // namespace

std::vector<NormalLevel> normal_levels(const CrossSection& d, double Q, double top, std::vector<StretchSide>* sides) {
  if (!(Q > 0)) return {};
  CarryingSearch search(d, Q, sides);
  for_each_stretch(d, top, search.visitor());
  return search.found();
}

void include_level(std::vector<NormalLevel>& levels, double level) {
  auto nearest = levels.end();
  for (auto it = levels.begin(); it != levels.end(); ++it)
    if (nearest == levels.end() || std::fabs(it->level - level) < std::fabs(nearest->level - level)) nearest = it;
  if (nearest != levels.end() && std::fabs(nearest->level - level) <= kNearWalk) {
    nearest->level = level;
    return;
  }
  const auto at = std::lower_bound(levels.begin(), levels.end(), level,
                                   [](const NormalLevel& l, double h) { return l.level < h; });
  levels.insert(at, {level, false});
}

CarryingLevels levels_carrying(const CrossSection& d, double Q, bool connected,
                               std::vector<CriticalLevel>* critical) {
  CarryingLevels levels;
  if (connected) {
    levels.walk = find_connected_level(d, Q);
    if (critical) *critical = critical_levels(d, Q, search_top(d));
  } else {
    std::vector<StretchSide> sides;
    CarryingSearch search(d, Q, &sides, true);
    if (critical)  // one sweep for both
      *critical = critical_levels(d, Q, search_top(d), search.visitor(), search.run_test());
    else if (Q > 0)
      for_each_stretch(d, search_top(d), search.visitor());
    levels.walk = find_level(d, Q, [&](double h) { return sign_at(d, Q, sides, h); });
    levels.every = search.found_with(levels.walk);
    return levels;
  }
  if (levels.walk.found) include_level(levels.every, levels.walk.level);
  return levels;
}

}  // namespace normlevel
