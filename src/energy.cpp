#include "energy.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "func.h"

namespace normlevel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kRefineTo = 1e-6;

// The cube root of a positive finite x to the last bit or two, the same on
// every platform: a first guess from the exponent, then Halley's steps.
double halley(double x, double y, int steps) {
  for (int step = 0; step < steps; ++step) {
    const double y3 = y * y * y;
    y = y * (y3 + 2 * x) / (2 * y3 + x);
  }
  return y;
}

double cube_root(double x) {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  bits = bits / 3 + 0x2A9F7893782DA1CEull;  // about a third of the exponent, biased
  double y;
  std::memcpy(&y, &bits, sizeof y);
  return halley(x, y, 3);
}

// The same from a guess within a few per cent (the root at a neighbouring
// level): each step cubes the error, two reach the last bit.
double cube_root_near(double x, double guess) { return guess > 0 ? halley(x, guess, 2) : cube_root(x); }

// The energy of a wet subdivision: with K_i = k A_i^(5/3) / (n_i P_i^(2/3))
// and g_i = d ln K_i / dh = 5 B_i / (3 A_i) - 2 dP_i / (3 P_i),
// alpha / A^2 = S3 / K^3 where S3 = sum(K_i^3 / A_i^2) and K = sum(K_i);
// its derivative follows from dK = sum(K_i g_i) and
// dS3 = sum(K_i^3 / A_i^2 (3 B_i / A_i - 2 dP_i / P_i)).
struct Conveyance {
  bool wet = false;
  double A = 0, P = 0, S3 = 0, K = 0;
};

bool dry(const Subdivision& part, double A, double P) {
  return !(A > 0) || !(P > 0) || (part.zone != kChannel && P <= kDryPerimeter);
}

// Each subdivision's conveyance at a level from its A and P (K only where
// two or more are wet: one alone has alpha = 1 whatever it is).
int conveyances(std::span<const PartGeometry> geometry, std::vector<Conveyance>& out) {
  const std::vector<Subdivision>& parts = CSDATA.parts;
  out.resize(parts.size());
  int wet = 0;
  for (std::size_t p = 0; p < parts.size(); ++p) {
    const double A = geometry[p].A, P = geometry[p].P;
    Conveyance& c = out[p];
    c.wet = !dry(parts[p], A, P);
    if (!c.wet) continue;
    const double k = CSDATA.units->k / roughness_of(parts[p]);
    c.A = A;
    c.P = P;
    c.S3 = k * k * k * (A * A / P) * (A / P);  // K^3 / A^2 = (k / n)^3 A^3 / P^2
    ++wet;
  }
  if (wet > 1)
    for (Conveyance& c : out)
      if (c.wet) c.K = cube_root(c.S3 * c.A * c.A);
  return wet;
}

