#include "station_table.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "CSdata.h"
#include "Failure.h"

namespace normlevel {

namespace {


// The fields of one row; a field between double quotes may hold the
// separator, and "" stands for one quote.
void split_row(std::string_view row, char separator, std::vector<std::string_view>& fields, std::string& unquoted) {
  fields.clear();
  if (row.find('"') == std::string_view::npos) {
    for (std::size_t start = 0;;) {
      const std::size_t end = row.find(separator, start);
      fields.push_back(trimmed(row.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
      if (end == std::string_view::npos) return;
      start = end + 1;
    }
  }
  // Quoted fields are rare: copied out, with their quotes resolved, into one buffer.
  unquoted.clear();
  unquoted.reserve(row.size());
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  std::size_t i = 0;
  for (;;) {
    while (i < row.size() && row[i] == ' ') ++i;
    const std::size_t begin = unquoted.size();
    if (i < row.size() && row[i] == '"') {
      for (++i; i < row.size(); ++i) {
        if (row[i] == '"' && (i + 1 == row.size() || row[i + 1] != '"')) break;
        if (row[i] == '"') ++i;
        unquoted += row[i];
      }
      i = std::min(row.size(), i + 1);
      while (i < row.size() && row[i] != separator) ++i;
    } else {
      const std::size_t end = std::min(row.find(separator, i), row.size());
      unquoted.append(trimmed(row.substr(i, end - i)));
      i = end;
    }
    spans.emplace_back(begin, unquoted.size() - begin);
    if (i >= row.size()) break;
    ++i;
  }
  for (const auto& [begin, length] : spans) fields.push_back(std::string_view(unquoted).substr(begin, length));
}

struct Columns {
  std::size_t station = SIZE_MAX, elevation = SIZE_MAX, n = SIZE_MAX, count = 0;
};

bool named(const std::string& key, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* name) { return key == name; });
}

Columns columns_of(const std::vector<std::string_view>& header, std::size_t line) {
  Columns c;
  c.count = header.size();
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string key = column_key(header[i]);
    std::size_t* column = named(key, {"station", "odleglosc"}) ? &c.station
                          : named(key, {"elevation", "rzedna"}) ? &c.elevation
                          : named(key, {"n"})                   ? &c.n
                                                                : nullptr;
    if (column == nullptr) continue;  // a column of something else
    if (*column != SIZE_MAX) refuse_line(line, "the header names the column '" + key + "' twice");
    *column = i;
  }
  if (c.station == SIZE_MAX) refuse_line(line, "the header names no 'station' (or 'odleglosc') column");
  if (c.elevation == SIZE_MAX) refuse_line(line, "the header names no 'elevation' (or 'rzedna') column");
  return c;
}

double value_at(const std::vector<std::string_view>& fields, std::size_t column, const char* name, char separator,
                std::size_t line) {
  double value = 0;
  const std::string_view text = fields[column];
  if (text.empty()) refuse_line(line, std::string("no ") + name);
  if (parse_decimal(text, separator != ',', value)) return value;
  refuse_line(line, "'" + std::string(text) + "' is not a number (" + name + ")");
}

bool blank(const std::vector<std::string_view>& fields) {
  return std::all_of(fields.begin(), fields.end(), [](std::string_view f) { return f.empty(); });
}

// With ',' between fields, "12,5" splits in two: a row with more filled
// fields than the header names is taken for a decimal comma.
void check_width(const std::vector<std::string_view>& fields, const Columns& c, char separator, std::size_t line) {
  std::size_t filled = fields.size();
  while (filled > 0 && fields[filled - 1].empty()) --filled;
  if (separator == ',' && filled > c.count)
    refuse_line(line, std::to_string(filled) + " fields where the header names " + std::to_string(c.count) +
                     ": a decimal comma? With ',' between fields numbers take '.'; or separate them by ';'");
  const std::size_t needed = std::max({c.station, c.elevation, c.n == SIZE_MAX ? 0 : c.n}) + 1;
  if (fields.size() < std::max(c.station, c.elevation) + 1)
    refuse_line(line, "expected " + std::to_string(needed) + " fields, found " + std::to_string(fields.size()));
}

// The usual field, blanks around [-]digits[point digits] with at most 15
// digits, in one pass: the value parse_decimal gives. False for any other
// form, which the general rules then read or refuse.
constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Reads the number at `at` up to the field's end (a separator or the
// row's): where it is one, `at` stands after the field's trailing blanks.
bool quick_number(const char*& at, const char* end, char separator, bool comma, double& value) {
  const char* p = at;  // a local: the compiler keeps it in a register
  while (p != end && *p == ' ') ++p;
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  const char* const start = p;
  std::uint64_t digits = 0;
  while (p != end && static_cast<unsigned>(*p - '0') < 10) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
  std::ptrdiff_t count = p - start, fraction = 0;
  if (p != end && (*p == '.' || (comma && *p == ','))) {
    const char* const decimals = ++p;
    while (p != end && static_cast<unsigned>(*p - '0') < 10) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    fraction = p - decimals;
    count += fraction;
  }
  if (count == 0 || count > 15) return false;
  while (p != end && *p == ' ') ++p;
  if (p != end && *p != separator) return false;
  const double magnitude = static_cast<double>(digits) / kPowersOfTen[fraction];
  value = negative ? -magnitude : magnitude;
  at = p;
  return true;
}

// A row without quotes in one pass: its station, elevation and n (NaN for
// an empty n cell), or false where the general rules must decide (they
// then name what is wrong).
bool quick_row(std::string_view row, char separator, const Columns& c, double& x, double& z, double& n) {
  const bool comma = separator != ',';
  std::size_t field = 0, filled = 0;
  bool got_x = false, got_z = false;
  n = NAN;
  const char* p = row.data();
  const char* const end = p + row.size();
  for (;; ++field) {
    while (p != end && *p == ' ') ++p;
    if (p != end && *p != separator) filled = field + 1;
    if (field == c.station) {
      if (!(got_x = quick_number(p, end, separator, comma, x))) return false;
    } else if (field == c.elevation) {
      if (!(got_z = quick_number(p, end, separator, comma, z))) return false;
    } else if (field == c.n && p != end && *p != separator) {
      if (!quick_number(p, end, separator, comma, n)) return false;
    } else {
      while (p != end && *p != separator) {
        if (*p == '"') return false;
        ++p;
      }
    }
    if (p == end) break;
    ++p;  // the separator
  }
  return got_x && got_z && !(separator == ',' && filled > c.count);
}

}  // namespace

