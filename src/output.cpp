#include "output.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "NumberField.h"
#include "dialogue.h"

namespace normlevel {

std::string shortest_number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::size_t utf8_length(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  const bool overlong = (lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xF0 && byte(1) < 0x90);
  const bool surrogate_or_beyond = (lead == 0xED && byte(1) >= 0xA0) || (lead == 0xF4 && byte(1) >= 0x90);
  return overlong || surrogate_or_beyond ? 0 : length;
}

namespace {

std::string unicode_escape(unsigned code) {
  char text[8];
  std::snprintf(text, sizeof text, "\\u%04x", code);
  return text;
}

}  // namespace

std::string json_string(std::string_view text) {
  std::string quoted = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = utf8_length(text.substr(i));
      quoted += length == 0 ? unicode_escape(c) : std::string(text.substr(i, length));
      i += length == 0 ? 1 : length;
      continue;
    }
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default: quoted += c < 0x20 || c == 0x7F ? unicode_escape(c) : std::string(1, static_cast<char>(c));
    }
    ++i;
  }
  return quoted + "\"";
}

std::string csv_field(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

namespace {

// Name and value of every figure, in the order CSV columns and JSON keys
// follow; a figure at the level is absent (null, empty) when none was found.
struct Field {
  std::string name;
  double value;
  bool present;
};

const char* const kZoneNames[] = {"left", "channel", "right", "total"};

std::vector<Field> zone_fields(const ZoneFigures& z, bool present) {
  return {{"area", z.area, present},           {"perimeter", z.perimeter, present},
          {"radius", z.radius, present},       {"top_width", z.top_width, present},
          {"velocity", z.velocity, present},   {"discharge", z.discharge, present},
          {"share", z.share, present}};
}


std::vector<Field> head_fields(const LevelResult& r) {
  return {{"discharge", r.discharge, true}, {"slope", r.slope, true},       {"nc", r.nc, true},
          {"nf", r.nf, true}};
}

std::vector<Field> section_fields(const LevelResult& r) {
  return {{"level", r.level, r.found},   {"zmin", r.zmin, true},
          {"zmax", r.zmax, true},        {"bank_left", r.bank_left, true},
          {"bank_right", r.bank_right, true}, {"channel_velocity", r.channel_velocity, r.found}};
}

std::vector<Field> tail_fields(const LevelResult& r) {
  return {{"froude_channel", r.zones.froude_channel, r.found},
          {"froude_section", r.zones.froude_section, r.found},
          {"bankfull_level", r.zones.bankfull_level, true},
          {"bankfull_discharge", r.zones.bankfull_discharge, true}};
}

std::vector<Field> rating_fields(const RatingRow& row) {
  return {{"level", row.level, true},
          {"depth", row.depth, true},
          {"area", row.area, true},
          {"top_width", row.top_width, true},
          {"left_discharge", row.left_discharge, true},
          {"channel_discharge", row.channel_discharge, true},
          {"right_discharge", row.right_discharge, true},
          {"discharge", row.discharge, true},
          {"channel_velocity", row.channel_velocity, true}};
}

std::string json_value(const Field& f) { return f.present ? shortest_number(f.value) : "null"; }
std::string csv_value(const Field& f) { return f.present && std::isfinite(f.value) ? shortest_number(f.value) : ""; }

std::string json_members(const std::vector<Field>& fields, const char* separator) {
  std::string text;
  for (const Field& f : fields) text += (text.empty() ? "" : separator) + json_string(f.name) + ": " + json_value(f);
  return text;
}

// ---- text -----------------------------------------------------------

const char* const kZoneHeadings[] = {"teren lewy", "koryto", "teren prawy", "razem"};

std::string padded_left(std::string_view text, std::size_t width) {
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + std::string(text);
}

std::string zone_table(const Breakdown& b) {
  struct Row {
    const char* label;
    double ZoneFigures::*figure;
  };
  static const Row rows[] = {{"pole    [m2]", &ZoneFigures::area},      {"obwod    [m]", &ZoneFigures::perimeter},
                             {"promien  [m]", &ZoneFigures::radius},    {"szerok.  [m]", &ZoneFigures::top_width},
                             {"predk. [m/s]", &ZoneFigures::velocity},  {"przep.[m3/s]", &ZoneFigures::discharge},
                             {"udzial   [-]", &ZoneFigures::share}};
  std::string table(13, ' ');
  for (const char* heading : kZoneHeadings) table += padded_left(heading, kValueWidth);
  table += "\r\n";
  for (const Row& row : rows) {
    table += std::string(row.label) + " ";
    for (int i = 0; i < 4; ++i) table += format_value(zone_of(b, i).*row.figure);
    table += "\r\n";
  }
  return table;
}

}  // namespace

// The report's units fit in four columns; a discharge's m3/s takes a
// space of its own, as m/s does on the velocity line.
std::string discharge_line(std::string_view label, double value) {
  return report_line(label, value, "").substr(0, 28) + " m3/s\r\n";
}

namespace {

// A figure without a unit: the report's layout, no blanks left at the end.
std::string ratio_line(std::string_view label, double value) {
  return report_line(label, value, "").substr(0, 28) + "\r\n";
}

std::string zone_summary(const Breakdown& b) {
  return ratio_line("Fr koryta:   ", b.froude_channel) + ratio_line("Fr przekroju:", b.froude_section) +
         kBlankLine + report_line("brzeg nizszy:", b.bankfull_level, "m") +
         discharge_line("Q brzegowe:  ", b.bankfull_discharge);
}

}  // namespace

// A heading is read by people: 1000000 rather than 1e+06, while no digit
// of the value asked for is lost.
std::string plain_number(double value) {
  const double magnitude = std::fabs(value);
  if (!(magnitude >= 1e-4 && magnitude < 1e15)) return shortest_number(value);
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr);
}

