#include "readers/station_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "base/real_chars.h"
#include "readers/section_line.h"

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

constexpr std::size_t kNone = SIZE_MAX;

struct Columns {
  std::size_t station = kNone, elevation = kNone, n = kNone, k = kNone, easting = kNone, northing = kNone,
              section = kNone, order = kNone, code = kNone, count = 0;
  std::string fault;  // the first thing wrong with a header that names what a table needs; "" none
  bool raw() const { return easting != kNone; }
  bool complete() const { return (station != kNone || (easting != kNone && northing != kNone)) && elevation != kNone; }
  bool names_any() const { return station != kNone || elevation != kNone || easting != kNone || northing != kNone; }
  // A table of stations and elevations alone (and n): read in one quick pass.
  bool plain() const { return !raw() && k == kNone && section == kNone && order == kNone && code == kNone; }
  std::size_t widest() const {
    std::size_t widest = 0;
    for (const std::size_t c : {station, elevation, n, k, easting, northing, section, order, code})
      if (c != kNone) widest = std::max(widest, c);
    return widest;
  }
};

// "Point Index", "point_index" and "Lp." name what "pointindex" and "lp" do.
bool named(const std::string& key, std::initializer_list<const char*> names) {
  std::string squeezed;
  for (const char c : key)
    if (c != ' ' && c != '_' && c != '-' && c != '.') squeezed += c;
  return std::any_of(names.begin(), names.end(), [&](const char* name) { return squeezed == name; });
}

const std::initializer_list<const char*> kStationNames = {"station", "sta",       "distance",  "dist", "offset",
                                                              "chainage", "crossm", "odleglosc", "odl"};

bool header_holds(const std::vector<std::string>& keys, std::initializer_list<const char*> names) {
  return std::any_of(keys.begin(), keys.end(), [&](const std::string& key) { return named(key, names); });
}

// What the header as a whole names, found once for all its columns.
struct HeaderHolds {
  bool y, station, easting;
  explicit HeaderHolds(const std::vector<std::string>& keys)
      : y(header_holds(keys, {"y"})), station(header_holds(keys, kStationNames)),
        easting(header_holds(keys, {"e", "easting"})) {}
};

// An x column is a station only without a y beside it: with one, the two
// are a map's coordinates; and n is the northing beside an easting.
std::size_t Columns::*column_named(const std::string& key, const HeaderHolds& holds, const TableOptions& options) {
  if (!options.section_column.empty() && key == column_key(options.section_column)) return &Columns::section;
  if (key == "x" && !holds.y) return holds.station ? nullptr : &Columns::station;
  if (key == "x") return options.y_first ? &Columns::northing : &Columns::easting;
  if (key == "y") return options.y_first ? &Columns::easting : &Columns::northing;
  if (key == "n") return holds.easting ? &Columns::northing : &Columns::n;
  if (named(key, kStationNames)) return &Columns::station;
  if (named(key, {"elevation", "elev", "z", "h", "rzedna", "wysokosc"})) return &Columns::elevation;
  if (named(key, {"e", "easting"})) return &Columns::easting;
  if (named(key, {"northing"})) return &Columns::northing;
  if (named(key, {"k", "kst", "strickler"})) return &Columns::k;
  if (options.section_column.empty() && named(key, {"section", "przekroj", "name", "id", "xs", "sectionid", "xsid"})) return &Columns::section;
  if (named(key, {"point", "pointindex", "lp", "nr"})) return &Columns::order;
  if (named(key, {"code", "kod", "description", "opis"})) return &Columns::code;
  return nullptr;
}

Columns columns_of(const std::vector<std::string_view>& header, const TableOptions& options) {
  Columns c;
  c.count = header.size();
  std::vector<std::string> keys;
  for (const std::string_view name : header) keys.push_back(column_key(name));
  const HeaderHolds holds(keys);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    std::size_t Columns::*column = column_named(keys[i], holds, options);
    if (column == nullptr) continue;  // a column of something else
    if (c.*column != kNone && c.fault.empty()) c.fault = "the header names the column " + in_quotes(keys[i]) + " twice";
    c.*column = i;
  }
  if (c.raw() && c.station != kNone) c.easting = c.northing = kNone;  // stations measured already
  if (c.n != kNone && c.k != kNone && c.fault.empty()) c.fault = "the header names both an 'n' and a 'k' column";
  if (c.station == kNone && c.easting != kNone && c.northing == kNone)
    c.fault = "the header names an easting but no 'northing' (or 'n', 'y') column";
  else if (c.station == kNone && c.easting == kNone)
    c.fault = "the header names no 'station' (or 'odleglosc') column";
  else if (c.elevation == kNone) c.fault = "the header names no 'elevation' (or 'rzedna') column";
  return c;
}

