#pragma once

// The sign of the balance proved without its ordered segment-by-segment
// sums, so that the level search needs them only near the level it finds.

#include <cstdint>
#include <vector>

#include "CSdata.h"

namespace normlevel {

/// The sums over a set of segments of one zone from which its wetted area
/// and perimeter at a level are bounded (hdx: half the segment's width).
struct SegmentTotals {
  double hdx = 0;       ///< sum of hdx
  double hdx_z = 0;     ///< sum of hdx (z1 + z2)
  double hdx_abs_z = 0; ///< sum of hdx (|z1| + |z2|)
  double hdx_low = 0;   ///< sum of hdx min(z1, z2)
  double length = 0;    ///< sum of the segments' lengths
  double count = 0;     ///< how many segments
  double low = 0;       ///< sum of min(z1, z2)
  double abs_low = 0;   ///< sum of |min(z1, z2)|
  void add(const CrossSection& d, std::int32_t segment);
};

/// Each subdivision's totals over the segments wholly under water (full)
/// and over those wet at all (wet, a superset of full); when
/// partials_known, also the very shares of every segment wet only in part.
struct WetTotals {
  explicit WetTotals(const CrossSection& d);  ///< one entry per subdivision of d
  const CrossSection* section;
  std::vector<SegmentTotals> full, wet;
  bool partials_known = false;
  std::vector<double> part_area, part_length;
  void add_part(double h, std::int32_t segment);
};


/// +1 when balance(d, Q, h) is certainly > 0, -1 when certainly < 0, 0
/// when the totals (of d) do not tell: bounds on what each zone carries at h, wide enough
/// for every rounding of the ordered sums and of any platform's pow.
int proved_sign(double Q, double h, const WetTotals& totals);

/// The same for every level from `low` to `high` at once, where no segment
/// gets wet or wholly wet above `low`: the totals as at `low`, with the
/// shares wet in part taken at each end when known.
int proved_sign(double Q, double low, const WetTotals& at_low, double high, const WetTotals& at_high);

/// Proofs for the walk's levels, ascending; each level asked for costs
/// only the segments that get wet or wholly wet since the level before.
class WalkSigns {
 public:
  WalkSigns(const CrossSection& d, double Q, std::vector<double> levels);
  int operator()(double level);

 private:
  void add_bucket(std::uint32_t first, const std::vector<std::uint32_t>& next, std::vector<SegmentTotals>& into);
  int prove(std::size_t from, std::size_t to);
  void take_parts(WetTotals& into, double level) const;
  std::size_t next_event(std::size_t k);

  const CrossSection& d_;
  double Q_;
  std::vector<double> levels_;
  // Per level, the segments that get wet (wholly wet) at it, as lists:
  // the first segment of each level, and after each segment the next.
  std::vector<std::uint32_t> first_wet_, first_full_, next_wet_, next_full_;
  std::size_t next_level_ = 0;  // the first level whose segments are not yet added
  std::vector<std::int32_t> in_part_;  // wet, and perhaps wholly by now
  WetTotals totals_, top_;  // top_: the shares at the top of a span
  std::size_t next_event_ = 0;  // a level after the latest asked that adds segments, or none before it
  int known_sign_ = 0;
  std::size_t known_until_ = 0;  // the sign holds for the levels before this one
};

/// Proofs for levels within the bracket [lo, hi] of the bisection: the
/// segments that change within it are kept aside, the rest summed once.
class BracketSigns {
 public:
  BracketSigns(const CrossSection& d, double Q, double lo, double hi);
  int operator()(double level) const;

 private:
  struct Changing {
    std::int32_t segment;
    double low, high;
  };
  double Q_, lo_, hi_;
  WetTotals settled_;
  std::vector<Changing> changing_;
};

}  // namespace normlevel
