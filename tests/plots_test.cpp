// The rating and energy plots: their labels laid out apart on real
// sections, rendered by a real SVG renderer, and the --plot option.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/command_line.h"
#include "output/picture.h"
#include "output/plots.h"
#include "cli/runs.h"
#include "test_support.h"

namespace normlevel {
namespace {

using testing::ScratchDir;
using testing::Box;
using testing::attribute;
using testing::overlap;
using testing::text_boxes;

struct SpreadCase {
  std::vector<double> wanted;
  double top, bottom;
  std::vector<double> placed;
};

class SpreadApart : public ::testing::TestWithParam<SpreadCase> {};

TEST_P(SpreadApart, KeepsOrderAndGapWithinTheRoom) {
  const SpreadCase& c = GetParam();
  EXPECT_EQ(spread_apart(c.wanted, 14, c.top, c.bottom), c.placed);
}

INSTANTIATE_TEST_SUITE_P(Cases, SpreadApart,
                         ::testing::Values(SpreadCase{{10, 12, 50}, 0, 100, {10, 24, 50}},
                                           SpreadCase{{10, 20, 30}, 15, 100, {15, 29, 43}},
                                           SpreadCase{{90, 95, 99}, 0, 100, {72, 86, 100}}));

std::string run(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  run_command_line(parse_command_line(arguments), out, err);
  return out.str();
}

class PlotLayout : public ::testing::TestWithParam<const char*> {};

TEST_P(PlotLayout, NoLabelOverAnotherOrInsideTheFrameOrOffTheCanvas) {
  for (const auto& entry : std::filesystem::directory_iterator(std::string(NORMLEVEL_TEST_DATA) + "/sections")) {
    const std::string file = entry.path().string();
    const std::string svg = run({"--plot", GetParam(), "-q", "5", "-q", "50", "-q", "500", "-q", "5000", file});
    ASSERT_NE(svg.find("</svg>"), std::string::npos) << file;
    const std::vector<Box> boxes = text_boxes(svg);
    ASSERT_GE(boxes.size(), 12u) << file;
    std::size_t tag = svg.find("<rect ");
    while (tag != std::string::npos && attribute(svg, tag, "fill") != "none") tag = svg.find("<rect ", tag + 1);
    ASSERT_NE(tag, std::string::npos) << file;
    const auto number = [&](const char* name) { return std::stod(attribute(svg, tag, name)); };
    const double x = number("x"), y = number("y");
    const Box frame{x, y, x + number("width"), y + number("height"), "frame"};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_FALSE(overlap(boxes[i], frame)) << file << ": '" << boxes[i].text << "' inside the frame";
      EXPECT_TRUE(boxes[i].x0 >= 0 && boxes[i].y0 >= 0 && boxes[i].x1 <= 860 && boxes[i].y1 <= 520)
          << file << ": '" << boxes[i].text << "' off the canvas";
      for (std::size_t j = i + 1; j < boxes.size(); ++j)
        EXPECT_FALSE(overlap(boxes[i], boxes[j])) << file << ": '" << boxes[i].text << "' over '" << boxes[j].text << "'";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlotLayout, ::testing::Values("rating", "energy"));

// How many pixels of the rendered plot are near the colour.
long pixels_of(const ScratchDir& dir, const std::string& svg, const char* hex) {
  const std::string in = dir.write("plot.svg", svg), out = dir.path("plot.png");
  if (std::system(("rsvg-convert -o '" + out + "' '" + in + "'").c_str()) != 0) return -1;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, out.c_str())) return -1;
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return -1;
  const long colour = std::strtol(hex + 1, nullptr, 16);
  const int want[] = {static_cast<int>(colour >> 16), static_cast<int>((colour >> 8) & 255), static_cast<int>(colour & 255)};
  long count = 0;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
    count += std::abs(rgb[i] - want[0]) <= 6 && std::abs(rgb[i + 1] - want[1]) <= 6 && std::abs(rgb[i + 2] - want[2]) <= 6;
  return count;
}

TEST(PlotRendering, TheRatingCurvesBandsAndTheCriticalLevelsDots) {
  ScratchDir dir;
  const std::string napa = std::string(NORMLEVEL_TEST_DATA) + "/sections/napa_creek_2100.txt";
  const std::string rating = run({"--plot", "rating", "-q", "2000", napa});
  EXPECT_GT(pixels_of(dir, rating, kChannelWater), 30000);  // the area under the curve
  EXPECT_GT(pixels_of(dir, rating, kFloodplainWater), 1000);
  const std::string energy = run({"--plot", "energy", "-q", "2000", napa});
  EXPECT_GT(pixels_of(dir, energy, "#c0392b"), 20);
  EXPECT_NE(energy.find(">krytyczna miarodajna: 13.410 m</text>"), std::string::npos);
  EXPECT_NE(rating.find(">Q 2000.00 m3/s: 15.952 m</text>"), std::string::npos);
  EXPECT_NE(rating.find(">brzegi: 16.900 m</text>"), std::string::npos);
  // Four critical levels, one of them governing, every dot inside the frame.
  const std::string four = run({"--plot", "energy", "-q", "500", std::string(NORMLEVEL_TEST_DATA) + "/sections/meerlustkloof_3905.txt"});
  int critical = 0;
  for (std::size_t at = four.find(">krytyczna"); at != std::string::npos; at = four.find(">krytyczna", at + 1)) ++critical;
  EXPECT_EQ(critical, 4);
  EXPECT_NE(four.find(">krytyczna miarodajna: 290.023 m</text>"), std::string::npos);
  EXPECT_GT(pixels_of(dir, four, "#c0392b"), 4 * 20);
}

// Where several levels carry the discharge, the rating curve marks each.
TEST(PlotRendering, EveryLevelCarryingTheDischargeMarked) {
  const std::string meadow = std::string(NORMLEVEL_EXAMPLES) + "/meadow_ditch.txt";
  const struct {
    std::vector<std::string> options;
    std::vector<std::string> levels;
  } cases[] = {
      {{"-q", "55"}, {"101.537", "101.604", "101.701"}},
      {{"-q", "80"}, {"101.972"}},
      {{"-q", "55", "--connected"}, {"101.537"}},  // only the walk's level is known there
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"--plot", "rating"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.push_back(meadow);
    const std::string svg = run(arguments);
    std::size_t marks = 0;
    for (std::size_t at = svg.find(">Q " + c.options[1]); at != std::string::npos; at = svg.find(">Q ", at + 1)) ++marks;
    EXPECT_EQ(marks, c.levels.size()) << c.options.back();
    for (const std::string& level : c.levels)
      EXPECT_NE(svg.find(": " + level + " m</text>"), std::string::npos) << level;
  }
}

TEST(PlotOption, SectionIsThePictureAndOtherKindsAreRefused) {
  const std::string trapezoid = std::string(NORMLEVEL_EXAMPLES) + "/trapezoid.txt";
  EXPECT_EQ(run({"--plot", "section", trapezoid}), run({"--svg", trapezoid}));
  try {
    parse_command_line({"--plot", "profile", trapezoid});
    FAIL() << "no UsageError";
  } catch (const UsageError& e) {
    EXPECT_STREQ(e.what(), "option '--plot': 'profile' is not one of section, rating, energy");
  }
}

}  // namespace
}  // namespace normlevel
