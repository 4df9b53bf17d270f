#include "base/FreeForm.h"

#include <algorithm>
#include <charconv>

#include "base/real_chars.h"
#include <cmath>
#include <cstring>
#include <istream>
#include <limits>

#include "base/Failure.h"

namespace normlevel {

namespace {

constexpr std::size_t kBlockSize = 1 << 16;
constexpr int kTabWidth = 8;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }
bool is_quote(char c) { return c == '\'' || c == '"'; }
bool is_exponent_letter(char c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }
bool ends_unquoted(char c) { return c == ' ' || c == ',' || c == '/'; }

bool allowed_in_real(char c) {
  return is_digit(c) || is_exponent_letter(c) || is_sign(c) || c == '.' || c == 'Q' || c == 'q';
}

double with_sign(bool negative, double magnitude) { return negative ? -magnitude : magnitude; }

// Mantissa digits kept for the exact conversion: more than a double can
// ever need (halfway cases have at most 767 significant digits); any
// nonzero digit beyond them is kept as one sticky digit, so rounding stays
// correct.
constexpr int kKeptDigits = 800;

// Converts digits-with-optional-point times 10^exponent, correctly rounded.
double compose(const char* mantissa, const char* mantissa_end, long long exponent) {
  char text[kKeptDigits + 32];
  int kept = 0;
  long long scale = 0;
  bool after_point = false;
  bool sticky = false;
  for (const char* p = mantissa; p != mantissa_end; ++p) {
    if (*p == '.') {
      after_point = true;
    } else if (kept == 0 && *p == '0') {
      if (after_point) --scale;
    } else if (kept < kKeptDigits) {
      text[kept++] = *p;
      if (after_point) --scale;
    } else {
      sticky = sticky || *p != '0';
      if (!after_point) ++scale;
    }
  }
  if (kept == 0) return 0.0;
  if (sticky) {
    text[kept++] = '1';
    --scale;
  }
  const long long power = exponent + scale;
  const long long leading_power = power + kept - 1;
  if (leading_power > 310) return std::numeric_limits<double>::infinity();
  if (leading_power < -345) return 0.0;
  char* end = text + kept;
  *end++ = 'e';
  end = std::to_chars(end, text + sizeof text, power).ptr;
  double value = 0.0;
  if (real_chars::parse(text, end, value).ec == std::errc::result_out_of_range)
    value = leading_power > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return value;
}

using real_chars::kExactDigits;
using real_chars::kExactPowersOfTen;

// Digits of at most 15 figures times an exact power of ten: one correctly
// rounded multiplication or division of exact operands. False when the
// value needs the general conversion.
bool convert_short(const char* mantissa, const char* mantissa_end, long long exponent, double& value) {
  std::uint64_t digits = 0;
  int count = 0;
  int fraction = 0;
  bool after_point = false;
  for (const char* p = mantissa; p != mantissa_end; ++p) {
    if (*p == '.') {
      after_point = true;
      continue;
    }
    if (++count > kExactDigits) return false;
    digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    if (after_point) ++fraction;
  }
  const long long power = exponent - fraction;
  if (power < -22 || power > 22) return false;
  const double m = static_cast<double>(digits);
  value = power < 0 ? m / kExactPowersOfTen[-power] : m * kExactPowersOfTen[power];
  return true;
}

// The form nearly every survey value takes, [sign] digits [. digits] with
// at most 15 digits, in one pass: the value is the one convert_short gives.
// Returns where the form ends, or null when the text does not start so.
// Unbounded, the text must end in a character that is no digit, sign or
// point (a record's terminating NUL or CR): it then needs no end checks.
template <bool bounded>
const char* scan_plain(const char* p, const char* last, double& value) {
  const auto more = [&](const char* q) { return !bounded || q != last; };
  const bool negative = more(p) && *p == '-';
  if (more(p) && is_sign(*p)) ++p;
  std::uint64_t digits = 0;
  const char* const whole = p;
  for (; more(p) && is_digit(*p); ++p) digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
  std::ptrdiff_t count = p - whole, fraction = 0;
  if (more(p) && *p == '.') {
    const char* const decimals = ++p;
    for (; more(p) && is_digit(*p); ++p) digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    fraction = p - decimals;
    count += fraction;
  }
  if (count == 0 || count > kExactDigits) return nullptr;
  const double m = static_cast<double>(digits);
  value = with_sign(negative, fraction == 0 ? m : m / kExactPowersOfTen[fraction]);
  return p;
}

bool parse_plain(const char* first, const char* last, double& value) {
  double plain = 0;
  if (scan_plain<true>(first, last, plain) != last) return false;
  value = plain;
  return true;
}

}  // namespace

