#include "output.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <sstream>

#include "NumberField.h"
#include "real_chars.h"
#include "report.h"

namespace normlevel {

std::string shortest_number(double value) { return std::isfinite(value) ? shortest_real(value) : "null"; }

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

// ---- the figures, by name ---------------------------------------------

// One figure of a result: a number (absent when not a number), a text, a
// yes or no, or nothing at all.
struct Value {
  enum class Kind { number, text, flag, absent } kind = Kind::absent;
  double number = 0;
  std::string text;
  bool yes = false;
};

Value number(double v, bool present = true) {
  return present && std::isfinite(v) ? Value{Value::Kind::number, v, {}, false} : Value{};
}
Value text(std::string t) { return {Value::Kind::text, 0, std::move(t), false}; }
Value flag(bool yes) { return {Value::Kind::flag, 0, {}, yes}; }

struct Field {
  std::string_view name;  ///< in storage that outlives every row
  Value value;
};
using Fields = std::vector<Field>;

void append(Fields& to, Fields from) { to.insert(to.end(), from.begin(), from.end()); }

const char* const kZoneNames[] = {"left", "channel", "right", "total"};

Fields zone_fields(const ZoneFigures& z, bool present) {
  return {{"area", number(z.area, present)},
          {"perimeter", number(z.perimeter, present)},
          {"radius", number(z.radius, present)},
          {"top_width", number(z.top_width, present)},
          {"velocity", number(z.velocity, present)},
          {"discharge", number(z.discharge, present)},
          {"share", number(z.share, present)},
          {"conveyance", number(z.conveyance, present)},
          {"shear", number(z.shear, present)},
          {"stream_power", number(z.stream_power, present)}};
}

Fields part_fields(const PartFigures& p) {
  return {{"from", number(p.from)},     {"to", number(p.to)},
          {"n", number(p.n)},           {"area", number(p.area)},
          {"perimeter", number(p.perimeter)}, {"discharge", number(p.discharge)}};
}

Fields roughness_fields(const ZoneRoughness& n) {
  return {{"nc", number(n.nc)}, {"nf", number(n.nf)}, {"nl", number(n.nl)}, {"nr", number(n.nr)}};
}

// Strickler's k = 1/n, for roughness given as k (European practice).
Fields strickler_fields(const ZoneRoughness& n) {
  return {{"kc", number(1 / n.nc)}, {"kf", number(1 / n.nf)}, {"kl", number(1 / n.nl)}, {"kr", number(1 / n.nr)}};
}

const char* solve_name(Solve solve) { return solve == Solve::n ? "n" : solve == Solve::slope ? "slope" : ""; }

const char* rules_name(Rules rules) { return rules == Rules::model ? "model" : "divided"; }

Fields head_fields(const LevelResult& r, bool solve) {
  Fields f = {{"discharge", number(r.discharge)}, {"slope_per_mille", number(r.slope_per_mille)}};
  append(f, roughness_fields(r.n));
  if (solve) append(f, {{"solve", text(solve_name(r.solve))}, {"n_factor", number(r.n_factor, r.solve == Solve::n)}});
  return f;
}

Fields section_fields(const LevelResult& r) {
  return {{"level", number(r.level, r.found)}, {"zmin", number(r.zmin)},
          {"zmax", number(r.zmax)},            {"bank_left", number(r.bank_left)},
          {"bank_right", number(r.bank_right)}};
}

Fields energy_fields(const LevelResult& r) {
  const bool at = r.found;
  return {{"alpha", number(r.energy.alpha, at)},
          {"beta", number(r.energy.beta, at)},
          {"velocity_head", number(r.energy.velocity_head, at)},
          {"energy_level", number(r.energy.energy_level, at)},
          {"froude", number(r.energy.froude, at)},
          {"froude_channel", number(r.zones.froude_channel, at)},
          {"froude_section", number(r.zones.froude_section, at)}};
}

const CriticalLevel* governing(const LevelResult& r) {
  return r.critical < 0 ? nullptr : &r.critical_levels[static_cast<std::size_t>(r.critical)];
}

Fields critical_fields(const LevelResult& r) {
  const CriticalLevel* c = governing(r);
  return {{"critical_level", number(c ? c->level : 0, c != nullptr)},
          {"critical_energy", number(c ? c->energy : 0, c != nullptr)}};
}

Fields tail_fields(const LevelResult& r) {
  return {{"regime", *r.regime ? text(r.regime) : Value{}},
          {"bankfull_level", number(r.zones.bankfull_level)},
          {"bankfull_discharge", number(r.zones.bankfull_discharge)}};
}

Fields rating_fields(const RatingRow& row) {
  return {{"level", number(row.level)},
          {"depth", number(row.depth)},
          {"area", number(row.area)},
          {"top_width", number(row.top_width)},
          {"left_discharge", number(row.left_discharge)},
          {"channel_discharge", number(row.channel_discharge)},
          {"right_discharge", number(row.right_discharge)},
          {"discharge", number(row.discharge)},
          {"channel_velocity", number(row.channel_velocity)}};
}

void append_number(std::string& to, double value) {
  char text[32];
  to.append(text, real_chars::shortest(text, text + sizeof text, value));
}

std::string json_value(const Value& v) {
  switch (v.kind) {
    case Value::Kind::number: return shortest_number(v.number);
    case Value::Kind::text: return json_string(v.text);
    case Value::Kind::flag: return v.yes ? "true" : "false";
    case Value::Kind::absent: break;
  }
  return "null";
}

void append_csv(std::string& to, const Value& v) {
  switch (v.kind) {
    case Value::Kind::number: append_number(to, v.number); break;
    case Value::Kind::text: to += csv_field(v.text); break;
    case Value::Kind::flag: to += v.yes ? "true" : "false"; break;
    case Value::Kind::absent: break;
  }
}

std::string json_members(const Fields& fields, const char* separator) {
  std::string members;
  for (const Field& f : fields) {
    if (!members.empty()) members += separator;
    members.append(json_string(f.name)).append(": ").append(json_value(f.value));
  }
  return members;
}

std::string joined(const std::vector<std::string>& items) {
  std::string all;
  for (const std::string& item : items) all += (all.empty() ? "" : ";") + item;
  return all;
}

// ---- CSV rows ---------------------------------------------------------

Fields identity_fields(const std::string& file, const SectionName& section) {
  return {{"file", text(file)},
          {"river", text(section.river)},
          {"reach", text(section.reach)},
          {"station", text(section.station)}};
}

// "left_area", ...: the zone's name before its k-th figure's, every one
// made at the first row and never changed, so that rows on any thread may
// point into them.
std::string_view zone_column(int zone, std::size_t k) {
  static const std::vector<std::vector<std::string>> names = [] {
    std::vector<std::vector<std::string>> all;
    for (const char* zone_name : kZoneNames) {
      all.emplace_back();
      for (const Field& f : zone_fields(ZoneFigures{}, true)) all.back().push_back(std::string(zone_name) + "_" + std::string(f.name));
    }
    return all;
  }();
  return names[static_cast<std::size_t>(zone)][k];
}

Fields csv_row(const LevelResult& r, const Layout& layout, const std::string& error) {
  const bool solve = layout.solve;
  Fields row = identity_fields(r.file, r.section);
  if (layout.profiles) row.push_back({"profile", text(r.profile)});
  append(row, {{"found", error.empty() ? flag(r.found) : Value{}}, {"error", error.empty() ? Value{} : text(error)}});
  const std::size_t who = row.size();
  row.push_back({"units", text(r.units->name)});
  row.push_back({"rules", text(rules_name(r.rules))});
  append(row, head_fields(r, solve));
  append(row, section_fields(r));
  for (int i = 0; i < 4; ++i) {
    Fields zone = zone_fields(zone_of(r.zones, i), r.found);
    for (std::size_t k = 0; k < zone.size(); ++k) row.push_back({zone_column(i, k), std::move(zone[k].value)});
  }
  append(row, energy_fields(r));
  append(row, critical_fields(r));
  std::vector<std::string> levels, energies, codes;
  for (const CriticalLevel& c : r.critical_levels) {
    levels.push_back(shortest_number(c.level));
    energies.push_back(shortest_number(c.energy));
  }
  for (const Warning& w : r.warnings) codes.push_back(w.code);
  append(row, {{"critical_levels", text(joined(levels))}, {"critical_energies", text(joined(energies))}});
  std::vector<std::string> normal;
  for (const NormalLevel& l : r.normal_levels) normal.push_back(shortest_number(l.level));
  row.push_back({"normal_levels", text(joined(normal))});
  append(row, tail_fields(r));
  row.push_back({"warnings", text(joined(codes))});
  if (!error.empty())  // a failed input: nothing but who it was and why
    for (std::size_t i = who; i < row.size(); ++i) row[i].value = Value{};
  return row;
}

Fields rating_head(const RatingTable& t, const std::string& error) {
  Fields head = identity_fields(t.file, t.section);
  append(head, {{"error", error.empty() ? Value{} : text(error)},
                {"units", error.empty() ? text(t.units->name) : Value{}},
                {"slope_per_mille", number(t.slope_per_mille, error.empty())}});
  Fields n = roughness_fields(t.n);
  if (!error.empty())
    for (Field& f : n) f.value = Value{};
  append(head, n);
  return head;
}

// ---- text ---------------------------------------------------------------

const char* const kZoneHeadings[] = {"teren lewy", "koryto", "teren prawy", "razem"};

std::string padded_left(std::string_view text, std::size_t width) {
  return std::string(width > text.size() ? width - text.size() : 0, ' ') + std::string(text);
}

std::string padded_right(std::string_view text, std::size_t width) {
  return std::string(text) + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

// A row label of the zone table: the name, then its unit in brackets, in 12 columns.
std::string row_label(std::string_view name, std::string_view unit) {
  std::string bracket(1, '[');
  bracket.append(unit).append(1, ']');
  return padded_right(name.substr(0, 12 - std::min<std::size_t>(11, bracket.size())), 12 - bracket.size()) + bracket;
}

std::string zone_table(const Breakdown& b, const Units& u) {
  struct Row {
    const char* name;
    const char* unit;
    double ZoneFigures::*figure;
  };
  const Row rows[] = {{"pole", u.area, &ZoneFigures::area},          {"obwod", u.length, &ZoneFigures::perimeter},
                      {"promien", u.length, &ZoneFigures::radius},   {"szerok.", u.length, &ZoneFigures::top_width},
                      {"predk.", u.velocity, &ZoneFigures::velocity}, {"przep.", u.discharge, &ZoneFigures::discharge},
                      {"udzial", "-", &ZoneFigures::share},          {"K", u.discharge, &ZoneFigures::conveyance},
                      {"tau", u.shear, &ZoneFigures::shear},         {"moc", u.power, &ZoneFigures::stream_power}};
  std::string table(13, ' ');
  for (const char* heading : kZoneHeadings) table += padded_left(heading, kValueWidth);
  table += "\r\n";
  for (const Row& row : rows) {
    table += row_label(row.name, row.unit) + " ";
    for (int i = 0; i < 4; ++i) table += format_value(zone_of(b, i).*row.figure);
    table += "\r\n";
  }
  return table;
}

// A fixed-point number right-aligned in `width` columns.
std::string fixed(double value, int decimals, std::size_t width) {
  char text[400];
  std::snprintf(text, sizeof text, "%*.*f", static_cast<int>(width), decimals, value);
  return text;
}

// Each zone's subdivisions where some zone has more than one.
std::string subdivision_table(const Breakdown& b) {
  bool divided = false;
  for (int i = 0; i < 3; ++i) divided = divided || zone_of(b, i).parts.size() > 1;
  if (!divided) return "";
  std::string table = padded_right("podzialy", 12);
  for (const char* heading : {"od", "do", "n", "pole", "obwod", "przep."}) table += padded_left(heading, 11);
  table += "\r\n";
  for (int i = 0; i < 3; ++i)
    for (const PartFigures& p : zone_of(b, i).parts)
      table += padded_right(kZoneHeadings[i], 12) + fixed(p.from, 2, 11) + fixed(p.to, 2, 11) + fixed(p.n, 4, 11) +
               fixed(p.area, 3, 11) + fixed(p.perimeter, 3, 11) + fixed(p.discharge, 3, 11) + "\r\n";
  return kBlankLine + table;
}

// A figure without a unit: the report's layout, no blanks left at the end.
std::string ratio_line(std::string_view label, double value) {
  return report_line(label, value, "").substr(0, 28) + "\r\n";
}

// A label of 14 characters, its value field one column narrower: the
// values still end where the report's do.
std::string long_label_line(std::string_view label, double value, std::string_view unit) {
  const std::string field = format_value(value);
  return std::string(label) + (field[0] == ' ' ? field.substr(1) : field) + padded_left(unit, 4) + "\r\n";
}

// A text in the value field's place.
std::string text_line(std::string_view label, std::string_view words) {
  return padded_right(label.substr(0, 13), 13) + padded_left(words, kValueWidth) + "\r\n";
}

const char* regime_words(std::string_view regime) {
  if (regime == "subcritical") return "spokojny";
  if (regime == "supercritical") return "rwacy";
  return "krytyczny";
}

std::string energy_lines(const LevelResult& r) {
  const Units& u = *r.units;
  std::string lines = ratio_line("alfa:        ", r.energy.alpha) + ratio_line("beta:        ", r.energy.beta) +
                      report_line("wys. predk.: ", r.energy.velocity_head, u.length) +
                      report_line("zw. energii: ", r.energy.energy_level, u.length) + kBlankLine +
                      ratio_line("Fr z energii:", r.energy.froude) + ratio_line("Fr koryta:   ", r.zones.froude_channel) +
                      ratio_line("Fr sr.przekr:", r.zones.froude_section) + kBlankLine;
  const CriticalLevel* c = governing(r);
  if (c != nullptr) lines += long_label_line("zw. krytyczne:", c->level, u.length);
  for (const CriticalLevel& other : r.critical_levels)
    if (&other != c) lines += long_label_line("inne minima E:", other.level, u.length);
  if (*r.regime) lines += text_line("ruch:", regime_words(r.regime));
  if (!r.critical_levels.empty() || *r.regime) lines += kBlankLine;
  return lines;
}

std::string bankfull_lines(const LevelResult& r) {
  return report_line("brzeg nizszy:", r.zones.bankfull_level, r.units->length) +
         discharge_line("Q brzegowe:  ", r.zones.bankfull_discharge, r.units->discharge);
}

// The per mille sign of a console that may not show it.
std::string slope_line(double per_mille) {
  return report_line("spadek:      ", per_mille, "").substr(0, 28) + " promil\r\n";
}

std::string n_lines(const ZoneRoughness& n) {
  const auto line = [](const char* label, double value) {
    return std::isfinite(value) ? ratio_line(label, value) : text_line(label, "zmienne");
  };
  std::string lines = line("nc:", n.nc);
  if (std::isfinite(n.nf))
    lines += line("nf:", n.nf);
  else
    lines += line("nl:", n.nl) + line("nr:", n.nr);
  return lines;
}

}  // namespace

std::string zone_n_text(const ZoneRoughness& n, Zone zone) {
  const RoughnessRange& range = n.range[zone];
  if (range.least > range.most) {  // a zone without segments: the n it would have
    const double value = zone == kChannel ? n.nc : zone == kLeft ? n.nl : n.nr;
    return std::isfinite(value) ? plain_number(value) : "";
  }
  return roughness_text(range.least, range.most);
}

std::string floodplain_n_named(const ZoneRoughness& n, const std::string& shared) {
  const bool left = n.range[kLeft].any, right = n.range[kRight].any;
  if (!shared.empty()) return left || right ? ", nf = " + shared : "";
  return (left ? ", nl = " + zone_n_text(n, kLeft) : "") + (right ? ", nr = " + zone_n_text(n, kRight) : "");
}

std::string roughness_text(double least, double most) {
  return least == most ? plain_number(least) : plain_number(least) + "..." + plain_number(most);
}

// The report's units fit in four columns; a discharge's m3/s takes a
// space of its own, as m/s does on the velocity line.
std::string discharge_line(std::string_view label, double value, std::string_view unit) {
  return report_line(label, value, "").substr(0, 28) + " " + std::string(unit) + "\r\n";
}

// A heading is read by people: 1000000 rather than 1e+06, while no digit
// of the value asked for is lost.
std::string plain_number(double value) {
  const double magnitude = std::fabs(value);
  if (!(magnitude >= 1e-4 && magnitude < 1e15)) return shortest_number(value);
  char text[64];
  return std::string(text, real_chars::shortest_fixed(text, text + sizeof text, value));
}

std::vector<std::string> csv_columns(const Layout& layout) {
  Fields fields;
  if (layout.rating) {
    fields = rating_head(RatingTable{}, "");
    append(fields, rating_fields(RatingRow{}));
  } else {
    fields = csv_row(LevelResult{}, layout, "");
  }
  std::vector<std::string> names;
  for (const Field& f : fields) names.emplace_back(f.name);
  return names;
}

namespace {

std::string values_named(double slope_per_mille, const ZoneRoughness& n) {
  std::string text = ", s = " + plain_number(slope_per_mille) + " promil, nc = " + zone_n_text(n, kChannel);
  return text + floodplain_n_named(n, std::isfinite(n.nf) ? plain_number(n.nf) : "");
}

std::string place_named(const std::string& file, const SectionName& section) {
  return section.empty() ? file : file + ", " + section.text();
}

std::string query_named(const LevelResult& r) {
  const Units& u = *r.units;
  if (r.query.kind == Query::Kind::level) {
    std::string text = ", zw. wody = " + plain_number(r.query.value) + " " + u.length;
    if (r.solve != Solve::none) text += ", Q = " + plain_number(r.discharge) + " " + u.discharge;
    return text;
  }
  return ", Q = " + plain_number(r.discharge) + " " + u.discharge;
}

class TextWriter final : public ResultWriter {
 public:
  TextWriter(const Layout& layout, std::ostream& out) : layout_(layout), out_(out) {}

