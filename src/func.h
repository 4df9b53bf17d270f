#pragma once

// The discharge balance whose zero is the normal water level: the design
// discharge minus what the section carries in uniform flow at a level,
// by Manning's formula zone by zone (divided-channel method).

namespace normlevel {

/// Manning's exponent 2/3, as the single-precision value widened to double.
inline constexpr double kManningExponent = static_cast<double>(2.0f / 3.0f);

/// A floodplain wetted over no more than this (m) counts as dry.
inline constexpr double kDryPerimeter = static_cast<double>(1e-10f);

/// R^(2/3) with the section's conventions: a zero radius carries nothing
/// (0), the NaN radius 0/0 of a dry zone gives 1 so that times its zero
/// area it still carries nothing, a negative radius gives NaN.
double radius_power(double R);

/// One zone's flow at a level: hydraulic radius R, mean velocity V and
/// discharge Q = V * A, each exactly as the balance computes it.
struct ZoneFlow {
  double R;
  double V;
  double Q;
};

/// A floodplain of wetted area A and perimeter P (roughness nf); one wetted
/// over no more than 1e-10 m counts as dry: R = V = Q = 0.
ZoneFlow floodplain_flow(double A, double P);

/// The main channel of wetted area A and perimeter P (roughness nc); dry
/// (P = 0) it has R = 0/0, V = sqrt(s) / nc and Q = 0.
ZoneFlow channel_flow(double A, double P);

/// Q - QL - Q0 - QP at level h: positive while h is too low.
double func(double h);

}  // namespace normlevel
