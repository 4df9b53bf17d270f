// Writes a generated river-model geometry file and prints a discharge that
// stands about 3 m deep in its sections: make_geometry SECTIONS POINTS FILE

#include <cstdio>
#include <cstdlib>

#include "section_generator.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_geometry SECTIONS POINTS FILE\n");
    return 2;
  }
  std::printf("%.0f\n", normlevel::bench::write_geometry(argv[3], std::atoi(argv[1]), std::atoi(argv[2])));
  return 0;
}