  void write(const LevelResult& r) override {
    std::string heading = place_named(r.file, r.section);
    if (r.rules == Rules::model) heading += ", zasady modelu";  // the divided rules go unsaid, as they always have
    if (!r.profile.empty()) heading += ", profil " + r.profile;
    if (layout_.name_values) heading += query_named(r) + (r.solve == Solve::none ? values_named(r.slope_per_mille, r.n) : "");
    begin_block(heading);
    if (!r.found) {
      out_ << kNotice;
      return;
    }
    out_ << report(r);
    if (r.solve == Solve::n) out_ << kBlankLine << n_lines(r.n);
    if (layout_.details)
      out_ << kBlankLine << zone_table(r.zones, *r.units) << subdivision_table(r.zones) << kBlankLine << energy_lines(r)
           << bankfull_lines(r);
  }

  void write(const RatingTable& table) override;

  void write(const FailedInput& failed) override {
    begin_block(place_named(failed.file, failed.section));
    out_ << " blad: " << failed.error << "\r\n";
  }

 private:
  std::string report(const LevelResult& r) {
    std::ostringstream block;
    std::string after_level;
    if (r.query.kind == Query::Kind::level) after_level = discharge_line("przeplyw:    ", r.discharge, r.units->discharge);
    if (r.solve == Solve::n) after_level += ratio_line("mnoznik n:   ", r.n_factor);
    if (r.solve == Solve::slope) after_level += slope_line(r.slope_per_mille);
    const ReportFigures figures{r.level, r.zmin, r.zmax, r.bank_left, r.bank_right, r.channel_velocity, r.units};
    write_report(block, figures, after_level);
    return block.str();
  }

