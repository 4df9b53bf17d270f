// The report as people read it: the classic report for each level, then on
// request the zones, the subdivisions and the energy; a rating table in columns.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>

#include "base/NumberField.h"
#include "output/output_parts.h"
#include "output/report.h"

namespace normlevel {

namespace {

using namespace output_parts;

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

std::string values_named(double slope_per_mille, const ZoneRoughness& n) {
  std::string text = ", s = " + plain_number(slope_per_mille) + " promil, nc = " + zone_n_text(n, kChannel);
  return text + floodplain_n_named(n, std::isfinite(n.nf) ? plain_number(n.nf) : "");
}

std::string place_named(const std::string& file, const SectionName& section) {
  return section_place(file, section, ", ");
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
  constexpr std::size_t kColumns = std::size(kRatingFigures);
  std::string heading = place_named(table.file, table.section);
  if (layout_.name_values) heading += values_named(table.slope_per_mille, table.n);
  begin_block(heading);
  std::vector<std::array<std::string, kColumns>> cells;
  std::array<std::string, kColumns> unit;
  std::array<std::size_t, kColumns> width{};
  for (std::size_t i = 0; i < kColumns; ++i) {
    const RatingFigure& figure = kRatingFigures[i];
    unit[i] = std::string("[") + table.units->*figure.unit + "]";
    width[i] = std::max({figure.width, std::strlen(figure.heading) + 1, unit[i].size() + 1});
  }
  Fields fields;
  for (const RatingRow& row : table.rows) {
    fields.clear();
    rating_fields(fields, row);
    auto& line = cells.emplace_back();
    for (std::size_t i = 0; i < kColumns; ++i) {
      line[i] = fixed(fields[i].value.number, kRatingFigures[i].decimals, 0);
      width[i] = std::max(width[i], line[i].size() + 1);
    }
  }
  std::string headings, units;
  for (std::size_t i = 0; i < kColumns; ++i) {
    headings += padded_left(kRatingFigures[i].heading, width[i]);
    units += padded_left(unit[i], width[i]);
  }
  out_ << headings << "\r\n" << units << "\r\n";
  for (const auto& line : cells) {
    std::string text;
    for (std::size_t i = 0; i < kColumns; ++i) text += padded_left(line[i], width[i]);
    out_ << text << "\r\n";
  }
}

}  // namespace

std::unique_ptr<ResultWriter> output_parts::text_writer(const Layout& layout, std::ostream& out) {
  return std::make_unique<TextWriter>(layout, out);
}

}  // namespace normlevel
