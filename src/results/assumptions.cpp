#include "results/assumptions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/search.h"
#include "hydraulics/zones.h"

namespace normlevel {

namespace {

// Beyond these a value is more likely mistyped than real.
constexpr double kLeastN = 0.008, kMostN = 0.3;
constexpr double kSteepest = 100, kFlattest = 0.01;  // per mille
constexpr std::size_t kPondsNamed = 5;
constexpr double kJump = 1e-6;  // a change at once, not a steep stretch seen across two ulps
constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::string percent(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", 100 * share);
  return text;
}

class Warnings {
 public:
  Warnings(const CrossSection& d, const LevelResult& r, bool connected)
      : d_(d), r_(r), connected_(connected), m_(r.units->length) {}

  std::vector<Warning> all() {
    below_bed();
    walls();
    above_section();
    ponded();
    supercritical();
    several_levels();
    discharge_jump();
    roughness();
    slope();
    notice_reason();
    return std::move(list_);
  }

 private:
  void add(const char* code, const std::string& message) { list_.push_back({code, message}); }
  std::string length(double value) const { return figure(value) + " " + m_; }
  // Value beside other, in all its digits where millimetres would make the two look alike.
  std::string apart(double value, double other) const {
    return figure(value) != figure(other) ? length(value) : shortest_real(value) + " " + m_;
  }

  void below_bed() {
    if (r_.query.kind == Query::Kind::level && r_.level < r_.zmin)
      add("below_bed", "the level " + apart(r_.level, r_.zmin) + " lies below the lowest point (" +
                           apart(r_.zmin, r_.level) + "): nothing is wet and the discharge is 0");
  }

  void walls() {
    if (!r_.found) return;
    const CrossSection& d = d_;
    const struct {
      const char* code;
      const char* side;
      std::int32_t point;
    } ends[] = {{"wall_left", "left", 1}, {"wall_right", "right", d.N}};
    for (const auto& end : ends)
      if (r_.level > d.z[end.point])
        add(end.code, "the water stands " + length(r_.level - d.z[end.point]) + " above the " + end.side +
                          " end point (station " + figure(d.x[end.point]) + "): an assumed " +
                          (d.rules == Rules::model ? "wall with friction" : "frictionless wall") + " holds it");
  }

  void above_section() {
    if (r_.found && r_.level > r_.zmax)
      add("above_section", "the level stands " + length(r_.level - r_.zmax) + " above the section's highest point (" +
                               length(r_.zmax) + ")");
  }

  // The highest point between two stations' points: what holds a pond apart.
  double ridge(std::int32_t from, std::int32_t to) const {
    double top = d_.z[from];
    for (std::int32_t i = from; i <= to; ++i) top = std::max(top, d_.z[i]);
    return top;
  }

  // Where a dry channel gets wet first: its lowest point, the one nearest
  // the side a pond lies on.
  std::int32_t channel_low(bool left) const {
    std::int32_t low = d_.il;
    for (std::int32_t i = d_.il; i <= d_.ip; ++i)
      if (left ? d_.z[i] < d_.z[low] : d_.z[i] <= d_.z[low]) low = i;
    return low;
  }

  // The ground a pond's water must rise over to reach the channel's: the
  // highest point between them, the lowest of a dry channel's own among them.
  double parting_ground(const WetStretch& s, SegmentWindow window) const {
    const bool dry = window.first > window.last;
    const bool left = dry ? s.last < d_.il : s.last < window.first;
    if (dry) return left ? ridge(s.last + 1, channel_low(true)) : ridge(channel_low(false), s.first);
    return left ? ridge(s.last + 1, window.first) : ridge(window.last + 1, s.first);
  }

  void ponded() {
    if (!r_.found || r_.level <= r_.zmin) return;
    const double h = r_.level;
    const std::vector<WetStretch> stretches = wet_stretches(d_, h);
    const SegmentWindow window = connected_window(d_, stretches);
    std::size_t named = 0;
    for (const WetStretch& s : stretches) {
      if (s.last >= window.first && s.first <= window.last) continue;
      if (++named > kPondsNamed) continue;
      const double top = parting_ground(s, window);
      const double share = r_.zones.total.discharge > 0
                               ? discharge_within(d_, h, {s.first, s.last}) / r_.zones.total.discharge
                               : 0;
      add("ponded", "water from station " + figure(s.from) + " to " + figure(s.to) +
                        " is not connected to the channel's: ground at " + length(top) + ", " + length(top - h) +
                        " above the level, parts them; " +
                        (connected_ ? "it carries nothing (--connected)"
                                    : "it is counted as carrying " + percent(share) + " of the flow"));
    }
    if (named > kPondsNamed)
      add("ponded", "and " + std::to_string(named - kPondsNamed) + " more stretches of water not connected to the channel's");
  }

  void supercritical() {
    if (std::string_view(r_.regime) != "supercritical") return;
    const double critical = r_.critical_levels[static_cast<std::size_t>(r_.critical)].level;
    add("supercritical", "the normal flow is supercritical (Froude number " + figure(r_.energy.froude) +
                             ", critical level " + length(critical) +
                             "): the level holds only on a long uniform reach");
  }

