#pragma once

// What the writers of more than one format share: a result's figures by
// name, the rating table's figures, and the writers make_writer picks from.

#include <cmath>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <span>
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
  enum class Kind : unsigned char { number, text, flag, absent } kind = Kind::absent;
  bool yes = false;  ///< beside the kind: a row is made of many, each the smaller
  double number = 0;
  std::string_view text;
};

/// A number; absent where not `present` or not finite.
inline Value number(double v, bool present = true) {
  return present && std::isfinite(v) ? Value{Value::Kind::number, false, v, {}} : Value{};
}
inline Value text(std::string_view t) { return {Value::Kind::text, false, 0, t}; }
inline Value text(const char* t) { return text(std::string_view(t)); }
/// A string made for the row would be gone before the row is written.
Value text(std::string&&) = delete;
inline Value flag(bool yes) { return {Value::Kind::flag, yes, 0, {}}; }

struct Field {
  std::string_view name;  ///< in storage that outlives every row
  Value value;
};
using Fields = std::vector<Field>;

// The helpers below hand their figures, in order and a few at a time, to
// append(to, {...}): to Fields, which keep them, or to a row of a writer's
// own that writes them at once (see CsvWriter), so that no vector of them
// need be made a row. A few at a time, not one: a call a figure would cost
// as much as what the row does with it.

/// `from` after what `to` holds.
inline void append(Fields& to, std::initializer_list<Field> from) { to.insert(to.end(), from); }

/// `from` to a row of a writer's own, which takes a span of figures.
template <class Row>
void append(Row& to, std::initializer_list<Field> from) {
  to.append(std::span<const Field>(from.begin(), from.size()));
}

inline constexpr const char* kZoneNames[] = {"left", "channel", "right", "total"};

/// A zone's figures, every one absent unless `present`.
template <class Row>
void zone_fields(Row& to, const ZoneFigures& z, bool present) {
  append(to, {{"area", number(z.area, present)},
              {"perimeter", number(z.perimeter, present)},
              {"radius", number(z.radius, present)},
              {"top_width", number(z.top_width, present)},
              {"velocity", number(z.velocity, present)},
              {"discharge", number(z.discharge, present)},
              {"share", number(z.share, present)},
              {"conveyance", number(z.conveyance, present)},
              {"shear", number(z.shear, present)},
              {"stream_power", number(z.stream_power, present)}});
}

/// nc, nf, nl, nr.
template <class Row>
void roughness_fields(Row& to, const ZoneRoughness& n) {
  append(to, {{"nc", number(n.nc)}, {"nf", number(n.nf)}, {"nl", number(n.nl)}, {"nr", number(n.nr)}});
}

/// Rules::model -> "model", Rules::divided -> "divided".
const char* rules_name(Rules rules);

/// Solve::n -> "n", Solve::slope -> "slope", Solve::none -> "".
const char* solve_name(Solve solve);

/// The discharge, the slope and the n; with `solve`, what was solved for and n's factor.
template <class Row>
void head_fields(Row& to, const LevelResult& r, bool solve) {
  append(to, {{"discharge", number(r.discharge)}, {"slope_per_mille", number(r.slope_per_mille)}});
  roughness_fields(to, r.n);
  if (!solve) return;
  append(to, {{"solve", text(solve_name(r.solve))}, {"n_factor", number(r.n_factor, r.solve == Solve::n)}});
}

/// The level found, the section's lowest and highest points and its banks.
template <class Row>
void section_fields(Row& to, const LevelResult& r) {
  append(to, {{"level", number(r.level, r.found)},
              {"zmin", number(r.zmin)},
              {"zmax", number(r.zmax)},
              {"bank_left", number(r.bank_left)},
              {"bank_right", number(r.bank_right)}});
}

/// The energy figures at the level found (absent where none was).
template <class Row>
void energy_fields(Row& to, const LevelResult& r) {
  const bool at = r.found;
  append(to, {{"alpha", number(r.energy.alpha, at)},
              {"beta", number(r.energy.beta, at)},
              {"velocity_head", number(r.energy.velocity_head, at)},
              {"energy_level", number(r.energy.energy_level, at)},
              {"froude", number(r.energy.froude, at)},
              {"froude_channel", number(r.zones.froude_channel, at)},
              {"froude_section", number(r.zones.froude_section, at)}});
}

/// The governing critical level; nullptr where there is none.
const CriticalLevel* governing(const LevelResult& r);

/// The governing critical level and its energy.
template <class Row>
void critical_fields(Row& to, const LevelResult& r) {
  const CriticalLevel* c = governing(r);
  append(to, {{"critical_level", number(c ? c->level : 0, c != nullptr)},
              {"critical_energy", number(c ? c->energy : 0, c != nullptr)}});
}

/// The regime and the bankfull level and discharge.
template <class Row>
void tail_fields(Row& to, const LevelResult& r) {
  append(to, {{"regime", *r.regime ? text(r.regime) : Value{}},
              {"bankfull_level", number(r.zones.bankfull_level)},
              {"bankfull_discharge", number(r.zones.bankfull_discharge)}});
}

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
template <class Row>
void rating_fields(Row& to, const RatingRow& row) {
  for (const RatingFigure& figure : kRatingFigures) append(to, {{figure.name, number(row.*figure.value)}});
}

/// The writer of each format.
std::unique_ptr<ResultWriter> text_writer(const Layout& layout, std::ostream& out);
std::unique_ptr<ResultWriter> csv_writer(const Layout& layout, std::ostream& out);
std::unique_ptr<ResultWriter> json_writer(const Layout& layout, std::ostream& out);

}  // namespace normlevel::output_parts
