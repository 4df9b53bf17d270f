#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "CSdata.h"
#include "NumberField.h"
#include "dialogue.h"

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
  const double power = std::pow(10.0, std::floor(std::log10(wanted)));
  for (const double multiple : {1.0, 2.0, 5.0})
    if (multiple * power >= wanted * (1 - 1e-12)) return multiple * power;
  return 10 * power;
}

std::vector<int> points_to_draw(int first, int last, double x0, double x1, int columns) {
  std::vector<int> drawn;
  if (last - first + 1 <= 4 * columns || !(x1 > x0)) {
    for (int i = first; i <= last; ++i) drawn.push_back(i);
    return drawn;
  }
  const auto column = [&](int i) {
    return std::clamp(static_cast<int>((CSDATA.x[i] - x0) / (x1 - x0) * columns), 0, columns - 1);
  };
  for (int start = first; start <= last;) {
    int end = start, lowest = start, highest = start;
    while (end + 1 <= last && column(end + 1) == column(start)) {
      ++end;
      if (CSDATA.z[end] < CSDATA.z[lowest]) lowest = end;
      if (CSDATA.z[end] > CSDATA.z[highest]) highest = end;
    }
    int kept[] = {start, lowest, highest, end};
    std::sort(std::begin(kept), std::end(kept));
    for (const int i : kept)
      if (drawn.empty() || drawn.back() != i) drawn.push_back(i);
    start = end + 1;
  }
  return drawn;
}

namespace {

// The drawing: a 960 x 600 canvas, the plot inside its margins.
constexpr double kWidth = 960, kHeight = 600;
constexpr double kLeft = 90, kRight = 930, kTop = 100, kBottom = 530;
constexpr int kColumns = static_cast<int>(kRight - kLeft);

constexpr const char* kGroundLine = "#5b4526";
constexpr const char* kGrid = "#e3e3e3";
constexpr const char* kLineColours[] = {"#0a2f6e", "#c0392b", "#1e7f3c", "#7d3c98", "#b9770e"};
constexpr const char* kLineDashes[] = {"", "9 4", "3 3", "12 4 3 4"};

struct Point {
  double x, z;
};

// Fixed decimals, and no "-0" for a value that rounds to zero.
std::string number(double value, int decimals = 2) {
  char text[400];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  const std::string s = text;
  const bool zero = s.find_first_not_of("-0.") == std::string::npos;
  return zero && s[0] == '-' ? s.substr(1) : s;
}

// The notice without its leading blank and line end.
std::string notice_text() {
  const std::string notice = kNotice;
  return notice.substr(1, notice.find('\r') - 1);
}

// A figure as the report prints it: five decimals.
std::string as_reported(double level) {
  const std::string field = format_value(level);
  return field.substr(field.find_first_not_of(' '));
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

std::vector<Point> polyline(const std::vector<int>& indices) {
  std::vector<Point> points;
  for (const int i : indices) points.push_back({CSDATA.x[i], CSDATA.z[i]});
  return points;
}

// The bed clipped to the level: where it rises above, the water's surface.
std::vector<Point> water_outline(const std::vector<Point>& bed, double h) {
  std::vector<Point> outline = {{bed.front().x, h}};
  for (std::size_t i = 0; i < bed.size(); ++i) {
    if (i > 0 && (bed[i - 1].z < h) != (bed[i].z < h) && bed[i].z != bed[i - 1].z) {
      const double t = (h - bed[i - 1].z) / (bed[i].z - bed[i - 1].z);
      outline.push_back({bed[i - 1].x + t * (bed[i].x - bed[i - 1].x), h});
    }
    outline.push_back({bed[i].x, std::min(bed[i].z, h)});
  }
  outline.push_back({bed.back().x, h});
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
    const auto crossing = [&] { return a.x + (h - a.z) / (b.z - a.z) * (b.x - a.x); };
    if (a.z < h && b.z < h)
      add(a.x, b.x);
    else if (a.z < h)
      add(a.x, crossing());
    else if (b.z < h)
      add(crossing(), b.x);
  }
  return spans;
}

std::string path_through(const Canvas& canvas, const std::vector<Point>& points) {
  std::string d;
  for (const Point& p : points) d += (d.empty() ? "M" : " L") + canvas.at(p);
  return d;
}

// What is drawn for one result: its level line, or only its legend entry.
struct Drawn {
  const LevelResult* result;
  std::string colour, dash;
};

// A discharge asked for as given; one computed at a level as the report
// prints its figures.
std::string discharge_text(const LevelResult& r) {
  return "Q = " + (r.query.kind == Query::Kind::level ? as_reported(r.discharge) : plain_number(r.discharge)) + " m3/s";
}

std::string legend_text(const LevelResult& r) {
  const std::string flow = discharge_text(r);
  if (!r.found) return flow + ": " + notice_text();
  return "zw. wody " + as_reported(r.level) + " m, " + flow;
}

std::string title_values(const std::vector<LevelResult>& results) {
  std::string text;
  if (results.size() == 1) text = discharge_text(results[0]) + ", ";
  text += "s = " + plain_number(CSDATA.s_per_mille) + " promil, nc = " + plain_number(CSDATA.nc) +
          ", nf = " + plain_number(CSDATA.nf);
  if (results.size() == 1 && !results[0].found) text += " - " + notice_text();
  return text;
}

class Picture {
 public:
  Picture(std::ostream& out, const std::vector<LevelResult>& results) : out_(out), results_(results) {
    const CrossSection& d = CSDATA;
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
      zone_beds_[zone] = polyline(points_to_draw(bounds[zone], bounds[zone + 1], x0_, x1_, kColumns));
      ground_.insert(ground_.end(), zone_beds_[zone].begin() + (zone == 0 ? 0 : 1), zone_beds_[zone].end());
    }
  }

