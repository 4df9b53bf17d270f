#pragma once

// Free-form (list-directed) value reading, shared by the console and the
// data file: values separated by blanks or commas and looked for across
// lines; every read starts at a new record and throws away the rest of the
// record it ends in.

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iosfwd>
#include <span>
#include <string>
#include <system_error>
#include <variant>

namespace normlevel {

inline constexpr const char* kIllegalCharacter = "Illegal character in numeric input";
inline constexpr const char* kPastEndOfFile = "Attempt to read past end of file";

/// Where a conversion stopped; ec is std::errc::invalid_argument when the
/// value holds a character no number of that kind may hold.
struct ConvertResult {
  const char* ptr;
  std::errc ec;
};

/// Converts the text of one real value, shaped like std::from_chars:
///   "12.5" -> 12.5     ".5" -> 0.5       "5." -> 5        "1.5D3" -> 1500
///   "1.5-3" -> 0.0015  "2+4" -> 20000    "1.2.3" -> 1.2   "1.5Q3" -> 1.5
///   "+" -> 0           "." -> 0          "e5" -> 0        "1e999" -> inf
///   "-Inf" -> -inf     "nonsense" -> NaN "12a" -> invalid_argument
/// The whole of [first, last) is the value; ptr is where the number ended.
ConvertResult parse_real(const char* first, const char* last, double& value);

/// Converts the text of one integer value: an optional sign and digits only.
///   "-7" -> -7   "+" -> 0   "4294967297" -> 1 (wraps modulo 2^32)
///   "7.0" -> invalid_argument   "1e1" -> invalid_argument
ConvertResult parse_integer(const char* first, const char* last, std::int32_t& value);

/// A fixed-length character target, blank-padded on the right when filled.
using CharField = std::span<char>;

/// One target of a read: a real, an integer or a character field.
using Target = std::variant<double*, std::int32_t*, CharField>;

/// A text source cut into records (lines without their line feed).
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  /// Puts the next record into `record`; false at the end of the source.
  /// A last line with no line end still counts as a record.
  virtual bool next(std::string& record) = 0;
};

/// Records from a stream: the console, or a string in tests.
class StreamSource final : public RecordSource {
 public:
  explicit StreamSource(std::istream& in) : in_(in) {}
  bool next(std::string& record) override;

 private:
  std::istream& in_;
};

/// Records from an open C stream, read in large blocks.
class FileSource final : public RecordSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  bool next(std::string& record) override;

 private:
  bool refill();

  std::FILE* file_;
  std::string buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

/// Reads values from one source by the free-form rules; a failure throws a
/// Failure whose third diagnostic line is `statement`.
class ListReader {
 public:
  ListReader(RecordSource& source, const char* statement) : source_(source), statement_(statement) {}

  /// Fills the targets in order; with no targets it consumes one record.
  void read(std::initializer_list<Target> targets) { read(std::span(targets.begin(), targets.size())); }
  void read(std::span<const Target> targets);

  /// Names the targets of the reads that follow, for the plain wording of
  /// a failure: {"station", "elevation"} gives "line 12: expected 2 numbers
  /// (station, elevation), found 1"; a read with no targets takes names[0]
  /// as what its record holds ("a heading line"). The names must outlive
  /// the reads.
  void name_targets(std::span<const char* const> names) { names_ = names; }

  /// The number of the record the last read ended in (1 for the first).
  std::size_t line() const { return line_; }

 private:
  void fetch_record();
  void normalize_record();
  void take_record();
  bool plain_reals(std::span<const Target> targets);
  void skip_to_value(bool& comma_may_follow);
  std::string_view unquoted_value(bool& comma_may_follow);
  std::string_view quoted_value(char quote, std::size_t keep, bool& comma_may_follow);
  std::size_t read_repeat(std::span<const Target> targets, std::size_t repeat, std::string_view rest,
                          bool& comma_may_follow, bool& stop);
  void assign(const Target& target, std::string_view text);
  [[noreturn]] void fail(const char* message) const;
  std::string plain_wording(const char* message) const;

  RecordSource& source_;
  const char* statement_;
  std::string raw_;
  std::string record_;
  std::string quoted_;
  std::size_t pos_ = 0;
  // Where the reading stands, for the plain wording of a failure.
  std::span<const char* const> names_;
  std::span<const Target> targets_;
  std::size_t line_ = 0;        // records taken so far: the current one's number
  std::size_t first_line_ = 0;  // the record the read began with
  std::size_t target_ = 0;      // the target being filled
  std::string_view value_;      // the value being converted
};

}  // namespace normlevel
