// The picture: rendered by a real SVG renderer and checked pixel by pixel,
// checked as XML, and kept small for huge sections.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "CSdata.h"
#include "command_line.h"
#include "picture.h"
#include "runs.h"
#include "test_support.h"

namespace normlevel {
namespace {

using testing::ScratchDir;
using testing::trapezoid_file;

TEST(PictureHelpers, HeaderExamples) {
  EXPECT_EQ(xml_escaped("a&b<c>"), "a&amp;b&lt;c&gt;");
  EXPECT_EQ(xml_escaped("say \"hi\""), "say &quot;hi&quot;");
  EXPECT_EQ(xml_escaped("\xC5\x82\xF3" "d\x01"), "\xC5\x82&#xF3;d?") << "UTF-8 kept, Latin-1 referenced";
  EXPECT_EQ(round_step(10, 5), 2);
  EXPECT_EQ(round_step(0.37, 5), 0.1);
  EXPECT_EQ(round_step(700, 8), 100);
  EXPECT_EQ(round_step(5e5, 10), 50000);
  EXPECT_EQ(round_step(0, 8), 1) << "a flat section still gets ticks";
  EXPECT_EQ(level_tint("#9ccbf2", 0), "#9ccbf2");
  EXPECT_EQ(level_tint("#ffffff", 1), "#d6d6d6");
  EXPECT_EQ(text_width("rz\xC4\x99" "dna"), text_width("rzedna")) << "a letter is a letter in UTF-8";
}

TEST(PictureHelpers, HugeSectionsKeepEveryColumnsLowestAndHighestPoint) {
  const int n = 1000000;
  CrossSection d;
  d.x.assign(1, 0);
  d.z.assign(1, 0);
  for (int i = 1; i <= n; ++i) {
    d.x.push_back(i);
    d.z.push_back(i == 123457 ? 150 : i == 765433 ? 50 : 100);
  }
  const std::vector<int> drawn = points_to_draw(d, 1, n, 1, n, 800);
  EXPECT_LE(drawn.size(), 4u * 800);
  EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end()));
  for (const int spike : {1, 123457, 765433, n})
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), spike), drawn.end()) << spike;
  EXPECT_EQ(points_to_draw(d, 3, 10, 1, n, 800), (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10})) << "few points: all";
}

struct Rgb {
  int r, g, b;
};

Rgb colour(const char* hex) {
  const long value = std::strtol(hex + 1, nullptr, 16);
  return {static_cast<int>(value >> 16), static_cast<int>((value >> 8) & 255), static_cast<int>(value & 255)};
}

bool near(Rgb a, Rgb b) { return std::abs(a.r - b.r) <= 6 && std::abs(a.g - b.g) <= 6 && std::abs(a.b - b.b) <= 6; }

// The picture rendered by librsvg, as RGB pixels.
class Rendered {
 public:
  Rendered(const ScratchDir& dir, const std::string& svg) : svg_(svg) {
    const std::string in = dir.write("picture.svg", svg), out = dir.path("picture.png");
    ok_ = std::system(("rsvg-convert -o '" + out + "' '" + in + "'").c_str()) == 0;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!ok_ || !png_image_begin_read_from_file(&image, out.c_str())) return;
    image.format = PNG_FORMAT_RGB;
    pixels_.resize(PNG_IMAGE_SIZE(image));
    ok_ = png_image_finish_read(&image, nullptr, pixels_.data(), 0, nullptr) != 0;
    width_ = static_cast<int>(image.width);
    height_ = static_cast<int>(image.height);
  }
  bool ok() const { return ok_; }
  int width() const { return width_; }
  int height() const { return height_; }
  Rgb at(int x, int y) const {
    const std::size_t i = 3 * (static_cast<std::size_t>(y) * width_ + x);
    return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
  }
  // The plot frame: the one unfilled rectangle.
  void frame(double& left, double& top, double& right, double& bottom) const {
    std::string tag;
    for (std::size_t at = svg_.find("<rect "); at != std::string::npos && tag.empty(); at = svg_.find("<rect ", at + 1)) {
      const std::string candidate = svg_.substr(at, svg_.find('>', at) - at);
      if (candidate.find("fill=\"none\"") != std::string::npos) tag = candidate;
    }
    ASSERT_FALSE(tag.empty());
    const auto attribute = [&](const std::string& name) {
      const std::size_t at = tag.find(" " + name + "=\"");
      EXPECT_NE(at, std::string::npos) << name << " in " << tag;
      return std::stod(tag.substr(at + name.size() + 3));
    };
    left = attribute("x");
    top = attribute("y");
    right = left + attribute("width");
    bottom = top + attribute("height");
  }
  // The first row from the top, inside the frame, whose pixel has colour c.
  int first_row(int x, Rgb c, int from, int to) const {
    for (int y = from; y < to; ++y)
      if (near(at(x, y), c)) return y;
    return -1;
  }

 private:
  std::string svg_;
  bool ok_ = false;
  int width_ = 0, height_ = 0;
  std::vector<unsigned char> pixels_;
};

