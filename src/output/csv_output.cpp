// CSV (RFC 4180): a header naming every column, then a row a result, a
// failed input a row of its own with the error and nothing else.

#include <memory>
#include <ostream>

#include "output/output_parts.h"
#include "base/real_chars.h"

namespace normlevel {

namespace {

using namespace output_parts;

void append_number(std::string& to, double value) {
  char text[32];
  to.append(text, real_chars::shortest(text, text + sizeof text, value));
}

void append_csv(std::string& to, const Value& v) {
  switch (v.kind) {
    case Value::Kind::number: append_number(to, v.number); break;
    case Value::Kind::text: to += csv_field(v.text); break;
    case Value::Kind::flag: to += v.yes ? "true" : "false"; break;
    case Value::Kind::absent: break;
  }
}

std::string joined(const std::vector<std::string>& items) {
  std::string all;
  for (const std::string& item : items) all += (all.empty() ? "" : ";") + item;
  return all;
}

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

}  // namespace

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

std::unique_ptr<ResultWriter> output_parts::csv_writer(const Layout& layout, std::ostream& out) {
  return std::make_unique<CsvWriter>(layout, out);
}

}  // namespace normlevel