  void several_levels() {
    const std::vector<NormalLevel>& all = r_.normal_levels;
    if (all.size() < 2) return;
    std::string levels, falls;
    for (std::size_t i = 0; i < all.size(); ++i) {
      levels += (i ? ", " : "") + figure(all[i].level);
      if (all[i].falling && i > 0)
        falls += (falls.empty() ? "" : ", ") + figure(all[i - 1].level) + " and " + figure(all[i].level);
    }
    add("several_levels", "the section carries " + figure(r_.discharge) + " " + r_.units->discharge + " at " +
                              std::to_string(all.size()) + " levels (" + levels + " " + m_ +
                              "): its conveyance falls between " + (falls.empty() ? "them" : falls) +
                              " as a flat gets wet; the report gives " + length(r_.level) +
                              ", the first the 0.1 " + m_ + " steps from the lowest point bracket");
  }

  // The elevations near h where what the section carries may change at
  // once: points (a flat going under, ponds joining), where held water
  // begins to flow, levee crests.
  std::vector<double> changes_near(double h) const {
    const auto close = [h](double e) { return std::fabs(e - h) <= kNearWalk; };
    const auto each_change = [this](const auto& visit) {
      for (std::int32_t i = 1; i <= d_.N; ++i) visit(d_.z[i]);
      for (const double from : d_.flows_from) visit(from);
      for (const CrossSection::Wall& wall : d_.walls) visit(wall.crest);
    };
    // Nearly always none is near: they are first only looked through, with no branch.
    bool any = false;
    each_change([&](double e) { any = any | close(e); });
    std::vector<double> near;
    if (any)
      each_change([&](double e) {
        if (close(e)) near.push_back(e);
      });
    std::sort(near.begin(), near.end());
    near.erase(std::unique(near.begin(), near.end()), near.end());
    return near;
  }

  // Q inside a rise at once is carried at no level: the walk ends at the
  // change, and the report's figures carry what the section does just there.
  // (Inside a fall, Q is carried at some level below, as what is carried rose.)
  void discharge_jump() {
    if (!r_.found || r_.query.kind == Query::Kind::level) return;
    const double Q = r_.discharge;
    for (const double e : changes_near(r_.level)) {
      const double below = discharge_carried(d_, std::nextafter(e, -kInfinity), connected_);
      const double above = discharge_carried(d_, std::nextafter(e, kInfinity), connected_);
      if (!(below < Q && Q < above) || above - below <= kJump * Q) continue;
      const std::string q = r_.units->discharge;
      return add("discharge_jump", "at " + length(e) + " what the section carries rises at once from " + figure(below) +
                                       " to " + figure(above) + " " + q + ", past the " + figure(Q) + " " + q +
                                       " sought: no level there carries it, and the report gives the level of the "
                                       "rise, where it carries " + figure(r_.zones.total.discharge) + " " + q);
    }
  }

  void roughness() {
    std::vector<double> seen;
    for (const Subdivision& part : d_.parts) {
      const double n = roughness_of(d_, part);
      if ((n >= kLeastN && n <= kMostN) || std::find(seen.begin(), seen.end(), n) != seen.end()) continue;
      seen.push_back(n);
      const char* where = part.zone == kChannel ? "the channel" : part.zone == kLeft ? "the left floodplain"
                                                                                      : "the right floodplain";
      add("input_n", "n = " + shortest_real(n) + " in " + where + " lies outside 0.008 ... 0.3, the range of natural channels");
    }
  }

  void slope() {
    const double s = d_.s_per_mille;
    if (s > kSteepest)
      add("input_slope", "a slope of " + figure(s) + " per mille is steeper than 100 per mille (1 in 10)");
    else if (s > 0 && s < kFlattest)
      add("input_slope", "a slope of " + shortest_real(s) + " per mille is very flat: did you mean a fraction? As a fraction " +
                             shortest_real(s) + " is " + figure(1000 * s) + " per mille");
  }

  void notice_reason() {
    if (r_.found) return;
    const double top = search_top(d_), Q = r_.discharge;  // only a level sought for a discharge goes unfound
    if (!(Q > 0)) return add("notice_reason", "the discharge " + figure(Q) + " is not positive");
    if (d_.s == 0) return add("notice_reason", "the slope is 0: no level carries any discharge");
    const double most = discharge_carried(d_, top, connected_);
    if (Q > most)
      return add("notice_reason", "the section carries at most " + figure(most) + " " + r_.units->discharge + " at " +
                                      length(top) + ", 20 " + m_ + " above its highest point");
    add("notice_reason", "the discharge is less than the section carries 1 mm above its lowest point");
  }

  const CrossSection& d_;
  const LevelResult& r_;
  bool connected_;
  const char* m_;
  std::vector<Warning> list_;
};

}  // namespace

std::string figure(double value) {
  if (!std::isfinite(value)) return value != value ? "nan" : value > 0 ? "inf" : "-inf";
  char text[400];
  const double magnitude = std::fabs(value);
  if (magnitude != 0 && magnitude < 0.001)
    std::snprintf(text, sizeof text, "%.1g", value);
  else if (magnitude >= 1e15)  // beyond a double's whole digits
    std::snprintf(text, sizeof text, "%.6g", value);
  else
    std::snprintf(text, sizeof text, "%.3f", value);
  std::string s = text;
  if (s.find('.') != std::string::npos && s.find('e') == std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

std::vector<Warning> assumptions(const CrossSection& d, const LevelResult& result, bool connected) {
  return Warnings(d, result, connected).all();
}

}  // namespace normlevel
