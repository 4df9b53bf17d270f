#include "energy.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "func.h"

namespace normlevel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kRefineTo = 1e-6;

// The sums the energy is made of, over the wet subdivisions: with
// K_i = k A_i^(5/3) / (n_i P_i^(2/3)) and g_i = d ln K_i / dh =
// 5 B_i / (3 A_i) - 2 dP_i / (3 P_i), alpha / A^2 = S3 / K^3 where
// S3 = sum(K_i^3 / A_i^2), and its derivative follows from dK = sum(K_i g_i)
// and dS3 = sum(K_i^3 / A_i^2 (3 g_i - 2 B_i / A_i)).
struct Sums {
  int wet = 0;
  double A = 0, B = 0, K = 0, dK = 0, S3 = 0, dS3 = 0, S2 = 0;
};

bool dry(const Subdivision& part, double A, double P) {
  return !(A > 0) || !(P > 0) || (part.zone != kChannel && P <= kDryPerimeter);
}

void add_part(Sums& s, const Subdivision& part, double A, double P, double B, double dP) {
  if (dry(part, A, P)) return;
  const double c = CSDATA.units->k / roughness_of(part);
  const double S3 = c * c * c * (A * A / P) * (A / P);  // K^3 / A^2 = (k / n)^3 A^3 / P^2
  const double K = std::cbrt(S3 * A * A);
  const double g = 5.0 / 3.0 * B / A - 2.0 / 3.0 * dP / P;
  ++s.wet;
  s.A += A;
  s.B += B;
  s.K += K;
  s.dK += K * g;
  s.S3 += S3;
  s.dS3 += S3 * (3 * g - 2 * B / A);
  s.S2 += K * K / A;
}

Sums sums_of(std::span<const PartGeometry> geometry) {
  Sums s;
  const std::vector<Subdivision>& parts = CSDATA.parts;
  for (std::size_t p = 0; p < parts.size(); ++p)
    add_part(s, parts[p], geometry[p].A, geometry[p].P, geometry[p].B, geometry[p].dP);
  return s;
}

// alpha / A^2 and its derivative; one wet subdivision has alpha = 1.
EnergySlope from_sums(const Sums& s, double h, double Q) {
  if (s.wet == 0) return {kInfinity, -kInfinity};
  const double head = Q * Q / (2 * CSDATA.units->g);
  if (s.wet == 1) return {h + head / (s.A * s.A), 1 - head * 2 * s.B / (s.A * s.A * s.A)};
  const double K3 = s.K * s.K * s.K;
  return {h + head * s.S3 / K3, 1 + head * (s.dS3 / K3 - 3 * s.S3 * s.dK / (K3 * s.K))};
}

// ---- the sweep over the elevations --------------------------------------

// A subdivision's wetted geometry between two elevations of the points, as
// polynomials in t = h - ref: A = a2 t^2 + a1 t + a0 (so B = 2 a2 t + a1)
// and P = p1 t + p0 (so dP = p1).
struct Poly {
  double a2 = 0, a1 = 0, a0 = 0, p1 = 0, p0 = 0;
};

// A segment wet in part from its lower end zl up: a triangle whose width
// and wetted length grow in proportion to the depth.
void add_partial(Poly& q, std::int32_t i, double ref, double sign) {
  const CrossSection& d = CSDATA;
  const double zl = std::min(d.z[i], d.z[i + 1]), dz = std::fabs(d.z[i + 1] - d.z[i]);
  const double half = 0.5 * (d.x[i + 1] - d.x[i]) / dz, grow = d.length[i] / dz, tl = zl - ref;
  q.a2 += sign * half;
  q.a1 -= sign * 2 * half * tl;
  q.a0 += sign * half * tl * tl;
  q.p1 += sign * grow;
  q.p0 -= sign * grow * tl;
}

void add_full(Poly& q, std::int32_t i, double ref) {
  const CrossSection& d = CSDATA;
  const double dx = d.x[i + 1] - d.x[i], tm = 0.5 * (d.z[i] + d.z[i + 1]) - ref;
  q.a1 += dx;
  q.a0 -= dx * tm;
  q.p0 += d.length[i];
}

