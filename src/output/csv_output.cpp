// CSV (RFC 4180): a header naming every column, then a row a result, a
// failed input a row of its own with the error and nothing else.

#include <algorithm>
#include <cmath>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "output/output_parts.h"
#include "base/real_chars.h"

namespace normlevel {

namespace {

using namespace output_parts;

// ---- text -------------------------------------------------------------
// Written through a cursor into room made for it beforehand: no character
// needs a check of its own, and a number's digits go straight into place.
// Each put_ returns where its text ends.

// The longest shortest double, -2.2250738585072014e-308, has 24 characters.
constexpr std::size_t kNumberRoom = 32;

char* put(char* at, std::string_view text) { return std::copy(text.begin(), text.end(), at); }

// The shortest text that reads back as `value`; "null" where none does, as
// shortest_number gives it.
char* put_number(char* at, double value) {
  return std::isfinite(value) ? real_chars::shortest(at, at + kNumberRoom, value) : put(at, "null");
}

// `text` as a field, quoted where it holds a comma, a quote or a line end,
// each quote in it doubled. Scanned a character at a time: find_first_of
// would look each one up in the four with a call to memchr.
char* put_field(char* at, std::string_view text) {
  const auto special = [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; };
  if (std::none_of(text.begin(), text.end(), special)) return put(at, text);
  *at++ = '"';
  for (const char c : text) {
    if (c == '"') *at++ = '"';
    *at++ = c;
  }
  *at++ = '"';
  return at;
}

// The most room put_value may take for `v`.
std::size_t room_for(const Value& v) { return v.kind == Value::Kind::text ? 2 * v.text.size() + 2 : kNumberRoom; }

char* put_value(char* at, const Value& v) {
  switch (v.kind) {
    case Value::Kind::number: return put_number(at, v.number);
    case Value::Kind::text: return put_field(at, v.text);
    case Value::Kind::flag: return put(at, v.yes ? "true" : "false");
    case Value::Kind::absent: break;
  }
  return at;
}

// The lists a row shows joined with ';'. The writer keeps them, so that its
// row's texts can point into them and their room serves row after row.
struct Lists {
  std::string critical_levels, critical_energies, normal_levels, warnings;
};

// `items` joined with ';' into `to`, each written by `add_item`.
template <class Items, class AddItem>
std::string_view joined(std::string& to, const Items& items, AddItem add_item) {
  to.clear();
  for (const auto& item : items) {
    if (!to.empty()) to += ';';
    add_item(to, item);
  }
  return to;
}

void add_number(std::string& to, double value) {
  char text[kNumberRoom];
  to.append(text, static_cast<std::size_t>(put_number(text, value) - text));
}

void identity_fields(Fields& to, const std::string& file, const SectionName& section) {
  append(to, {{"file", text(file)},
              {"river", text(section.river)},
              {"reach", text(section.reach)},
              {"station", text(section.station)}});
}

// "left_area", ...: the zone's name before each of its figures', every one
// made at the first row and never changed, so that rows on any thread may
// point into them.
const std::vector<std::string>& zone_column_names(int zone) {
  static const std::vector<std::vector<std::string>> names = [] {
    Fields figures;
    zone_fields(figures, ZoneFigures{}, true);
    std::vector<std::vector<std::string>> all;
    for (const char* zone_name : kZoneNames) {
      all.emplace_back();
      for (const Field& f : figures) all.back().push_back(std::string(zone_name) + "_" + std::string(f.name));
    }
    return all;
  }();
  return names[static_cast<std::size_t>(zone)];
}

// A zone's figures under its columns' names.
void zone_columns(Fields& to, int zone, const ZoneFigures& z, bool present) {
  const std::size_t first = to.size();
  zone_fields(to, z, present);
  Field* figure = to.data() + first;
  for (const std::string& name : zone_column_names(zone)) (figure++)->name = name;
}

// Every critical level and its energy, and every level carrying the discharge.
void level_lists(Fields& to, Lists& lists, const LevelResult& r) {
  const auto level = [](std::string& list, const auto& l) { add_number(list, l.level); };
  const auto energy = [](std::string& list, const CriticalLevel& c) { add_number(list, c.energy); };
  append(to, {{"critical_levels", text(joined(lists.critical_levels, r.critical_levels, level))},
              {"critical_energies", text(joined(lists.critical_energies, r.critical_levels, energy))},
              {"normal_levels", text(joined(lists.normal_levels, r.normal_levels, level))}});
}

// A result's row into `row`, emptied first; a failed input's (an `error`)
// holds nothing but who it was and why.
void csv_row(Fields& row, Lists& lists, const LevelResult& r, const Layout& layout, std::string_view error) {
  row.clear();
  identity_fields(row, r.file, r.section);
  if (layout.profiles) row.push_back({"profile", text(r.profile)});
  append(row, {{"found", error.empty() ? flag(r.found) : Value{}}, {"error", error.empty() ? Value{} : text(error)}});
  const std::size_t who = row.size();
  append(row, {{"units", text(r.units->name)}, {"rules", text(rules_name(r.rules))}});
  head_fields(row, r, layout.solve);
  section_fields(row, r);
  for (int i = 0; i < 4; ++i) zone_columns(row, i, zone_of(r.zones, i), r.found);
  energy_fields(row, r);
  critical_fields(row, r);
  level_lists(row, lists, r);
  tail_fields(row, r);
  const auto code = [](std::string& list, const Warning& w) { list += w.code; };
  row.push_back({"warnings", text(joined(lists.warnings, r.warnings, code))});
  if (!error.empty())
    for (std::size_t i = who; i < row.size(); ++i) row[i].value = Value{};
}

// A rating table's columns before its figures', into `head`, emptied first.
void rating_head(Fields& head, const RatingTable& t, std::string_view error) {
  head.clear();
  identity_fields(head, t.file, t.section);
  append(head, {{"error", error.empty() ? Value{} : text(error)},
                {"units", error.empty() ? text(t.units->name) : Value{}},
                {"slope_per_mille", number(t.slope_per_mille, error.empty())}});
  const std::size_t n = head.size();
  roughness_fields(head, t.n);
  if (!error.empty())
    for (std::size_t i = n; i < head.size(); ++i) head[i].value = Value{};
}

class CsvWriter final : public ResultWriter {
 public:
  CsvWriter(const Layout& layout, std::ostream& out) : layout_(layout), out_(out) {}

