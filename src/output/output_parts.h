#pragma once

// What the writers of more than one format share: a result's figures by
// name, the rating table's figures, and the writers make_writer picks from.

#include <cmath>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/output.h"

namespace normlevel::output_parts {

/// One figure of a result: a number (absent when not a number), a text, a
/// yes or no, or nothing at all. The text is a view into storage that
/// outlives the row (the result, a writer's own, a literal): a row is made
/// and written without a string of its own.
struct Value {
  enum class Kind { number, text, flag, absent } kind = Kind::absent;
  double number = 0;
  std::string_view text;
  bool yes = false;
};

/// A number; absent where not `present` or not finite.
inline Value number(double v, bool present = true) {
  return present && std::isfinite(v) ? Value{Value::Kind::number, v, {}, false} : Value{};
}
inline Value text(std::string_view t) { return {Value::Kind::text, 0, t, false}; }
inline Value text(const char* t) { return text(std::string_view(t)); }
/// A string made for the row would be gone before the row is written.
Value text(std::string&&) = delete;
inline Value flag(bool yes) { return {Value::Kind::flag, 0, {}, yes}; }

struct Field {
  std::string_view name;  ///< in storage that outlives every row
  Value value;
};
/// The helpers below append to the caller's Fields, so that a writer can
/// reuse one row after row.
using Fields = std::vector<Field>;

/// `from` after what `to` holds.
inline void append(Fields& to, std::initializer_list<Field> from) { to.insert(to.end(), from); }

inline constexpr const char* kZoneNames[] = {"left", "channel", "right", "total"};

/// A zone's figures, every one absent unless `present`.
void zone_fields(Fields& to, const ZoneFigures& z, bool present);

/// nc, nf, nl, nr.
void roughness_fields(Fields& to, const ZoneRoughness& n);

/// Rules::model -> "model", Rules::divided -> "divided".
const char* rules_name(Rules rules);

/// The discharge, the slope and the n; with `solve`, what was solved for and n's factor.
void head_fields(Fields& to, const LevelResult& r, bool solve);

/// The level found, the section's lowest and highest points and its banks.
void section_fields(Fields& to, const LevelResult& r);

/// The energy figures at the level found (absent where none was).
void energy_fields(Fields& to, const LevelResult& r);

/// The governing critical level; nullptr where there is none.
const CriticalLevel* governing(const LevelResult& r);

/// The governing critical level and its energy.
void critical_fields(Fields& to, const LevelResult& r);

/// The regime and the bankfull level and discharge.
void tail_fields(Fields& to, const LevelResult& r);

/// A figure of the rating table, for every output: its name in JSON and
/// CSV, and its column in the text table, at least `width` wide.
struct RatingFigure {
  std::string_view name;
  double RatingRow::*value;
  const char* heading;
  const char* Units::*unit;
  std::size_t width;
  int decimals;
};

/// In the order of every output's columns: a new figure is a line here.
inline constexpr RatingFigure kRatingFigures[] = {
    {"level", &RatingRow::level, "zw. wody", &Units::length, 9, 3},
    {"depth", &RatingRow::depth, "glebok.", &Units::length, 8, 3},
    {"area", &RatingRow::area, "pole", &Units::area, 9, 2},
    {"top_width", &RatingRow::top_width, "szerok.", &Units::length, 8, 2},
    {"left_discharge", &RatingRow::left_discharge, "Q lewy", &Units::discharge, 9, 2},
    {"channel_discharge", &RatingRow::channel_discharge, "Q koryto", &Units::discharge, 9, 2},
    {"right_discharge", &RatingRow::right_discharge, "Q prawy", &Units::discharge, 9, 2},
    {"discharge", &RatingRow::discharge, "Q razem", &Units::discharge, 9, 2},
    {"channel_velocity", &RatingRow::channel_velocity, "V koryto", &Units::velocity, 9, 3}};

/// A rating table's row, a figure of kRatingFigures' each, in their order.
void rating_fields(Fields& to, const RatingRow& row);

/// The writer of each format.
std::unique_ptr<ResultWriter> text_writer(const Layout& layout, std::ostream& out);
std::unique_ptr<ResultWriter> csv_writer(const Layout& layout, std::ostream& out);
std::unique_ptr<ResultWriter> json_writer(const Layout& layout, std::ostream& out);

}  // namespace normlevel::output_parts
