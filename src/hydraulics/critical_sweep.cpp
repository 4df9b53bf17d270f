#include "hydraulics/critical_sweep.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

#include "core/func.h"
#include "hydraulics/elevation_sweep.h"
#include "hydraulics/energy.h"
#include "hydraulics/rise_proof.h"
#include "hydraulics/run_bounds.h"

namespace normlevel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kRefineTo = 1e-6;

// Whether dE/dh, of one sign at both ends of [lo, hi] and turning inside,
// may reach 0 there: the cubic through its values and slopes at the ends
// comes within half of the nearer end's value of 0 somewhere.
bool may_cross_zero(double lo, const EnergySlope& a, double hi, const EnergySlope& b) {
  const double w = hi - lo, sign = a.dE > 0 ? 1 : -1;
  const double nearest = std::min(sign * a.dE, sign * b.dE);
  for (int k = 1; k < 16; ++k) {
    const double t = k / 16.0, t2 = t * t, t3 = t2 * t;
    const double f = (2 * t3 - 3 * t2 + 1) * a.dE + (t3 - 2 * t2 + t) * w * a.d2E + (-2 * t3 + 3 * t2) * b.dE +
                     (t3 - t2) * w * b.d2E;
    if (sign * f < 0.5 * nearest) return true;
  }
  return false;
}

