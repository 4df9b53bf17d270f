// The trapezoid of examples/trapezoid.txt, built from its points, and the
// level that carries the file's discharge.
#include <cstdio>
#include <normlevel/normlevel.h>

int main() {
  try {
    const normlevel::Section trapezoid = normlevel::Section::from_points(
        {{0, 103}, {10, 101}, {12, 100}, {14, 100}, {16, 101}, {26, 103}}, normlevel::Banks::points(1, 4),
        normlevel::Roughness(0.03, 0.05), 1.0);
    const normlevel::Levels found = trapezoid.normal_levels(10.0);
    if (!found.found) {
      std::fprintf(stderr, "no level found\n");
      return 1;
    }
    std::printf("%.5f\n", found.level);
  } catch (const normlevel::Error& error) {
    std::fprintf(stderr, "normlevel::Error: %s\n", error.what());
    return 1;
  }
}
