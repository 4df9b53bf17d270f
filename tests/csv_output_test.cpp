// The CSV writer: rows written one after another into the room of the last
// are each what a writer of their own writes, the lists sit joined in their
// columns, a failed input's row holds nothing but who it was and why, and a
// number a row repeats is itself each time.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "output/output.h"

namespace normlevel {
namespace {

using Item = std::function<void(ResultWriter&)>;
using Row = std::map<std::string, std::string>;

// A CSV line's fields, quotes undone.
std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (quoted && line.compare(i, 2, "\"\"") == 0) fields.back() += line[i++];  // a quote in a quoted field
    else if (line[i] == '"') quoted = !quoted;
    else if (line[i] == ',' && !quoted) fields.emplace_back();
    else fields.back() += line[i];
  }
  return fields;
}

// The lines one writer writes for `items` in turn, the header first.
std::vector<std::string> lines_of(const Layout& layout, const std::vector<Item>& items) {
  std::ostringstream out;
  const std::unique_ptr<ResultWriter> writer = make_writer(layout, out);
  for (const Item& item : items) item(*writer);
  writer->finish();
  std::vector<std::string> lines;
  const std::string text = out.str();
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  return lines;
}

// The item's row, by the header's names.
Row row_of(const Layout& layout, const Item& item) {
  const std::vector<std::string> lines = lines_of(layout, {item});
  const std::vector<std::string> names = fields_of(lines.at(0)), fields = fields_of(lines.at(1));
  EXPECT_EQ(fields.size(), names.size()) << lines[1];
  Row row;
  for (std::size_t k = 0; k < std::min(fields.size(), names.size()); ++k) row[names[k]] = fields[k];
  return row;
}

LevelResult bare(const std::string& file) {
  LevelResult r;
  r.file = file;
  r.discharge = 1e6;
  return r;
}

LevelResult with_lists() {
  LevelResult r = bare("a.g01");
  r.section = {"Creek", "Upper", "105.5"};
  r.profile = "PF 1";
  r.found = true;
  r.critical_levels = {{97.46, 98, false}, {99.1, NAN, true}};
  r.critical = 0;
  r.normal_levels = {{98.2, true}, {98.9, false}};
  r.warnings = {{"wall_left", "over the wall"}, {"several_levels", "three levels"}};
  r.regime = "subcritical";
  return r;
}

Item level(const LevelResult& r) { return [r](ResultWriter& w) { w.write(r); }; }
Item level(const std::string& file) { return level(bare(file)); }
Item failed(const std::string& file) {
  return [file](ResultWriter& w) { w.write(FailedInput{file, {}, "cannot open: no such file"}); };
}
Item rating(const std::string& file, std::vector<RatingRow> rows) {
  RatingTable t;
  t.file = file;
  t.slope_per_mille = 0.8;
  t.rows = std::move(rows);
  return [t](ResultWriter& w) { w.write(t); };
}

// Long enough to outgrow the room of every row before it, and quoted.
const std::string kLongName = std::string(3000, 'x') + ",\"y\".g01";

TEST(CsvRows, WrittenInTurnEachIsWhatAWriterOfItsOwnWrites) {
  const RatingRow a{101, 2, 30, 12, 0, 25, 0, 25, 0.8}, b{102, 3, 45, 20, 1.5, 40, 2.5, 44, 0.9};
  const Layout profiles{.format = Format::csv, .profiles = true}, solve{.format = Format::csv, .solve = true};
  const std::vector<std::pair<Layout, std::vector<Item>>> cases = {
      {profiles, {level(with_lists()), level("b.g01"), level(with_lists())}},
      {solve, {level(with_lists()), failed("nosuch.txt"), level("c.g01")}},
      {solve, {level(kLongName), level("d.g01"), failed(kLongName)}},
      {{.format = Format::csv, .rating = true},
       {rating(kLongName, {a, b}), failed("nosuch.txt"), rating("e.g01", {b}), rating("f.g01", {})}},
  };
  for (const auto& [layout, items] : cases) {
    std::vector<std::string> alone = {lines_of(layout, {}).at(0)};
    for (const Item& item : items) {
      const std::vector<std::string> own = lines_of(layout, {item});
      alone.insert(alone.end(), own.begin() + 1, own.end());
    }
    EXPECT_EQ(lines_of(layout, items), alone) << alone.size() << " lines";
  }
}

TEST(CsvRows, ListsSitJoinedInTheirColumns) {
  const Row row = row_of({.format = Format::csv}, level(with_lists()));
  const Row expected = {{"critical_level", "97.46"},     {"critical_energy", "98"},
                        {"critical_levels", "97.46;99.1"}, {"critical_energies", "98;null"},
                        {"normal_levels", "98.2;98.9"},    {"warnings", "wall_left;several_levels"},
                        {"regime", "subcritical"},         {"station", "105.5"}};
  for (const auto& [column, text] : expected) EXPECT_EQ(row.at(column), text) << column;
}

TEST(CsvRows, AFailedInputHoldsNothingButWhoAndWhy) {
  for (const bool rating : {false, true})
    for (const auto& [column, text] : row_of({.format = Format::csv, .rating = rating}, failed(kLongName))) {
      const std::string expected = column == "file" ? kLongName : column == "error" ? "cannot open: no such file" : "";
      EXPECT_EQ(text, expected) << column << (rating ? " (rating)" : "");
    }
}

TEST(CsvRows, AFieldIsQuotedOnlyWhereItMustBe) {
  for (const auto& [text, field] : std::vector<std::pair<std::string, std::string>>{
           {"", ""}, {"a;b", "a;b"}, {"\"", "\"\"\"\""}, {"two\r\nlines", "\"two\r\nlines\""}, {"lf\n", "\"lf\n\""}})
    EXPECT_EQ(csv_field(text), field) << text;
}

// A number a row repeats is written as itself each time: told apart by
// its bits (-0 is not 0), whatever the rows before held where.
TEST(CsvRows, RepeatedNumbersAreWrittenAsThemselves) {
  const RatingRow row{0.0, -0.0, 0.1 + 0.2, 0.3, -0.0, 0.0, 0.1 + 0.2, 1e-300, 0.3};
  const std::map<std::string, std::string> expected = {
      {"level", "0"},        {"depth", "-0"},           {"area", "0.30000000000000004"},
      {"top_width", "0.3"},  {"left_discharge", "-0"},  {"channel_discharge", "0"},
      {"right_discharge", "0.30000000000000004"},       {"discharge", "1e-300"},
      {"channel_velocity", "0.3"}};
  const Layout layout{.format = Format::csv, .rating = true};
  const std::vector<std::string> lines = lines_of(layout, {rating(kLongName, {row, row}), rating("a.g01", {row})});
  const std::vector<std::string> names = fields_of(lines.at(0));
  ASSERT_EQ(lines.size(), 4u);
  for (std::size_t line = 1; line < lines.size(); ++line) {
    const std::vector<std::string> fields = fields_of(lines[line]);
    ASSERT_EQ(fields.size(), names.size()) << line;
    for (std::size_t k = 0; k < names.size(); ++k) {
      if (expected.count(names[k])) {
        EXPECT_EQ(fields[k], expected.at(names[k])) << names[k] << ", line " << line;
      }
    }
  }
}

}  // namespace
}  // namespace normlevel