  void write() {
    const Canvas canvas(x0_, x1_, z0_, z1_);
    out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << kWidth << "\" height=\""
         << kHeight << "\" viewBox=\"0 0 " << kWidth << " " << kHeight
         << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
         << "<rect width=\"100%\" height=\"100%\" fill=\"" << kBackground << "\"/>\n";
    grid(canvas);
    water(canvas);
    ground(canvas);
    banks(canvas);
    level_lines(canvas);
    frame_and_titles(canvas);
    legend();
    out_ << "</svg>\n";
  }

 private:
  void grid(const Canvas& canvas) {
    const double xs = round_step(x1_ - x0_, 10), zs = round_step(z1_ - z0_, 8);
    const int xd = std::max(0, -static_cast<int>(std::floor(std::log10(xs))));
    const int zd = std::max(0, -static_cast<int>(std::floor(std::log10(zs))));
    out_ << "<g stroke=\"" << kGrid << "\" stroke-width=\"1\">\n";
    std::string labels;
    for (double k = std::ceil(x0_ / xs); k * xs <= x1_; ++k) {
      const double x = canvas.X(k * xs);
      out_ << "<line x1=\"" << number(x) << "\" y1=\"" << kTop << "\" x2=\"" << number(x) << "\" y2=\"" << kBottom
           << "\"/>\n";
      labels += "<text x=\"" + number(x) + "\" y=\"" + number(kBottom + 18) + "\" text-anchor=\"middle\">" +
                number(k * xs, xd) + "</text>\n";
    }
    for (double k = std::ceil(z0_ / zs); k * zs <= z1_; ++k) {
      const double y = canvas.Y(k * zs);
      out_ << "<line x1=\"" << kLeft << "\" y1=\"" << number(y) << "\" x2=\"" << kRight << "\" y2=\"" << number(y)
           << "\"/>\n";
      labels += "<text x=\"" + number(kLeft - 6) + "\" y=\"" + number(y + 4) + "\" text-anchor=\"end\">" +
                number(k * zs, zd) + "</text>\n";
    }
    out_ << "</g>\n<g fill=\"#333333\">\n" << labels << "</g>\n";
  }

