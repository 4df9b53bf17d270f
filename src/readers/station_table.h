#pragma once

// A surveyor's station/elevation table, as a spreadsheet exports it: one
// header row naming the columns, then one row per point across the valley.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/CSdata.h"

#include "readers/survey.h"

namespace normlevel {

/// The column separator the header row uses: a tab if it holds one, else
/// ';' if it holds one, else ','.
///   "station;elevation" -> ';'   "odleglosc\trzedna\tn" -> '\t'   "x,z" -> ','
char table_separator(std::string_view header);

/// Whether the table must be recoded to be read as UTF-8, and if so its
/// text recoded into `decoded`: UTF-16 with its byte-order mark, or, where
/// the bytes are not UTF-8, the Windows-1250 a Polish spreadsheet saves.
///   "\xFF\xFEx\0" -> true, "x"   "Rz\xEA" "dna" -> true, "Rzędna"   "x" -> false
bool recoded_to_utf8(std::string_view bytes, std::string& decoded);

/// A column name as the header writes it, made comparable: trimmed, lower
/// case, quotes and a unit in brackets dropped, Polish letters plain.
///   "Station [m]" -> "station"   "\"Rzędna\"" -> "rzedna"   " N " -> "n"
std::string column_key(std::string_view name);

/// How a table's columns are taken, as the command line says.
struct TableOptions {
  std::string section_column;  ///< --section-column: the column naming each point's section; "": by its name
  bool y_first = false;        ///< --xy-order yx: x is the northing, y the easting (a Polish surveyor's)
  std::string left_code, right_code;  ///< --bank-codes; "": LB,RB, BL,BP and LBRZ,PBRZ
  bool banks_by_code = true;          ///< false: --banks gives them, codes are passed over
};

/// One section of a table as its rows give it, before it is put in order.
struct TableSection {
  SurveyedSection section;          ///< x: the stations, or the eastings of raw points; named by its section cell
  std::vector<double> northing;     ///< raw points only
  std::vector<double> order;        ///< the order column's values; empty: file order
  std::vector<std::size_t> lines;   ///< each point's line; empty where checked as they were read
  std::vector<std::string> codes;   ///< each point's code; empty: no code column
  bool in_order = true;             ///< every row so far stands after those before it in the order column
  std::size_t left_bank = SIZE_MAX, right_bank = SIZE_MAX;  ///< the points the codes mark, once shaped
};

/// Everything a table holds.
struct SurveyTable {
  std::vector<TableSection> sections;  ///< in the order their first rows stand
  const Units* units = nullptr;        ///< what a unit line above the header says; null: none
  bool strickler = false;              ///< roughness given as Strickler's k, turned into n = 1/k
};

/// Reads the table's rows into its sections, in whichever encoding
/// recoded_to_utf8 finds. Lines before the header row (the first that names
/// a station, or easting and northing, and an elevation column) are passed
/// over, save a unit line ("Unit: ft", "jednostka;m"). Columns, in any
/// order and any case, others ignored: station (or sta, distance, dist,
/// offset, chainage, crossm, odleglosc, odl, or x without a y), elevation (or
/// elev, z, h, rzedna, wysokosc); or easting and northing (e and n, x and y);
/// optional n or Strickler's k (kst, strickler), each applying from its point
/// to the next, an empty cell keeping the one above; section (przekroj, name,
/// id, xs); point order (point, pointindex, lp, nr); code (kod, description,
/// opis). With ';' or tab between fields a decimal comma reads as a point.
/// Throws Failure naming the line of a row that cannot be read.
SurveyTable read_survey_table(std::string_view bytes, const TableOptions& options);

/// Puts a section's points in order, projects raw points onto their fitted
/// line (a note with the farthest point, a warning when it lies more than a
/// tenth of the width off), and finds the banks its codes mark. Throws
/// Failure naming the points for stations that go backwards and for two
/// points marking one bank. `length` names the unit of the notes' figures.
void shape_section(TableSection& table, const TableOptions& options, const std::string& length);

/// The points of a table of one section, put in order, into `section`.
void read_station_table(std::string_view bytes, SurveyedSection& section);

}  // namespace normlevel