  void begin_block(const std::string& heading) {
    if (blocks_++ > 0) out_ << kBlankLine;
    if (layout_.headings) out_ << "plik z danymi: " << heading << "\r\n" << kBlankLine;
  }

  Layout layout_;
  std::ostream& out_;
  int blocks_ = 0;
};

// Each column as wide as its heading, its unit and its widest value need,
// with a blank before: the table fits an 80-column console for rivers of
// usual size and widens, never runs together, for big ones.
void TextWriter::write(const RatingTable& table) {
  const Units& u = *table.units;
  struct Column {
    const char* heading;
    std::string unit;
    std::size_t width;
    int decimals;
  };
  const std::string l = std::string("[") + u.length + "]", q = std::string("[") + u.discharge + "]";
  const Column columns[] = {{"zw. wody", l, 9, 3},  {"glebok.", l, 8, 3},  {"pole", std::string("[") + u.area + "]", 9, 2},
                            {"szerok.", l, 8, 2},   {"Q lewy", q, 9, 2},   {"Q koryto", q, 9, 2},
                            {"Q prawy", q, 9, 2},   {"Q razem", q, 9, 2},
                            {"V koryto", std::string("[") + u.velocity + "]", 9, 3}};
  constexpr std::size_t kColumns = std::size(columns);
  std::string heading = place_named(table.file, table.section);
  if (layout_.name_values) heading += values_named(table.slope_per_mille, table.n);
  begin_block(heading);
  std::vector<std::array<std::string, kColumns>> cells;
  std::array<std::size_t, kColumns> width{};
  for (std::size_t i = 0; i < kColumns; ++i)
    width[i] = std::max({columns[i].width, std::strlen(columns[i].heading) + 1, columns[i].unit.size() + 1});
  for (const RatingRow& row : table.rows) {
    const Fields fields = rating_fields(row);
    auto& line = cells.emplace_back();
    for (std::size_t i = 0; i < kColumns; ++i) {
      line[i] = fixed(fields[i].value.number, columns[i].decimals, 0);
      width[i] = std::max(width[i], line[i].size() + 1);
    }
  }
  std::string headings, units;
  for (std::size_t i = 0; i < kColumns; ++i) {
    headings += padded_left(columns[i].heading, width[i]);
    units += padded_left(columns[i].unit, width[i]);
  }
  out_ << headings << "\r\n" << units << "\r\n";
  for (const auto& line : cells) {
    std::string text;
    for (std::size_t i = 0; i < kColumns; ++i) text += padded_left(line[i], width[i]);
    out_ << text << "\r\n";
  }
}

// ---- CSV ------------------------------------------------------------

class CsvWriter final : public ResultWriter {
 public:
  CsvWriter(const Layout& layout, std::ostream& out) : layout_(layout), out_(out) {}

