// Writes a generated valley section: make_section POINTS DEPTH FILE
// (DEPTH 0 asks for a discharge no level carries; DEPTH "span" writes the
// V spanning -1e5 m to 1e5 m instead).

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "section_generator.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_section POINTS DEPTH FILE\n");
    return 2;
  }
  if (std::strcmp(argv[2], "span") == 0)
    normlevel::bench::write_wide_v(argv[3], std::atoi(argv[1]));
  else
    normlevel::bench::write_valley(argv[3], std::atoi(argv[1]), std::atof(argv[2]));
  return 0;
}