namespace {

std::string query_named(const LevelResult& r) {
  if (r.query.kind == Query::Kind::level) return ", zw. wody = " + plain_number(r.query.value) + " m";
  return ", Q = " + plain_number(r.discharge) + " m3/s";
}

class TextWriter final : public ResultWriter {
 public:
  TextWriter(const Layout& layout, std::ostream& out) : layout_(layout), out_(out) {}

  void write(const LevelResult& r) override {
    begin_block(r.file + (layout_.name_queries ? query_named(r) : ""));
    if (!r.found) {
      out_ << kNotice;
      return;
    }
    if (r.query.kind == Query::Kind::level)
      write_report(out_, r.level, discharge_line("przeplyw:    ", r.discharge));
    else
      write_report(out_, r.level);
    if (layout_.details) out_ << kBlankLine << zone_table(r.zones) << kBlankLine << zone_summary(r.zones);
  }

  void write(const RatingTable& table) override;

 private:
  void begin_block(const std::string& heading) {
    if (blocks_++ > 0) out_ << kBlankLine;
    if (layout_.name_blocks) out_ << "plik z danymi: " << heading << "\r\n" << kBlankLine;
  }

  Layout layout_;
  std::ostream& out_;
  int blocks_ = 0;
};

// The table fits an 80-column console: each column just wide enough for
// its heading and a gap; larger numbers widen their column, never cut it.
void TextWriter::write(const RatingTable& table) {
  struct Column {
    const char* heading;
    const char* unit;
    int width, decimals;
  };
  static const Column columns[] = {{"zw. wody", "[m]", 9, 3}, {"glebok.", "[m]", 8, 3},  {"pole", "[m2]", 9, 2},
                                   {"szerok.", "[m]", 8, 2},  {"Q lewy", "[m3/s]", 9, 2}, {"Q koryto", "[m3/s]", 9, 2},
                                   {"Q prawy", "[m3/s]", 9, 2}, {"Q razem", "[m3/s]", 9, 2}, {"V koryto", "[m/s]", 9, 3}};
  begin_block(table.file);
  std::string headings, units;
  for (const Column& c : columns) {
    headings += padded_left(c.heading, static_cast<std::size_t>(c.width));
    units += padded_left(c.unit, static_cast<std::size_t>(c.width));
  }
  out_ << headings << "\r\n" << units << "\r\n";
  for (const RatingRow& row : table.rows) {
    const std::vector<Field> fields = rating_fields(row);
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      char text[400];
      std::snprintf(text, sizeof text, "%*.*f", columns[i].width, columns[i].decimals, fields[i].value);
      line += text;
    }
    out_ << line << "\r\n";
  }
}

// ---- CSV ------------------------------------------------------------

