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

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The length of the UTF-8 sequence at `i`, or 0 where the bytes are not one.
std::size_t utf8_sequence(std::string_view bytes, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned lead = byte(i);
  const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5                  ? 4
                                                                            : 0;
  if (length == 0 || i + length > bytes.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return length;
}

bool valid_utf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = utf8_sequence(bytes, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

// A Polish spreadsheet saves its CSV in the Windows code page; the five
// bytes that page leaves undefined become U+FFFD.
constexpr char16_t kWindows1250[128] = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021,
    0xFFFD, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

std::string from_windows_1250(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) out += c;
    else append_utf8(out, kWindows1250[byte - 0x80]);
  }
  return out;
}

// UTF-16 in either byte order, its mark dropped; an odd last byte and a
// lone surrogate become U+FFFD.
std::string from_utf16(std::string_view bytes, bool big_endian) {
  std::string out;
  out.reserve(bytes.size());
  const auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return big_endian ? (a << 8 | b) : (b << 8 | a);
  };
  for (std::size_t i = 2; i < bytes.size(); i += 2) {
    if (i + 1 == bytes.size()) {
      append_utf8(out, 0xFFFD);
      break;
    }
    char32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    append_utf8(out, c);
  }
  return out;
}

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

// An x column is a station only without a y beside it: with one, the two
// are a map's coordinates.
std::size_t lone_x(const std::vector<std::string_view>& header) {
  std::size_t x = SIZE_MAX;
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string key = column_key(header[i]);
    if (key == "y") return SIZE_MAX;
    if (key == "x" && x == SIZE_MAX) x = i;
  }
  return x;
}

Columns columns_of(const std::vector<std::string_view>& header, std::size_t line) {
  Columns c;
  c.count = header.size();
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string key = column_key(header[i]);
    std::size_t* column =
        named(key, {"station", "sta", "distance", "dist", "offset", "chainage", "crossm", "odleglosc", "odl"})
            ? &c.station
        : named(key, {"elevation", "elev", "z", "h", "rzedna", "wysokosc"}) ? &c.elevation
        : named(key, {"n"})                                                  ? &c.n
                                                                             : nullptr;
    if (column == nullptr) continue;  // a column of something else
    if (*column != SIZE_MAX) refuse_line(line, "the header names the column '" + key + "' twice");
    *column = i;
  }
  if (c.station == SIZE_MAX) c.station = lone_x(header);
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

bool recoded_to_utf8(std::string_view bytes, std::string& decoded) {
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    decoded = from_utf16(bytes, bytes[0] == '\xFE');
    return true;
  }
  if (valid_utf8(bytes)) return false;
  decoded = from_windows_1250(bytes);
  return true;
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
  std::string decoded;
  if (recoded_to_utf8(bytes, decoded)) bytes = decoded;
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