std::string picture_of(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  run_command_line(parse_command_line(arguments), out, err);
  return out.str();
}

// The trapezoid at its level 101.64045: the channel (x 10 ... 16) holds
// water down to its bed at 100 m, the floodplains near the banks are wet,
// the valley sides above 101.64 m are dry.
TEST(Picture, WaterGroundAndSkyWhereTheyBelong) {
  ScratchDir dir;
  const Rendered picture(dir, picture_of({"--svg", dir.write("t.txt", trapezoid_file())}));
  ASSERT_TRUE(picture.ok());
  double left, top, right, bottom;
  picture.frame(left, top, right, bottom);
  const auto column = [&](double x) { return static_cast<int>(left + x / 26 * (right - left)); };
  const int from = static_cast<int>(top) + 2, to = static_cast<int>(bottom) - 1;

  const int channel = column(13);
  const int water_top = picture.first_row(channel, colour(kChannelWater), from, to);
  const int bed = picture.first_row(channel, colour(kGround), from, to);
  ASSERT_GT(water_top, from);
  ASSERT_GT(bed, water_top);
  EXPECT_TRUE(near(picture.at(channel, water_top - 8), colour(kBackground))) << "above the water line";
  EXPECT_TRUE(near(picture.at(channel, (water_top + bed) / 2), colour(kChannelWater)));
  EXPECT_TRUE(near(picture.at(channel, bed + 10), colour(kGround))) << "below the ground";
  // The valley side's top, 103 m at station 0, scales the water's depth of 1.64 m.
  const int valley_top = picture.first_row(column(0.2), colour(kGround), from, to);
  const double depth = 1.64045 * (bed - valley_top) / (3 - 0.2 * 0.2);
  EXPECT_NEAR(bed - water_top, depth, 3);

  const int floodplain = column(9);  // bed at 101.2 m
  EXPECT_TRUE(near(picture.at(floodplain, water_top + 3), colour(kFloodplainWater)));
  const int dry = column(3);  // bed at 102.4 m
  EXPECT_EQ(picture.first_row(dry, colour(kFloodplainWater), from, to), -1);
}

TEST(Picture, WithoutALevelTheSectionIsDrawnWithTheNotice) {
  ScratchDir dir;
  const std::string svg = picture_of({"--svg", "-q", "1e9", dir.write("t.txt", trapezoid_file())});
  EXPECT_NE(svg.find("nieudana lokalizacja !!!"), std::string::npos);
  const Rendered picture(dir, svg);
  ASSERT_TRUE(picture.ok());
  double left, top, right, bottom;
  picture.frame(left, top, right, bottom);
  const int channel = static_cast<int>(left + 13.0 / 26 * (right - left));
  EXPECT_EQ(picture.first_row(channel, colour(kChannelWater), static_cast<int>(top), static_cast<int>(bottom)), -1);
  EXPECT_NE(picture.first_row(channel, colour(kGround), static_cast<int>(top), static_cast<int>(bottom)), -1);
}

int shell(const std::string& command) { return std::system(command.c_str()); }

TEST(Picture, EveryDocumentIsValidXmlWhateverTheNameAndLevels) {
  ScratchDir dir;
  const std::string odd = dir.write("a&b <c> 'd\" \xE9.txt", trapezoid_file());
  const std::vector<std::vector<std::string>> runs = {
      {"--svg", odd},
      {"--svg", "-q", "5", "-q", "20", "-q", "1e9", "--level", "102.5", odd},
      {"--svg", "--level", "50", odd},
      {"--svg", "--level", "1e6", odd},
  };
  for (const auto& run : runs) {
    const std::string svg = picture_of(run);
    const std::string file = dir.write("p.svg", svg);
    EXPECT_EQ(shell("xmllint --noout '" + file + "'"), 0) << svg.substr(0, 400);
    EXPECT_EQ(svg.find("<script"), std::string::npos);
    EXPECT_NE(svg.find("a&amp;b &lt;c&gt;"), std::string::npos);
    EXPECT_TRUE(Rendered(dir, svg).ok());
  }
}