  void write(const LevelResult& r) override { row(csv_row(r, layout_, "")); }

  void write(const RatingTable& table) override {
    const Fields head = rating_head(table, "");
    for (const RatingRow& r : table.rows) {
      Fields fields = head;
      append(fields, rating_fields(r));
      row(fields);
    }
  }

  void write(const FailedInput& failed) override {
    if (layout_.rating) {
      RatingTable blank;
      blank.file = failed.file;
      blank.section = failed.section;
      Fields fields = rating_head(blank, failed.error);
      for (Field f : rating_fields(RatingRow{})) fields.push_back({f.name, Value{}});
      row(fields);
      return;
    }
    LevelResult blank;
    blank.file = failed.file;
    blank.section = failed.section;
    row(csv_row(blank, layout_, failed.error));
  }

  void finish() override { header(); }  // a run with nothing to say still names its columns

 private:
  void header() {
    if (header_done_) return;
    std::string line;
    for (const std::string& name : csv_columns(layout_)) line += (line.empty() ? "" : ",") + name;
    out_ << line << "\r\n";
    header_done_ = true;
  }

  void row(const Fields& fields) {
    header();
    line_.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) line_ += ',';
      append_csv(line_, fields[i].value);
    }
    line_ += "\r\n";
    out_ << line_;
  }

