#pragma once

// A surveyor's station/elevation table, as a spreadsheet exports it: one
// header row naming the columns, then one row per point across the valley.

#include <string>
#include <string_view>

#include "survey.h"

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

/// Reads the table's points (and its n column, where it has one, each n
/// applying from its point to the next; an empty n cell keeps the one
/// above) into `section`, in whichever encoding recoded_to_utf8 finds.
/// Columns: station (or sta, distance, dist, offset, chainage, crossm,
/// odleglosc, odl, or x without a y), elevation (or elev, z, h, rzedna,
/// wysokosc), optional n, in any order and any case; others are ignored. With
/// ';' or tab between fields a decimal comma reads as a point. Throws
/// Failure naming the line of a row that cannot be read.
void read_station_table(std::string_view bytes, SurveyedSection& section);

}  // namespace normlevel