double value_at(const std::vector<std::string_view>& fields, std::size_t column, const char* name, char separator,
                std::size_t line) {
  double value = 0;
  const std::string_view text = fields[column];
  if (text.empty()) refuse_line(line, std::string("no ") + name);
  if (parse_decimal(text, separator != ',', value)) return value;
  refuse_line(line, in_quotes(text) + " is not a number (" + name + ")");
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
  const std::size_t required = c.raw() ? std::max({c.easting, c.northing, c.elevation}) : std::max(c.station, c.elevation);
  if (fields.size() < required + 1)
    refuse_line(line, "expected " + std::to_string(c.widest() + 1) + " fields, found " + std::to_string(fields.size()));
}

// Reads the number at `at` up to the field's end (a separator or the
// row's) where it is the usual field, a plain decimal between blanks, in
// one pass: the value parse_decimal gives, and `at` after the field's
// trailing blanks. False for any other form, which the general rules then
// read or refuse.
bool quick_number(const char*& at, const char* end, char separator, bool comma, double& value) {
  const char* p = at;  // a local: the compiler keeps it in a register
  while (p != end && *p == ' ') ++p;
  double number = 0;
  const auto quick = real_chars::plain_decimal(p, end, number, {.comma = comma});
  if (quick.ec != std::errc{}) return false;
  p = quick.ptr;
  while (p != end && *p == ' ') ++p;
  if (p != end && *p != separator) return false;
  value = number;
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

namespace {

const Units* units_said(std::string_view value) {
  std::string word = column_key(value.substr(0, value.find_first_of(" ;,\t")));
  if (named(word, {"ft", "feet", "foot", "us"})) return &kUS;
  if (named(word, {"m", "metre", "metres", "meter", "meters", "si"})) return &kSI;
  return nullptr;
}

// A metadata line above the header: "Unit: ft", "Units = m", "jednostka;m".
const Units* unit_line(std::string_view line) {
  const std::size_t mark = line.find_first_of(":=;,\t");
  if (mark == std::string_view::npos) return nullptr;
  if (!named(column_key(line.substr(0, mark)), {"unit", "units", "jednostka", "jednostki"})) return nullptr;
  return units_said(trimmed(line.substr(mark + 1)));
}

std::string hex_bytes(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  if (bytes.size() > 8) return hex_bytes({bytes.begin(), bytes.begin() + 8}) + " ...";
  for (const unsigned char b : bytes) text += std::string(text.empty() ? "" : " ") + kDigits[b >> 4] + kDigits[b & 15];
  return text;
}

// Why a header in a file that is not UTF-8 may still not be read: bytes
// Windows-1250 leaves undefined, or UTF-8 mixed into the other encoding.
std::string undecoded(std::string_view original, std::size_t number) {
  Lines lines(original);
  std::string_view line;
  for (std::size_t i = 0; i < number; ++i)
    if (!lines.next(line)) return "";
  std::vector<unsigned char> undefined, utf8;
  for (std::size_t i = 0; i < line.size();) {
    const auto byte = static_cast<unsigned char>(line[i]);
    const std::size_t length = byte < 0x80 ? 1 : utf8_sequence(line, i);
    if (length > 1) utf8.insert(utf8.end(), line.begin() + static_cast<std::ptrdiff_t>(i), line.begin() + static_cast<std::ptrdiff_t>(i + length));
    if (length == 0 && kWindows1250[byte - 0x80] == 0xFFFD) undefined.push_back(byte);
    i += std::max<std::size_t>(length, 1);
  }
  if (!undefined.empty()) return "; its bytes " + hex_bytes(undefined) + " could not be decoded (neither UTF-8 nor Windows-1250)";
  if (!utf8.empty()) return "; its bytes " + hex_bytes(utf8) + " are UTF-8 in a file that is not UTF-8 throughout (mixed encodings)";
  return "";
}

struct Header {
  Columns columns;
  char separator = ',';
  std::size_t line = 0;
  const Units* units = nullptr;
};

// The first row naming what a table needs; where none does, the row that
// came nearest is named in the refusal.
Header find_header(Lines& lines, const TableOptions& options, std::string_view original, bool recoded) {
  std::string_view row;
  std::vector<std::string_view> fields;
  std::string unquoted;
  Header header;
  std::size_t nearest = 0;
  std::string why;
  bool nearest_names = false;
  while (lines.next(row)) {
    if (trimmed(row).empty()) continue;
    if (const Units* units = unit_line(trimmed(row))) header.units = units;
    header.separator = table_separator(row);
    split_row(row, header.separator, fields, unquoted);
    header.columns = columns_of(fields, options);
    header.line = lines.number();
    if (header.columns.complete()) {
      if (!header.columns.fault.empty()) refuse_line(header.line, header.columns.fault);
      return header;
    }
    if (nearest == 0 || (!nearest_names && header.columns.names_any())) {
      nearest = header.line;
      why = header.columns.fault;
      nearest_names = header.columns.names_any();
    }
  }
  if (nearest == 0) refuse_line(lines.number() + 1, "the table is empty: expected a header row naming the columns");
  refuse_line(nearest, why + (recoded ? undecoded(original, nearest) : ""));
}

void clear_points(SurveyedSection& section) {
  section.x.clear();
  section.z.clear();
  section.n.clear();
  section.n_station.clear();
  section.point_n.clear();
}

// A table of stations and elevations, read as quickly as the rows allow.
void read_plain(Lines& lines, const Header& header, std::size_t rows, SurveyedSection& section) {
  const Columns& c = header.columns;
  const char separator = header.separator;
  std::string_view row;
  std::vector<std::string_view> fields;
  std::string unquoted;
  section.line = header.line;
  clear_points(section);
  section.x.reserve(rows);
  section.z.reserve(rows);
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

std::string_view cell(const std::vector<std::string_view>& fields, std::size_t column) {
  return column < fields.size() ? fields[column] : std::string_view();
}

// Sections in the order their first rows stand; an empty section cell
// keeps the row in the section above.
class SectionsByName {
 public:
  explicit SectionsByName(std::vector<TableSection>& sections) : sections_(sections) {}
  TableSection& at(std::string_view name, std::size_t line) {
    if (!sections_.empty() && (name.empty() || name == sections_[last_].section.name.station)) return sections_[last_];
    const auto found = index_.find(name);
    if (found != index_.end()) return sections_[last_ = found->second];
    last_ = sections_.size();
    index_.emplace(std::string(name), last_);
    sections_.emplace_back();
    sections_.back().section.name.station = std::string(name);
    sections_.back().section.line = line;
    return sections_.back();
  }

 private:
  std::vector<TableSection>& sections_;
  std::map<std::string, std::size_t, std::less<>> index_;
  std::size_t last_ = 0;
};

// The n or Strickler k cell's value; NaN for an empty cell.
double roughness_cell(const std::vector<std::string_view>& fields, const Columns& c, char separator, std::size_t line) {
  const bool strickler = c.k != kNone;
  const std::size_t column = strickler ? c.k : c.n;
  if (cell(fields, column).empty()) return NAN;
  return value_at(fields, column, strickler ? "k" : "n", separator, line);
}

// n as the cell gives it, or 1/k.
double roughness_of(double value, bool strickler, std::size_t line) {
  if (std::isnan(value)) return value;
  if (!(value > 0)) refuse_line(line, (strickler ? "k = " : "n = ") + shortest_real(value) + " is not positive");
  return strickler ? 1 / value : value;
}

// Rows in order are checked as the plain reader checks them, in the same
// order, so that a table says the same whichever reader takes it.
void check_station(const std::vector<double>& x, std::size_t line) {
  if (x.size() > 1 && x.back() < x[x.size() - 2])
    refuse_line(line, "stations must not decrease (" + shortest_real(x.back()) + " after " + shortest_real(x[x.size() - 2]) + ")");
}

void check_first_n(const std::vector<double>& n, std::size_t line) {
  if (n.size() > 1 && !std::isnan(n.back()) && std::isnan(n[n.size() - 2]) &&
      std::all_of(n.begin(), n.end() - 1, [](double v) { return std::isnan(v); }))
    refuse_line(line, "the first point has no n, though this one has");
}

void read_row(const std::vector<std::string_view>& fields, const Header& header, std::size_t line, TableSection& t) {
  const Columns& c = header.columns;
  const char separator = header.separator;
  if (c.raw()) {
    t.section.x.push_back(value_at(fields, c.easting, "easting", separator, line));
    t.northing.push_back(value_at(fields, c.northing, "northing", separator, line));
  } else {
    t.section.x.push_back(value_at(fields, c.station, "station", separator, line));
  }
  t.section.z.push_back(value_at(fields, c.elevation, "elevation", separator, line));
  const double roughness = roughness_cell(fields, c, separator, line);
  if (c.order != kNone) {
    t.order.push_back(value_at(fields, c.order, "point number", separator, line));
    t.in_order = t.in_order && (t.order.size() < 2 || t.order[t.order.size() - 2] <= t.order.back());
  }
  // Rows standing in their order so far are checked as they come, as a
  // table without an order column is; the others once they are sorted.
  if (t.in_order && !c.raw()) check_station(t.section.x, line);
  t.section.point_n.push_back(roughness_of(roughness, c.k != kNone, line));
  if (t.in_order) check_first_n(t.section.point_n, line);
  if (c.code != kNone) t.codes.emplace_back(cell(fields, c.code));
  t.lines.push_back(line);
}

void read_general(Lines& lines, const Header& header, SurveyTable& table) {
  const Columns& c = header.columns;
  std::string_view row;
  std::vector<std::string_view> fields;
  std::string unquoted;
  SectionsByName sections(table.sections);
  while (lines.next(row)) {
    const std::size_t line = lines.number();
    split_row(row, header.separator, fields, unquoted);
    if (blank(fields)) continue;
    check_width(fields, c, header.separator, line);
    read_row(fields, header, line, sections.at(cell(fields, c.section), line));
  }
  if (table.sections.empty()) refuse_line(lines.number(), "the table holds 0 points; a section needs 2");
}

}  // namespace

SurveyTable read_survey_table(std::string_view bytes, const TableOptions& options) {
  const std::string_view original = bytes;
  std::string decoded;
  const bool recoded = recoded_to_utf8(bytes, decoded);
  if (recoded) bytes = decoded;
  Lines lines(bytes);
  const Header header = find_header(lines, options, original, recoded && !original.starts_with("\xFF\xFE") &&
                                                                  !original.starts_with("\xFE\xFF"));
  SurveyTable table;
  table.units = header.units;
  table.strickler = header.columns.k != kNone;
  if (header.columns.plain()) {
    const std::size_t rows = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    table.sections.emplace_back();
    read_plain(lines, header, rows, table.sections.back().section);
  } else {
    read_general(lines, header, table);
  }
  return table;
}

namespace {

[[noreturn]] void refuse(const std::string& message) { throw Failure(kRunTimeError, message, ""); }

std::string point_named(const TableSection& t, std::size_t i) {
  return "point " + std::to_string(i + 1) + " (line " + std::to_string(t.lines[i]) + ")";
}

template <typename T>
void permute(std::vector<T>& values, const std::vector<std::size_t>& order) {
  if (values.empty()) return;
  std::vector<T> sorted;
  sorted.reserve(values.size());
  for (const std::size_t i : order) sorted.push_back(std::move(values[i]));
  values = std::move(sorted);
}

void sort_points(TableSection& t) {
  if (t.order.empty()) return;
  std::vector<std::size_t> by(t.order.size());
  std::iota(by.begin(), by.end(), std::size_t{0});
  std::stable_sort(by.begin(), by.end(), [&](std::size_t a, std::size_t b) { return t.order[a] < t.order[b]; });
  for (std::vector<double>* values : {&t.section.x, &t.northing, &t.section.z, &t.section.point_n, &t.order})
    permute(*values, by);
  permute(t.lines, by);
  permute(t.codes, by);
}

// An empty n cell keeps the n above.
void carry_roughness(TableSection& t) {
  std::vector<double>& n = t.section.point_n;
  const auto first = std::find_if(n.begin(), n.end(), [](double v) { return !std::isnan(v); });
  if (first == n.end()) return n.clear();
  if (first != n.begin())
    refuse_line(t.lines[static_cast<std::size_t>(first - n.begin())], "the first point has no n, though this one has");
  for (std::size_t i = 1; i < n.size(); ++i)
    if (std::isnan(n[i])) n[i] = n[i - 1];
}

std::string millimetres(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

// A surveyed section is walked across once: a point that projects behind
// the one before it is a slip of the survey, or a section line that bends.
void project(TableSection& t, const std::string& length) {
  const SectionLine line = project_on_fitted_line(t.section.x, t.northing);
  for (std::size_t i = 1; i < line.stations.size(); ++i)
    if (line.stations[i] < line.stations[i - 1])
      refuse(point_named(t, i - 1) + " and " + point_named(t, i) + " go backwards along the section line (station " +
             millimetres(line.stations[i]) + " after " + millimetres(line.stations[i - 1]) +
             "): a section is surveyed across once, in order");
  t.section.x = line.stations;
  t.northing.clear();
  const double width = line.stations.back() - line.stations.front();
  const std::string point = point_named(t, line.farthest_point);
  const std::string off = " lies " + millimetres(line.farthest) + " " + length + " off";
  t.section.notes.push_back("stations measured along the straight line fitted to the points; " +
                            (line.farthest < 0.0005 ? "every point lies on it" : "the farthest, " + point + "," + off + " it"));
  if (line.farthest > width / 10)
    t.section.bent.push_back("the section line is bent: " + point + off + " the straight line fitted to the points, " +
                             "more than a tenth of the section's width (" + millimetres(width) + " " + length + ")");
}

void check_stations(const TableSection& t) {
  for (std::size_t i = 1; i < t.section.x.size(); ++i)
    if (t.section.x[i] < t.section.x[i - 1])
      refuse_line(t.lines[i], "stations must not decrease (" + shortest_real(t.section.x[i]) + " after " +
                                  shortest_real(t.section.x[i - 1]) + ")");
}

std::string upper(std::string_view text) {
  std::string word(trimmed(text));
  for (char& c : word) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return word;
}

bool code_of(const std::string& code, std::initializer_list<std::string> codes) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

void mark_bank(const TableSection& t, std::size_t& bank, std::size_t i, const char* side) {
  if (bank != kNone)
    refuse(point_named(t, bank) + " and " + point_named(t, i) + " both mark the " + side + " bank (codes " +
           upper(t.codes[bank]) + " and " + upper(t.codes[i]) + ")");
  bank = i;
}

void find_banks(TableSection& t, const TableOptions& options) {
  if (t.codes.empty() || !options.banks_by_code) return;
  const bool own = !options.left_code.empty();
  const std::string left = upper(options.left_code), right = upper(options.right_code);
  for (std::size_t i = 0; i < t.codes.size(); ++i) {
    const std::string code = upper(t.codes[i]);
    if (own ? code == left : code_of(code, {"LB", "BL", "LBRZ"})) mark_bank(t, t.left_bank, i, "left");
    if (own ? code == right : code_of(code, {"RB", "BP", "PBRZ"})) mark_bank(t, t.right_bank, i, "right");
  }
  if ((t.left_bank == kNone) != (t.right_bank == kNone)) {
    const bool left_only = t.left_bank != kNone;
    refuse(std::string("the codes mark the ") + (left_only ? "left" : "right") + " bank only, at " +
           point_named(t, left_only ? t.left_bank : t.right_bank) + ": code the " + (left_only ? "right" : "left") +
           " one too, or give both with --banks L,R");
  }
  if (t.left_bank == kNone) return;
  t.section.bank_left = t.section.x[t.left_bank];
  t.section.bank_right = t.section.x[t.right_bank];
}

}  // namespace

void shape_section(TableSection& t, const TableOptions& options, const std::string& length) {
  if (t.lines.empty()) return;  // a plain table, checked as it was read
  sort_points(t);
  carry_roughness(t);
  if (t.section.x.size() < 2)
    refuse_line(t.lines.back(), std::string(t.section.name.empty() ? "the table" : "the section") + " holds " +
                                    std::to_string(t.section.x.size()) + " points; a section needs 2");
  if (t.northing.empty())
    check_stations(t);
  else
    project(t, length);
  find_banks(t, options);
}

void read_station_table(std::string_view bytes, SurveyedSection& section) {
  SurveyTable table = read_survey_table(bytes, {});
  shape_section(table.sections.front(), {}, "m");
  section = std::move(table.sections.front().section);
}

}  // namespace normlevel