TEST(Picture, AMillionPointsStayUnderAMegabyte) {
  ScratchDir dir;
  std::string file = "big\r\n\r\n\r\n---\r\n100 1 0.03 0.05\r\n\r\n---\r\n1000000 400000 600000\r\n\r\n";
  for (int i = 1; i <= 1000000; ++i) {
    const double x = i * 0.5, z = 100 + std::abs(i - 500000) * 1e-5 + (i % 7) * 0.01;
    file += std::to_string(x) + " " + std::to_string(z) + "\n";
  }
  const std::string svg = picture_of({"--svg", dir.write("big.txt", file)});
  EXPECT_LT(svg.size(), 1000000u);
  EXPECT_EQ(shell("xmllint --noout '" + dir.write("big.svg", svg) + "'"), 0);
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

using testing::ScratchDir;

std::string picture(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  run_command_line(parse_command_line(arguments), out, err);
  return out.str();
}

// The document with only its lines that hold `keep`, on a canvas grown by
// `margin` on every side.
std::string only(const std::string& svg, const std::string& keep, int margin) {
  std::istringstream lines(svg);
  std::string kept, line;
  double width = 0, height = 0;
  while (std::getline(lines, line)) {
    if (line.starts_with("<svg ")) {
      width = std::stod(line.substr(line.find("width=\"") + 7));
      height = std::stod(line.substr(line.find("height=\"") + 8));
      kept += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width + 2 * margin) +
              "\" height=\"" + std::to_string(height + 2 * margin) + "\" viewBox=\"" + std::to_string(-margin) + " " +
              std::to_string(-margin) + " " + std::to_string(width + 2 * margin) + " " +
              std::to_string(height + 2 * margin) + "\" font-family=\"sans-serif\" font-size=\"12\">\n" +
              "<rect x=\"" + std::to_string(-margin) + "\" y=\"" + std::to_string(-margin) + "\" width=\"100%\" " +
              "height=\"100%\" fill=\"#ffffff\"/>\n";
    } else if (line.find(keep) != std::string::npos || line.starts_with("<?xml") || line == "</svg>") {
      kept += line + "\n";
    }
  }
  return kept;
}

// The four rivers whose labels and legends used to leave the frame or
// hide the valley, and the trapezoid with levels above, below and between.
std::vector<std::vector<std::string>> crowded_pictures() {
  const std::string sections = std::string(NORMLEVEL_TEST_DATA) + "/sections/";
  return {{"--svg", "-q", "500", "-q", "2000", "-q", "4070", sections + "napa_creek_2100.txt"},
          {"--svg", sections + "thames_40180.txt"},
          {"--svg", sections + "meerlustkloof_405.txt"},
          {"--svg", sections + "bald_eagle_81849.41.txt"},
          {"--svg", "-q", "5", "-q", "20", "-q", "60", "--level", "99", std::string(NORMLEVEL_EXAMPLES) + "/trapezoid.txt"}};
}

TEST(PictureLayout, EveryTextStaysOnTheCanvas) {
  ScratchDir dir;
  constexpr int kMargin = 200;
  for (const auto& run : crowded_pictures()) {
    const std::string svg = picture(run);
    const Rendered texts(dir, only(svg, "<text", kMargin));
    ASSERT_TRUE(texts.ok()) << run.back();
    int inked = 0;
    for (int y = 0; y < texts.height(); ++y)
      for (int x = 0; x < texts.width(); ++x) {
        if (near(texts.at(x, y), colour(kBackground))) continue;
        ++inked;
        const bool inside = x >= kMargin && x < texts.width() - kMargin && y >= kMargin && y < texts.height() - kMargin;
        ASSERT_TRUE(inside) << run.back() << ": text ink at " << x - kMargin << "," << y - kMargin;
      }
    EXPECT_GT(inked, 1000) << run.back();
  }
}

