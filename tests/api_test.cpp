// The public API as another program sees it: only <normlevel/normlevel.h>.
// Expected figures are the program's own reports of the same sections.

#include <normlevel/normlevel.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using normlevel::Banks;
using normlevel::Roughness;
using normlevel::Section;

const std::vector<normlevel::Point> kTrapezoid = {{0, 103}, {10, 101}, {12, 100}, {14, 100}, {16, 101}, {26, 103}};

// examples/trapezoid.txt
const char* const kTrapezoidFile =
    "Trapezoidal channel\n\n\n---\n10.0 1.0 0.03 0.05\nN il ip\n---\n6 2 5\nx z\n"
    "0 103\n10 101\n12 100\n14 100\n16 101\n26 103\n";

// examples/meadow_ditch.txt: three levels carry its 55 m3/s.
const char* const kMeadowDitchFile =
    "ditch\n\n\n---\n55.0 0.5 0.035 0.05\nN il ip\n---\n11 6 9\nx z\n"
    "0 103\n0 101.65\n120 101.6\n124 99.8\n132 99.8\n136 101\n140 99\n152 99\n156 101.2\n166 102\n176 103\n";

// examples/reach.g01: two cross sections, the second 0.1 m lower, a bridge between.
const char* const kReach =
    "Geom Title=Two sections\nRiver Reach=Creek           ,Upper           \n"
    "Type RM Length L Ch R = 1 ,105.5,10,10,10\n#Sta/Elev= 6 \n"
    "       0     103      10     101      12     100      14     100      16     101\n      26     103\n"
    "#Mann= 3 ,0,0\n       0     .05       0      10     .03       0      16     .05       0\nBank Sta=10,16\n"
    "#XS Ineff= 1 ,-1 \n      20      26     102\nType RM Length L Ch R = 3 ,100,,,\n"
    "Type RM Length L Ch R = 1 ,90,10,10,10\n#Sta/Elev= 6 \n"
    "       0   102.9      10   100.9      12    99.9      14    99.9      16   100.9\n      26   102.9\n"
    "#Mann= 3 ,0,0\n       0     .05       0      10     .03       0      16     .05       0\nBank Sta=10,16\n";

Section trapezoid() { return Section::from_points(kTrapezoid, Banks::points(1, 4), Roughness(0.03, 0.05), 1.0); }

struct LevelCase {
  const char* what;
  std::function<Section()> section;
  double Q;
  double level;  // as the program reports it, to 5 decimals
};

TEST(Api, NormalLevelOfEachKindOfInput) {
  const LevelCase cases[] = {
      {"points, Q 10", trapezoid, 10, 101.64045},
      {"points, Q 5", trapezoid, 5, 101.22483},
      {"points, Q 20", trapezoid, 20, 102.19045},
      {"banks by station", [] { return Section::from_points(kTrapezoid, Banks::stations(10, 16), Roughness(0.03, 0.05), 1.0); },
       10, 101.64045},
      {"floodplains' own n",
       [] { return Section::from_points(kTrapezoid, Banks::points(1, 4), Roughness(0.03, 0.05, 0.08), 1.0); }, 10,
       101.64905},
      {"feet", [] { return Section::from_points(kTrapezoid, Banks::points(1, 4), Roughness(0.03, 0.05), 1.0,
                                                normlevel::UnitSystem::us); },
       10, 101.38811},
      {"data file", [] { return Section::from_data_file(kTrapezoidFile); }, 10, 101.64045},
      {"station table with n",
       [] {
         return Section::from_table("station;elevation;n\n0;103;0,05\n10;101;0,03\n12;100;\n14;100;\n16;101;0,05\n26;103;\n",
                                    1.0, {.banks = Banks::stations(10, 16)}).at(0);
       },
       10, 101.64045},
  };
  for (const LevelCase& c : cases) {
    const normlevel::Levels levels = c.section().normal_levels(c.Q);
    EXPECT_TRUE(levels.found) << c.what;
    EXPECT_NEAR(levels.level, c.level, 0.5e-5) << c.what;
    ASSERT_EQ(levels.all.size(), 1u) << c.what;
    EXPECT_EQ(levels.all[0], levels.level) << c.what;
  }
}

TEST(Api, EveryLevelCarryingTheDischarge) {
  const Section ditch = Section::from_data_file(kMeadowDitchFile);
  const normlevel::Levels levels = ditch.normal_levels(ditch.design_discharge());
  ASSERT_EQ(levels.all.size(), 3u);
  const double expected[] = {101.5373, 101.6039, 101.7012};
  for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(levels.all[k], expected[k], 1e-4);
  EXPECT_EQ(levels.level, levels.all[0]);
  EXPECT_FALSE(trapezoid().normal_levels(0).found);
}

std::vector<double> fields(const normlevel::ZoneResult& z) {
  return {z.area, z.perimeter, z.radius, z.top_width, z.velocity, z.discharge, z.share, z.conveyance};
}

