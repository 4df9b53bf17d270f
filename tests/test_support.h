#pragma once

// Helpers shared by the unit tests: scratch files and hand-made sections.

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <random>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>

#include <sstream>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "base/FreeForm.h"
#include "cli/command_line.h"
#include "output/picture.h"
#include "base/platform.h"
#include "cli/runs.h"

namespace normlevel::testing {

/// What a command-line run wrote and returned.
struct CliRun {
  std::string out, err;
  int status = 0;
};

/// Runs the command line as main does, up to its exit: a failure or a wrong
/// command line comes out as main's diagnostic and status.
inline CliRun run_cli(const std::vector<std::string>& arguments) {
  CliRun run;
  std::ostringstream out, err;
  try {
    run.status = run_command_line(parse_command_line(arguments), out, err);
  } catch (const UsageError& error) {
    err << "normlevel: " << error.what() << "\n";
    run.status = 2;
  } catch (const Failure& failure) {
    err << "normlevel: " << failure.plain() << "\n";
    run.status = 255;
  }
  run.out = out.str();
  run.err = err.str();
  return run;
}

/// The JSON array a command-line run prints with `--format json` put first;
/// the run must succeed.
inline nlohmann::json json_of(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"--format", "json"});
  const CliRun run = run_cli(arguments);
  EXPECT_EQ(run.status, 0) << run.err;
  return nlohmann::json::parse(run.out);
}

