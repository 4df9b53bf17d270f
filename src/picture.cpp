#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>

#include "CSdata.h"
#include "NumberField.h"
#include "power.h"
#include "report.h"

namespace normlevel {

std::string xml_escaped(std::string_view text) {
  std::string escaped;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c >= 0x80 ? utf8_length(text.substr(i)) : 1;
    if (length > 1) {
      escaped += text.substr(i, length);
      i += length;
      continue;
    }
    ++i;
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&apos;"; break;
      default:
        if (c >= 0x80) {
          // Not UTF-8: taken as Latin-1, like the JSON output does.
          char reference[8];
          std::snprintf(reference, sizeof reference, "&#x%02X;", c);
          escaped += reference;
        } else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          escaped += '?';  // XML 1.0 holds no other control character, not even as a reference
        } else {
          escaped += static_cast<char>(c);
        }
    }
  }
  return escaped;
}

double round_step(double span, int ticks) {
  if (!(span > 0) || !std::isfinite(span) || ticks < 1) return 1;
  const double wanted = span / ticks;
  const double power = power_of_ten(decimal_exponent(wanted));
  for (const double multiple : {1.0, 2.0, 5.0})
    if (multiple * power >= wanted * (1 - 1e-12)) return multiple * power;
  return 10 * power;
}

std::vector<int> points_to_draw(const CrossSection& d, int first, int last, double x0, double x1, int columns) {
  std::vector<int> drawn;
  if (last - first + 1 <= 4 * columns || !(x1 > x0)) {
    for (int i = first; i <= last; ++i) drawn.push_back(i);
    return drawn;
  }
  const auto column = [&](int i) {
    return std::clamp(static_cast<int>((d.x[i] - x0) / (x1 - x0) * columns), 0, columns - 1);
  };
  for (int start = first; start <= last;) {
    int end = start, lowest = start, highest = start;
    while (end + 1 <= last && column(end + 1) == column(start)) {
      ++end;
      if (d.z[end] < d.z[lowest]) lowest = end;
      if (d.z[end] > d.z[highest]) highest = end;
    }
    int kept[] = {start, lowest, highest, end};
    std::sort(std::begin(kept), std::end(kept));
    for (const int i : kept)
      if (drawn.empty() || drawn.back() != i) drawn.push_back(i);
    start = end + 1;
  }
  return drawn;
}

std::string level_tint(const char* tint, int k) {
  const long rgb = std::strtol(tint + 1, nullptr, 16);
  double darker = 1;
  for (int step = 0; step < k; ++step) darker *= 0.84;
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>(((rgb >> 16) & 255) * darker),
                static_cast<int>(((rgb >> 8) & 255) * darker), static_cast<int>((rgb & 255) * darker));
  return text;
}

// No "-0" for a value that rounds to zero.
std::string fixed_number(double value, int decimals) {
  char text[400];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  const std::string s = text;
  const bool zero = s.find_first_not_of("-0.") == std::string::npos;
  return zero && s[0] == '-' ? s.substr(1) : s;
}

double text_width(std::string_view text, double font_size) {
  std::size_t characters = 0;
  for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 0 : 1;
  return 0.62 * font_size * static_cast<double>(characters);
}

namespace {

// The drawing: a 960 x 600 canvas, the plot inside its margins.
constexpr double kWidth = 960, kHeight = 600;
constexpr double kLeft = 90, kRight = 930, kTop = 100, kBottom = 530;
constexpr int kColumns = static_cast<int>(kRight - kLeft);
constexpr double kPad = 4;  // between a label and what it labels or bounds it

constexpr const char* kGroundLine = "#5b4526";
constexpr const char* kGrid = "#e3e3e3";
constexpr const char* kText = "#333333";
constexpr const char* kLineColours[] = {"#0a2f6e", "#c0392b", "#1e7f3c", "#7d3c98", "#b9770e"};
constexpr const char* kLineDashes[] = {"", "9 4", "3 3", "12 4 3 4"};

struct Point {
  double x, z;
};

std::string number(double value, int decimals = 2) { return fixed_number(value, decimals); }

// The notice without its leading blank and line end.
std::string notice_text() {
  const std::string notice = kNotice;
  return notice.substr(1, notice.find('\r') - 1);
}

class Canvas {
 public:
  Canvas(double x0, double x1, double z0, double z1) : x0_(x0), z0_(z0) {
    sx_ = (kRight - kLeft) / (x1 - x0);
    sz_ = (kBottom - kTop) / (z1 - z0);
  }
  double X(double x) const { return kLeft + (x - x0_) * sx_; }
  double Y(double z) const { return kBottom - (z - z0_) * sz_; }
  std::string at(Point p) const { return number(X(p.x)) + "," + number(Y(p.z)); }
  double exaggeration() const { return sz_ / sx_; }