  Layout layout_;
  std::ostream& out_;
  bool header_done_ = false;
  std::string line_;
};

// ---- JSON -----------------------------------------------------------

std::string section_object(const SectionName& s) {
  return "{\"river\": " + json_string(s.river) + ", \"reach\": " + json_string(s.reach) +
         ", \"station\": " + json_string(s.station) + "}";
}

std::string zone_object(const ZoneFigures& z, bool with_parts, bool strickler) {
  std::string object(1, '{');
  object += json_members(zone_fields(z, true), ", ");
  if (with_parts) {
    object += ", \"parts\": [";
    for (std::size_t i = 0; i < z.parts.size(); ++i) {
      if (i > 0) object += ", ";
      Fields part = part_fields(z.parts[i]);
      if (strickler) part.insert(part.begin() + 3, {"strickler", number(1 / z.parts[i].n)});
      object.append(1, '{').append(json_members(part, ", ")).append(1, '}');
    }
    object += "]";
  }
  return object + "}";
}

class JsonWriter final : public ResultWriter {
 public:
  JsonWriter(const Layout& layout, std::ostream& out) : layout_(layout), out_(out) {}

  void write(const LevelResult& r) override {
    begin_object(r.file, r.section);
    const char* next = ",\n    ";
    if (layout_.profiles) out_ << next << "\"profile\": " << json_string(r.profile);
    out_ << next << "\"units\": " << json_string(r.units->name) << next << "\"rules\": " << json_string(rules_name(r.rules))
         << next << json_members(head_fields(r, layout_.solve), next)
         << (r.strickler ? next + json_members(strickler_fields(r.n), next) : "")
         << next << "\"found\": " << (r.found ? "true" : "false") << next << json_members(section_fields(r), next)
         << next << "\"channel_velocity\": " << json_value(number(r.channel_velocity, r.found)) << next << "\"zones\": ";
    if (!r.found) {
      out_ << "null";
    } else {
      out_ << "{";
      for (int i = 0; i < 4; ++i)
        out_ << (i ? "," : "") << "\n      " << json_string(kZoneNames[i]) << ": " << zone_object(zone_of(r.zones, i), i < 3, r.strickler);
      out_ << "\n    }";
    }
    out_ << next << json_members(energy_fields(r), next) << next << "\"critical_levels\": [";
    for (std::size_t i = 0; i < r.critical_levels.size(); ++i) {
      const CriticalLevel& c = r.critical_levels[i];
      out_ << (i ? ", " : "") << "{\"level\": " << shortest_number(c.level) << ", \"energy\": "
           << shortest_number(c.energy) << ", \"at_end\": " << (c.at_end ? "true" : "false") << "}";
    }
    out_ << "]" << next << json_members(critical_fields(r), next) << next << "\"normal_levels\": [";
    for (std::size_t i = 0; i < r.normal_levels.size(); ++i)
      out_ << (i ? ", " : "") << shortest_number(r.normal_levels[i].level);
    out_ << "]" << next << json_members(tail_fields(r), next) << next
         << "\"warnings\": [";
    for (std::size_t i = 0; i < r.warnings.size(); ++i)
      out_ << (i ? "," : "") << "\n      {\"code\": " << json_string(r.warnings[i].code)
           << ", \"message\": " << json_string(r.warnings[i].message) << "}";
    out_ << (r.warnings.empty() ? "]" : "\n    ]") << "\n  }";
  }

