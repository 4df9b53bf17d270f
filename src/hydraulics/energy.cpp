#include "hydraulics/energy.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "hydraulics/energy_sums.h"
#include "core/func.h"

namespace normlevel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

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

bool dry(const Subdivision& part, double A, double P) {
  return !(A > 0) || !(P > 0) || (part.zone != kChannel && P <= kDryPerimeter);
}

}  // namespace

// Each subdivision's conveyance at a level from its A and P (K only where
// two or more are wet: one alone has alpha = 1 whatever it is).
int conveyances(const CrossSection& d, std::span<const PartGeometry> geometry, std::vector<Conveyance>& out) {
  const std::vector<Subdivision>& parts = d.parts;
  out.resize(parts.size());
  int wet = 0;
  for (std::size_t p = 0; p < parts.size(); ++p) {
    const double A = geometry[p].A, P = geometry[p].P;
    Conveyance& c = out[p];
    c.wet = !dry(parts[p], A, P);
    if (!c.wet) continue;
    const double k = d.units->k / roughness_of(d, parts[p]);
    c.A = A;
    c.P = P;
    c.per_A = 1 / A;
    c.per_P = 1 / P;
    const double R = A * c.per_P;
    c.S3 = k * k * k * A * R * R;  // K^3 / A^2 = (k / n)^3 A^3 / P^2
    if (!std::isnan(geometry[p].conveying)) {  // stretches conveying one by one
      const double K = k * geometry[p].conveying;
      c.S3 = K * K * K * c.per_A * c.per_A;
    }
    ++wet;
  }
  if (wet > 1)
    for (Conveyance& c : out)
      if (c.wet) c.K = cube_root(c.S3 * c.A * c.A);
  return wet;
}

// E, dE/dh and, where each subdivision's dB/dh is given, d2E/dh2 from the
// conveyances and each subdivision's B and dP. With w = B / A and
// c = dP / P (P grows linearly between elevations, so c' = -c^2),
// g = d ln K_i / dh = 5 w / 3 - 2 c / 3 and m = d ln S3_i / dh = 3 w - 2 c.
EnergySlope energy_slope(const Units& units, const std::vector<Conveyance>& conveyance, int wet,
                         std::span<const PartGeometry> geometry, double h, double Q, std::span<const double> dB) {
  if (wet == 0) return {kInfinity, -kInfinity, kInfinity};
  const double head = Q * Q / (2 * units.g);
  double A = 0, B = 0, widening = 0, K = 0, S3 = 0, dK = 0, dS3 = 0, d2K = 0, d2S3 = 0;
  for (std::size_t p = 0; p < conveyance.size(); ++p) {
    const Conveyance& c = conveyance[p];
    if (!c.wet) continue;
    const double w = geometry[p].B * c.per_A, growth = geometry[p].dP * c.per_P;
    const double dw = (dB.empty() ? 0 : dB[p] * c.per_A) - w * w, dgrowth = -growth * growth;
    const double g = 5.0 / 3.0 * w - 2.0 / 3.0 * growth, m = 3 * w - 2 * growth;
    A += c.A;
    B += geometry[p].B;
    widening += dB.empty() ? 0 : dB[p];
    K += c.K;
    S3 += c.S3;
    dK += c.K * g;
    dS3 += c.S3 * m;
    d2K += c.K * (g * g + 5.0 / 3.0 * dw - 2.0 / 3.0 * dgrowth);
    d2S3 += c.S3 * (m * m + 3 * dw - 2 * dgrowth);
  }
  if (wet == 1) {  // alpha = 1: E = h + head / A^2
    const double A2 = A * A, A3 = A2 * A;
    return {h + head / A2, 1 - head * 2 * B / A3, head * (6 * B * B / (A3 * A) - 2 * widening / A3)};
  }
  const double K3 = K * K * K, K4 = K3 * K;
  const double d2F = d2S3 / K3 - 6 * dS3 * dK / K4 - 3 * S3 * d2K / K4 + 12 * S3 * dK * dK / (K4 * K);
  return {h + head * S3 / K3, 1 + head * (dS3 / K3 - 3 * S3 * dK / K4), head * d2F};
}

EnergySlope specific_energy(const CrossSection& d, std::span<const PartGeometry> geometry, double h, double Q) {
  std::vector<Conveyance> conveyance;
  const int wet = conveyances(d, geometry, conveyance);
  return energy_slope(*d.units, conveyance, wet, geometry, h, Q);
}

EnergyFigures energy_at(const CrossSection& d, std::span<const PartGeometry> geometry, double h, double Q) {
  std::vector<Conveyance> conveyance;
  const int wet = conveyances(d, geometry, conveyance);
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
  f.velocity_head = f.alpha * V * V / (2 * d.units->g);
  f.energy_level = h + f.velocity_head;
  f.froude = std::sqrt(std::max(0.0, 1 - energy_slope(*d.units, conveyance, wet, geometry, h, Q).dE));
  return f;
}

}  // namespace normlevel