TEST(PictureLayout, TheLegendCoversNoGround) {
  ScratchDir dir;
  for (const auto& run : crowded_pictures()) {
    const std::string svg = picture(run);
    const std::size_t legend = svg.find("<g id=\"legend\">");
    if (legend == std::string::npos) continue;
    const std::size_t rect = svg.find("<rect ", legend);
    const auto attribute = [&](const std::string& name) {
      return std::stod(svg.substr(svg.find(" " + name + "=\"", rect) + name.size() + 3));
    };
    const double x = attribute("x"), y = attribute("y"), w = attribute("width"), h = attribute("height");
    std::string without = svg.substr(0, legend) + svg.substr(svg.find("</g>", legend) + 5);
    const Rendered bare(dir, without);
    ASSERT_TRUE(bare.ok());
    for (int py = static_cast<int>(y); py < y + h && py < bare.height(); ++py)
      for (int px = static_cast<int>(x); px < x + w; ++px)
        ASSERT_FALSE(near(bare.at(px, py), colour(kGround))) << run.back() << ": ground under the legend at " << px
                                                             << "," << py;
  }
}

// Two levels: between them the upper level's water, below the lower one
// the same tint darker.
TEST(PictureLayout, EachLevelsWaterNestedAndWallsAndPondsShown) {
  ScratchDir dir;
  const std::string t = dir.write("t.txt", testing::trapezoid_file());
  const std::string two = picture({"--svg", "-q", "5", "-q", "40", t});
  const Rendered rendered(dir, two);
  ASSERT_TRUE(rendered.ok());
  double left, top, right, bottom;
  rendered.frame(left, top, right, bottom);
  const int channel = static_cast<int>(left + 13.0 / 26 * (right - left));
  const int darker = rendered.first_row(channel, colour(level_tint(kChannelWater, 1).c_str()), static_cast<int>(top),
                                        static_cast<int>(bottom));
  const int lighter = rendered.first_row(channel, colour(kChannelWater), static_cast<int>(top), static_cast<int>(bottom));
  ASSERT_GT(lighter, 0);
  EXPECT_GT(darker, lighter + 20) << "the lower level's water lies within the upper one's";
  EXPECT_NE(picture({"--svg", "--level", "103.5", t}).find("fill=\"url(#wall)\""), std::string::npos);
  EXPECT_NE(picture({"--svg", "--level", "103.5", t}).find("pionow\xC4\x85 \xC5\x9B" "cian\xC4\x99"), std::string::npos);
  EXPECT_EQ(picture({"--svg", "--level", "102", t}).find("url(#wall)\""), std::string::npos);
  EXPECT_NE(picture({"--svg", "-q", "5", "--level", "99", t}).find("zw. wody 99.000 m: poni\xC5\xBC" "ej dna"),
            std::string::npos);
  const std::string levee = dir.write("levee.txt", "levee\nx\nx\nx\n27.8666 1.0 0.03 0.05\nx\nx\n9 5 8\nx\n0 103\n"
                                                   "4 100.2\n8 100.2\n10 102.4\n12 101\n14 99\n18 99\n20 101\n30 103\n");
  const std::string pond = picture({"--svg", levee});
  EXPECT_NE(pond.find("niepo\xC5\x82\xC4\x85" "czona"), std::string::npos) << "a legend entry for the pond";
  const Rendered ponded(dir, pond);
  ASSERT_TRUE(ponded.ok());
  ponded.frame(left, top, right, bottom);
  const int pool = static_cast<int>(left + 6.0 / 30 * (right - left));
  EXPECT_NE(ponded.first_row(pool, colour(kPondedWater), static_cast<int>(top), static_cast<int>(bottom)), -1);
}

// Every label's box apart from every other's: the level's outline and
// fill count once, the rotated axis title not at all.
void expect_labels_apart(const std::string& svg, const std::string& name) {
  std::vector<testing::Box> boxes;
  for (const testing::Box& b : testing::text_boxes(svg)) {
    const bool again = !boxes.empty() && b.text == boxes.back().text && b.x0 == boxes.back().x0 && b.y0 == boxes.back().y0;
    if (!again && !b.text.starts_with("rz\xC4\x99" "dna")) boxes.push_back(b);
  }
  ASSERT_GE(boxes.size(), 8u) << name;
  for (std::size_t i = 0; i < boxes.size(); ++i)
    for (std::size_t j = i + 1; j < boxes.size(); ++j)
      EXPECT_FALSE(testing::overlap(boxes[i], boxes[j])) << name << ": '" << boxes[i].text << "' over '" << boxes[j].text << "'";
}