ConvertResult parse_real(const char* first, const char* last, double& value) {
  if (parse_plain(first, last, value)) return {last, {}};
  const char* p = first;
  const bool negative = p != last && *p == '-';
  if (p != last && is_sign(*p)) ++p;
  if (p != last && (*p == 'I' || *p == 'i')) {
    value = with_sign(negative, std::numeric_limits<double>::infinity());
    return {last, {}};
  }
  if (p != last && (*p == 'N' || *p == 'n')) {
    value = std::copysign(std::numeric_limits<double>::quiet_NaN(), negative ? -1.0 : 1.0);
    return {last, {}};
  }

  const char* const mantissa = p;
  bool point = false;
  bool any_digit = false;
  for (; p != last && (is_digit(*p) || (*p == '.' && !point)); ++p) {
    point = point || *p == '.';
    any_digit = any_digit || *p != '.';
  }
  const char* const mantissa_end = p;

  // An exponent: a letter E, e, D or d with an optional sign, or a bare sign.
  long long exponent = 0;
  if (p != last && (is_exponent_letter(*p) || is_sign(*p))) {
    const char* q = is_sign(*p) ? p : p + 1;
    const bool exponent_negative = q != last && *q == '-';
    if (q != last && is_sign(*q)) ++q;
    for (; q != last && is_digit(*q); ++q)
      if (exponent < 1000000) exponent = exponent * 10 + (*q - '0');
    if (exponent_negative) exponent = -exponent;
    p = q;
  }
  const char* const number_end = p;
  for (; p != last; ++p)  // what follows the number is ignored, but must be number characters
    if (!allowed_in_real(*p)) return {p, std::errc::invalid_argument};

  double magnitude = 0.0;
  if (any_digit && !convert_short(mantissa, mantissa_end, exponent, magnitude))
    magnitude = compose(mantissa, mantissa_end, exponent);
  value = with_sign(negative, magnitude);
  return {number_end, {}};
}

ConvertResult parse_integer(const char* first, const char* last, std::int32_t& value) {
  const char* p = first;
  const bool negative = p != last && *p == '-';
  if (p != last && is_sign(*p)) ++p;
  std::uint32_t magnitude = 0;
  for (; p != last; ++p) {
    if (!is_digit(*p)) return {p, std::errc::invalid_argument};
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(*p - '0');
  }
  value = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
  return {p, {}};
}

bool StreamSource::next(std::string& record) { return static_cast<bool>(std::getline(in_, record)); }

bool FileSource::refill() {
  if (buffer_.empty()) buffer_.resize(kBlockSize);
  begin_ = 0;
  end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  return end_ > 0;
}

bool FileSource::next(std::string& record) {
  record.clear();
  bool any = false;
  while (begin_ < end_ || refill()) {
    const char* const data = buffer_.data();
    const void* lf = std::memchr(data + begin_, '\n', end_ - begin_);
    if (lf != nullptr) {
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
      record.append(data + begin_, at - begin_);
      begin_ = at + 1;
      return true;
    }
    record.append(data + begin_, end_ - begin_);
    begin_ = end_;
    any = true;
  }
  return any;
}

namespace {

std::string listed(std::span<const char* const> names, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count && i < names.size(); ++i) text += (i ? ", " : "") + std::string(names[i]);
  return text;
}

}  // namespace

// "line 12: expected 2 numbers (station, elevation), found 1",
// "line 8: '40.0' is not a whole number (N)".
std::string ListReader::plain_wording(const char* message) const {
  const bool whole = !targets_.empty() && std::all_of(targets_.begin(), targets_.end(), [](const Target& t) {
    return std::holds_alternative<std::int32_t*>(t);
  });
  const std::string kind = whole ? "whole number" : "number";
  if (message == kIllegalCharacter) {
    const std::string name = target_ < names_.size() ? " (" + std::string(names_[target_]) + ")" : "";
    return "line " + std::to_string(line_) + ": '" + std::string(value_) + "' is not a " + kind + name;
  }
  const std::string line = "line " + std::to_string(first_line_) + ": ";
  const std::string ends = line_ == 0 ? "the file is empty" : "the file ends after line " + std::to_string(line_);
  if (targets_.empty()) return line + "expected " + (names_.empty() ? "a line" : names_[0]) + ", but " + ends;
  const std::size_t count = targets_.size();
  std::string expected = "expected " + (count == 1 ? "a " + kind : std::to_string(count) + " " + kind + "s");
  if (!names_.empty()) expected += " (" + listed(names_, count) + ")";
  if (target_ == 0 && line_ < first_line_) return line + expected + ", but " + ends;
  return line + expected + ", found " + std::to_string(target_);
}

