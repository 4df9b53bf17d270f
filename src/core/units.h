#pragma once

// What a section is measured in, and which rules say what of its water
// flows: small values every layer may know without the data set.

namespace normlevel {

/// The units a section is measured in, with the constants that go with them.
struct Units {
  const char* name;       ///< "si" or "us"
  double k;               ///< Manning's unit factor
  double g;               ///< acceleration of gravity
  double gamma;           ///< unit weight of water
  const char* length;     ///< label of a length
  const char* area;       ///< label of an area
  const char* velocity;   ///< label of a velocity
  const char* discharge;  ///< label of a discharge
  const char* shear;      ///< label of a shear stress
  const char* power;      ///< label of a stream power (per unit bed area)
};

/// Metres and seconds: k = 1, g = 9.81 m/s2, gamma = 9810 N/m3.
inline constexpr Units kSI{"si", 1.0, 9.81, 9810.0, "m", "m2", "m/s", "m3/s", "Pa", "W/m2"};
/// Feet and seconds: k = 1.486, g = 32.174 ft/s2, gamma = 62.4 lb/ft3.
inline constexpr Units kUS{"us", 1.486, 32.174, 62.4, "ft", "ft2", "ft/s", "cfs", "lb/ft2", "lb/ft/s"};
/// The same with k = 1.48592, (1 m / 0.3048 ft)^(1/3) rounded as a river model's results show it.
inline constexpr Units kUSModel{"us", 1.48592, 32.174, 62.4, "ft", "ft2", "ft/s", "cfs", "lb/ft2", "lb/ft/s"};

/// What of the water over a section carries flow: the divided channel's
/// classic rules, or a river model's (friction walls at the ends, each wet
/// stretch of a floodplain conveying alone, ineffective areas and levees).
enum class Rules { divided, model };

/// The units a rule set computes in: a river model's feet take its own k.
///   (&kUS, model) -> &kUSModel   (&kUS, divided) -> &kUS   (&kSI, model) -> &kSI
inline const Units* units_under(const Units* units, Rules rules) {
  return rules == Rules::model && units == &kUS ? &kUSModel : units;
}

}  // namespace normlevel