std::vector<Field> csv_row(const LevelResult& r) {
  std::vector<Field> row = head_fields(r);
  for (const Field& f : section_fields(r)) row.push_back(f);
  for (int i = 0; i < 4; ++i)
    for (Field f : zone_fields(zone_of(r.zones, i), r.found)) {
      f.name = std::string(kZoneNames[i]) + "_" + f.name;
      row.push_back(f);
    }
  for (const Field& f : tail_fields(r)) row.push_back(f);
  return row;
}

class CsvWriter final : public ResultWriter {
 public:
  explicit CsvWriter(std::ostream& out) : out_(out) {}

  void write(const LevelResult& r) override {
    const std::vector<Field> fields = csv_row(r);
    if (!header_done_) header("file", {}, fields);
    out_ << csv_field(r.file) << ',' << (r.found ? "true" : "false");
    for (std::size_t i = 0; i < fields.size(); ++i) out_ << ',' << csv_value(fields[i]);
    out_ << "\r\n";
  }

  void write(const RatingTable& table) override {
    const std::vector<Field> head = {{"slope", table.slope, true}, {"nc", table.nc, true}, {"nf", table.nf, true}};
    for (const RatingRow& row : table.rows) {
      const std::vector<Field> fields = rating_fields(row);
      if (!header_done_) header("file", head, fields);
      out_ << csv_field(table.file);
      for (const Field& f : head) out_ << ',' << csv_value(f);
      for (const Field& f : fields) out_ << ',' << csv_value(f);
      out_ << "\r\n";
    }
  }

 private:
  // A level result's row has its `found` column right after the file's
  // name, so that a spreadsheet shows at once which rows hold a level.
  void header(const char* first, const std::vector<Field>& head, const std::vector<Field>& fields) {
    out_ << first;
    if (head.empty()) out_ << ",found";
    for (const Field& f : head) out_ << ',' << f.name;
    for (const Field& f : fields) out_ << ',' << f.name;
    out_ << "\r\n";
    header_done_ = true;
  }

  std::ostream& out_;
  bool header_done_ = false;
};

// ---- JSON -----------------------------------------------------------

class JsonWriter final : public ResultWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}

  void write(const LevelResult& r) override {
    begin_object();
    out_ << "    \"file\": " << json_string(r.file) << ",\n    " << json_members(head_fields(r), ",\n    ")
         << ",\n    \"found\": " << (r.found ? "true" : "false") << ",\n    "
         << json_members(section_fields(r), ",\n    ") << ",\n    \"zones\": ";
    if (!r.found) {
      out_ << "null";
    } else {
      out_ << "{";
      for (int i = 0; i < 4; ++i)
        out_ << (i ? "," : "") << "\n      " << json_string(kZoneNames[i]) << ": {"
             << json_members(zone_fields(zone_of(r.zones, i), true), ", ") << "}";
      out_ << "\n    }";
    }
    out_ << ",\n    " << json_members(tail_fields(r), ",\n    ") << "\n  }";
  }

  void write(const RatingTable& table) override {
    begin_object();
    out_ << "    \"file\": " << json_string(table.file) << ",\n    "
         << json_members({{"slope", table.slope, true}, {"nc", table.nc, true}, {"nf", table.nf, true}}, ",\n    ")
         << ",\n    \"rating\": [";
    for (std::size_t i = 0; i < table.rows.size(); ++i)
      out_ << (i ? "," : "") << "\n      {" << json_members(rating_fields(table.rows[i]), ", ") << "}";
    out_ << (table.rows.empty() ? "]" : "\n    ]") << "\n  }";
  }

  void finish() override { out_ << (objects_ == 0 ? "[" : "\n") << "]\n"; }

 private:
  void begin_object() { out_ << (objects_++ == 0 ? "[\n" : ",\n") << "  {\n"; }

  std::ostream& out_;
  int objects_ = 0;
};

}  // namespace

std::unique_ptr<ResultWriter> make_writer(const Layout& layout, std::ostream& out) {
  switch (layout.format) {
    case Format::csv: return std::make_unique<CsvWriter>(out);
    case Format::json: return std::make_unique<JsonWriter>(out);
    case Format::text: break;
  }
  return std::make_unique<TextWriter>(layout, out);
}

}  // namespace normlevel
