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
  // One read into a buffer of the file's size, as the program reads an input.
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
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