EnergySlope slope_from(const std::vector<Poly>& polys, double ref, double h, double Q) {
  Sums s;
  const double t = h - ref;
  const std::vector<Subdivision>& parts = CSDATA.parts;
  for (std::size_t p = 0; p < parts.size(); ++p) {
    const Poly& q = polys[p];
    add_part(s, parts[p], (q.a2 * t + q.a1) * t + q.a0, q.p1 * t + q.p0, 2 * q.a2 * t + q.a1, q.p1);
  }
  return from_sums(s, h, Q);
}

// The exact polynomials of the stretch of levels between two elevations of
// the points, each segment taken as it is at their midpoint.
std::vector<Poly> polys_between(double lo, double hi) {
  const CrossSection& d = CSDATA;
  std::vector<Poly> polys(d.parts.size());
  const double mid = 0.5 * (lo + hi);
  for (std::int32_t i = 1; i < d.N; ++i) {
    const double low = std::min(d.z[i], d.z[i + 1]), high = std::max(d.z[i], d.z[i + 1]);
    if (!(low < mid)) continue;
    Poly& q = polys[part_of(i)];
    if (high < mid)
      add_full(q, i, lo);
    else
      add_partial(q, i, lo, 1);
  }
  return polys;
}

double refine_between(double lo, double hi, double Q) {
  const std::vector<Poly> polys = polys_between(lo, hi);
  const double ref = lo;
  while (hi - lo > kRefineTo) {
    const double mid = 0.5 * (lo + hi);
    (slope_from(polys, ref, mid, Q).dE < 0 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// Where the sweep samples only some elevations: dE/dh from the geometry itself.
double refine_by_geometry(double lo, double hi, double Q) {
  std::vector<PartGeometry> geometry(CSDATA.parts.size());
  while (hi - lo > kRefineTo) {
    const double mid = 0.5 * (lo + hi);
    wetted_parts(mid, geometry);
    (specific_energy(geometry, mid, Q).dE < 0 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// The points in order of elevation; a segment becomes wet in part at its
// lower end's elevation and wholly wet at its upper end's (a level segment
// at once wholly wet).
class Sweep {
 public:
  Sweep() : order_(static_cast<std::size_t>(CSDATA.N)), polys_(CSDATA.parts.size()) {
    const CrossSection& d = CSDATA;
    for (std::int32_t i = 1; i <= d.N; ++i) order_[static_cast<std::size_t>(i - 1)] = {d.z[i], i};
    std::sort(order_.begin(), order_.end());
    ref_ = d.zmin;
  }

  bool done() const { return next_ == order_.size(); }
  double elevation() const { return order_[next_].first; }

  /// Takes in every point at the next elevation.
  void pass_elevation() {
    const double e = elevation();
    for (; next_ < order_.size() && order_[next_].first == e; ++next_) {
      const std::int32_t point = order_[next_].second;
      for (const std::int32_t i : {point - 1, point})
        if (i >= 1 && i < CSDATA.N) segment_event(i, point);
    }
  }

  EnergySlope slope(double h, double Q) const { return slope_from(polys_, ref_, h, Q); }

  /// How many subdivisions hold water at h (between the elevations passed and the next).
  int wet_parts(double h) const {
    int wet = 0;
    const double t = h - ref_;
    for (std::size_t p = 0; p < polys_.size(); ++p) {
      const Poly& q = polys_[p];
      wet += dry(CSDATA.parts[p], (q.a2 * t + q.a1) * t + q.a0, q.p1 * t + q.p0) ? 0 : 1;
    }
    return wet;
  }

 private:
  void segment_event(std::int32_t i, std::int32_t point) {
    const CrossSection& d = CSDATA;
    const bool flat = d.z[i] == d.z[i + 1];
    const std::int32_t lower = d.z[i] <= d.z[i + 1] ? i : i + 1;
    Poly& q = polys_[part_of(i)];
    if (point == lower) {
      if (flat)
        add_full(q, i, ref_);
      else
        add_partial(q, i, ref_, 1);
    } else if (!flat) {
      add_partial(q, i, ref_, -1);
      add_full(q, i, ref_);
    }
  }

  std::vector<std::pair<double, std::int32_t>> order_;
  std::vector<Poly> polys_;
  std::size_t next_ = 0;
  double ref_ = 0;
};

bool at_an_end(double e) { return e == CSDATA.z[1] || e == CSDATA.z[CSDATA.N]; }

// Where, between two elevations, dE/dh is sampled besides at their ends.
constexpr double kInside[] = {1.0 / 64, 1.0 / 16, 1.0 / 4, 1.0 / 2, 3.0 / 4};

// Evaluations of the sums at every elevation cost the subdivisions each
// time: past this many in all, only every so many elevations are sampled.
constexpr double kMostEvaluations = 5e7;

}  // namespace

EnergySlope specific_energy(std::span<const PartGeometry> geometry, double h, double Q) {
  return from_sums(sums_of(geometry), h, Q);
}

EnergyFigures energy_at(std::span<const PartGeometry> geometry, double h, double Q) {
  const Sums s = sums_of(geometry);
  EnergyFigures f;
  f.energy_level = h;
  if (s.wet == 0) return f;
  if (s.wet > 1) {
    f.alpha = s.S3 * s.A * s.A / (s.K * s.K * s.K);
    f.beta = s.S2 / (s.K * s.K / s.A);
  }
  const double V = Q / s.A;
  f.velocity_head = f.alpha * V * V / (2 * CSDATA.units->g);
  f.energy_level = h + f.velocity_head;
  f.froude = std::sqrt(std::max(0.0, 1 - from_sums(s, h, Q).dE));
  return f;
}

std::vector<CriticalLevel> critical_levels(double Q, double top) {
  std::vector<CriticalLevel> found;
  const CrossSection& d = CSDATA;
  if (!(Q > 0) || !(top > d.zmin)) return found;
  Sweep sweep;
  while (!sweep.done() && sweep.elevation() <= d.zmin) sweep.pass_elevation();
  const double evaluations = static_cast<double>(d.N) * static_cast<double>(std::max<std::size_t>(1, d.parts.size()));
  const auto stride = static_cast<std::size_t>(std::max(1.0, std::ceil(evaluations / kMostEvaluations)));
  const auto add = [&](double h, bool at_end) {
    std::vector<PartGeometry> geometry(d.parts.size());
    wetted_parts(h, geometry);
    found.push_back({h, energy_at(geometry, h, Q).energy_level, at_end});
  };
  // Each change of sign from - to + between neighbouring samples: a smooth minimum.
  const auto bracket = [&](double lo, double lo_slope, double hi, double hi_slope) {
    if (lo_slope < 0 && hi_slope >= 0)
      add(stride == 1 ? refine_between(lo, hi, Q) : refine_by_geometry(lo, hi, Q), false);
  };
  double lo = d.zmin, below_right = -kInfinity;  // dE/dh just above lo
  for (std::size_t count = 0;; ++count) {
    const bool last = sweep.done() || sweep.elevation() >= top;
    const double e = last ? top : sweep.elevation();
    if (!last && (count + 1) % stride != 0) {
      sweep.pass_elevation();
      continue;
    }
    const double left = sweep.slope(e, Q).dE;
    // Where two or more subdivisions are wet alpha changes with the level,
    // and dE/dh may turn twice between two elevations: more samples there,
    // closer together near the lower one, where a subdivision has just got wet.
    double from = lo, from_slope = below_right;
    if (stride == 1 && sweep.wet_parts(0.5 * (lo + e)) > 1)
      for (const double f : kInside) {
        const double h = lo + f * (e - lo);
        const double here = sweep.slope(h, Q).dE;
        bracket(from, from_slope, h, here);
        from = h;
        from_slope = here;
      }
    bracket(from, from_slope, e, left);
    if (last) break;
    sweep.pass_elevation();
    const double right = sweep.slope(e, Q).dE;
    if (left < 0 && right >= 0) add(e, at_an_end(e));
    lo = e;
    below_right = right;
  }
  return found;
}

int governing_critical(const std::vector<CriticalLevel>& levels) {
  int best = -1;
  for (std::size_t i = 0; i < levels.size(); ++i)
    if (!levels[i].at_end && (best < 0 || levels[i].energy < levels[static_cast<std::size_t>(best)].energy))
      best = static_cast<int>(i);
  return best;
}

}  // namespace normlevel