char table_separator(std::string_view header) {
  if (header.find('\t') != std::string_view::npos) return '\t';
  if (header.find(';') != std::string_view::npos) return ';';
  return ',';
}

std::string column_key(std::string_view name) {
  std::string key;
  name = trimmed(name);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = trimmed(name.substr(1, name.size() - 2));
  const std::size_t unit = name.find_first_of("[(");
  name = trimmed(name.substr(0, unit));
  static const std::pair<const char*, char> kPolish[] = {
      {"\xC4\x85", 'a'}, {"\xC4\x84", 'a'}, {"\xC4\x87", 'c'}, {"\xC4\x86", 'c'}, {"\xC4\x99", 'e'}, {"\xC4\x98", 'e'},
      {"\xC5\x82", 'l'}, {"\xC5\x81", 'l'}, {"\xC5\x84", 'n'}, {"\xC5\x83", 'n'}, {"\xC3\xB3", 'o'}, {"\xC3\x93", 'o'},
      {"\xC5\x9B", 's'}, {"\xC5\x9A", 's'}, {"\xC5\xBA", 'z'}, {"\xC5\xB9", 'z'}, {"\xC5\xBC", 'z'}, {"\xC5\xBB", 'z'}};
  for (std::size_t i = 0; i < name.size();) {
    bool letter = false;
    for (const auto& [utf8, plain] : kPolish)
      if (name.substr(i).starts_with(utf8)) {
        key += plain;
        i += 2;
        letter = true;
        break;
      }
    if (letter) continue;
    const char c = name[i++];
    key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return key;
}

void read_station_table(std::string_view bytes, SurveyedSection& section) {
  Lines lines(bytes);
  std::string_view row;
  std::vector<std::string_view> fields;
  std::string unquoted;
  do
    if (!lines.next(row)) refuse_line(lines.number() + 1, "the table is empty: expected a header row naming the columns");
  while (trimmed(row).empty());
  const char separator = table_separator(row);
  split_row(row, separator, fields, unquoted);
  const Columns c = columns_of(fields, lines.number());
  section.line = lines.number();
  section.x.clear();
  section.z.clear();
  const std::size_t rows = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  section.x.reserve(rows);
  section.z.reserve(rows);
  section.n.clear();
  section.n_station.clear();
  section.point_n.clear();
  double n = 0;
  bool n_seen = false;
  while (lines.next(row)) {
    const std::size_t line = lines.number();
    double x = 0, z = 0, cell_n = NAN;
    if (!quick_row(row, separator, c, x, z, cell_n)) {
      split_row(row, separator, fields, unquoted);
      if (blank(fields)) continue;
      check_width(fields, c, separator, line);
      x = value_at(fields, c.station, "station", separator, line);
      z = value_at(fields, c.elevation, "elevation", separator, line);
      if (c.n < fields.size() && !fields[c.n].empty()) cell_n = value_at(fields, c.n, "n", separator, line);
    }
    if (!section.x.empty() && x < section.x.back())
      refuse_line(line, "stations must not decrease (" + shortest_real(x) + " after " + shortest_real(section.x.back()) + ")");
    section.x.push_back(x);
    section.z.push_back(z);
    if (!std::isnan(cell_n)) {  // else the n above goes on
      n = cell_n;
      if (!(n > 0)) refuse_line(line, "n = " + shortest_real(n) + " is not positive");
      if (!n_seen && section.x.size() > 1) refuse_line(line, "the first point has no n, though this one has");
      n_seen = true;
    }
    if (n_seen) section.point_n.push_back(n);
  }
  if (section.x.size() < 2)
    refuse_line(lines.number(), "the table holds " + std::to_string(section.x.size()) + " points; a section needs 2");
}

}  // namespace normlevel