  void write(const LevelResult& r) override {
    csv_row(fields_, lists_, r, layout_, "");
    row();
  }

  void write(const RatingTable& table) override {
    rating_head(fields_, table, "");
    const std::size_t head = fields_.size();
    for (const RatingRow& r : table.rows) {
      fields_.resize(head);
      rating_fields(fields_, r);
      row();
    }
  }

  void write(const FailedInput& failed) override {
    if (layout_.rating) {
      RatingTable blank;
      blank.file = failed.file;
      blank.section = failed.section;
      rating_head(fields_, blank, failed.error);
      for (const RatingFigure& figure : kRatingFigures) fields_.push_back({figure.name, Value{}});
      row();
      return;
    }
    LevelResult blank;
    blank.file = failed.file;
    blank.section = failed.section;
    csv_row(fields_, lists_, blank, layout_, failed.error);
    row();
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

  // fields_ as a line, written into room made for the longest it may be.
  void row() {
    header();
    std::size_t room = 2;
    for (const Field& f : fields_) room += room_for(f.value) + 1;
    if (line_.size() < room) line_.resize(room);
    char* const start = line_.data();
    char* at = start;
    for (const Field& f : fields_) {
      if (&f != &fields_.front()) *at++ = ',';
      at = put_value(at, f.value);
    }
    at = put(at, "\r\n");
    out_.write(start, at - start);
  }

  Layout layout_;
  std::ostream& out_;
  bool header_done_ = false;
  // The row being written and the lists it shows, kept so that their room
  // serves every row: its texts point into the result being written, good
  // only until the write returns.
  Fields fields_;
  Lists lists_;
  std::string line_;  // room for a row, only ever growing
};

}  // namespace

std::vector<std::string> csv_columns(const Layout& layout) {
  Fields fields;
  if (layout.rating) {
    const RatingTable table{};
    rating_head(fields, table, "");
    rating_fields(fields, RatingRow{});
  } else {
    const LevelResult result{};
    Lists lists;
    csv_row(fields, lists, result, layout, "");
  }
  std::vector<std::string> names;
  for (const Field& f : fields) names.emplace_back(f.name);
  return names;
}

std::string csv_field(std::string_view text) {
  std::string field(2 * text.size() + 2, '\0');
  field.resize(static_cast<std::size_t>(put_field(field.data(), text) - field.data()));
  return field;
}

std::unique_ptr<ResultWriter> output_parts::csv_writer(const Layout& layout, std::ostream& out) {
  return std::make_unique<CsvWriter>(layout, out);
}

}  // namespace normlevel
