#include "readers/geometry_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/Failure.h"
#include "base/real_chars.h"

namespace normlevel {

namespace {

constexpr std::size_t kFieldWidth = 8;

constexpr std::string_view kRiverReach = "River Reach=";
constexpr std::string_view kSectionStart = "Type RM Length L Ch R";
constexpr std::string_view kPoints = "#Sta/Elev=";
constexpr std::string_view kRoughness = "#Mann=";
constexpr std::string_view kBanks = "Bank Sta=";
constexpr std::string_view kIneffective = "#XS Ineff=";
constexpr std::string_view kPermanent = "Permanent Ineff=";
constexpr std::string_view kLevee = "Levee=";
constexpr std::string_view kObstructions = "#Block Obstruct=";
constexpr double kEnd = std::numeric_limits<double>::infinity();

// Records the divided rules leave out, with what a warning calls them, and
// whether the model rules take them in.
struct LeftOut {
  std::string_view key;
  const char* what;
  bool modelled;
};
constexpr LeftOut kLeftOut[] = {{"Levee=", "levees", true},
                                {"#XS Ineff=", "ineffective flow areas", true},
                                {"#Block Obstruct=", "blocked obstructions", true},
                                {"Ice Thickness=", "ice covers", false},
                                {"Vertical n Elevations=", "vertical variations of n", false}};


// The comma-separated values after a record's '='.
std::vector<std::string_view> values_after(std::string_view line, std::string_view key) {
  std::vector<std::string_view> values;
  std::string_view rest = line.substr(key.size());
  if (!rest.empty() && rest.front() == '=') rest.remove_prefix(1);
  for (;;) {
    const std::size_t comma = rest.find(',');
    values.push_back(trimmed(rest.substr(0, comma)));
    if (comma == std::string_view::npos) return values;
    rest.remove_prefix(comma + 1);
  }
}

// "'abc' is not a number (the left bank station)"
std::string not_a(std::string_view text, const char* kind, const std::string& what) {
  return in_quotes(trimmed(text)) + " is not a " + kind + " (" + what + ")";
}

double number_in(std::string_view text, std::size_t line, const std::string& what) {
  double value = 0;
  if (!parse_decimal(trimmed(text), false, value)) refuse_line(line, not_a(text, "number", what));
  return value;
}

std::size_t count_in(std::string_view text, std::size_t line, const std::string& what) {
  const double value = number_in(text, line, what);
  if (!(value >= 0 && value <= 1e7) || value != std::floor(value)) refuse_line(line, not_a(text, "count", what));
  return static_cast<std::size_t>(value);
}

bool starts_record(std::string_view line) {
  return line.starts_with(kSectionStart) || line.starts_with(kRiverReach);
}

}  // namespace

namespace {

// The usual field, blanks and then [-]digits[.digits], in one pass: the
// value parse_decimal gives.
bool quick_field(const char* p, const char* end, double& value) {
  while (p != end && *p == ' ') ++p;
  const auto quick = real_chars::plain_decimal(p, end, value);
  return quick.ec == std::errc{} && quick.ptr == end;
}

}  // namespace

bool fixed_fields(std::string_view line, std::size_t count, std::vector<double>& values, std::string& bad) {
  for (std::size_t at = 0; count > 0 && at < line.size(); at += kFieldWidth, --count) {
    const std::size_t width = std::min(kFieldWidth, line.size() - at);
    double value = 0;
    if (quick_field(line.data() + at, line.data() + at + width, value)) {
      values.push_back(value);
      continue;
    }
    const std::string_view field = trimmed(line.substr(at, width));
    if (!parse_decimal(field, false, value)) {
      bad = std::string(field);
      return false;
    }
    values.push_back(value);
  }
  return true;
}

bool GeometryFile::next_line(std::string_view& line) {
  if (pending_) {
    pending_ = false;
    line = pending_line_;
    return true;
  }
  if (!lines_.next(line)) return false;
  line_ = lines_.number();
  return true;
}

// Fields run on over as many lines as they need; a line that starts a
// record ends them early. Loose fields are of 8 characters, or failing that
// numbers between blanks.
void GeometryFile::read_fields(std::size_t count, std::vector<double>& values, std::string_view record,
                               std::size_t record_line, bool loose) {
  values.clear();
  values.reserve(count);
  std::string bad;
  std::string_view line;
  while (values.size() < count) {
    const std::size_t before = values.size();
    const bool more = next_line(line);
    const bool read = more && fixed_fields(line, count - before, values, bad);
    // A field read as a number holds no '=': only the rest of its line may start a record.
    const std::size_t from = read ? std::min(line.size(), (values.size() - before) * kFieldWidth) : 0;
    if (!more || line.find('=', from) != std::string_view::npos) {
      values.resize(before);
      if (more) {
        pending_ = true;
        pending_line_ = line;
      }
      refuse_line(record_line, std::string(record) + " expected " + std::to_string(count) + " values, found " +
                                   std::to_string(values.size()));
    }
    if (read) continue;
    if (!loose) refuse_line(line_, in_quotes(bad) + " is not a number (a field of " + std::string(record) + ")");
    values.resize(before);
    for (std::string_view rest = trimmed(line); !rest.empty() && values.size() < count;) {
      const std::size_t blank = rest.find_first_of(" \t");
      values.push_back(number_in(rest.substr(0, blank), line_, "a field of " + std::string(record)));
      rest = blank == std::string_view::npos ? std::string_view{} : trimmed(rest.substr(blank));
    }
  }
}

// A record "KEY= count ..." and its count groups of `width` fields: the
// first two fields of each group into first and second.
void GeometryFile::read_columns(std::string_view line, std::string_view key, std::size_t width, const char* what,
                                std::vector<double>& first, std::vector<double>& second) {
  const std::size_t at = line_;
  const std::size_t count = count_in(values_after(line, key)[0], at, what);
  read_fields(width * count, fields_, key, at);
  first.resize(count);
  second.resize(count);
  for (std::size_t k = 0; k < count; ++k) {
    first[k] = fields_[width * k];
    second[k] = fields_[width * k + 1];
  }
}

// "KEY= count ,mode": blocks of station from, to and elevation (mode -1),
// or station and elevation pairs, the first from the section's left end,
// the second to its right end.
void GeometryFile::read_blocks(std::string_view line, std::string_view key, std::vector<StillWater>& blocks) {
  const std::size_t at = line_;
  const std::vector<std::string_view> head = values_after(line, key);
  const std::size_t count = count_in(head[0], at, "the number of blocks");
  const bool by_blocks = head.size() > 1 && number_in(head[1], at, "the mode") == -1;
  read_fields((by_blocks ? 3 : 2) * count, fields_, key, at, true);
  for (std::size_t k = 0; k < count; ++k) {
    if (by_blocks)
      blocks.push_back({fields_[3 * k], fields_[3 * k + 1], fields_[3 * k + 2]});
    else if (k == 0)
      blocks.push_back({-kEnd, fields_[0], fields_[1]});
    else
      blocks.push_back({fields_[2 * k], kEnd, fields_[2 * k + 1]});
  }
}

// The flags of the blocks from `from` on, T where one never flows.
void GeometryFile::read_permanence(std::vector<StillWater>& blocks, std::size_t from) {
  std::string_view line;
  for (std::size_t k = from; k < blocks.size();) {
    if (!next_line(line)) return;
    if (line.find('=') != std::string_view::npos) {
      pending_ = true;
      pending_line_ = line;
      return;
    }
    for (std::size_t at = 0; at < line.size() && k < blocks.size(); at += kFieldWidth) {
      const std::string_view flag = trimmed(line.substr(at, kFieldWidth));
      if (flag.empty()) continue;
      blocks[k++].permanent = flag == "T" || flag == "-1";
    }
  }
}

bool GeometryFile::next(SurveyedSection& section) {
  lines_.release_before(pending_ ? pending_line_ : std::string_view());  // the sections before are read
  std::string_view line;
  while (next_line(line)) {
    if (line.starts_with(kRiverReach)) {
      const std::vector<std::string_view> names = values_after(line, kRiverReach);
      river_ = names[0];
      reach_ = names.size() > 1 ? std::string(names[1]) : std::string();
      continue;
    }
    if (!line.starts_with(kSectionStart)) continue;
    const std::size_t eq = line.find('=');
    const std::vector<std::string_view> fields = values_after(line.substr(eq == std::string_view::npos ? 0 : eq), "");
    if (fields.empty() || fields[0] != "1") {
      ++others_;
      continue;
    }
    section = SurveyedSection{};
    section.name = {river_, reach_, fields.size() > 1 ? std::string(fields[1]) : std::string()};
    section.line = line_;
    return read_section(section);
  }
  return false;
}

// A levee's flag, station and elevation from `first` on: none where the
// flag is 0 or either number is missing.
static void take_levee(const std::vector<std::string_view>& values, std::size_t first, bool left, SurveyedSection& s) {
  double station = 0, crest = 0;
  if (values.size() < first + 3 || values[first] == "0") return;
  if (!parse_decimal(values[first + 1], false, station) || !parse_decimal(values[first + 2], false, crest)) return;
  s.levees.push_back({station, crest, left});
}

void GeometryFile::read_model_record(std::string_view line, SurveyedSection& s) {
  if (line.starts_with(kIneffective)) {
    ineffective_from_ = s.still.size();
    read_blocks(line, kIneffective, s.still);
  } else if (line.starts_with(kPermanent)) {
    read_permanence(s.still, ineffective_from_);
  } else if (line.starts_with(kObstructions)) {
    read_blocks(line, kObstructions, s.obstructions);
  } else if (line.starts_with(kLevee)) {
    const std::vector<std::string_view> values = values_after(line, kLevee);
    take_levee(values, 0, true, s);
    take_levee(values, 3, false, s);
  }
}

// The records of one cross section, up to the next section or reach. On a
// record that cannot be read the rest of the section is passed over.
bool GeometryFile::read_section(SurveyedSection& s) {
  bool points = false, banks = false;
  std::string_view line;
  try {
    while (next_line(line)) {
      if (starts_record(line)) {
        pending_ = true;
        pending_line_ = line;
        break;
      }
      const std::size_t at = line_;
      if (line.starts_with(kPoints)) {
        read_columns(line, kPoints, 2, "the number of points", s.x, s.z);
        points = true;
      } else if (line.starts_with(kRoughness)) {
        read_columns(line, kRoughness, 3, "the number of n values", s.n_station, s.n);
      } else if (line.starts_with(kBanks)) {
        const std::vector<std::string_view> stations = values_after(line, kBanks);
        if (stations.size() < 2) refuse_line(at, "Bank Sta= expected 2 stations, found " + std::to_string(stations.size()));
        s.bank_left = number_in(stations[0], at, "the left bank station");
        s.bank_right = number_in(stations[1], at, "the right bank station");
        banks = true;
      } else {
        read_model_record(line, s);
        for (const LeftOut& record : kLeftOut)
          if (line.starts_with(record.key) &&
              std::find(s.left_out.begin(), s.left_out.end(), record.what) == s.left_out.end())
            s.left_out.push_back(record.what);
      }
    }
    if (!points) refuse_line(s.line, "the cross section has no #Sta/Elev= record");
    if (!banks) refuse_line(s.line, "the cross section has no Bank Sta= record");
  } catch (const Failure&) {
    while (next_line(line))
      if (starts_record(line)) {
        pending_ = true;
        pending_line_ = line;
        break;
      }
    throw;
  }
  return true;
}

std::vector<std::string> left_out_by_model(const std::vector<std::string>& left_out) {
  std::vector<std::string> still;
  for (const std::string& what : left_out)
    if (std::none_of(std::begin(kLeftOut), std::end(kLeftOut),
                     [&](const LeftOut& record) { return record.modelled && what == record.what; }))
      still.push_back(what);
  return still;
}

}  // namespace normlevel
