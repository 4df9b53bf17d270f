#include "readers/flow_file.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "base/Failure.h"
#include "readers/geometry_file.h"

namespace normlevel {

namespace {

constexpr std::string_view kProfileCount = "Number of Profiles=";
constexpr std::string_view kProfileNames = "Profile Names=";
constexpr std::string_view kChange = "River Rch & RM=";
constexpr std::size_t kFieldsPerLine = 10;
// A model runs a few dozen profiles; the bound keeps a damaged count from
// asking for memory the file could never fill.
constexpr double kMostProfiles = 100000;

[[noreturn]] void refuse(const std::string& message) { throw Failure(kRunTimeError, message, ""); }

// The comma-separated values after a record's key, blanks around each taken off.
std::vector<std::string> values_after(std::string_view line, std::string_view key) {
  std::vector<std::string> values;
  std::string_view rest = line.substr(key.size());
  for (;;) {
    const std::size_t comma = rest.find(',');
    values.emplace_back(trimmed(rest.substr(0, comma)));
    if (comma == std::string_view::npos) return values;
    rest.remove_prefix(comma + 1);
  }
}

// An interpolated section's station carries a '*' after its value.
bool station_value(std::string_view station, double& value) {
  station = trimmed(station);
  if (station.ends_with('*')) station.remove_suffix(1);
  return parse_decimal(station, false, value);
}

std::string place_text(const FlowChange& c) { return c.river + " " + c.reach + " " + c.station; }

class FlowReader {
 public:
  explicit FlowReader(std::string_view bytes) : lines_(bytes) {}

  SteadyFlows read() {
    for (std::string_view line; lines_.next(line);) {
      if (line.starts_with(kProfileCount))
        profile_count(line);
      else if (line.starts_with(kProfileNames))
        profile_names(line);
      else if (line.starts_with(kChange))
        change(line);
    }
    if (count_ == 0) refuse("the file has no Number of Profiles= record: is it a steady-flow file?");
    if (!named_) refuse("the file has no Profile Names= record");
    if (flows_.changes.empty()) refuse("the file has no flow change location (River Rch & RM=river,reach,station)");
    return std::move(flows_);
  }

 private:
  void profile_count(std::string_view line) {
    if (count_ > 0) refuse_line(lines_.number(), "a second Number of Profiles= record");
    const std::string text(trimmed(line.substr(kProfileCount.size())));
    double value = 0;
    if (!parse_decimal(text, false, value) || value != std::floor(value) || !(value >= 1 && value <= kMostProfiles))
      refuse_line(lines_.number(), in_quotes(text) + " is not a number of profiles (1 or more)");
    count_ = static_cast<std::size_t>(value);
  }

  void profile_names(std::string_view line) {
    const std::size_t at = lines_.number();
    if (count_ == 0) refuse_line(at, "Profile Names= before Number of Profiles=");
    if (named_) refuse_line(at, "a second Profile Names= record");
    flows_.profiles = values_after(line, kProfileNames);
    if (flows_.profiles.size() != count_)
      refuse_line(at, "Profile Names= gives " + std::to_string(flows_.profiles.size()) + " names for " +
                          std::to_string(count_) + " profiles");
    named_ = true;
  }

  void change(std::string_view line) {
    const std::size_t at = lines_.number();
    if (count_ == 0) refuse_line(at, "River Rch & RM= before Number of Profiles=");
    const std::vector<std::string> place = values_after(line, kChange);
    if (place.size() != 3)
      refuse_line(at, "River Rch & RM= expected river, reach and station, found " + std::to_string(place.size()) +
                          (place.size() == 1 ? " value" : " values"));
    FlowChange c{place[0], place[1], place[2], 0, {}, at};
    if (!station_value(c.station, c.river_station))
      refuse_line(at, in_quotes(c.station) + " is not a river station (a number)");
    const auto [first, added] = lines_of_places_.try_emplace({c.river, c.reach, c.river_station}, at);
    if (!added)
      refuse_line(at, "a second flow change location at " + place_text(c) + " (the first on line " +
                          std::to_string(first->second) + ")");
    read_discharges(c);
    flows_.changes.push_back(std::move(c));
  }

  // Ten fields a line, on as many lines as the profiles need; a line with a
  // record on it ends them early.
  void read_discharges(FlowChange& c) {
    std::string bad;
    std::string_view line;
    while (c.discharges.size() < count_) {
      if (!lines_.next(line) || line.find('=') != std::string_view::npos)
        refuse_line(c.line, "River Rch & RM= expected " + std::to_string(count_) + " discharges, found " +
                                std::to_string(c.discharges.size()));
      const std::size_t wanted = std::min(kFieldsPerLine, count_ - c.discharges.size());
      const std::size_t before = c.discharges.size();
      if (!fixed_fields(line, wanted, c.discharges, bad))
        refuse_line(lines_.number(), bad.empty() ? "a blank field where a discharge goes"
                                                 : in_quotes(bad) + " is not a discharge (a number)");
      if (c.discharges.size() == before)
        refuse_line(lines_.number(), "a blank line where the discharges of line " + std::to_string(c.line) + " go on");
    }
  }

  Lines lines_;
  SteadyFlows flows_;
  std::map<std::tuple<std::string, std::string, double>, std::size_t> lines_of_places_;  // each location's line
  std::size_t count_ = 0;
  bool named_ = false;
};

}  // namespace

SteadyFlows read_flow_file(std::string_view bytes) { return FlowReader(bytes).read(); }

const FlowChange& flow_change_for(const SteadyFlows& flows, const SectionName& section) {
  double here = 0;
  if (!station_value(section.station, here))
    refuse("the flow file cannot place the section: its river station " + in_quotes(section.station) +
           " is not a number");
  const FlowChange* nearest = nullptr;
  const FlowChange* uppermost = nullptr;
  for (const FlowChange& c : flows.changes) {
    if (c.river != section.river || c.reach != section.reach) continue;
    if (!uppermost || c.river_station > uppermost->river_station) uppermost = &c;
    if (c.river_station >= here && (!nearest || c.river_station < nearest->river_station)) nearest = &c;
  }
  if (!uppermost)
    refuse("the flow file gives no discharge here: it has no flow change location on river " +
           in_quotes(section.river) + ", reach " + in_quotes(section.reach));
  if (!nearest)
    refuse("the flow file gives no discharge here: the section lies upstream of every flow change location of its "
           "reach (the uppermost at " + uppermost->station + ")");
  return *nearest;
}

}  // namespace normlevel
