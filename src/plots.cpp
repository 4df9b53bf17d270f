#include "plots.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "CSdata.h"
#include "energy.h"
#include "picture.h"
#include "power.h"
#include "rating.h"
#include "zones.h"

namespace normlevel {

// Forward then backward: the first pass keeps order and gap, the second
// pulls back what the first pushed past the bottom.
std::vector<double> spread_apart(std::vector<double> wanted, double gap, double top, double bottom) {
  for (std::size_t i = 0; i < wanted.size(); ++i)
    wanted[i] = std::max(wanted[i], i == 0 ? top : wanted[i - 1] + gap);
  for (std::size_t i = wanted.size(); i-- > 0;)
    wanted[i] = std::min(wanted[i], i + 1 == wanted.size() ? bottom : wanted[i + 1] - gap);
  return wanted;
}

std::vector<double> carrying_levels(const LevelResult& r) {
  if (!r.found) return {};
  if (r.normal_levels.empty()) return {r.level};  // --connected: only the walk's is known
  std::vector<double> levels;
  for (const NormalLevel& l : r.normal_levels) levels.push_back(l.level);
  return levels;
}

namespace {

constexpr double kWidth = 860, kHeight = 520;
constexpr double kLeft = 80, kTop = 56, kRight = 600, kBottom = 460;
constexpr double kColumn = kRight + 14;  // the marks' labels, right of the frame
constexpr double kLineGap = 16;
constexpr int kSamples = 400;

const char* const kZoneFills[] = {kFloodplainWater, kChannelWater, "#5fa3e0"};
const char* const kZoneNames[] = {"lewy teren zalewowy", "koryto", "prawy teren zalewowy"};

struct Range {
  double lo, hi;
};

// A range widened to whole ticks of a 1-2-5 step.
Range nice(Range r, double& step) {
  if (!(r.hi > r.lo)) r = {r.lo - 1, r.lo + 1};
  step = round_step(r.hi - r.lo, 6);
  return {std::floor(r.lo / step) * step, std::ceil(r.hi / step) * step};
}

int decimals_for(double step) { return std::max(0, -decimal_exponent(step)); }

// The frame, its axes and their ticks; maps figures to pixels.
class Axes {
 public:
  Axes(Range x, Range y) {
    x_ = nice(x, x_step_);
    y_ = nice(y, y_step_);
  }
  double px(double x) const { return kLeft + (x - x_.lo) / (x_.hi - x_.lo) * (kRight - kLeft); }
  double py(double y) const { return kBottom - (y - y_.lo) / (y_.hi - y_.lo) * (kBottom - kTop); }

  void begin(std::ostream& out, const std::string& title) const {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << kWidth << "\" height=\"" << kHeight
        << "\" viewBox=\"0 0 " << kWidth << " " << kHeight << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
        << "<rect x=\"0\" y=\"0\" width=\"" << kWidth << "\" height=\"" << kHeight << "\" fill=\"" << kBackground
        << "\"/>\n<clipPath id=\"frame\"><rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << kRight - kLeft
        << "\" height=\"" << kBottom - kTop << "\"/></clipPath>\n";
    text(out, {kWidth / 2, 24, title, "middle"}, 15);
  }

  void end(std::ostream& out, const std::string& x_title, const std::string& y_title) const {
    out << "<g stroke=\"#000000\" stroke-width=\"1\">\n";
    for (double v = x_.lo; v <= x_.hi + x_step_ / 2; v += x_step_)
      out << "<line x1=\"" << px(v) << "\" y1=\"" << kBottom << "\" x2=\"" << px(v) << "\" y2=\"" << kBottom + 5
          << "\"/>\n";
    for (double v = y_.lo; v <= y_.hi + y_step_ / 2; v += y_step_)
      out << "<line x1=\"" << kLeft - 5 << "\" y1=\"" << py(v) << "\" x2=\"" << kLeft << "\" y2=\"" << py(v) << "\"/>\n";
    out << "</g>\n<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << kRight - kLeft << "\" height=\""
        << kBottom - kTop << "\" fill=\"none\" stroke=\"#000000\"/>\n";
    for (double v = x_.lo; v <= x_.hi + x_step_ / 2; v += x_step_)
      text(out, {px(v), kBottom + 19, fixed_number(v, decimals_for(x_step_)), "middle"});
    for (double v = y_.lo; v <= y_.hi + y_step_ / 2; v += y_step_)
      text(out, {kLeft - 8, py(v) + 4, fixed_number(v, decimals_for(y_step_)), "end"});
    text(out, {(kLeft + kRight) / 2, kBottom + 42, x_title, "middle"}, 13);
    text(out, {kLeft - 8, kTop - 12, y_title, "start"}, 13);
    out << "</svg>\n";
  }

