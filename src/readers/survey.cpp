#include "readers/survey.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "base/real_chars.h"

namespace normlevel {

std::string SectionName::text() const {
  std::string joined;
  for (const std::string* part : {&river, &reach, &station})
    if (!part->empty()) joined += (joined.empty() ? "" : " ") + *part;
  return joined;
}

std::string section_place(const std::string& file, const SectionName& section, std::string_view separator) {
  return section.empty() ? file : std::string(file).append(separator).append(section.text());
}

namespace {

[[noreturn]] void refuse(const std::string& message) { throw Failure(kRunTimeError, message, ""); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A bank typed with fewer decimals than the survey still finds its point.
constexpr double kSnap = 0.0005;

std::string point_named(const SurveyedSection& s, std::size_t i) {
  return "point " + std::to_string(i + 1) + " (" + shortest_real(s.x[i]) + ")";
}

[[noreturn]] void not_a_point(const SurveyedSection& s, double station, const char* side) {
  const auto after = std::upper_bound(s.x.begin(), s.x.end(), station);
  const std::size_t right = static_cast<std::size_t>(after - s.x.begin());
  std::string nearest;
  if (right == 0)
    nearest = "it lies left of the first point, " + point_named(s, 0);
  else if (right == s.x.size())
    nearest = "it lies right of the last point, " + point_named(s, s.x.size() - 1);
  else
    nearest = "the nearest points are " + point_named(s, right - 1) + " and " + point_named(s, right);
  refuse(std::string("the ") + side + " bank station " + shortest_real(station) + " is not a point of the section: " +
         nearest);
}

// Puts a point on segment [i, i + 1] at `station`, on the line between its ends.
std::size_t insert_point(SurveyedSection& s, std::size_t i, double station) {
  const double t = (station - s.x[i]) / (s.x[i + 1] - s.x[i]);
  const double z = s.z[i] + t * (s.z[i + 1] - s.z[i]);
  s.x.insert(s.x.begin() + static_cast<std::ptrdiff_t>(i + 1), station);
  s.z.insert(s.z.begin() + static_cast<std::ptrdiff_t>(i + 1), z);
  return i + 1;
}

// Inside a segment (strictly between its stations): its first point's index.
std::size_t segment_holding(const SurveyedSection& s, double station) {
  const auto after = std::upper_bound(s.x.begin(), s.x.end(), station);
  if (after == s.x.begin() || after == s.x.end()) return s.x.size();
  const std::size_t i = static_cast<std::size_t>(after - s.x.begin()) - 1;
  return s.x[i] < station ? i : s.x.size();
}

void insert_roughness_points(SurveyedSection& s) {
  for (const double station : s.n_station) {
    const std::size_t i = segment_holding(s, station);
    if (i < s.x.size() && station - s.x[i] > kSnap && s.x[i + 1] - station > kSnap) insert_point(s, i, station);
  }
}

// Segment i takes the n given last at or left of its first station.
std::vector<double> segment_roughness(const SurveyedSection& s) {
  std::vector<double> roughness(s.x.size() + 1, 0.0);
  std::size_t k = 0;
  for (std::size_t i = 0; i + 1 < s.x.size(); ++i) {
    while (k + 1 < s.n_station.size() && s.n_station[k + 1] <= s.x[i] + kSnap) ++k;
    roughness[i + 1] = s.n[k];
  }
  return roughness;
}

// Taken in file order, stations that go backwards would give n to the wrong ground.
void check_roughness(const SurveyedSection& s) {
  for (std::size_t k = 1; k < s.n_station.size(); ++k)
    if (s.n_station[k] < s.n_station[k - 1])
      refuse("the n stations must not decrease (" + shortest_real(s.n_station[k]) + " after " +
             shortest_real(s.n_station[k - 1]) + ")");
  for (std::size_t k = 0; k < s.n.size(); ++k)
    if (!(s.n[k] > 0) || !std::isfinite(s.n[k]))
      refuse("n = " + shortest_real(s.n[k]) + " from station " + shortest_real(s.n_station[k]) + " is not a positive number");
  for (std::size_t i = 0; i + 1 < s.point_n.size(); ++i)
    if (!(s.point_n[i] > 0) || !std::isfinite(s.point_n[i]))
      refuse("point " + std::to_string(i + 1) + ": n = " + shortest_real(s.point_n[i]) + " is not a positive number");
}

// The ground at `station` (within the section) seen from the left or the
// right: on a vertical wall there, its first or its last point.
double ground_at(const SurveyedSection& s, double station, bool from_left) {
  const auto first = std::lower_bound(s.x.begin(), s.x.end(), station);
  const auto last = std::upper_bound(s.x.begin(), s.x.end(), station);
  if (first != last) return s.z[static_cast<std::size_t>((from_left ? first : last - 1) - s.x.begin())];
  const std::size_t right = static_cast<std::size_t>(first - s.x.begin()), left = right - 1;
  const double t = (station - s.x[left]) / (s.x[right] - s.x[left]);
  return s.z[left] + t * (s.z[right] - s.z[left]);
}

// A blocked obstruction: the ground over it raised to its elevation, with
// a vertical face at each edge where it stands above the ground.
void raise_ground(SurveyedSection& s, const StillWater& block) {
  const double from = std::max(block.from, s.x.front()), to = std::min(block.to, s.x.back()), e = block.elevation;
  if (!(from < to)) return;
  std::vector<double> x, z;
  const auto put = [&](double station, double elevation) {
    if (!x.empty() && x.back() == station && z.back() == elevation) return;
    x.push_back(station);
    z.push_back(elevation);
  };
  std::size_t i = 0;
  for (; i < s.x.size() && s.x[i] < from; ++i) put(s.x[i], s.z[i]);
  const double left = ground_at(s, from, true), right = ground_at(s, to, false);
  if (from > s.x.front()) put(from, left);  // at an end the end wall stands on the block
  put(from, std::max(left, e));
  for (; i < s.x.size() && s.x[i] <= to; ++i) put(s.x[i], std::max(s.z[i], e));
  put(to, std::max(right, e));
  if (to < s.x.back()) put(to, right);
  for (; i < s.x.size(); ++i) put(s.x[i], s.z[i]);
  s.x = std::move(x);
  s.z = std::move(z);
}

// A point of its own where the water that counts may begin or end.
void point_at(SurveyedSection& s, double station) {
  const std::size_t i = segment_holding(s, station);
  if (i < s.x.size()) insert_point(s, i, station);
}

void take_model_records(CrossSection& d, SurveyedSection& s) {
  for (const StillWater& block : s.obstructions) raise_ground(s, block);
  for (const StillWater& block : s.still) {
    point_at(s, block.from);
    point_at(s, block.to);
  }
  for (const Levee& levee : s.levees) point_at(s, levee.station);
  d.still = s.still;
  d.levees = s.levees;
  d.obstructions = s.obstructions;
}

// A left bank on a vertical wall: its upper point (the first of the
// highest), wherever the wall runs, up or down.
std::size_t upper_point(const SurveyedSection& s, std::vector<double>::const_iterator first) {
  std::size_t best = static_cast<std::size_t>(first - s.x.begin());
  for (std::size_t i = best + 1; i < s.x.size() && s.x[i] == s.x[best]; ++i)
    if (s.z[i] > s.z[best]) best = i;
  return best;
}

// A vertical wall at the right bank belongs to the channel, and so at the
// channel's n, though n changes at its station: no subdivision of no width.
void channel_n_on_right_wall(std::vector<double>& roughness, std::int32_t il, std::int32_t ip,
                             const std::vector<double>& x) {
  std::int32_t wall = ip - 1;  // 1-based segments: wall ... ip - 1 stand at the bank's station
  while (wall > il && x[static_cast<std::size_t>(wall)] == x[static_cast<std::size_t>(ip)]) --wall;
  for (std::int32_t i = wall + 1; i < ip; ++i) roughness[static_cast<std::size_t>(i)] = roughness[static_cast<std::size_t>(wall)];
}

}  // namespace

std::size_t bank_point(SurveyedSection& s, double station, bool left, BankRule rule) {
  const char* side = left ? "left" : "right";
  if (s.x.empty()) refuse("the section has no points");
  const auto first = std::lower_bound(s.x.begin(), s.x.end(), station);
  const auto last = std::upper_bound(s.x.begin(), s.x.end(), station);
  if (first != last) return left ? upper_point(s, first) : static_cast<std::size_t>(last - 1 - s.x.begin());
  // No point stands exactly there: the nearest one within a snap, on its side.
  const std::size_t right = static_cast<std::size_t>(first - s.x.begin());
  const bool right_near = right < s.x.size() && s.x[right] - station <= kSnap;
  const bool left_near = right > 0 && station - s.x[right - 1] <= kSnap;
  if (left_near && (!right_near || station - s.x[right - 1] <= s.x[right] - station)) {
    std::size_t i = right - 1;
    while (left && i > 0 && s.x[i - 1] == s.x[i]) --i;
    return left ? upper_point(s, s.x.begin() + static_cast<std::ptrdiff_t>(i)) : i;
  }
  if (right_near) {
    std::size_t i = right;
    while (!left && i + 1 < s.x.size() && s.x[i + 1] == s.x[i]) ++i;
    return i;
  }
  if (rule == BankRule::insert && right > 0 && right < s.x.size()) return insert_point(s, right - 1, station);
  not_a_point(s, station, side);
}

void install_section(CrossSection& d, SurveyedSection& s, BankRule rule) {
  if (s.x.size() < 2) refuse("the section needs at least 2 points, but has " + std::to_string(s.x.size()));
  if (!(s.bank_left < s.bank_right))
    refuse("the left bank station " + shortest_real(s.bank_left) + " is not left of the right bank station " +
           shortest_real(s.bank_right));
  check_roughness(s);
  if (!std::is_sorted(s.x.begin(), s.x.end())) {
    const auto at = std::is_sorted_until(s.x.begin(), s.x.end());
    const std::size_t i = static_cast<std::size_t>(at - s.x.begin());
    refuse("point " + std::to_string(i + 1) + ": stations must not decrease (" + shortest_real(s.x[i]) + " after " +
           shortest_real(s.x[i - 1]) + ")");
  }
  if (d.rules == Rules::model) take_model_records(d, s);
  if (!s.n.empty()) insert_roughness_points(s);
  const std::size_t left = bank_point(s, s.bank_left, true, rule);
  const std::size_t right = bank_point(s, s.bank_right, false, rule);
  if (left >= right) refuse("the banks at stations " + shortest_real(s.bank_left) + " and " + shortest_real(s.bank_right) +
                            " leave no channel between them");
  d.N = static_cast<std::int32_t>(s.x.size());
  d.il = static_cast<std::int32_t>(left + 1);
  d.ip = static_cast<std::int32_t>(right + 1);
  const auto one_based = [](std::vector<double>& to, const std::vector<double>& from) {
    to.resize(from.size() + 1);
    to[0] = std::numeric_limits<double>::quiet_NaN();
    std::copy(from.begin(), from.end(), to.begin() + 1);
  };
  one_based(d.x, s.x);
  one_based(d.z, s.z);
  d.roughness.clear();
  if (!s.n.empty()) {
    d.roughness = segment_roughness(s);
    channel_n_on_right_wall(d.roughness, d.il, d.ip, d.x);
  }
  if (!s.point_n.empty()) {
    d.roughness.assign(1, 0.0);
    d.roughness.insert(d.roughness.end(), s.point_n.begin(), s.point_n.end());
  }
  prepare_section(d);
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void refuse_line(std::size_t line, const std::string& message) {
  throw Failure(kRunTimeError, "line " + std::to_string(line) + ": " + message, "");
}

namespace {

// A spreadsheet's UTF-8 mark.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

Lines::Lines(std::string_view bytes) : bytes_(bytes) {
  if (bytes_.starts_with(kByteOrderMark)) bytes_.remove_prefix(kByteOrderMark.size());
}

// Blocks shorter than the mark are joined until it can be told.
Lines::Lines(std::unique_ptr<ByteBlocks> blocks) : blocks_(std::move(blocks)) {
  if (next_block() && bytes_.size() < kByteOrderMark.size()) {
    std::string start(bytes_);
    while (start.size() < kByteOrderMark.size() && next_block()) start += bytes_;
    bytes_ = joined_.emplace_back(std::move(start));
  }
  if (bytes_.starts_with(kByteOrderMark)) bytes_.remove_prefix(kByteOrderMark.size());
}

// The next block; false at the end.
bool Lines::next_block() {
  if (!blocks_ || ended_) return false;
  bytes_ = blocks_->next();
  at_ = 0;
  ended_ = bytes_.empty();
  return !ended_;
}

void Lines::release_before(std::string_view keep) {
  if (blocks_) blocks_->release_before(keep.empty() ? nullptr : keep.data());
}

// The line from at_ on runs past the block: it is put together, kept, and
// the block where it ends becomes the one at hand.
std::string_view Lines::joined_line() {
  std::string line(bytes_.substr(at_));
  for (at_ = bytes_.size(); next_block();) {
    const std::size_t lf = bytes_.find('\n');
    line += bytes_.substr(0, lf);
    if (lf != std::string_view::npos) {
      at_ = lf + 1;
      break;
    }
    at_ = bytes_.size();
  }
  return joined_.emplace_back(std::move(line));
}

bool Lines::next(std::string_view& line) {
  if (at_ >= bytes_.size() && !next_block()) return false;
  const void* lf = std::memchr(bytes_.data() + at_, '\n', bytes_.size() - at_);
  if (lf || !blocks_ || ended_) {
    const std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - bytes_.data()) : bytes_.size();
    line = bytes_.substr(at_, end - at_);
    at_ = end + 1;
  } else {
    line = joined_line();
  }
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  ++number_;
  return true;
}

bool parse_decimal(std::string_view text, bool comma, double& value) {
  const char* const end = text.data() + text.size();
  double plain = 0;
  const auto quick = real_chars::plain_decimal(text.data(), end, plain, {.plus = true, .comma = comma});
  if (quick.ec == std::errc{} && quick.ptr == end) {
    value = plain;
    return true;
  }
  char copy[64];
  if (text.empty() || text.size() >= sizeof copy) return false;
  std::size_t i = 0, digits = 0;
  bool point = false;
  const std::size_t sign = text[0] == '+' || text[0] == '-' ? 1 : 0;
  for (i = sign; i < text.size(); ++i) {
    const char c = text[i];
    if (is_digit(c)) {
      ++digits;
    } else if ((c == '.' || (comma && c == ',')) && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < text.size()) {  // an exponent: e or E, an optional sign, digits
    if (text[i] != 'e' && text[i] != 'E') return false;
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j == text.size()) return false;
    for (; j < text.size(); ++j)
      if (!is_digit(text[j])) return false;
  }
  // from_chars takes no plus sign, and a point where a comma stands.
  const std::string_view number = text.substr(text[0] == '+' ? 1 : 0);
  const char* first = number.data();
  if (comma && number.find(',') != std::string_view::npos) {
    std::copy(number.begin(), number.end(), copy);
    std::replace(copy, copy + number.size(), ',', '.');
    first = copy;
  }
  const auto result = real_chars::parse(first, first + number.size(), value);
  return result.ec == std::errc{} && result.ptr == first + number.size();
}

}  // namespace normlevel