TEST(Api, BreakdownSumsToTheDischarge) {
  // What the program's --details gives for the trapezoid at its level, and
  // with floodplains of their own n, each zone on its own side.
  const normlevel::FlowBreakdown b = trapezoid().breakdown(trapezoid().normal_levels(10).level);
  const std::vector<double> channel = {7.84272, 6.47214, 1.21177, 6, 1.19810, 9.39633, 0.94005, 297.13792};
  const std::vector<double> total = {9.89362, 13.00350, 0.76084, 12.40453, 1.01030, 9.99557, 1, 316.08760};
  for (std::size_t k = 0; k < channel.size(); ++k) {
    EXPECT_NEAR(fields(b.channel)[k], channel[k], 1e-5) << "field " << k;
    EXPECT_NEAR(fields(b.total)[k], total[k], 1e-5) << "field " << k;
  }
  const normlevel::FlowBreakdown split =
      Section::from_points(kTrapezoid, Banks::points(1, 4), Roughness(0.03, 0.05, 0.08), 1.0).breakdown(101.64905);
  EXPECT_NEAR(split.left.discharge, 0.31046, 1e-5);
  EXPECT_NEAR(split.right.discharge, 0.19404, 1e-5);
  EXPECT_NEAR(split.left.discharge + split.channel.discharge + split.right.discharge, 10.0, 0.01);
  EXPECT_DOUBLE_EQ(split.left.share + split.channel.share + split.right.share, 1.0);
}

TEST(Api, EnergyAndCriticalLevels) {
  const Section s = trapezoid();
  const normlevel::Energy e = s.energy(s.normal_levels(10).level, 10);
  const std::vector<double> expected = {1.32701, 1.13212, 0.06910, 101.70955, 0.37496};
  const std::vector<double> got = {e.alpha, e.beta, e.velocity_head, e.energy_level, e.froude};
  for (std::size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], expected[k], 1e-5) << "field " << k;
  std::vector<double> governing;
  for (const normlevel::Critical& c : s.critical_levels(10))
    if (c.governing) governing.push_back(c.level);
  ASSERT_EQ(governing.size(), 1u);
  EXPECT_NEAR(governing[0], 100.98823, 1e-5);
}

TEST(Api, RatingRows) {
  // The program's --rating 1: level, area, top width, Q left, channel, right, total, channel V.
  const double expected[][8] = {{101, 4, 6, 0, 3.06, 0, 3.06, 0.765},
                                {102, 15, 16, 0.98, 14.09, 0.98, 16.05, 1.409},
                                {103, 36, 26, 6.24, 30.84, 6.24, 43.32, 1.927}};
  const std::vector<normlevel::RatingPoint> rows = trapezoid().rating(1);
  ASSERT_EQ(rows.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    const normlevel::RatingPoint& r = rows[k];
    const double got[] = {r.level, r.area, r.top_width, r.left_discharge, r.channel_discharge, r.right_discharge,
                          r.discharge, r.channel_velocity};
    for (std::size_t f = 0; f < 8; ++f) EXPECT_NEAR(got[f], expected[k][f], 0.005) << "row " << k << " field " << f;
    EXPECT_EQ(r.depth, r.level - 100);
  }
}

TEST(Api, GeometryFileSectionsEachNamed) {
  const std::vector<Section> sections = Section::from_geometry(kReach, 1.0);
  ASSERT_EQ(sections.size(), 2u);
  const struct {
    const char* name;
    double level;
  } expected[] = {{"Creek Upper 105.5", 101.64045}, {"Creek Upper 90", 101.54045}};
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(sections[k].name(), expected[k].name);
    EXPECT_NEAR(sections[k].normal_levels(10).level, expected[k].level, 0.5e-5) << expected[k].name;
  }
}

TEST(Api, WarningsOfALevelAboveTheSection) {
  std::vector<std::string> codes;
  for (const normlevel::Caveat& w : trapezoid().warnings(100)) {
    codes.push_back(w.code);
    EXPECT_NE(w.message.find("1.137 m"), std::string::npos) << w.message;
  }
  EXPECT_EQ(codes, (std::vector<std::string>{"wall_left", "wall_right", "above_section"}));
  EXPECT_TRUE(trapezoid().warnings(10).empty());
}

TEST(Api, BadDataThrowsErrorSayingWhere) {
  const struct {
    const char* what;
    std::function<void()> call;
    const char* message;  // part of what() that must be there
  } cases[] = {
      {"stations backwards",
       [] { Section::from_points({{0, 103}, {10, 101}, {8, 100}, {26, 103}}, Banks::points(1, 2), Roughness(0.03, 0.05), 1); },
       "point 3: stations must not decrease"},
      {"banks reversed", [] { Section::from_points(kTrapezoid, Banks::points(4, 1), Roughness(0.03, 0.05), 1); },
       "bank points 4 and 1"},
      {"bank past the points", [] { Section::from_points(kTrapezoid, Banks::points(1, 6), Roughness(0.03, 0.05), 1); },
       "bank points 1 and 6"},
      {"n of 0", [] { Section::from_points(kTrapezoid, Banks::points(1, 4), Roughness(0, 0.05), 1); }, "is not positive"},
      {"data file cut short", [] { Section::from_data_file("x\nx\nx\nx\n10 1 0.03 0.05\nx\nx\n3 1 3\nx\n0 1\n14 0\n12.5\n"); },
       "line 12: expected 2 numbers (station, elevation), found 1"},
      {"table without n", [] { Section::from_table("x;z\n0;1\n5;0\n10;1\n", 1, {.banks = Banks::stations(0, 10)}); },
       "no n"},
      {"table without banks", [] { Section::from_table("x;z;n\n0;1;0.03\n5;0;0.03\n10;1;0.03\n", 1); }, "no bank points"},
      {"geometry without sections", [] { Section::from_geometry("Geom Title=none\n", 1); }, "no cross section"},
      {"discharge not a number", [] { trapezoid().normal_levels(std::nan("")); }, "discharge Q = nan"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what << ": no error";
    } catch (const normlevel::Error& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.what << ": " << error.what();
    }
  }
}

}  // namespace