  static void text(std::ostream& out, const PlotLabel& l, int size = 12) {
    out << "<text x=\"" << l.x << "\" y=\"" << l.y << "\" text-anchor=\"" << l.anchor << "\"";
    if (size != 12) out << " font-size=\"" << size << "\"";
    out << ">" << xml_escaped(l.text) << "</text>\n";
  }

  std::string path(const std::vector<std::pair<double, double>>& points) const {
    std::string d;
    bool broken = true;
    for (const auto& [x, y] : points) {
      if (std::isnan(x)) {
        broken = true;
        continue;
      }
      d += (broken ? (d.empty() ? "M" : " M") : " L") + fixed_number(px(x), 2) + "," + fixed_number(py(y), 2);
      broken = false;
    }
    return d;
  }

  // A level across the frame, its label in the column right of it (with a
  // leader where the label had to move off its level).
  void level_mark(std::ostream& out, double level, double label_y, const std::string& label, const char* dashes) const {
    const double y = py(level);
    out << "<line x1=\"" << kLeft << "\" y1=\"" << y << "\" x2=\"" << kRight << "\" y2=\"" << y
        << "\" stroke=\"#202020\" stroke-width=\"1.2\"" << (*dashes ? " stroke-dasharray=\"" : "") << dashes
        << (*dashes ? "\"" : "") << "/>\n";
    out << "<polyline fill=\"none\" stroke=\"#808080\" points=\"" << kRight << "," << y << " " << kColumn - 4 << ","
        << label_y - 4 << "\"/>\n";
    text(out, {kColumn, label_y, label, "start"});
  }

 private:
  Range x_{}, y_{};
  double x_step_ = 1, y_step_ = 1;
};

std::string level_words(const CrossSection& d, double h) { return fixed_number(h, 3) + " " + d.units->length; }

struct Mark {
  double level;
  std::string label;
  const char* dashes;
};

// The marks in the label column, below `top`, in order of their levels.
void write_marks(std::ostream& out, const Axes& axes, std::vector<Mark> marks, double top) {
  std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.level > b.level; });
  std::vector<double> wanted;
  for (const Mark& m : marks) wanted.push_back(axes.py(m.level) + 4);
  const std::vector<double> at = spread_apart(wanted, kLineGap, top, kHeight - 8);
  for (std::size_t i = 0; i < marks.size(); ++i) axes.level_mark(out, marks[i].level, at[i], marks[i].label, marks[i].dashes);
}

std::string discharge_words(const CrossSection& d, double Q) { return fixed_number(Q, 2) + " " + d.units->discharge; }

std::vector<Mark> asked_levels(const CrossSection& d, const std::vector<LevelResult>& results) {
  std::vector<Mark> marks;
  for (const LevelResult& r : results)
    for (const double h : carrying_levels(r))
      marks.push_back({h, "Q " + discharge_words(d, r.discharge) + ": " + level_words(d, h), ""});
  return marks;
}

// The stacked zones' areas, left floodplain at the bottom of the stack.
void write_bands(std::ostream& out, const Axes& axes, double zmin, const RatingTable& table) {
  double (*const share[])(const RatingRow&) = {
      [](const RatingRow& r) { return r.left_discharge; },
      [](const RatingRow& r) { return r.left_discharge + r.channel_discharge; },
      [](const RatingRow& r) { return r.left_discharge + r.channel_discharge + r.right_discharge; }};
  for (int zone = 2; zone >= 0; --zone) {
    std::vector<std::pair<double, double>> outline{{0, zmin}};
    for (const RatingRow& row : table.rows) outline.emplace_back(share[zone](row), row.level);
    outline.emplace_back(0, table.rows.back().level);
    out << "<path clip-path=\"url(#frame)\" fill=\"" << kZoneFills[zone] << "\" stroke=\"none\" d=\"" << axes.path(outline)
        << " Z\"/>\n";
  }
  std::vector<std::pair<double, double>> curve;
  for (const RatingRow& row : table.rows) curve.emplace_back(row.discharge, row.level);
  out << "<path clip-path=\"url(#frame)\" fill=\"none\" stroke=\"#0b2e59\" stroke-width=\"2\" d=\"" << axes.path(curve)
      << "\"/>\n";
}