// E and dE/dh from the conveyances and each subdivision's B and dP.
EnergySlope energy_slope(const std::vector<Conveyance>& conveyance, int wet, std::span<const PartGeometry> geometry,
                         double h, double Q) {
  if (wet == 0) return {kInfinity, -kInfinity};
  const double head = Q * Q / (2 * CSDATA.units->g);
  double A = 0, B = 0, K = 0, S3 = 0, dK = 0, dS3 = 0;
  for (std::size_t p = 0; p < conveyance.size(); ++p) {
    const Conveyance& c = conveyance[p];
    if (!c.wet) continue;
    const double width = geometry[p].B / c.A, growth = geometry[p].dP / c.P;
    A += c.A;
    B += geometry[p].B;
    K += c.K;
    S3 += c.S3;
    dK += c.K * (5.0 / 3.0 * width - 2.0 / 3.0 * growth);
    dS3 += c.S3 * (3 * width - 2 * growth);
  }
  if (wet == 1) return {h + head / (A * A), 1 - head * 2 * B / (A * A * A)};
  const double K3 = K * K * K;
  return {h + head * S3 / K3, 1 + head * (dS3 / K3 - 3 * S3 * dK / (K3 * K))};
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

void geometry_from(const std::vector<Poly>& polys, double ref, double h, std::vector<PartGeometry>& out) {
  const double t = h - ref;
  out.resize(polys.size());
  for (std::size_t p = 0; p < polys.size(); ++p) {
    const Poly& q = polys[p];
    out[p] = {(q.a2 * t + q.a1) * t + q.a0, q.p1 * t + q.p0, 2 * q.a2 * t + q.a1, q.p1};
  }
}

// E and dE/dh from polynomials: a level taken inside a stretch between elevations.
class Polynomials {
 public:
  Polynomials(std::vector<Poly> polys, double ref) : polys_(std::move(polys)), ref_(ref) {}
  EnergySlope slope(double h, double Q) {
    geometry_from(polys_, ref_, h, geometry_);
    const int wet = conveyances(geometry_, conveyance_);
    return energy_slope(conveyance_, wet, geometry_, h, Q);
  }
  int wet_parts(double h) {
    geometry_from(polys_, ref_, h, geometry_);
    int wet = 0;
    for (std::size_t p = 0; p < geometry_.size(); ++p) wet += dry(CSDATA.parts[p], geometry_[p].A, geometry_[p].P) ? 0 : 1;
    return wet;
  }
  std::vector<Poly>& polys() { return polys_; }

 private:
  std::vector<Poly> polys_;
  double ref_;
  std::vector<PartGeometry> geometry_;
  std::vector<Conveyance> conveyance_;
};

// The exact polynomials of the stretch of levels between two elevations of
// the points, each segment taken as it is at their midpoint.
Polynomials polys_between(double lo, double hi) {
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
  return Polynomials(std::move(polys), lo);
}

double refine_between(double lo, double hi, double Q) {
  Polynomials stretch = polys_between(lo, hi);
  while (hi - lo > kRefineTo) {
    const double mid = 0.5 * (lo + hi);
    (stretch.slope(mid, Q).dE < 0 ? lo : hi) = mid;
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
// at once wholly wet). Passing an elevation takes dE/dh on both sides of
// it: A and P are the same there, B and dP jump, so each subdivision's
// conveyance is worked out once for both.
class Sweep {
 public:
  explicit Sweep(double Q)
      : order_(static_cast<std::size_t>(CSDATA.N)), parts_(CSDATA.parts.size()), head_(Q * Q / (2 * CSDATA.units->g)) {
    const CrossSection& d = CSDATA;
    for (std::int32_t i = 1; i <= d.N; ++i) order_[static_cast<std::size_t>(i - 1)] = {d.z[i], i};
    std::sort(order_.begin(), order_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    segment_part_.resize(static_cast<std::size_t>(d.N));
    for (std::size_t p = 0; p < d.parts.size(); ++p) {
      for (std::int32_t i = d.parts[p].first; i <= d.parts[p].last; ++i) segment_part_[static_cast<std::size_t>(i)] = p;
      const double k = d.units->k / roughness_of(d.parts[p]);
      parts_[p].k3 = k * k * k;
      parts_[p].floodplain = d.parts[p].zone != kChannel;
    }
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

  /// dE/dh just below and just above the next elevation, which it passes.
  std::pair<double, double> slopes_across() {
    const double e = elevation(), t = e - CSDATA.zmin;
    int wet = 0;
    for (Part& p : parts_) {
      p.A = (p.q.a2 * t + p.q.a1) * t + p.q.a0;
      p.P = p.q.p1 * t + p.q.p0;
      p.B = 2 * p.q.a2 * t + p.q.a1;
      p.dP = p.q.p1;
      p.wet = p.A > 0 && p.P > (p.floodplain ? kDryPerimeter : 0.0);
      if (!p.wet) continue;
      p.S3 = p.k3 * (p.A * p.A / p.P) * (p.A / p.P);
      ++wet;
    }
    if (wet > 1)
      for (Part& p : parts_)
        if (p.wet) p.K = cube_root_near(p.S3 * p.A * p.A, p.K);
    const double left = slope(wet);
    pass_elevation();
    widened_ = false;
    wet_above_ = 0;
    for (Part& p : parts_) {
      const double B = 2 * p.q.a2 * t + p.q.a1;
      widened_ = widened_ || B > kWidening * p.B;
      p.B = B;
      p.dP = p.q.p1;
      wet_above_ += p.wet || B > 0 || p.dP > 0 ? 1 : 0;
    }
    return {left, slope(wet)};
  }

  /// Whether some subdivision's water surface got much wider at the last
  /// elevation passed (a flat), and how many hold water just above it.
  bool widened() const { return widened_; }
  int wet_above() const { return wet_above_; }

  /// The polynomials as they stand: for levels between the elevation last
  /// passed and the next.
  Polynomials stretch() const {
    std::vector<Poly> polys;
    for (const Part& p : parts_) polys.push_back(p.q);
    return Polynomials(std::move(polys), CSDATA.zmin);
  }

 private:
  static constexpr double kWidening = 1.25;

  struct Part {
    Poly q;
    double k3 = 0;  // (k / n)^3
    bool floodplain = false, wet = false;
    double A = 0, P = 0, B = 0, dP = 0, S3 = 0, K = 0;
  };

  double slope(int wet) const {
    if (wet == 0) return -kInfinity;
    double A = 0, B = 0, K = 0, S3 = 0, dK = 0, dS3 = 0;
    for (const Part& p : parts_) {
      if (!p.wet) continue;
      const double width = p.B / p.A, growth = p.dP / p.P;
      A += p.A;
      B += p.B;
      K += p.K;
      S3 += p.S3;
      dK += p.K * (5.0 / 3.0 * width - 2.0 / 3.0 * growth);
      dS3 += p.S3 * (3 * width - 2 * growth);
    }
    if (wet == 1) return 1 - head_ * 2 * B / (A * A * A);
    const double K3 = K * K * K;
    return 1 + head_ * (dS3 / K3 - 3 * S3 * dK / (K3 * K));
  }

  void segment_event(std::int32_t i, std::int32_t point) {
    const CrossSection& d = CSDATA;
    const bool flat = d.z[i] == d.z[i + 1];
    const std::int32_t lower = d.z[i] <= d.z[i + 1] ? i : i + 1;
    Poly& q = parts_[segment_part_[static_cast<std::size_t>(i)]].q;
    if (point == lower) {
      if (flat)
        add_full(q, i, d.zmin);
      else
        add_partial(q, i, d.zmin, 1);
    } else if (!flat) {
      add_partial(q, i, d.zmin, -1);
      add_full(q, i, d.zmin);
    }
  }

  std::vector<std::pair<double, std::int32_t>> order_;
  std::vector<std::size_t> segment_part_;
  std::vector<Part> parts_;
  double head_;
  std::size_t next_ = 0;
  bool widened_ = true;
  int wet_above_ = 0;
};

bool at_an_end(double e) { return e == CSDATA.z[1] || e == CSDATA.z[CSDATA.N]; }

// Where, between two elevations, dE/dh is sampled besides at their ends:
// closer together near the lower one, just after a subdivision got wet or
// wider, where alpha changes fastest.
constexpr double kInside[] = {1.0 / 64, 1.0 / 16, 1.0 / 4, 1.0 / 2, 3.0 / 4};

// Evaluations of the sums at every elevation cost the subdivisions each
// time: past this many in all, only every so many elevations are sampled.
constexpr double kMostEvaluations = 5e7;

}  // namespace

EnergySlope specific_energy(std::span<const PartGeometry> geometry, double h, double Q) {
  std::vector<Conveyance> conveyance;
  const int wet = conveyances(geometry, conveyance);
  return energy_slope(conveyance, wet, geometry, h, Q);
}

EnergyFigures energy_at(std::span<const PartGeometry> geometry, double h, double Q) {
  std::vector<Conveyance> conveyance;
  const int wet = conveyances(geometry, conveyance);
  EnergyFigures f;
  f.energy_level = h;
  if (wet == 0) return f;
  double A = 0, K = 0, S3 = 0, S2 = 0;
  for (const Conveyance& c : conveyance) {
    if (!c.wet) continue;
    A += c.A;
    K += c.K;
    S3 += c.S3;
    S2 += c.K * c.K / c.A;
  }
  if (wet > 1) {
    f.alpha = S3 * A * A / (K * K * K);
    f.beta = S2 / (K * K / A);
  }
  const double V = Q / A;
  f.velocity_head = f.alpha * V * V / (2 * CSDATA.units->g);
  f.energy_level = h + f.velocity_head;
  f.froude = std::sqrt(std::max(0.0, 1 - energy_slope(conveyance, wet, geometry, h, Q).dE));
  return f;
}

std::vector<CriticalLevel> critical_levels(double Q, double top) {
  std::vector<CriticalLevel> found;
  const CrossSection& d = CSDATA;
  if (!(Q > 0) || !(top > d.zmin)) return found;
  Sweep sweep(Q);
  if (!sweep.done() && sweep.elevation() <= d.zmin) sweep.slopes_across();  // the lowest points: nothing wet yet
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
  int wet_before = 0;
  for (std::size_t count = 0;; ++count) {
    const bool last = sweep.done() || sweep.elevation() >= top;
    const double e = last ? top : sweep.elevation();
    if (!last && (count + 1) % stride != 0) {
      sweep.pass_elevation();
      continue;
    }
    // Where two or more subdivisions are wet alpha changes with the level,
    // and dE/dh may turn twice between two elevations: more samples there
    // once another subdivision is wet or one has widened.
    double from = lo, from_slope = below_right;
    const int wet = sweep.wet_above();
    if (stride == 1 && (last || (wet > 1 && (wet > wet_before || sweep.widened())))) {
      Polynomials stretch = sweep.stretch();
      for (const double f : kInside) {
        const double h = lo + f * (e - lo);
        const double here = stretch.slope(h, Q).dE;
        bracket(from, from_slope, h, here);
        from = h;
        from_slope = here;
      }
    }
    wet_before = wet;
    if (last) {
      std::vector<PartGeometry> geometry(d.parts.size());
      wetted_parts(e, geometry);
      bracket(from, from_slope, e, specific_energy(geometry, e, Q).dE);
      break;
    }
    const auto [left, right] = sweep.slopes_across();
    bracket(from, from_slope, e, left);
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
