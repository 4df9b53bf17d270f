#pragma once

// The discharge balance whose zero is the normal water level: the design
// discharge minus what the section carries in uniform flow at a level, by
// Manning's formula subdivision by subdivision (the divided-channel method:
// the three zones, each split wherever its n changes).

#include <span>

#include "CSdata.h"

namespace normlevel {

/// Manning's exponent 2/3, as the single-precision value widened to double.
inline constexpr double kManningExponent = static_cast<double>(2.0f / 3.0f);

/// A floodplain wetted over no more than this (m) counts as dry.
inline constexpr double kDryPerimeter = static_cast<double>(1e-10f);

/// R^(2/3) with the section's conventions: a zero radius carries nothing
/// (0), the NaN radius 0/0 of a dry zone gives 1 so that times its zero
/// area it still carries nothing, a negative radius gives NaN.
double radius_power(double R);

/// One subdivision's or zone's flow at a level: hydraulic radius R, mean
/// velocity V and discharge Q = V * A, each exactly as the balance computes them.
struct ZoneFlow {
  double R;
  double V;
  double Q;
};

/// A subdivision of wetted area A and perimeter P: R = A / P, V = k
/// R^(2/3) sqrt(s) / n, Q = V A. On a floodplain, one wetted over no more
/// than 1e-10 m counts as dry (R = V = Q = 0); in the channel a dry one
/// (P = 0) has R = 0/0, V = k sqrt(s) / n and Q = 0.
ZoneFlow part_flow(const CrossSection& d, const Subdivision& part, double A, double P);

/// The same from its geometry: where its stretches convey one by one (the
/// model rules), Q = k sqrt(s) / n times their A R^(2/3) and V = Q / A.
ZoneFlow part_flow(const CrossSection& d, const Subdivision& part, const PartGeometry& g);

/// What a zone carries, from its subdivisions' geometry in d.parts order: one subdivision's own figures, or for several R = A / P, Q their
/// sum and V = Q / A. A dry zone (P = 0) has R = V = Q = 0.
ZoneFlow zone_flow(const CrossSection& d, Zone zone, std::span<const PartGeometry> geometry);

/// Q - QL - Q0 - QP of section d at level h, each zone's the sum of its
/// subdivisions': positive while h is too low.
double balance(const CrossSection& d, double Q, double h);

/// The same for the water connected to the channel's alone: ponded
/// stretches carry nothing.
double connected_balance(const CrossSection& d, double Q, double h);

/// The balance of CSDATA for its own discharge: the classic dialogue's.
double func(double h);

}  // namespace normlevel