void write_legend(std::ostream& out) {
  for (int zone = 0; zone < 3; ++zone) {
    const double y = kTop + 4 + zone * kLineGap;
    out << "<rect x=\"" << kColumn << "\" y=\"" << y - 10 << "\" width=\"12\" height=\"12\" fill=\"" << kZoneFills[zone]
        << "\"/>\n";
    Axes::text(out, {kColumn + 18, y, kZoneNames[zone], "start"});
  }
}

}  // namespace

void write_rating_plot(std::ostream& out, const CrossSection& d, const std::vector<LevelResult>& results, bool connected) {
  const RatingTable table = rating_table(d, (d.zmax - d.zmin) / kSamples, connected);
  double Qmax = 0;
  for (const RatingRow& row : table.rows) Qmax = std::max(Qmax, row.discharge);
  const Axes axes({0, Qmax}, {d.zmin, table.rows.back().level});
  axes.begin(out, "Krzywa natężenia przepływu");
  write_bands(out, axes, d.zmin, table);
  write_legend(out);
  std::vector<Mark> marks = asked_levels(d, results);
  const double bankfull = std::min(d.z[d.il], d.z[d.ip]);
  marks.push_back({bankfull, "brzegi: " + level_words(d, bankfull), "6 4"});
  write_marks(out, axes, marks, kTop + 3 * kLineGap + 14);
  axes.end(out, "przepływ Q [" + std::string(d.units->discharge) + "]", "rzędna [" + std::string(d.units->length) + "]");
}

void write_energy_plot(std::ostream& out, const CrossSection& d, const std::vector<LevelResult>& results) {
  const LevelResult& r = results.front();
  const double Q = r.discharge;
  const double span = d.zmax - d.zmin;
  double Emax = d.zmax + span / 2;
  for (const CriticalLevel& c : r.critical_levels) Emax = std::max(Emax, c.energy + span / 10);
  const Axes axes({d.zmin, Emax}, {d.zmin, d.zmax});
  // Far off the frame the curve is left out (a break in its line): where
  // little is wet, E runs to millions and back between two samples.
  std::vector<std::pair<double, double>> curve;
  for (int k = 1; k <= kSamples; ++k) {
    const double h = d.zmin + span * k / kSamples;
    const double E = specific_energy(d, geometry_at(d, h), h, Q).E;
    curve.emplace_back(E <= Emax + span ? E : std::nan(""), h);
  }
  axes.begin(out, "Energia właściwa, Q = " + discharge_words(d, Q));
  out << "<path clip-path=\"url(#frame)\" fill=\"none\" stroke=\"#9a9a9a\" stroke-dasharray=\"4 4\" d=\""
      << axes.path({{d.zmin, d.zmin}, {d.zmax, d.zmax}}) << "\"/>\n"
      << "<path clip-path=\"url(#frame)\" fill=\"none\" stroke=\"#0b2e59\" stroke-width=\"2\" d=\"" << axes.path(curve)
      << "\"/>\n";
  std::vector<Mark> marks = asked_levels(d, {r});
  for (std::size_t i = 0; i < r.critical_levels.size(); ++i) {
    const CriticalLevel& c = r.critical_levels[i];
    const bool governing = static_cast<int>(i) == r.critical;
    marks.push_back({c.level, (governing ? "krytyczna miarodajna: " : "krytyczna: ") + level_words(d, c.level),
                     governing ? "2 3" : "8 3 2 3"});
    out << "<circle clip-path=\"url(#frame)\" cx=\"" << axes.px(c.energy) << "\" cy=\"" << axes.py(c.level) << "\" r=\"4\" fill=\"#c0392b\"/>\n";
  }
  Axes::text(out, {kColumn, kTop + 4, "E = h + αv²/2g", "start"});
  write_marks(out, axes, marks, kTop + kLineGap + 14);
  const std::string m = d.units->length;
  axes.end(out, "energia właściwa E [" + m + "]", "rzędna h [" + m + "]");
}

}  // namespace normlevel