  void write(const RatingTable& table) override {
    begin_object(table.file, table.section);
    const char* next = ",\n    ";
    Fields head = {{"units", text(table.units->name)}, {"slope_per_mille", number(table.slope_per_mille)}};
    append(head, roughness_fields(table.n));
    out_ << next << json_members(head, next) << next << "\"rating\": [";
    for (std::size_t i = 0; i < table.rows.size(); ++i)
      out_ << (i ? "," : "") << "\n      {" << json_members(rating_fields(table.rows[i]), ", ") << "}";
    out_ << (table.rows.empty() ? "]" : "\n    ]") << "\n  }";
  }

  void write(const FailedInput& failed) override {
    begin_object(failed.file, failed.section);
    out_ << ",\n    \"error\": " << json_string(failed.error) << "\n  }";
  }

  void finish() override {
    if (finished_) return;
    out_ << (objects_ == 0 ? "[" : "\n") << "]\n";
    finished_ = true;
  }

 private:
  void begin_object(const std::string& file, const SectionName& section) {
    out_ << (objects_++ == 0 ? "[\n" : ",\n") << "  {\n    \"file\": " << json_string(file)
         << ",\n    \"section\": " << section_object(section);
  }

  Layout layout_;
  std::ostream& out_;
  int objects_ = 0;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<ResultWriter> make_writer(const Layout& layout, std::ostream& out) {
  switch (layout.format) {
    case Format::csv: return std::make_unique<CsvWriter>(layout, out);
    case Format::json: return std::make_unique<JsonWriter>(layout, out);
    case Format::text: break;
  }
  return std::make_unique<TextWriter>(layout, out);
}

}  // namespace normlevel