double refine_in(Polynomials& stretch, double lo, double hi, double Q) {
  while (hi - lo > kRefineTo) {
    const double mid = 0.5 * (lo + hi);
    (stretch.slope(mid, Q).dE < 0 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// Where the sweep samples only some elevations: dE/dh from the geometry itself.
double refine_by_geometry(const CrossSection& d, double lo, double hi, double Q) {
  std::vector<PartGeometry> geometry(d.parts.size());
  while (hi - lo > kRefineTo) {
    const double mid = 0.5 * (lo + hi);
    wetted_parts(d, mid, geometry);
    (specific_energy(d, geometry, mid, Q).dE < 0 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// Every subdivision's geometry at a level from the plain sums, into `buffer`.
std::span<const PartGeometry> summed_at(const CrossSection& d, double h, std::vector<PartGeometry>& buffer) {
  buffer.resize(d.parts.size());
  wetted_parts(d, h, buffer);
  return buffer;
}

// The same with a buffer of its own.
StretchGeometry summed_geometry(const CrossSection& d) {
  return [&d, g = std::vector<PartGeometry>()](double h) mutable { return summed_at(d, h, g); };
}

// A stretch's geometry that owns its polynomials.
StretchGeometry kept(Polynomials polys) {
  const auto owned = std::make_shared<Polynomials>(std::move(polys));
  return [owned](double h) { return owned->geometry(h); };
}

bool at_an_end(const CrossSection& d, double e) { return e == d.z[1] || e == d.z[d.N]; }

// At an elevation E may jump (a level segment going under adds its whole
// length to the perimeter at once, stretches join, held water starts to
// flow), up or down. E falling into the elevation and rising past it (or
// jumping up) has its minimum there; E jumping down and then rising has it
// just above.
template <class Add>
void minimum_at_elevation(const CrossSection& d, double e, const EnergySlope& below, const EnergySlope& above,
                          bool may_jump, const Add& add) {
  const bool jump = may_jump && std::fabs(above.E - below.E) > 1e-12 * std::fabs(below.E);
  if (jump && above.E < below.E) {
    if (above.dE >= 0) add(std::nextafter(e, kInfinity), false);
  } else if (below.dE < 0 && (above.dE >= 0 || jump)) {
    add(e, at_an_end(d, e));
  }
}

// Where, between two elevations, dE/dh is sampled besides at their ends:
// ever closer to the lower one, just after which a subdivision got wet or
// wider, where alpha changes fastest and at every scale.
constexpr double kInside[] = {0x1p-20, 0x1p-16, 0x1p-13, 0x1p-11, 0x1p-9, 0x1p-7, 0x1p-5, 0x1p-3,
                              0.25,    0.375,   0.5,     0.625,   0.75,   0.875};

// Where those samples stop if the rest of the stretch is proven to rise:
// it seldom is before the water of the subdivision just wet has some depth.
constexpr double kTryRising[] = {0x1p-9, 0x1p-7, 0x1p-5, 0x1p-3, 0.25};

// How often a stretch may be halved where dE/dh turns inside it.
constexpr int kHalvings = 40;

// Evaluations of the sums at every elevation cost the subdivisions each
// time: past this many in all, only every so many elevations are sampled.
constexpr double kMostEvaluations = 5e7;

// Under the model rules the geometry is summed level by level (no
// polynomials know its walls and stretches): it is smooth between the
// points' elevations and the levels at which held water starts to flow.
std::vector<double> model_breaks(const CrossSection& d, double top) {
  std::vector<double> breaks;
  const auto take = [&](double e) {
    if (e > d.zmin && e < top) breaks.push_back(e);
  };
  for (std::int32_t i = 1; i <= d.N; ++i) take(d.z[i]);
  for (std::int32_t i = 1; i < d.N; ++i) take(d.flows_from[i]);
  for (const CrossSection::Wall& w : d.walls) take(w.crest);
  breaks.push_back(top);
  std::sort(breaks.begin(), breaks.end());
  breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
  return breaks;
}

// Plain sums cost the points at each level: past this many points in all,
// only the ends of each stretch are sampled.
constexpr double kMostModelSums = 2e6;

EnergySlope slope_at(const CrossSection& d, double h, double Q, std::vector<PartGeometry>& geometry) {
  wetted_parts(d, h, geometry);
  return specific_energy(d, geometry, h, Q);
}

std::vector<CriticalLevel> model_critical_levels(const CrossSection& d, double Q, double top) {
  std::vector<CriticalLevel> found;
  std::vector<PartGeometry> geometry(d.parts.size());
  const std::vector<double> breaks = model_breaks(d, top);
  const bool inside = static_cast<double>(breaks.size()) * static_cast<double>(d.N) * 16 < kMostModelSums;
  const auto add = [&](double h, bool at_end) {
    wetted_parts(d, h, geometry);
    found.push_back({h, energy_at(d, geometry, h, Q).energy_level, at_end});
  };
  double lo = d.zmin;
  EnergySlope before{kInfinity, -kInfinity, kInfinity};
  for (const double hi : breaks) {
    double from = lo;
    for (const double f : kInside) {
      if (!inside && f != 0.5) continue;
      const double h = lo + f * (hi - lo);
      const EnergySlope here = slope_at(d, h, Q, geometry);
      if (before.dE < 0 && here.dE >= 0) add(refine_by_geometry(d, from, h, Q), false);
      before = here;
      from = h;
    }
    const EnergySlope below = slope_at(d, std::nextafter(hi, -kInfinity), Q, geometry);
    if (before.dE < 0 && below.dE >= 0) add(refine_by_geometry(d, from, hi, Q), false);
    if (hi == top) break;
    const EnergySlope above = slope_at(d, std::nextafter(hi, kInfinity), Q, geometry);
    minimum_at_elevation(d, hi, below, above, true, add);
    before = above;
    lo = hi;
  }
  return found;
}

// The sweep up through the elevations for the minima of E: dE/dh at both
// ends of each stretch, and inside it where it may turn, but not through
// the stretches proven to rise. It may show each stretch to a visitor too,
// as for_each_stretch would, so that one sweep serves both.
class MinimumSearch {
 public:
  MinimumSearch(const CrossSection& d, double Q, double top, const StretchVisitor& also, const RunTest& passes_run,
                PassedOver* passed)
      : d_(d), Q_(Q), top_(top), also_(also), passed_(passed), sweep_(d, Q), proof_(d, Q), passes_run_(passes_run) {
    runs_ = !also_ || passes_run_;
    const double evaluations = static_cast<double>(d.N) * static_cast<double>(std::max<std::size_t>(1, d.parts.size()));
    stride_ = static_cast<std::size_t>(std::max(1.0, std::ceil(evaluations / kMostEvaluations)));
    if (!sweep_.done() && sweep_.elevation() <= d.zmin) {  // the lowest points: nothing wet yet
      sweep_.below(d.zmin);
      sweep_.above();
    }
  }

  std::vector<CriticalLevel> run() {
    for (std::size_t count = 0;; ++count) {
      const bool last = sweep_.done() || sweep_.elevation() >= top_;
      const double e = last ? top_ : sweep_.elevation();
      stretch_taken_ = false;
      if (lagging_) {  // runs of stretches proven one after another: the sweep stands below lo
        if (run_ahead()) {
          if (run_to_top_) break;
          continue;
        }
        catch_up(lo_);
        lagging_ = false;
        rise_past(lo_);
        continue;
      }
      if (rising_ && !last && runs_ && run_ahead()) {
        if (run_to_top_) break;
        continue;
      }
      const bool passed_by = !last && (count + 1) % stride_ != 0;
      if (also_ && stride_ == 1) visit(passed_to_, e);
      if (also_ && stride_ > 1 && !passed_by) visit_block(passed_to_, e);
      if (stride_ == 1 || !passed_by) passed_to_ = e;
      if (passed_by) {
        sweep_.pass_elevation(true);
        ranges_known_ = false;
      } else if (rising_) {
        if (passed_) passed_->rising.push_back({lo_, e});
        if (last) break;
        rise_past(e);
      } else if (falling_) {
        if (passed_) passed_->falling.push_back({lo_, e});
        if (last) break;
        fall_past(e);
      } else {
        work_out(e, last);
        if (last) break;
      }
    }
    return std::move(found_);
  }

 private:
  void add(double h, bool at_end) {
    std::vector<PartGeometry> geometry(d_.parts.size());
    wetted_parts(d_, h, geometry);
    found_.push_back({h, energy_at(d_, geometry, h, Q_).energy_level, at_end});
  }

  // The polynomials of the stretch, copied when first needed (into the
  // buffers the stretches before used).
  Polynomials& stretch_now() {
    if (!stretch_taken_) sweep_.stretch_into(stretch_);
    stretch_taken_ = true;
    return stretch_;
  }

  // The stretch from lo to e for the visitor, with the bounds already
  // gathered for the proof where there are some.
  void visit(double lo, double e) {
    const StretchGeometry geometry = [this](double h) { return stretch_now().geometry(h); };
    const StretchBounds bounds = [this, e](std::span<WaterRange> out) {
      if (!ranges_known_) return sweep_.bounds(e, out);
      for (std::size_t p = 0; p < out.size(); ++p) out[p] = ranges_[p].water;
      return std::all_of(out.begin(), out.end(), [](const WaterRange& w) { return w.known; });
    };
    const StretchKeeper keep = [this] { return kept(sweep_.stretch()); };
    also_(lo, e, geometry, bounds, keep);
  }

  // Between two levels of one stretch: a change of sign from - to + is a
  // smooth minimum; the same sign at both ends with dE/dh turning towards 0
  // from both (a turning point of its own inside) is looked into by halves.
  void scan(double lo, EnergySlope at_lo, double hi, EnergySlope at_hi, int depth) {
    if (at_lo.dE < 0 && at_hi.dE >= 0) {
      add(stride_ == 1 ? refine_in(stretch_now(), lo, hi, Q_) : refine_by_geometry(d_, lo, hi, Q_), false);
      return;
    }
    const bool dip = at_lo.dE > 0 && at_hi.dE > 0 && at_lo.d2E < 0 && at_hi.d2E > 0;
    const bool hump = at_lo.dE < 0 && at_hi.dE < 0 && at_lo.d2E > 0 && at_hi.d2E < 0;
    if (!(dip || hump) || depth == 0 || stride_ > 1 || hi - lo < kRefineTo * 1e-3) return;
    if (!may_cross_zero(lo, at_lo, hi, at_hi)) return;
    const double mid = 0.5 * (lo + hi);
    const EnergySlope at_mid = stretch_now().slope(mid, Q_);
    scan(lo, at_lo, mid, at_mid, depth - 1);
    scan(mid, at_mid, hi, at_hi, depth - 1);
  }

  // The stretch from lo to e worked out, then the elevation e passed.
  void work_out(double e, bool last) {
    const EnergySlope below = sweep_.below(e);
    // Just after another subdivision got wet or one widened alpha changes
    // fastest: samples there at every scale.
    const int wet = sweep_.wet_above();
    double from = lo_;
    EnergySlope at_from = lo_right_;
    bool rises_above = false;  // from the last sample up to e
    if (stride_ == 1 && wet > 1 && (last || wet > wet_before_ || sweep_.widened()))
      for (const double f : kInside) {
        const double h = lo_ + f * (e - lo_);
        const EnergySlope here = stretch_now().slope(h, Q_);
        scan(from, at_from, h, here, kHalvings);
        from = h;
        at_from = here;
        const bool try_rising = std::find(std::begin(kTryRising), std::end(kTryRising), f) != std::end(kTryRising);
        if (try_rising && rises_between(h, e)) {
          rises_above = true;
          break;
        }
      }
    wet_before_ = wet;
    if (!rises_above) scan(from, at_from, e, below, kHalvings);
    if (last) return;
    const EnergySlope above = sweep_.above();
    minimum_at_elevation(d_, e, below, above, sweep_.may_jump(), [this](double h, bool end) { add(h, end); });
    lo_ = e;
    lo_right_ = above;
    wet_at_lo_ = sweep_.wet_above();
    rising_ = stride_ == 1 && rises_ahead(lower_);
    falling_ = stride_ == 1 && !rising_ && proof_.falls(ranges_);
  }

  // Past e at the top of a stretch that rises all through: E there is
  // worked out only where it may jump down or the next stretch may not rise.
  void rise_past(double e) {
    sweep_.remember();
    sweep_.pass_elevation();
    const bool ahead = rises_ahead(upper_);
    std::swap(lower_, upper_);
    lo_ = e;
    if (ahead && (!sweep_.may_jump() || RiseProof::rises_across(sweep_.jumped_parts(), upper_, lower_))) {
      if (passed_ && sweep_.may_jump()) passed_->not_falling.push_back(e);
      const auto wet = [](const ConveyanceBounds& b) { return b.wet; };
      wet_at_lo_ = static_cast<int>(std::count_if(lower_.begin(), lower_.end(), wet));
      return;
    }
    take_elevation(e);
    rising_ = ahead;
  }

  // E just below and above e, which the sweep has passed: the minimum there,
  // if any, and what a stretch worked out up to e leaves for the next.
  void take_elevation(double e) {
    const EnergySlope below = sweep_.remembered_below(e);
    const EnergySlope above = sweep_.just_passed();
    minimum_at_elevation(d_, e, below, above, sweep_.may_jump(), [this](double h, bool end) { add(h, end); });
    wet_before_ = wet_at_lo_;
    wet_at_lo_ = sweep_.wet_above();
    lo_right_ = above;
  }

  // Past e at the top of a stretch that falls all through: as rise_past,
  // E there is worked out only where it may jump or the next stretch may
  // not fall.
  void fall_past(double e) {
    sweep_.remember();
    sweep_.pass_elevation();
    lo_ = e;
    take_ranges_ahead();
    const bool ahead = proof_.falls(ranges_);
    if (ahead && !sweep_.may_jump()) {
      const auto holds = [](const EnergyRange& r) { return r.holds_water; };
      wet_at_lo_ = static_cast<int>(std::count_if(ranges_.begin(), ranges_.end(), holds));
      return;
    }
    take_elevation(e);
    falling_ = ahead;
    rising_ = !ahead && rises_ahead(lower_);
  }

  // From lo, where the stretch above is proven to rise, a run of stretches
  // as far up as bounds from the segments themselves prove E rising all
  // through and not falling at once, and the visitor passes it over too:
  // one pass over the points instead of a proof per stretch. The run's
  // reach doubles while runs are proven and halves when one is not.
  bool run_ahead() {
    if (cooling_ > 0) {
      --cooling_;
      return false;
    }
    double tried = top_ + 1;
    const std::size_t above = sweep_.first_above(lo_);
    for (std::size_t k = std::min(reach_, sweep_.points() - above); k >= kShortestRun; k /= 2) {
      const double b = std::min(sweep_.elevation_at(above + k), top_);
      if (b <= sweep_.elevation_at(above) || b == tried) continue;
      tried = b;
      if (!run_proven(lo_, b)) continue;
      take_run(lo_, b);
      reach_ = std::min(2 * k, kLongestRun);
      return true;
    }
    reach_ = std::max(reach_ / 2, kShortestRun);
    cooling_ = kShortestRun;
    return false;
  }

  bool run_proven(double a, double b) {
    if (!run_ranges(a, b) || !proof_.rises(run_ranges_, run_bounds_)) return false;
    take_run_water();
    return !also_ || (passes_run_ && passes_run_(run_water_));
  }

  // Each subdivision's ranges over the levels from a up to b into
  // run_ranges_, from bounds over the segments made when first needed.
  bool run_ranges(double a, double b) {
    if (!run_geometry_bounds_)
      run_geometry_bounds_.emplace(d_, sweep_.order(), sweep_.segment_parts(), sweep_.slopes());
    const double c = b + (b - a) * 0x1p-30 + std::fabs(b) * 0x1p-40;  // past what rounding may add to b
    return run_geometry_bounds_->ranges(a, c, run_ranges_);
  }

  // Their water, as the visitor is shown it.
  void take_run_water() {
    run_water_.resize(run_ranges_.size());
    for (std::size_t p = 0; p < run_ranges_.size(); ++p) run_water_[p] = run_ranges_[p].water;
  }

  // The run from a to b: where bounds over its elevations show that E
  // cannot fall at once at any of them (b's too), the visitor sees it as one
  // stretch and the sweep is left where it stands, below a, for the next
  // run. Otherwise the sweep goes up through it, looking at each elevation
  // where E may fall at once from its own stretches, as far as E is proven
  // not to; the sweep then stands where it ends as though each stretch of it
  // had been proven in turn.
  void take_run(double a, double b) {
    const bool to_top = b >= top_;
    if (cannot_fall_within(a, b)) {
      if (also_) visit_run(a, b);
      if (passed_) {
        passed_->rising.push_back({a, b});
        passed_->not_falling.insert(passed_->not_falling.end(), inside_.begin(), inside_.end());
      }
      run_to_top_ = to_top;
      lo_ = passed_to_ = b;
      std::swap(lower_, run_bounds_);
      lagging_ = true;
      return;
    }
    catch_up(a);
    lagging_ = false;
    double end = b;
    while (!sweep_.done() && sweep_.elevation() < b) {
      const double e = sweep_.elevation();
      if (sweep_.jumps_ahead(jumped_, water_at_)) {
        if (!proof_.rises_across(jumped_, water_at_)) {
          end = e;
          break;
        }
        if (passed_) passed_->not_falling.push_back(e);
      }
      sweep_.pass_elevation();
    }
    if (also_) visit_run(a, end);
    if (passed_) passed_->rising.push_back({a, end});
    run_to_top_ = end >= top_;
    if (run_to_top_) return;
    passed_to_ = end;
    std::swap(lower_, run_bounds_);
    rise_past(end);
  }

  // The sweep up to elevation h, its stretches below proven already.
  void catch_up(double h) {
    while (!sweep_.done() && sweep_.elevation() < h) sweep_.pass_elevation();
  }

  // Whether E can fall at once at none of the elevations above a up to b
  // (below b where b is the top), from bounds over them all, then over
  // halves, and so on.
  bool cannot_fall_within(double a, double b) {
    inside_.clear();
    const auto inside = [&](double e) { return e < b || (e == b && b < top_); };
    for (std::size_t k = sweep_.first_above(a); inside(sweep_.elevation_at(k)); ++k)
      if (inside_.empty() || inside_.back() != sweep_.elevation_at(k)) inside_.push_back(sweep_.elevation_at(k));
    // The run's own bounds hold at all of them first.
    return inside_.empty() || falls_nowhere(a, b, run_ranges_, run_bounds_) || cannot_fall_in_pieces(a);
  }

  // The same in pieces of as many elevations as the last run's were proven
  // in (halves at first): bounds over the whole run having failed, most
  // pieces of the next are proven at that size, not above it.
  bool cannot_fall_in_pieces(double a) {
    const std::size_t n = inside_.size();
    const std::size_t grain = n == 1 ? 1 : std::min(grain_, (n + 1) / 2);
    std::size_t most = 0;
    bool at_once = true;
    for (std::size_t i = 0; i < n; i += grain) {
      const std::size_t j = std::min(i + grain, n) - 1;
      proven_ = 0;
      if (!cannot_fall_at(a, i, j)) return false;
      at_once = at_once && proven_ == j - i + 1;
      most = std::max(most, proven_);
    }
    grain_ = at_once ? 2 * grain : most;
    return true;
  }

  // At the elevations inside_[i] ... inside_[j]; just below inside_[i] the
  // water is within that of the elevation before.
  bool cannot_fall_at(double a, std::size_t i, std::size_t j) {
    if (cannot_fall(i == 0 ? a : inside_[i - 1], inside_[j])) {
      proven_ = std::max(proven_, j - i + 1);
      return true;
    }
    if (i == j) return false;
    const std::size_t mid = i + (j - i) / 2;
    return cannot_fall_at(a, i, mid) && cannot_fall_at(a, mid + 1, j);
  }

  // Where a level segment goes under or, under the model rules, a
  // floodplain's stretches of water join above a up to c, that
  // subdivision's water is slower than the mean.
  bool cannot_fall(double a, double c) {
    c += std::fabs(c) * 0x1p-40;
    return run_geometry_bounds_->ranges(a, c, piece_ranges_) && proof_.rises(piece_ranges_, piece_bounds_) &&
           falls_nowhere(a, c, piece_ranges_, piece_bounds_);
  }

  // The same from ranges and conveyance bounds over the levels from a up to c.
  bool falls_nowhere(double a, double c, const std::vector<EnergyRange>& ranges,
                     const std::vector<ConveyanceBounds>& bounds) {
    jumped_.clear();
    for (std::size_t p = 0; p < d_.parts.size(); ++p) {
      const bool apart = d_.rules == Rules::model && d_.parts[p].zone != kChannel;
      if (ranges[p].holds_water && (apart || run_geometry_bounds_->flat_between(p, a, c))) jumped_.push_back(p);
    }
    return jumped_.empty() || proof_.slower_than_mean(jumped_, ranges, bounds);
  }

  // The visitor sees the run's bounds, where they are `known`; should it ask
  // for levels inside, the sums answer them.
  void visit_run(double a, double b, bool known = true) {
    // The buffer is the search's: a run costs no allocation.
    const StretchGeometry summed = [this](double h) { return summed_at(d_, h, run_geometry_); };
    const StretchBounds bounds = [this, known](std::span<WaterRange> out) {
      if (known) std::copy(run_water_.begin(), run_water_.end(), out.begin());
      return known;
    };
    const StretchKeeper keep = [this] { return summed_geometry(d_); };
    also_(a, b, summed, bounds, keep);
  }

  // Under a stride the visitor sees the elevations passed by and the one
  // worked out as one run; a visit for each elevation would cost every
  // subdivision each time.
  void visit_block(double a, double b) {
    const bool known = run_ranges(a, b);
    if (known) take_run_water();
    visit_run(a, b, known);
  }

  // Whether E rises all through the levels from h up to e, inside the stretch the sweep stands in.
  bool rises_between(double h, double e) {
    sweep_.energy_ranges(h, e, part_ranges_);
    if (!proof_.rises(part_ranges_, part_bounds_)) return false;
    if (passed_) passed_->rising.push_back({h, e});
    return true;
  }

  // Whether the stretch just entered rises all through.
  bool rises_ahead(std::vector<ConveyanceBounds>& bounds) {
    take_ranges_ahead();
    return proof_.rises(ranges_, bounds);
  }

  // The ranges of the stretch just entered, up to the next elevation or the top.
  void take_ranges_ahead() {
    sweep_.energy_ranges(sweep_.done() || sweep_.elevation() >= top_ ? top_ : sweep_.elevation(), ranges_);
    ranges_known_ = true;
  }

  const CrossSection& d_;
  double Q_, top_;
  const StretchVisitor& also_;
  PassedOver* passed_;
  Sweep sweep_;
  RiseProof proof_;
  std::size_t stride_ = 1;
  std::vector<CriticalLevel> found_;
  Polynomials stretch_ = sweep_.stretch();
  bool stretch_taken_ = false;  // stretch_ holds the stretch the sweep stands in
  double lo_ = d_.zmin;         // where dE/dh was last worked out, or the stretch proven to rise begins
  double passed_to_ = d_.zmin;  // the elevation last passed
  EnergySlope lo_right_{kInfinity, -kInfinity, kInfinity};  // just above lo
  int wet_before_ = 0, wet_at_lo_ = 0;
  std::vector<EnergyRange> ranges_;  // of the stretch from lo up, where ranges_known_
  std::vector<EnergyRange> part_ranges_;  // of the part of it above a sample
  std::vector<ConveyanceBounds> part_bounds_;
  bool ranges_known_ = false;
  std::vector<ConveyanceBounds> lower_, upper_;  // the stretches below and above the next elevation
  bool rising_ = false;                          // the stretch from lo up rises all through
  bool falling_ = false;                         // or falls all through
  // Runs of stretches: how many points ahead the next is tried, how many
  // elevations to wait after none could be proven, and the last one's bounds.
  static constexpr std::size_t kShortestRun = 4, kFirstRun = 24, kLongestRun = SIZE_MAX / 2;
  const RunTest& passes_run_;
  bool runs_ = true, run_to_top_ = false, lagging_ = false;
  std::size_t reach_ = kFirstRun, cooling_ = 0;
  std::vector<EnergyRange> run_ranges_;
  std::vector<ConveyanceBounds> run_bounds_;
  std::optional<RunBounds> run_geometry_bounds_;
  std::vector<double> inside_;
  // How many elevations a piece of the next run is first tried with, and
  // the most the pieces of this one were proven with.
  std::size_t grain_ = SIZE_MAX, proven_ = 0;
  std::vector<EnergyRange> piece_ranges_;
  std::vector<ConveyanceBounds> piece_bounds_;
  std::vector<std::size_t> jumped_;
  std::vector<WaterAtElevation> water_at_;
  std::vector<WaterRange> run_water_;
  std::vector<PartGeometry> run_geometry_;
};

}  // namespace

std::vector<CriticalLevel> critical_levels(const CrossSection& d, double Q, double top, const StretchVisitor& also,
                                           const RunTest& passes_run, PassedOver* passed) {
  if (!(Q > 0) || !(top > d.zmin)) return {};
  if (d.plain_sums) {
    if (also) for_each_stretch(d, top, also);
    return model_critical_levels(d, Q, top);
  }
  return MinimumSearch(d, Q, top, also, passes_run, passed).run();
}

void for_each_stretch(const CrossSection& d, double top, const StretchVisitor& visit) {
  if (!(top > d.zmin)) return;
  if (d.plain_sums) {
    const StretchGeometry summed = summed_geometry(d);
    const StretchBounds unknown = [](std::span<WaterRange>) { return false; };
    const StretchKeeper keep = [&d] { return summed_geometry(d); };
    double lo = d.zmin;
    for (const double hi : model_breaks(d, top)) {
      visit(lo, hi, summed, unknown, keep);
      lo = hi;
    }
    return;
  }
  Sweep sweep(d, 1);
  while (!sweep.done() && sweep.elevation() <= d.zmin) sweep.pass_elevation();
  std::optional<Polynomials> stretch;  // copied only for a stretch whose levels are asked for
  double hi = d.zmin;
  const StretchGeometry geometry = [&](double h) {
    if (!stretch) stretch.emplace(sweep.stretch());
    return stretch->geometry(h);
  };
  const StretchBounds bounds = [&](std::span<WaterRange> out) { return sweep.bounds(hi, out); };
  const StretchKeeper keep = [&] { return kept(sweep.stretch()); };
  for (double lo = d.zmin;;) {
    const bool last = sweep.done() || sweep.elevation() >= top;
    hi = last ? top : sweep.elevation();
    stretch.reset();
    visit(lo, hi, geometry, bounds, keep);
    if (last) return;
    sweep.pass_elevation();
    lo = hi;
  }
}

double least_conveying(const WaterRange& water) {
  return water.low_A > 0 ? water.low_A * two_thirds_bounds(water.low_A / water.high_P).low : 0;
}

double most_conveying(const WaterRange& water) {
  return water.high_A > 0 ? water.high_A * two_thirds_bounds(water.high_R).high : 0;
}

int governing_critical(const std::vector<CriticalLevel>& levels) {
  int best = -1;
  for (std::size_t i = 0; i < levels.size(); ++i)
    if (!levels[i].at_end && (best < 0 || levels[i].energy < levels[static_cast<std::size_t>(best)].energy))
      best = static_cast<int>(i);
  return best;
}

}  // namespace normlevel
