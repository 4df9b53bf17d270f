#pragma once
// Text <-> double conversions the output's bytes depend on. They are the
// standard <charconv> ones wherever the library has them; a library without
// floating-point to_chars/from_chars (libc++ 13, as in the WebAssembly build)
// gets stand-ins on snprintf/strtod that give the same bytes.
#include <cstdint>
#include <cstring>
#include <system_error>

namespace real_chars {

struct Parsed {
  const char* ptr;
  std::errc ec;
};

// Shortest text that reads back as value: fixed or scientific, whichever is
// shorter (fixed on a tie), as std::to_chars(first, last, value) writes it.
char* shortest(char* first, char* last, double value);
// Shortest digits that read back as value, always in fixed notation.
char* shortest_fixed(char* first, char* last, double value);
// value in fixed notation with the given digits after the point.
char* fixed(char* first, char* last, double value, int precision);
// A plain or scientific decimal, as std::from_chars(first, last, value) reads it.
Parsed parse(const char* first, const char* last, double& value);

inline std::uint64_t bits(double value) {
  std::uint64_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

// The stand-ins themselves, built everywhere so they can be checked
// against the standard functions where those exist.
namespace fallback {
char* shortest(char* first, char* last, double value);
char* shortest_fixed(char* first, char* last, double value);
char* fixed(char* first, char* last, double value, int precision);
Parsed parse(const char* first, const char* last, double& value);
}  // namespace fallback

}  // namespace real_chars