void ListReader::fail(const char* message) const {
  throw Failure(kRunTimeError, message, statement_, plain_wording(message));
}

void ListReader::fetch_record() {
  if (!source_.next(record_)) fail(kPastEndOfFile);
  ++line_;
  pos_ = 0;
}

// Carriage returns vanish wherever they stand, then tabs become blanks up
// to the next multiple of eight columns, so both separate values.
void ListReader::normalize_record() {
  if (!record_.empty() && record_.back() == '\r') record_.pop_back();  // the usual CR LF, without a pass
  if (record_.find('\r') != std::string::npos)
    record_.erase(std::remove(record_.begin(), record_.end(), '\r'), record_.end());
  if (record_.find('\t') == std::string::npos) return;
  raw_.swap(record_);
  record_.clear();
  for (const char c : raw_) {
    if (c != '\t') {
      record_ += c;
      continue;
    }
    do record_ += ' ';
    while (record_.size() % kTabWidth != 0);
  }
}

void ListReader::take_record() {
  fetch_record();
  normalize_record();
}

// Skips blanks and whole records up to the next value; a comma after a
// value that ended at a blank or line end belongs to that value's separator.
void ListReader::skip_to_value(bool& comma_may_follow) {
  for (;;) {
    while (pos_ < record_.size() && record_[pos_] == ' ') ++pos_;
    if (pos_ == record_.size()) {
      take_record();
    } else if (comma_may_follow && record_[pos_] == ',') {
      ++pos_;
      comma_may_follow = false;
    } else {
      return;
    }
  }
}

// An unquoted value runs to a blank, comma, slash or the record's end; a
// comma ending it is consumed, a slash is left to end the read.
std::string_view ListReader::unquoted_value(bool& comma_may_follow) {
  const std::size_t start = pos_;
  while (pos_ < record_.size() && !ends_unquoted(record_[pos_])) ++pos_;
  const std::string_view value(record_.data() + start, pos_ - start);
  comma_may_follow = pos_ == record_.size() || record_[pos_] == ' ';
  if (pos_ < record_.size() && record_[pos_] == ',') ++pos_;
  return value;
}

// A quoted value runs to the matching quote, over line ends; a doubled
// quote stands for one. Only the first `keep` characters are kept.
std::string_view ListReader::quoted_value(char quote, std::size_t keep, bool& comma_may_follow) {
  quoted_.clear();
  ++pos_;
  for (;;) {
    if (pos_ == record_.size()) {
      take_record();
      continue;
    }
    const char c = record_[pos_++];
    if (c == quote) {
      if (pos_ == record_.size() || record_[pos_] != quote) break;
      ++pos_;
    }
    if (quoted_.size() < keep) quoted_ += c;
  }
  comma_may_follow = pos_ == record_.size() || record_[pos_] == ' ';
  if (pos_ < record_.size() && record_[pos_] == ',') ++pos_;
  return quoted_;
}

void ListReader::assign(const Target& target, std::string_view text) {
  value_ = text;
  const char* const first = text.data();
  const char* const last = first + text.size();
  if (auto* real = std::get_if<double*>(&target)) {
    if (parse_real(first, last, **real).ec != std::errc{}) fail(kIllegalCharacter);
  } else if (auto* integer = std::get_if<std::int32_t*>(&target)) {
    if (parse_integer(first, last, **integer).ec != std::errc{}) fail(kIllegalCharacter);
  } else {
    const CharField field = std::get<CharField>(target);
    const std::size_t n = std::min(field.size(), text.size());
    std::memcpy(field.data(), first, n);
    std::memset(field.data() + n, ' ', field.size() - n);
  }
}