 private:
  double x0_, z0_, sx_, sz_;
};

std::vector<Point> polyline(const CrossSection& d, const std::vector<int>& indices) {
  std::vector<Point> points;
  for (const int i : indices) points.push_back({d.x[i], d.z[i]});
  return points;
}

// Where the bed between a and b meets level h.
double crossing(Point a, Point b, double h) { return a.x + (h - a.z) / (b.z - a.z) * (b.x - a.x); }

// The bed clipped to the level: where it rises above, the water's surface.
std::vector<Point> water_outline(const std::vector<Point>& bed, double h) {
  std::vector<Point> outline = {{bed.front().x, h}};
  for (std::size_t i = 0; i < bed.size(); ++i) {
    if (i > 0 && (bed[i - 1].z < h) != (bed[i].z < h) && bed[i].z != bed[i - 1].z)
      outline.push_back({crossing(bed[i - 1], bed[i], h), h});
    outline.push_back({bed[i].x, std::min(bed[i].z, h)});
  }
  outline.push_back({bed.back().x, h});
  return outline;
}

// The bed and the level between stations from and to: one body of water.
std::vector<Point> water_between(const std::vector<Point>& bed, double from, double to, double h) {
  std::vector<Point> outline = {{from, h}};
  for (const Point& p : bed)
    if (p.x > from && p.x < to) outline.push_back({p.x, std::min(p.z, h)});
  outline.push_back({to, h});
  return outline;
}

// The stretches of stations where the bed lies below the level.
std::vector<std::pair<double, double>> wet_spans(const std::vector<Point>& bed, double h) {
  std::vector<std::pair<double, double>> spans;
  const auto add = [&](double from, double to) {
    if (!spans.empty() && spans.back().second == from)
      spans.back().second = to;
    else
      spans.emplace_back(from, to);
  };
  for (std::size_t i = 1; i < bed.size(); ++i) {
    const Point a = bed[i - 1], b = bed[i];
    if (a.z < h && b.z < h)
      add(a.x, b.x);
    else if (a.z < h)
      add(a.x, crossing(a, b, h));
    else if (b.z < h)
      add(crossing(a, b, h), b.x);
  }
  return spans;
}

std::string path_through(const Canvas& canvas, const std::vector<Point>& points) {
  std::string d;
  for (const Point& p : points) d += (d.empty() ? "M" : " L") + canvas.at(p);
  return d;
}

// A box on the canvas: where a label or the legend stands.
struct Box {
  double left, top, right, bottom;
};

// Where a line of 12-pixel text stands, from a font's height above its
// baseline to a quarter of it below.
Box text_box(double x, double y, bool ends_at_x, const std::string& words) {
  const double left = ends_at_x ? x - text_width(words) : x;
  return {left, y - 12, left + text_width(words), y + 3};
}

bool overlap(const Box& a, const Box& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// A label's place: its anchor point and whether the text ends there.
struct Placed {
  double x, y;
  bool ends_at_x;
};

// The baselines a label may take inside the frame, 14 pixels apart.
constexpr double kFirstRow = kTop + 14, kLastRow = kBottom - 4, kRowStep = 14;

// What is drawn for one result: its level line, or only its legend entry.
struct Drawn {
  const LevelResult* result;
  std::string colour, dash;
  bool line() const { return result->found && result->level > result->zmin; }
};

// A discharge asked for as given; one computed at a level to three decimals.
std::string discharge_text(const CrossSection& d, const LevelResult& r) {
  const std::string Q = r.query.kind == Query::Kind::level ? number(r.discharge, 3) : plain_number(r.discharge);
  return "Q = " + Q + " " + d.units->discharge;
}

std::string level_text(const CrossSection& d, double h) { return "zw. wody " + number(h, 3) + " " + d.units->length; }

// Water cut off from the channel's, named for what the figures do with it.
std::string ponded_text(bool connected) {
  return connected ? "woda niepo\u0142\u0105czona z korytem, nieliczona"
                   : "woda niepo\u0142\u0105czona z korytem, liczona jako p\u0142yn\u0105ca";
}

std::string legend_text(const CrossSection& d, const LevelResult& r) {
  if (!r.found) return discharge_text(d, r) + ": " + notice_text();
  if (r.level <= d.zmin) return level_text(d, r.level) + ": poni\u017Cej dna";
  return level_text(d, r.level) + ", " + discharge_text(d, r);
}

std::string title_values(const CrossSection& d, const std::vector<LevelResult>& results) {
  std::string text;
  if (results.size() == 1) text = discharge_text(d, results[0]) + ", ";
  const ZoneRoughness n = zone_roughness(d);
  text += "s = " + plain_number(d.s_per_mille) + " \u2030, nc = " + zone_n_text(n, Zone::kChannel);
  const std::string left = zone_n_text(n, Zone::kLeft), right = zone_n_text(n, Zone::kRight);
  text += floodplain_n_named(n, left == right ? left : "");
  if (results.size() == 1 && !results[0].found) text += " \u2013 " + notice_text();
  return text;
}

std::string hatching() {
  return "<defs><pattern id=\"wall\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\">"
         "<path d=\"M0,6 L6,0\" stroke=\"#555555\" stroke-width=\"1.2\"/></pattern></defs>\n";
}

class Picture {
 public:
  Picture(std::ostream& out, const CrossSection& d, const std::vector<LevelResult>& results, bool connected)
      : out_(out), d_(d), results_(results), connected_(connected) {
    x0_ = d.x[1];
    x1_ = d.x[d.N];
    if (!(x1_ > x0_)) {
      x0_ -= 1;
      x1_ += 1;
    }
    double top = d.zmax;
    for (const LevelResult& r : results)
      if (r.found) top = std::max(top, r.level);
    double span = top - d.zmin;
    if (!(span > 0)) span = 1;
    z0_ = d.zmin - 0.06 * span;
    z1_ = top + 0.1 * span;
    for (std::size_t i = 0; i < results.size(); ++i)
      drawn_.push_back({&results[i], kLineColours[i % 5], kLineDashes[i % 4]});
    // Each zone thinned once, its bank points kept; the ground runs through all three.
    const int bounds[] = {1, d.il, d.ip, d.N};
    for (int zone = 0; zone < 3; ++zone) {
      zone_beds_[zone] = polyline(d, points_to_draw(d, bounds[zone], bounds[zone + 1], x0_, x1_, kColumns));
      ground_.insert(ground_.end(), zone_beds_[zone].begin() + (zone == 0 ? 0 : 1), zone_beds_[zone].end());
    }
    for (const Drawn& line : drawn_)
      if (line.line()) levels_.push_back(line.result->level);
    std::sort(levels_.begin(), levels_.end(), std::greater<>());
  }

  void write() {
    const Canvas canvas(x0_, x1_, z0_, z1_);
    const Box legend = legend_box(canvas);
    if (legend.right > legend.left) taken_.push_back(legend);
    place_level_labels(canvas);
    const double height = std::max(kHeight, legend.bottom + 12);
    out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << kWidth << "\" height=\"" << height
         << "\" viewBox=\"0 0 " << kWidth << " " << height << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
         << hatching() << "<rect width=\"100%\" height=\"100%\" fill=\"" << kBackground << "\"/>\n";
    grid(canvas);
    water(canvas);
    held_water(canvas);
    model_records(canvas, false);
    ground(canvas);
    model_records(canvas, true);
    walls(canvas);
    banks(canvas);
    level_lines(canvas);
    frame_and_titles(canvas);
    write_legend(legend);
    out_ << "</svg>\n";
  }

 private:
  void text(double x, double y, const char* anchor, const std::string& words, const std::string& more = "") {
    out_ << "<text x=\"" << number(x) << "\" y=\"" << number(y) << "\" text-anchor=\"" << anchor << "\"" << more << ">"
         << xml_escaped(words) << "</text>\n";
  }

  void grid(const Canvas& canvas) {
    const double xs = round_step(x1_ - x0_, 10), zs = round_step(z1_ - z0_, 8);
    const int xd = std::max(0, -decimal_exponent(xs));
    const int zd = std::max(0, -decimal_exponent(zs));
    out_ << "<g stroke=\"" << kGrid << "\" stroke-width=\"1\">\n";
    std::string labels;
    for (double k = std::ceil(x0_ / xs); k * xs <= x1_; ++k) {
      const double x = canvas.X(k * xs);
      out_ << "<line x1=\"" << number(x) << "\" y1=\"" << kTop << "\" x2=\"" << number(x) << "\" y2=\"" << kBottom
           << "\"/>\n";
      // The first and last tick label stay within the canvas.
      const std::string label = number(k * xs, xd);
      const double half = text_width(label) / 2;
      labels += "<text x=\"" + number(std::clamp(x, half + kPad, kWidth - half - kPad)) + "\" y=\"" +
                number(kBottom + 18) + "\" text-anchor=\"middle\">" + label + "</text>\n";
    }
    for (double k = std::ceil(z0_ / zs); k * zs <= z1_; ++k) {
      const double y = canvas.Y(k * zs);
      out_ << "<line x1=\"" << kLeft << "\" y1=\"" << number(y) << "\" x2=\"" << kRight << "\" y2=\"" << number(y)
           << "\"/>\n";
      labels += "<text x=\"" + number(kLeft - 6) + "\" y=\"" + number(y + 4) + "\" text-anchor=\"end\">" +
                number(k * zs, zd) + "</text>\n";
    }
    out_ << "</g>\n<g fill=\"" << kText << "\">\n" << labels << "</g>\n";
  }

  // Each level's water, the highest first: each lower one lies within the
  // one above and is drawn darker over it. Water not connected to the
  // channel's takes a tint of its own.
  void water(const Canvas& canvas) {
    const char* const tints[] = {kFloodplainWater, kChannelWater, kFloodplainWater};
    for (std::size_t k = 0; k < levels_.size(); ++k) {
      const double h = levels_[k];
      for (int zone = 0; zone < 3; ++zone) {
        if (zone_beds_[zone].size() < 2) continue;  // a zone without segments
        out_ << "<path fill=\"" << level_tint(tints[zone], static_cast<int>(k)) << "\" stroke=\"none\" d=\""
             << path_through(canvas, water_outline(zone_beds_[zone], h)) << " Z\"/>\n";
      }
      const SegmentWindow window = connected_window(d_, h);
      for (const WetStretch& s : wet_stretches(d_, h)) {
        if (s.last >= window.first && s.first <= window.last) continue;
        ponded_ = true;
        out_ << "<path fill=\"" << level_tint(kPondedWater, static_cast<int>(k)) << "\" stroke=\"none\" d=\""
             << path_through(canvas, water_between(ground_, s.from, s.to, h)) << " Z\"/>\n";
      }
    }
  }

  // Under the model rules water held back (below an ineffective block's
  // elevation, behind a levee below its crest) carries nothing: it takes the
  // tint of the highest level at which it does flow, or none.
  void held_water(const Canvas& canvas) {
    const CrossSection& d = d_;
    if (d.rules != Rules::model) return;
    for (std::size_t k = 0; k < levels_.size(); ++k)
      for (std::int32_t i = 1; i < d.N;) {
        const std::string fill = held_fill(i, k);
        std::int32_t last = i;
        while (last + 1 < d.N && held_fill(last + 1, k) == fill) ++last;
        if (!fill.empty())
          out_ << "<path fill=\"" << fill << "\" stroke=\"none\" d=\""
               << path_through(canvas, water_outline(polyline(d, indices(i, last + 1)), levels_[k])) << " Z\"/>\n";
        i = last + 1;
      }
  }

  // The fill over segment i's water at the k-th level drawn: "" where it flows.
  std::string held_fill(std::int32_t i, std::size_t k) const {
    const CrossSection& d = d_;
    if (!(levels_[k] < d.flows_from[i]) || std::min(d.z[i], d.z[i + 1]) >= levels_[k]) return "";
    std::size_t flowing = 0;  // the levels drawn before k at which it flows: a prefix, the highest first
    while (flowing < k && levels_[flowing] >= d.flows_from[i]) ++flowing;
    if (flowing == 0) return kBackground;
    const char* const tints[] = {kFloodplainWater, kChannelWater, kFloodplainWater};
    const Zone zone = i < d.il ? Zone::kLeft : i < d.ip ? Zone::kChannel : Zone::kRight;
    return level_tint(tints[zone], static_cast<int>(flowing - 1));
  }

  static std::vector<int> indices(std::int32_t first, std::int32_t last) {
    std::vector<int> all;
    for (std::int32_t i = first; i <= last; ++i) all.push_back(i);
    return all;
  }

  // A river model's records drawn where they stand: ineffective areas
  // hatched up to their elevation (under the ground, which hides their
  // foot), then obstructions solid and levees as walls up to their crests.
  void model_records(const Canvas& canvas, bool over_ground) {
    const CrossSection& d = d_;
    if (d.rules != Rules::model || (d.still.empty() && d.obstructions.empty() && d.walls.empty())) return;
    if (!over_ground)
      out_ << "<defs><pattern id=\"ineffective\" width=\"7\" height=\"7\" patternUnits=\"userSpaceOnUse\">"
              "<path d=\"M0,0 L7,7\" stroke=\"#6b5fa8\" stroke-width=\"1\"/></pattern></defs>\n";
    // the block's rectangle, or (over the ground) its label
    const auto block = [&](const StillWater& b, double top, const char* fill, const std::string& label, bool rect) {
      const double from = std::max(b.from, x0_), to = std::min(b.to, x1_);
      if (!(from < to)) return;
      const double y = canvas.Y(std::min(top, z1_));
      if (rect)
        out_ << "<rect x=\"" << number(canvas.X(from)) << "\" y=\"" << number(y) << "\" width=\""
             << number(canvas.X(to) - canvas.X(from)) << "\" height=\"" << number(kBottom - y) << "\" fill=\"" << fill
             << "\" stroke=\"#6b5fa8\" stroke-width=\"0.8\"/>\n";
      if (over_ground) text(canvas.X(from) + 3, y - 3, "start", label, " font-size=\"10\" fill=\"#4b3f88\"");
    };
    for (const StillWater& b : d.still)
      block(b, b.permanent ? z1_ : b.elevation, "url(#ineffective)",
            b.permanent ? std::string("strefa martwa, sta\u0142a") : "strefa martwa poni\u017Cej " + number(b.elevation, 2),
            !over_ground);
    if (!over_ground) return;
    for (const StillWater& b : d.obstructions)
      block(b, b.elevation, "#8c8478", "przeszkoda " + number(b.elevation, 2), true);
    for (const CrossSection::Wall& w : d.walls) {
      const double x = canvas.X(d.x[w.point]);
      out_ << "<line x1=\"" << number(x) << "\" y1=\"" << number(canvas.Y(d.z[w.point])) << "\" x2=\"" << number(x)
           << "\" y2=\"" << number(canvas.Y(w.crest)) << "\" stroke=\"#7a4a1e\" stroke-width=\"4\"/>\n";
      text(x, canvas.Y(w.crest) - 4, "middle", "wa\u0142 " + number(w.crest, 2), " font-size=\"10\" fill=\"#7a4a1e\"");
    }
  }

  void ground(const Canvas& canvas) {
    const std::vector<Point>& bed = ground_;
    const std::string line = path_through(canvas, bed);
    out_ << "<path fill=\"" << kGround << "\" stroke=\"none\" d=\"" << line << " L" << number(canvas.X(bed.back().x))
         << "," << number(kBottom) << " L" << number(canvas.X(bed.front().x)) << "," << number(kBottom) << " Z\"/>\n"
         << "<path fill=\"none\" stroke=\"" << kGroundLine << "\" stroke-width=\"1.5\" stroke-linejoin=\"round\" d=\""
         << line << "\"/>\n";
  }

  // Water above an end point stands against a wall that is assumed, not
  // surveyed: hatched, at the frame, from the end point up to the water.
  void walls(const Canvas& canvas) {
    if (levels_.empty()) return;
    const CrossSection& d = d_;
    for (const auto& [point, x] : {std::pair{1, kLeft - 6}, std::pair{d.N, kRight}}) {
      if (!(levels_.front() > d.z[point])) continue;
      walled_ = true;
      const double top = canvas.Y(levels_.front()), bottom = canvas.Y(d.z[point]);
      out_ << "<rect x=\"" << number(x) << "\" y=\"" << number(top) << "\" width=\"6\" height=\"" << number(bottom - top)
           << "\" fill=\"url(#wall)\" stroke=\"#555555\" stroke-width=\"0.8\"/>\n";
    }
  }

  // A place for a label beside a vertical line at x, clear of every label
  // placed before: the first row from the top where one side is free and
  // within the frame, the outer side first; where none is, the top row's
  // outer side if it fits, else its inner one.
  Placed beside(double x, bool outer_left, const std::string& words) const {
    const double width = text_width(words);
    const auto fits = [&](bool left) { return left ? x - kPad - width >= kLeft + kPad : x + kPad + width <= kRight - kPad; };
    for (double y = kFirstRow; y <= kLastRow; y += kRowStep)
      for (const bool left : {outer_left, !outer_left}) {
        const Placed place{left ? x - kPad : x + kPad, y, left};
        if (fits(left) && is_free(text_box(place.x, y, left, words))) return place;
      }
    const bool left = fits(outer_left) ? outer_left : !outer_left;
    return {left ? x - kPad : x + kPad, kFirstRow, left};
  }

  bool is_free(const Box& box) const {
    const Box spaced{box.left - kPad / 2, box.top, box.right + kPad / 2, box.bottom};
    return std::none_of(taken_.begin(), taken_.end(), [&](const Box& b) { return overlap(spaced, b); });
  }

  void banks(const Canvas& canvas) {
    const CrossSection& d = d_;
    const struct {
      int point;
      const char* label;
      bool left;
    } banks[] = {{d.il, "brzeg lewy", true}, {d.ip, "brzeg prawy", false}};
    for (const auto& bank : banks) {
      const double x = canvas.X(d.x[bank.point]);
      const std::string words = std::string(bank.label) + " " + number(d.z[bank.point]) + " " + d.units->length;
      out_ << "<line x1=\"" << number(x) << "\" y1=\"" << kTop << "\" x2=\"" << number(x) << "\" y2=\"" << kBottom
           << "\" stroke=\"#555555\" stroke-width=\"1\" stroke-dasharray=\"6 4\"/>\n";
      const Placed place = beside(x, bank.left, words);
      taken_.push_back(text_box(place.x, place.y, place.ends_at_x, words));
      text(place.x, place.y, place.ends_at_x ? "end" : "start", words, " fill=\"" + std::string(kText) + "\"");
    }
  }

  // Each level's label above its line at the widest stretch of water,
  // always within the frame; where an earlier one stands, a row higher, or
  // failing that below the line.
  void place_level_labels(const Canvas& canvas) {
    for (const Drawn& line : drawn_) {
      level_labels_.push_back({0, 0, false});
      if (!line.line()) continue;
      const double h = line.result->level;
      const std::vector<std::pair<double, double>> spans = wet_spans(ground_, h);
      if (spans.empty()) continue;
      const auto widest = *std::max_element(spans.begin(), spans.end(), [](const auto& a, const auto& b) {
        return a.second - a.first < b.second - b.first;
      });
      const std::string label = level_text(d_, h);
      const double x = std::clamp(canvas.X(widest.first) + kPad, kLeft + kPad, kRight - kPad - text_width(label));
      const double above = std::max(canvas.Y(h) - 5, kFirstRow);
      std::vector<double> rows;
      for (double y = above; y >= kFirstRow; y -= kRowStep) rows.push_back(y);
      for (double y = canvas.Y(h) + 16; y <= kLastRow; y += kRowStep) rows.push_back(y);
      const auto free = std::find_if(rows.begin(), rows.end(), [&](double y) { return is_free(text_box(x, y, false, label)); });
      level_labels_.back() = {x, free == rows.end() ? above : *free, false};
      taken_.push_back(text_box(x, level_labels_.back().y, false, label));
    }
  }

  void level_lines(const Canvas& canvas) {
    for (std::size_t i = 0; i < drawn_.size(); ++i) {
      const Drawn& line = drawn_[i];
      if (!line.line()) continue;
      const double h = line.result->level;
      const std::vector<std::pair<double, double>> spans = wet_spans(ground_, h);
      if (spans.empty()) continue;
      std::string path;
      for (const auto& [from, to] : spans) path.append(1, 'M').append(canvas.at({from, h})).append(" H").append(number(canvas.X(to))).append(1, ' ');
      out_ << "<path fill=\"none\" stroke=\"" << line.colour << "\" stroke-width=\"2\""
           << (line.dash.empty() ? "" : " stroke-dasharray=\"" + line.dash + "\"") << " d=\"" << path << "\"/>\n";
      // Drawn twice, first as a white outline, so that it reads on water too.
      const std::string label = level_text(d_, h);
      const double x = level_labels_[i].x, y = level_labels_[i].y;
      text(x, y, "start", label, " fill=\"none\" stroke=\"" + std::string(kBackground) + "\" stroke-width=\"3\"");
      text(x, y, "start", label, " fill=\"" + line.colour + "\"");
    }
  }

  void frame_and_titles(const Canvas& canvas) {
    char exaggeration[64];
    std::snprintf(exaggeration, sizeof exaggeration, "%.3g", canvas.exaggeration());
    const std::string unit = " [" + std::string(d_.units->length) + "]";
    out_ << "<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << kRight - kLeft << "\" height=\""
         << kBottom - kTop << "\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"/>\n";
    text((kLeft + kRight) / 2, kBottom + 40, "middle", "odleg\u0142o\u015B\u0107" + unit);
    out_ << "<text x=\"24\" y=\"" << (kTop + kBottom) / 2 << "\" text-anchor=\"middle\" transform=\"rotate(-90 24 "
         << (kTop + kBottom) / 2 << ")\">rz\u0119dna" << xml_escaped(unit) << "</text>\n";
    text(kRight, kBottom + 40, "end", std::string("przewy\u017Cszenie pionowe ") + exaggeration + "\u00D7",
         " fill=\"#555555\"");
    if (walled_)
      text(kLeft, kBottom + 60, "start",
           std::string("Kreskowanie: woda ponad ko\u0144cem przekroju, utrzymywana przez za\u0142o\u017Con\u0105 "
                       "pionow\u0105 \u015Bcian\u0119 ") +
               (d_.rules == Rules::model ? "z tarciem" : "bez tarcia"),
           " fill=\"#555555\" font-size=\"11\"");
    const LevelResult& first = results_.front();
    text(kLeft, 30, "start", first.section.empty() ? first.file : first.file + ", " + first.section.text(),
         " font-size=\"16\" font-weight=\"bold\"");
    text(kLeft, 52, "start", title_values(d_, results_), " font-size=\"13\"");
  }

  // The legend's entries: each result, and ponded water where there is some.
  std::vector<std::string> legend_entries() const {
    std::vector<std::string> entries;
    if (drawn_.size() >= 2)
      for (const Drawn& line : drawn_) entries.push_back(legend_text(d_, *line.result));
    if (has_ponds()) entries.push_back(ponded_text(connected_));
    return entries;
  }

  bool has_ponds() const {
    for (const double h : levels_) {
      const SegmentWindow window = connected_window(d_, h);
      for (const WetStretch& s : wet_stretches(d_, h))
        if (s.last < window.first || s.first > window.last) return true;
    }
    return false;
  }

  // Where the legend covers no ground and no water: the highest ground or
  // water under it lies below it. Top left, top right or top middle of the
  // plot where one of them is free, else below the plot.
  bool free_above(const Canvas& canvas, const Box& box) const {
    double highest = INFINITY;  // the smallest y on the canvas
    for (std::size_t i = 0; i < ground_.size(); ++i) {
      const double x = canvas.X(ground_[i].x);
      if (x >= box.left && x <= box.right) highest = std::min(highest, canvas.Y(ground_[i].z));
      if (i == 0) continue;
      const double x0 = canvas.X(ground_[i - 1].x);
      for (const double edge : {box.left, box.right})
        if ((x0 - edge) * (x - edge) <= 0 && x != x0) {
          const double t = (edge - x0) / (x - x0);
          highest = std::min(highest, canvas.Y(ground_[i - 1].z + t * (ground_[i].z - ground_[i - 1].z)));
        }
    }
    for (const double h : levels_)
      for (const auto& [from, to] : wet_spans(ground_, h))
        if (canvas.X(to) >= box.left && canvas.X(from) <= box.right) highest = std::min(highest, canvas.Y(h));
    return box.bottom + kPad < highest;
  }

  Box legend_box(const Canvas& canvas) const {
    const std::vector<std::string> entries = legend_entries();
    if (entries.empty()) return {0, 0, 0, 0};
    double longest = 0;
    for (const std::string& e : entries) longest = std::max(longest, text_width(e));
    const double width = 52 + longest, height = 15.0 * static_cast<double>(entries.size()) + 10;
    const double top = kTop + 34;  // under the bank labels
    for (const double left : {kLeft + 8, kRight - 8 - width, (kLeft + kRight - width) / 2}) {
      const Box box{left, top, left + width, top + height};
      if (left >= kLeft && free_above(canvas, box)) return box;
    }
    const double below = kBottom + 72;
    return {kLeft, below, kLeft + width, below + height};
  }

  void write_legend(const Box& box) {
    const std::vector<std::string> entries = legend_entries();
    if (entries.empty()) return;
    out_ << "<g id=\"legend\">\n<rect x=\"" << number(box.left) << "\" y=\"" << number(box.top) << "\" width=\""
         << number(box.right - box.left) << "\" height=\"" << number(box.bottom - box.top) << "\" fill=\""
         << kBackground << "\" fill-opacity=\"0.9\" stroke=\"#999999\"/>\n";
    double y = box.top + 16;
    const double x = box.left + 8;
    for (std::size_t i = 0; i < entries.size(); ++i, y += 15) {
      const bool result = i < drawn_.size() && drawn_.size() >= 2;
      if (result && drawn_[i].line())
        out_ << "<line x1=\"" << number(x) << "\" y1=\"" << number(y - 4) << "\" x2=\"" << number(x + 30) << "\" y2=\""
             << number(y - 4) << "\" stroke=\"" << drawn_[i].colour << "\" stroke-width=\"2\""
             << (drawn_[i].dash.empty() ? "" : " stroke-dasharray=\"" + drawn_[i].dash + "\"") << "/>\n";
      if (!result)
        out_ << "<rect x=\"" << number(x) << "\" y=\"" << number(y - 10) << "\" width=\"30\" height=\"10\" fill=\""
             << kPondedWater << "\"/>\n";
      text(x + 36, y, "start", entries[i]);
    }
    out_ << "</g>\n";
  }

  std::ostream& out_;
  const CrossSection& d_;
  const std::vector<LevelResult>& results_;
  bool connected_;
  std::vector<Drawn> drawn_;
  std::vector<Box> taken_;             // the legend and every label placed so far
  std::vector<Placed> level_labels_;  // each drawn result's, in drawn_ order
  std::vector<Point> zone_beds_[3], ground_;
  std::vector<double> levels_;  // the levels drawn, highest first
  double x0_ = 0, x1_ = 1, z0_ = 0, z1_ = 1;
  bool walled_ = false, ponded_ = false;
};

}  // namespace

void write_picture(std::ostream& out, const CrossSection& d, const std::vector<LevelResult>& results, bool connected) {
  if (results.empty()) return;
  Picture(out, d, results, connected).write();
}

}  // namespace normlevel
