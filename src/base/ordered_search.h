#pragma once

// The searches of sorted lists that the sweeps ask many times a section:
// the halving steps pick their half by a conditional move, not a branch,
// since where a level falls among a section's elevations follows no pattern
// a branch predictor could learn.

#include <cstddef>
#include <span>

namespace normlevel {

/// How many leading elements of `sorted` come before the first one for
/// which `after(element)` holds, `after` being false then true along it:
/// {1, 2, 2, 5} with after(e) = 2 < e -> 3, as std::partition_point.
template <class T, class After>
std::size_t count_until(std::span<T> sorted, After after) {
  if (sorted.empty()) return 0;
  T* base = sorted.data();
  for (std::size_t n = sorted.size(); n > 1;) {
    const std::size_t half = n / 2;
    base = after(base[half]) ? base : base + half;
    n -= half;
  }
  return static_cast<std::size_t>(base - sorted.data()) + (after(*base) ? 0 : 1);
}

}  // namespace normlevel