/// A fresh folder under the system's temporary folder, removed at the end.
class ScratchDir {
 public:
  ScratchDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("normlevel_test_" + std::to_string(std::random_device{}()) + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  /// Writes `bytes` to the file `name` in the folder and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }
  std::string path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

/// A file name as the dialogue hands it over: a blank-padded 100-character field.
inline std::string name_field(const std::string& name) {
  std::string field = name;
  field.resize(100, ' ');
  return field;
}

/// The bytes of a file.
inline std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

/// A section as the loader would leave it, from its points (station,
/// elevation) left to right and its bank points.
inline CrossSection section_of(std::initializer_list<std::pair<double, double>> points, int il, int ip, double Q = 0,
                               double s = 0.001, double nc = 0.03, double nf = 0.05) {
  CrossSection d;
  d.Q = Q;
  d.s = s;
  d.nc = nc;
  d.nf = nf;
  d.N = static_cast<int>(points.size());
  d.il = il;
  d.ip = ip;
  d.x.push_back(0);
  d.z.push_back(0);
  for (const auto& [x, z] : points) {
    d.x.push_back(x);
    d.z.push_back(z);
  }
  d.zmin = d.zmax = d.z[1];
  for (int i = 2; i <= d.N; ++i) {
    if (d.z[i] < d.zmin) d.zmin = d.z[i];
    if (d.z[i] > d.zmax) d.zmax = d.z[i];
  }
  measure_segments(d);
  return d;
}

/// The same put into CSDATA, for the tests of the classic dialogue's units.
inline void set_classic_section(std::initializer_list<std::pair<double, double>> points, int il, int ip, double Q = 0,
                                double s = 0.001, double nc = 0.03, double nf = 0.05) {
  CSDATA = section_of(points, il, ip, Q, s, nc, nf);
}

/// The trapezoidal example: a channel 6 m wide at the bed between floodplains.
inline CrossSection trapezoid(double Q = 10) {
  return section_of({{0, 103}, {10, 101}, {12, 100}, {14, 100}, {16, 101}, {26, 103}}, 2, 5, Q, 0.001, 0.03, 0.05);
}

/// The section a data file describes, read as the loader reads it.
inline CrossSection section_from_file(const std::string& path) {
  int code = 0;
  const FileHandle file = open_for_reading(path, code);
  EXPECT_TRUE(file) << path;
  if (!file) return {};
  FileSource source(file.get());
  return read_section(source, 1 << 16);
}

/// The example data file's 15 records, with CR LF line ends.
inline std::string trapezoid_file(const std::string& flow_record = "10.0 1.0 0.03 0.05") {
  return "title\r\ncomment\r\n\r\n---\r\n" + flow_record +
         "\r\nN il ip\r\n---\r\n6 2 5\r\nx z\r\n0 103\r\n10 101\r\n12 100\r\n14 100\r\n16 101\r\n26 103\r\n";
}

/// A random survey with the awkward shapes: vertical walls, flats, repeated
/// elevations on a 1/8 m grid, floodplains lower than the channel; `scale`
/// stretches the elevation steps (huge spans).
inline CrossSection random_section(std::mt19937& random, int points, double scale = 1) {
  std::uniform_int_distribution<int> pick(0, 9);
  std::uniform_real_distribution<double> step(0.0, 3.0);
  std::vector<std::pair<double, double>> survey;
  double x = 0, z = 10;
  for (int i = 0; i < points; ++i) {
    const int shape = pick(random);
    x += shape == 0 ? 0 : std::round(step(random) * 4) / 4;  // walls, and stations on a grid
    z = shape == 1 ? z : std::round((z + (step(random) - 1.5) * scale) * 8) / 8;  // flats, elevations on a grid
    survey.emplace_back(x, z);
  }
  std::uniform_int_distribution<int> bank(1, points - 1);
  int il = bank(random), ip = bank(random);
  if (il > ip) std::swap(il, ip);
  if (il == ip) ++ip;
  CrossSection d;
  d.N = points;
  d.il = il;
  d.ip = ip;
  d.s = 0.001;
  d.nc = 0.03;
  d.nf = 0.05;
  d.x = {0};
  d.z = {0};
  for (const auto& [sx, sz] : survey) {
    d.x.push_back(sx);
    d.z.push_back(sz);
  }
  d.zmin = *std::min_element(d.z.begin() + 1, d.z.end());
  d.zmax = *std::max_element(d.z.begin() + 1, d.z.end());
  measure_segments(d);
  return d;
}

/// Gives section d's segments roughness that changes here and there,
/// inside the zones and at their bounds, and divides it anew.
inline void vary_roughness(CrossSection& d, std::mt19937& random) {
  const double choices[] = {0.025, 0.035, 0.05, 0.08, 0.1};
  std::uniform_int_distribution<int> pick(0, 4), change(0, 3);
  d.roughness.assign(static_cast<std::size_t>(d.N), 0.0);
  double n = choices[pick(random)];
  for (int i = 1; i < d.N; ++i) {
    if (change(random) == 0) n = choices[pick(random)];
    d.roughness[static_cast<std::size_t>(i)] = n;
  }
  measure_segments(d);
}

// The k-th of a run of random sections under `rules`: 2 to 41 points, every
// fifth thirty times as steep, every other with roughness that changes
// along it.
inline CrossSection varied_section(std::mt19937& random, int k, Rules rules) {
  CrossSection d = random_section(random, 2 + k % 40, k % 5 == 0 ? 30 : 1);
  if (k % 2 == 1) vary_roughness(d, random);
  d.rules = rules;
  measure_segments(d);
  return d;
}

// An SVG's labels as boxes, for checking that none covers another.
struct Box {
  double x0, y0, x1, y1;
  std::string text;
};

// The value of attribute NAME in the tag that starts at FROM, or "" when absent.
inline std::string attribute(const std::string& svg, std::size_t from, const std::string& name) {
  const std::size_t end = svg.find('>', from);
  const std::size_t at = svg.find(" " + name + "=\"", from);
  if (at == std::string::npos || at > end) return "";
  const std::size_t value = at + name.size() + 3;
  return svg.substr(value, svg.find('"', value) - value);
}

// Every <text>'s box: as wide as text_width says, from a little below its
// baseline up to its font's height.
inline std::vector<Box> text_boxes(const std::string& svg) {
  std::vector<Box> boxes;
  for (std::size_t at = svg.find("<text "); at != std::string::npos; at = svg.find("<text ", at + 1)) {
    const std::size_t body = svg.find('>', at) + 1;
    const std::string content = svg.substr(body, svg.find("</text>", body) - body);
    const double x = std::stod(attribute(svg, at, "x")), y = std::stod(attribute(svg, at, "y"));
    const std::string size_text = attribute(svg, at, "font-size"), anchor = attribute(svg, at, "text-anchor");
    const double size = size_text.empty() ? 12 : std::stod(size_text);
    const double w = text_width(content, size);
    const double x0 = anchor == "start" ? x : anchor == "middle" ? x - w / 2 : x - w;
    boxes.push_back({x0, y - size, x0 + w, y + 0.25 * size, content});
  }
  return boxes;
}

inline bool overlap(const Box& a, const Box& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }

}  // namespace normlevel::testing
