// The least a run on a file can do: read it whole and convert every number
// in it with std::from_chars. The real program's time on the same file is
// judged against this one's.   read_numbers FILE   prints their count and sum

#include <charconv>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: read_numbers FILE\n");
    return 2;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::string bytes;
  char block[1 << 16];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, got);
  std::fclose(file);
  // Fields that touch ("  -1.50-100.25") part where the next sign begins, as from_chars stops there.
  double sum = 0;
  long long count = 0;
  const char* at = bytes.data();
  const char* const end = at + bytes.size();
  while (at < end) {
    const char c = *at;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') {
      double value = 0;
      const auto [next, ec] = std::from_chars(at, end, value);
      if (ec == std::errc{}) {
        sum += value;
        ++count;
        at = next;
        continue;
      }
    }
    ++at;
  }
  std::printf("%lld numbers, sum %.17g\n", count, sum);
  return 0;
}
