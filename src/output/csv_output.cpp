// CSV (RFC 4180): a header naming every column, then a row a result, a
// failed input a row of its own with the error and nothing else.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <span>
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

// A number first: nearly every value is one, and finite (number() makes it
// absent otherwise).
char* put_value(char* at, const Value& v) {
  if (v.kind == Value::Kind::number) return real_chars::shortest(at, at + kNumberRoom, v.number);
  if (v.kind == Value::Kind::text) return put_field(at, v.text);
  if (v.kind == Value::Kind::flag) return put(at, v.yes ? "true" : "false");
  return at;
}

// ---- rows -------------------------------------------------------------

// A row that writes the figures handed to it straight into its line: their
// names are the header's, and no vector of them is made a row. Its room
// only grows, to the longest row yet.
class CsvLine {
 public:
  void append(std::span<const Field> figures) {
    std::size_t most = 0;
    for (const Field& f : figures) most += room_for(f.value) + 1;
    char* at = room(most);
    for (const Field& f : figures) {
      at = f.value.kind == Value::Kind::number ? put_once(at, f.value.number) : put_value(at, f.value);
      *at++ = ',';  // after every field: the last one gives way to the line's end
    }
    size_ = static_cast<std::size_t>(at - text_.data());
  }

  // The line, ended, to be written before the next figure begins another.
  std::string_view finished() {
    if (size_ > 0) --size_;  // the last field's comma
    size_ = static_cast<std::size_t>(put(room(2), "\r\n") - text_.data());
    const std::string_view line(text_.data(), size_);
    size_ = 0;
    if (++line_count_ == 0) {  // a new line: what was seen is gone
      seen_.fill(Seen{});
      line_count_ = 1;
    }
    return line;
  }

 private:
  // A number this line holds already: where, by its bits (-0 is not 0).
  struct Seen {
    std::uint64_t bits = 0;
    std::uint32_t line = 0, at = 0, size = 0;
  };

  // A row repeats many of its numbers (the whole section's figures are the
  // channel's where only it is wet): a number written already in the line
  // is copied from there, at a fraction of the cost of writing it anew.
  char* put_once(char* at, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Seen& seen = seen_[(bits * 0x9E3779B97F4A7C15u) >> (64 - kSeenBits)];
    if (seen.line == line_count_ && seen.bits == bits)
      return std::copy_n(text_.data() + seen.at, seen.size, at);
    char* const end = real_chars::shortest(at, at + kNumberRoom, value);
    seen = {bits, line_count_, static_cast<std::uint32_t>(at - text_.data()), static_cast<std::uint32_t>(end - at)};
    return end;
  }

  char* room(std::size_t more) {
    if (text_.size() - size_ < more) text_.resize(std::max(2 * text_.size(), size_ + more));
    return text_.data() + size_;
  }

  static constexpr int kSeenBits = 5;
  std::string text_;  // the room, the line at its start
  std::size_t size_ = 0;
  std::uint32_t line_count_ = 1;  // the lines seen_ belongs to; 0 for none
  std::array<Seen, std::size_t{1} << kSeenBits> seen_{};
};

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

// A zone's figures under its columns' names, where they are kept; a line
// written at once has no use for the names.
void zone_columns(Fields& to, int zone, const ZoneFigures& z, bool present) {
  const std::size_t first = to.size();
  zone_fields(to, z, present);
  Field* figure = to.data() + first;
  for (const std::string& name : zone_column_names(zone)) (figure++)->name = name;
}

void zone_columns(CsvLine& to, int, const ZoneFigures& z, bool present) { zone_fields(to, z, present); }

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

template <class Row>
void identity_fields(Row& to, const std::string& file, const SectionName& section) {
  append(to, {{"file", text(file)},
              {"river", text(section.river)},
              {"reach", text(section.reach)},
              {"station", text(section.station)}});
}

// Every critical level and its energy, and every level carrying the discharge.
template <class Row>
void level_lists(Row& to, Lists& lists, const LevelResult& r) {
  const auto level = [](std::string& list, const auto& l) { add_number(list, l.level); };
  const auto energy = [](std::string& list, const CriticalLevel& c) { add_number(list, c.energy); };
  append(to, {{"critical_levels", text(joined(lists.critical_levels, r.critical_levels, level))},
              {"critical_energies", text(joined(lists.critical_energies, r.critical_levels, energy))},
              {"normal_levels", text(joined(lists.normal_levels, r.normal_levels, level))}});
}

// A result's row. A failed input's (an `error`) is whittled down by
// only_who_and_why.
template <class Row>
void csv_row(Row& row, Lists& lists, const LevelResult& r, const Layout& layout, std::string_view error) {
  identity_fields(row, r.file, r.section);
  if (layout.profiles) append(row, {{"profile", text(r.profile)}});
  append(row, {{"found", error.empty() ? flag(r.found) : Value{}},
               {"error", error.empty() ? Value{} : text(error)},
               {"units", text(r.units->name)},
               {"rules", text(rules_name(r.rules))}});
  head_fields(row, r, layout.solve);
  section_fields(row, r);
  for (int i = 0; i < 4; ++i) zone_columns(row, i, zone_of(r.zones, i), r.found);
  energy_fields(row, r);
  critical_fields(row, r);
  level_lists(row, lists, r);
  tail_fields(row, r);
  const auto code = [](std::string& list, const Warning& w) { list += w.code; };
  append(row, {{"warnings", text(joined(lists.warnings, r.warnings, code))}});
}

// A rating table's columns before its figures'.
template <class Row>
void rating_head(Row& head, const RatingTable& t, std::string_view error) {
  identity_fields(head, t.file, t.section);
  append(head, {{"error", error.empty() ? Value{} : text(error)},
                {"units", text(t.units->name)},
                {"slope_per_mille", number(t.slope_per_mille)}});
  roughness_fields(head, t.n);
}

// A failed input's row holds nothing but who it was and why: every value
// after the error's is dropped.
void only_who_and_why(Fields& row) {
  auto f = std::find_if(row.begin(), row.end(), [](const Field& figure) { return figure.name == "error"; });
  if (f == row.end()) return;
  while (++f != row.end()) f->value = Value{};
}

class CsvWriter final : public ResultWriter {
 public:
  CsvWriter(const Layout& layout, std::ostream& out) : layout_(layout), out_(out) {}

  void write(const LevelResult& r) override {
    csv_row(line_, lists_, r, layout_, "");
    end_row();
  }

  void write(const RatingTable& table) override {
    for (const RatingRow& r : table.rows) {
      rating_head(line_, table, "");
      rating_fields(line_, r);
      end_row();
    }
  }

  // Rare enough to go by way of Fields.
  void write(const FailedInput& failed) override {
    Fields fields;
    if (layout_.rating) {
      RatingTable blank;
      blank.file = failed.file;
      blank.section = failed.section;
      rating_head(fields, blank, failed.error);
      rating_fields(fields, RatingRow{});
      return end_row(fields);
    }
    LevelResult blank;
    blank.file = failed.file;
    blank.section = failed.section;
    csv_row(fields, lists_, blank, layout_, failed.error);
    end_row(fields);
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

  void end_row() {
    header();
    out_ << line_.finished();
  }

  void end_row(Fields& failed) {
    only_who_and_why(failed);
    line_.append(failed);
    end_row();
  }

  Layout layout_;
  std::ostream& out_;
  bool header_done_ = false;
  // Kept so that their room serves every row.
  CsvLine line_;
  Lists lists_;
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