  // The highest level's water, zone by zone; lower levels lie within it.
  void water(const Canvas& canvas) {
    const LevelResult* highest = nullptr;
    for (const LevelResult& r : results_)
      if (r.found && (highest == nullptr || r.level > highest->level)) highest = &r;
    if (highest == nullptr) return;
    const char* const tints[] = {kFloodplainWater, kChannelWater, kFloodplainWater};
    for (int zone = 0; zone < 3; ++zone) {
      if (zone_beds_[zone].size() < 2) continue;  // a zone without segments
      out_ << "<path fill=\"" << tints[zone] << "\" stroke=\"none\" d=\""
           << path_through(canvas, water_outline(zone_beds_[zone], highest->level)) << " Z\"/>\n";
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

  void banks(const Canvas& canvas) {
    const CrossSection& d = CSDATA;
    const struct {
      int point;
      const char* label;
      const char* anchor;
      double shift;
    } banks[] = {{d.il, "brzeg lewy", "end", -4}, {d.ip, "brzeg prawy", "start", 4}};
    for (const auto& bank : banks) {
      const std::string x = number(canvas.X(d.x[bank.point]));
      out_ << "<line x1=\"" << x << "\" y1=\"" << kTop << "\" x2=\"" << x << "\" y2=\"" << kBottom
           << "\" stroke=\"#555555\" stroke-width=\"1\" stroke-dasharray=\"6 4\"/>\n"
           << "<text x=\"" << number(canvas.X(d.x[bank.point]) + bank.shift) << "\" y=\"" << number(kTop + 14)
           << "\" text-anchor=\"" << bank.anchor << "\" fill=\"#333333\">" << bank.label << " "
           << as_reported(d.z[bank.point]) << " m</text>\n";
    }
  }

  void level_lines(const Canvas& canvas) {
    for (const Drawn& line : drawn_) {
      if (!line.result->found) continue;
      const double h = line.result->level;
      const std::vector<std::pair<double, double>> spans = wet_spans(ground_, h);
      if (spans.empty()) continue;
      std::string path;
      for (const auto& [from, to] : spans) {
        path += 'M';
        path += canvas.at({from, h});
        path += " H";
        path += number(canvas.X(to));
        path += ' ';
      }
      out_ << "<path fill=\"none\" stroke=\"" << line.colour << "\" stroke-width=\"2\""
           << (line.dash.empty() ? "" : " stroke-dasharray=\"" + line.dash + "\"") << " d=\"" << path << "\"/>\n";
      const auto widest = *std::max_element(spans.begin(), spans.end(), [](const auto& a, const auto& b) {
        return a.second - a.first < b.second - b.first;
      });
      // Drawn twice, first as a white outline, so that it reads on water too.
      const std::string place = "x=\"" + number(canvas.X(widest.first) + 4) + "\" y=\"" + number(canvas.Y(h) - 5) + "\"";
      const std::string label = "zw. wody " + as_reported(h) + " m";
      out_ << "<text " << place << " fill=\"none\" stroke=\"" << kBackground << "\" stroke-width=\"3\">" << label
           << "</text>\n<text " << place << " fill=\"" << line.colour << "\">" << label << "</text>\n";
    }
  }

  void frame_and_titles(const Canvas& canvas) {
    char exaggeration[64];
    std::snprintf(exaggeration, sizeof exaggeration, "%.3g", canvas.exaggeration());
    out_ << "<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << kRight - kLeft << "\" height=\""
         << kBottom - kTop << "\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"/>\n"
         << "<text x=\"" << (kLeft + kRight) / 2 << "\" y=\"" << kBottom + 40
         << "\" text-anchor=\"middle\">odleglosc [m]</text>\n"
         << "<text x=\"24\" y=\"" << (kTop + kBottom) / 2 << "\" text-anchor=\"middle\" transform=\"rotate(-90 24 "
         << (kTop + kBottom) / 2 << ")\">rzedna [m]</text>\n"
         << "<text x=\"" << kRight << "\" y=\"" << kBottom + 40 << "\" text-anchor=\"end\" fill=\"#555555\">"
         << "przewyzszenie pionowe " << exaggeration << " x</text>\n"
         << "<text x=\"" << kLeft << "\" y=\"30\" font-size=\"16\" font-weight=\"bold\">"
         << xml_escaped(results_.front().file) << "</text>\n"
         << "<text x=\"" << kLeft << "\" y=\"52\" font-size=\"13\">" << xml_escaped(title_values(results_))
         << "</text>\n";
  }

  // Top right inside the plot, on a white card so that no line shows through.
  void legend() {
    if (drawn_.size() < 2) return;
    std::size_t longest = 0;
    for (const Drawn& line : drawn_) longest = std::max(longest, legend_text(*line.result).size());
    const double width = 52 + 7.0 * static_cast<double>(longest);  // 12-pixel sans-serif: under 7 pixels a letter
    const double x = kRight - width;
    out_ << "<rect x=\"" << x - 8 << "\" y=\"" << kTop + 24 << "\" width=\"" << width << "\" height=\"" << 15 * drawn_.size() + 10
         << "\" fill=\"" << kBackground << "\" fill-opacity=\"0.9\" stroke=\"#999999\"/>\n";
    double y = kTop + 40;
    for (const Drawn& line : drawn_) {
      if (line.result->found)
        out_ << "<line x1=\"" << x << "\" y1=\"" << y - 4 << "\" x2=\"" << x + 30 << "\" y2=\"" << y - 4
             << "\" stroke=\"" << line.colour << "\" stroke-width=\"2\""
             << (line.dash.empty() ? "" : " stroke-dasharray=\"" + line.dash + "\"") << "/>\n";
      out_ << "<text x=\"" << x + 36 << "\" y=\"" << y << "\">" << xml_escaped(legend_text(*line.result))
           << "</text>\n";
      y += 15;
    }
  }

  std::ostream& out_;
  const std::vector<LevelResult>& results_;
  std::vector<Drawn> drawn_;
  std::vector<Point> zone_beds_[3], ground_;
  double x0_ = 0, x1_ = 1, z0_ = 0, z1_ = 1;
};

}  // namespace

void write_picture(std::ostream& out, const std::vector<LevelResult>& results) {
  if (results.empty()) return;
  Picture(out, results).write();
}

}  // namespace normlevel