// Banks close together, at the ends, beside levels near the top; one to
// four levels, some found, some not.
TEST(PictureLayout, NoLabelOverAnotherOnRealAndGeneratedSections) {
  std::vector<std::string> files = {std::string(NORMLEVEL_EXAMPLES) + "/trapezoid.txt",
                                    std::string(NORMLEVEL_EXAMPLES) + "/levee.txt",
                                    std::string(NORMLEVEL_EXAMPLES) + "/napa_creek_2100.txt"};
  for (const auto& entry : std::filesystem::directory_iterator(std::string(NORMLEVEL_TEST_DATA) + "/sections"))
    files.push_back(entry.path().string());
  ScratchDir dir;
  std::mt19937 random(26);
  for (int k = 0; k < 300; ++k) {
    const int n = std::uniform_int_distribution<int>(3, 40)(random);
    const int il = std::uniform_int_distribution<int>(1, n - 1)(random);
    const int ip = std::uniform_int_distribution<int>(il + 1, std::min(n, il + 3))(random);
    std::string text = "g\nx\nx\nx\n10 1 0.03 0.05\nx\nx\n" + std::to_string(n) + " " + std::to_string(il) + " " +
                       std::to_string(ip) + "\nx\n";
    double x = 0;
    for (int i = 0; i < n; ++i, x += std::uniform_real_distribution<double>(0.1, 50)(random))
      text += std::to_string(x) + " " + std::to_string(std::uniform_real_distribution<double>(100, 110)(random)) + "\n";
    files.push_back(dir.write(std::to_string(k) + ".txt", text));
  }
  const std::vector<std::vector<std::string>> asks = {{}, {"-q", "0.5", "-q", "3000"}, {"-q", "5", "-q", "50", "-q", "500", "-q", "5000"}};
  for (const std::string& file : files)
    for (std::vector<std::string> run : asks) {
      run.insert(run.begin(), "--svg");
      run.push_back(file);
      expect_labels_apart(picture(run), file);
    }
}

// Cut-off water is said to carry flow unless --connected, and a floodplain
// of no width has no n in the subtitle.
TEST(PictureLayout, PondsNamedForWhatTheFiguresDoAndNoNullN) {
  const std::string levee = std::string(NORMLEVEL_EXAMPLES) + "/levee.txt";
  EXPECT_NE(picture({"--svg", levee}).find(">woda niepo\u0142\u0105czona z korytem, liczona jako p\u0142yn\u0105ca</text>"),
            std::string::npos);
  EXPECT_NE(picture({"--svg", "--connected", levee}).find(">woda niepo\u0142\u0105czona z korytem, nieliczona</text>"),
            std::string::npos);
  const std::string table = std::string(NORMLEVEL_EXAMPLES) + "/przekroj.csv";
  EXPECT_NE(picture({"--svg", "-q", "20", "--slope", "1", "--banks", "0,50.1", table})
                .find(">Q = 20 m3/s, s = 1 \u2030, nc = 0.035...0.1, nr = 0.045...0.06</text>"),
            std::string::npos);
  const testing::CliRun text = testing::run_cli({"-q", "20", "-q", "30", "--slope", "1", "--banks", "36.2,74", table});
  EXPECT_NE(text.out.find(", Q = 20 m3/s, s = 1 promil, nc = 0.035...0.06, nl = 0.045...0.1\r\n"), std::string::npos) << text.out;
}

TEST(PictureLayout, ARiverModelIsDrawnOneSectionAtATime) {
  const std::string model = std::string(NORMLEVEL_EXAMPLES) + "/reach.g01";
  const testing::CliRun both = testing::run_cli({"--svg", "-q", "10", "--slope", "1", model});
  EXPECT_EQ(both.status, 2);
  EXPECT_EQ(both.out, "") << "nothing on stdout for a wrong command line";
  const testing::CliRun one = testing::run_cli({"--svg", "-q", "10", "--slope", "1", "--section", "Upper 90", model});
  EXPECT_EQ(one.status, 0);
  EXPECT_NE(one.out.find("reach.g01, Creek Upper 90</text>"), std::string::npos) << "the section names the picture";
}

}  // namespace
}  // namespace normlevel
