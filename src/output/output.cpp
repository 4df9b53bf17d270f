#include "output/output.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "base/NumberField.h"
#include "output/output_parts.h"
#include "base/real_chars.h"

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

namespace output_parts {

// ---- the figures, by name ---------------------------------------------

const char* rules_name(Rules rules) { return rules == Rules::model ? "model" : "divided"; }

const char* solve_name(Solve solve) { return solve == Solve::n ? "n" : solve == Solve::slope ? "slope" : ""; }

const CriticalLevel* governing(const LevelResult& r) {
  return r.critical < 0 ? nullptr : &r.critical_levels[static_cast<std::size_t>(r.critical)];
}

}  // namespace output_parts

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

std::unique_ptr<ResultWriter> make_writer(const Layout& layout, std::ostream& out) {
  switch (layout.format) {
    case Format::csv: return output_parts::csv_writer(layout, out);
    case Format::json: return output_parts::json_writer(layout, out);
    case Format::text: break;
  }
  return output_parts::text_writer(layout, out);
}

}  // namespace normlevel