namespace {

std::size_t field_size(const Target& target) {
  const auto* field = std::get_if<CharField>(&target);
  return field != nullptr ? field->size() : 0;
}

// r in r*c: the digits that open the text before the asterisk; fewer than
// one copy, or no digits at all, mean one copy.
std::size_t repeat_count(std::string_view prefix) {
  std::size_t count = 0;
  for (const char c : prefix) {
    if (!is_digit(c)) break;
    count = std::min<std::size_t>(count * 10 + static_cast<std::size_t>(c - '0'), 1u << 30);
  }
  return std::max<std::size_t>(count, 1);
}

}  // namespace

// Handles r*c, r*, (null values) and r* followed by a blank (the value is
// the next one found, taken whole). Returns the number of targets used.
std::size_t ListReader::read_repeat(std::span<const Target> targets, std::size_t repeat, std::string_view rest,
                                    bool& comma_may_follow, bool& stop) {
  const std::size_t used = std::min(repeat, targets.size());
  if (rest.empty()) {
    if (!comma_may_follow) return used;  // r* then a comma or slash: r null values
    bool no_comma_rule = false;
    skip_to_value(no_comma_rule);
    const char c = record_[pos_];
    if (c == '/') {
      stop = true;
      return used;
    }
    if (c == ',') {
      ++pos_;
      comma_may_follow = false;
      return used;
    }
    rest = std::get_if<CharField>(&targets[0]) != nullptr && is_quote(c)
               ? quoted_value(c, field_size(targets[0]), comma_may_follow)
               : unquoted_value(comma_may_follow);
  }
  for (std::size_t k = 0; k < used; ++k, ++target_) assign(targets[k], rest);
  target_ -= used;
  return used;
}

// Reals written plainly within one record, the case of nearly every read of
// a data file: the whole read in one pass, by the same rules. False, with
// nothing assigned or consumed, wherever the general rules must decide:
// null values, a slash, repeats, other forms, values on a later record.
bool ListReader::plain_reals(std::span<const Target> targets) {
  constexpr std::size_t kMost = 4;
  double values[kMost];
  if (targets.size() > kMost) return false;
  const char* p = record_.data();
  // The raw record: a CR LF line end counts as the end; a CR or tab among
  // the values is no terminator, so the general rules take that record.
  const char* const end = p + record_.size() - (!record_.empty() && record_.back() == '\r' ? 1 : 0);
  bool comma_may_follow = false;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (!std::holds_alternative<double*>(targets[i])) return false;
    while (p != end && *p == ' ') ++p;
    if (comma_may_follow && p != end && *p == ',') {
      ++p;
      while (p != end && *p == ' ') ++p;
    }
    p = scan_plain<false>(p, end, values[i]);  // the record ends in its NUL or its CR
    if (p == nullptr || (p != end && !ends_unquoted(*p))) return false;
    comma_may_follow = p == end || *p == ' ';
    if (p != end && *p == ',') ++p;
  }
  for (std::size_t i = 0; i < targets.size(); ++i) *std::get<double*>(targets[i]) = values[i];
  pos_ = record_.size();
  return true;
}

void ListReader::read(std::span<const Target> targets) {
  targets_ = targets;
  target_ = 0;
  first_line_ = line_ + 1;
  fetch_record();
  if (plain_reals(targets)) return;
  normalize_record();
  bool comma_may_follow = false;
  std::size_t i = 0;
  while (i < targets.size()) {
    target_ = i;
    skip_to_value(comma_may_follow);
    const char c = record_[pos_];
    if (c == '/') break;
    if (c == ',') {  // a null value: the target keeps what it held
      ++pos_;
      comma_may_follow = false;
      ++i;
      continue;
    }
    if (std::get_if<CharField>(&targets[i]) != nullptr && is_quote(c)) {
      assign(targets[i], quoted_value(c, field_size(targets[i]), comma_may_follow));
      ++i;
      continue;
    }
    const std::string_view value = unquoted_value(comma_may_follow);
    const std::size_t star = value.find('*', 1);
    if (star == std::string_view::npos) {
      assign(targets[i], value);
      ++i;
      continue;
    }
    bool stop = false;
    i += read_repeat(targets.subspan(i), repeat_count(value.substr(0, star)), value.substr(star + 1),
                     comma_may_follow, stop);
    if (stop) break;
  }
  pos_ = record_.size();
}

}  // namespace normlevel
