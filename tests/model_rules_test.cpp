// A river model's sections as the model defines them: friction end walls,
// floodplain stretches conveying one by one, ineffective areas, levees and
// obstructions. The zone figures expected here were worked out apart from
// the program, by scripts/model_rules_check.py straight from the files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "energy.h"
#include "func.h"
#include "geometry_file.h"
#include "normal_levels.h"
#include "search.h"
#include "test_support.h"

namespace normlevel {
namespace {

using nlohmann::json;
using testing::json_of;
using testing::run_cli;
using testing::ScratchDir;


const std::string kMuncie = std::string(NORMLEVEL_TEST_DATA) + "/geometry/Muncie.g05";
const std::string kLevees = std::string(NORMLEVEL_EXAMPLES) + "/levee_reach.g01";

struct ZoneCase {
  const std::string* file;
  const char* station;
  const char* level;
  const char* zone;
  double area, perimeter, top_width, conveyance;
};

class ModelZones : public ::testing::TestWithParam<ZoneCase> {};

// US units, so that k = 1.48592 is in every conveyance.
TEST_P(ModelZones, FiguresAsTheModelDefinesThem) {
  const ZoneCase& c = GetParam();
  const json r = json_of({"--units", "us", "--slope", "1", "--section", c.station, "--level", c.level, *c.file})[0];
  EXPECT_EQ(r["rules"], "model");
  const json& z = r["zones"][c.zone];
  EXPECT_NEAR(z["area"].get<double>(), c.area, 1e-7 * c.area);
  EXPECT_NEAR(z["perimeter"].get<double>(), c.perimeter, 1e-7 * c.perimeter);
  EXPECT_NEAR(z["top_width"].get<double>(), c.top_width, 1e-7 * c.top_width);
  EXPECT_NEAR(z["conveyance"].get<double>(), c.conveyance, 1e-7 * c.conveyance);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, ModelZones,
    ::testing::Values(
        // below an ineffective block's elevation (952.5518) on the right, and above it
        ZoneCase{&kMuncie, "13859.04", "952", "left", 227.83793639106509, 84.3231605404389, 82.95803840125245,
                 10797.994875150122},
        ZoneCase{&kMuncie, "13859.04", "952", "right", 1336.1039492957739, 148.09459717972538, 148.05,
                 122915.02990879299},
        ZoneCase{&kMuncie, "13859.04", "953", "right", 4736.948299999998, 722.0258455875228, 721.24,
                 352392.4812492333},
        ZoneCase{&kMuncie, "13859.04", "953", "channel", 3197.559300000001, 201.55413277828134, 200.81,
                 749960.9389276335},
        // a right levee (crest 103) holding the water behind it, then overtopped; an obstruction on the left
        ZoneCase{&kLevees, "100", "102.2", "left", 9.5, 10.012492197250394, 10, 227.17230931876324},
        ZoneCase{&kLevees, "100", "102.2", "right", 16.5, 16.001333274079343, 15, 500.48901569199313},
        ZoneCase{&kLevees, "100", "103.2", "left", 54.2125, 42.50140480802815, 42, 1579.0930169326662},
        ZoneCase{&kLevees, "100", "103.2", "right", 35.847826086956545, 23.38710298045048, 19.347826086956527,
                 1416.269312892583},
        // a left levee (crest 102.6) and ineffective areas from both ends, the right one permanent
        ZoneCase{&kLevees, "50", "102.3", "left", 16.5, 15.721318184500323, 15, 422.0119800352788},
        ZoneCase{&kLevees, "50", "102.7", "left", 30.75, 32.06159743722708, 30, 740.6208601280093},
        ZoneCase{&kLevees, "50", "102.7", "right", 21.45, 12.002109189638295, 12, 938.7844105561437}));

// A section of a geometry file with its own points, n and banks.
std::string geometry_file(const std::string& points, const std::string& banks, const std::string& extra = "") {
  return "River Reach=Creek,Upper\nType RM Length L Ch R = 1 ,7,10,10,10\n#Sta/Elev= " +
         std::to_string(std::count(points.begin(), points.end(), '.') / 2) + " \n" + points +
         "#Mann= 3 ,0,0\n       0     .05       0      10     .03       0      16     .05       0\nBank Sta=" + banks +
         "\n" + extra;
}

TEST(ModelSections, AWallAtABankBelongsToTheChannel) {
  ScratchDir dir;
  // the right bank on a vertical wall at 16, where n changes to the floodplain's
  const std::string right_wall = dir.write(
      "r.g01", geometry_file("     0.0   103.0    10.0   101.0    12.0   100.0    14.0   100.0    16.0   100.0\n"
                             "    16.0   102.0    26.0   103.0\n",
                             "10,16"));
  for (const char* rules : {"model", "divided"}) {
    const json r = json_of({"--rules", rules, "--level", "101", "--slope", "1", right_wall})[0];
    const json& channel = r["zones"]["channel"];
    ASSERT_EQ(channel["parts"].size(), 1u) << rules << ": no subdivision of no width";
    EXPECT_EQ(channel["parts"][0]["n"], 0.03) << rules;
    EXPECT_NEAR(channel["perimeter"].get<double>(), std::sqrt(5.0) + 2 + 2 + 1, 1e-12) << rules;
    EXPECT_EQ(r["bank_right"], 102) << rules;
  }
  // the left bank at the foot of a wall rising at 10: the wall's upper point, as tables take it
  const std::string left_wall = dir.write(
      "l.g01", geometry_file("     0.0   100.5    10.0   100.0    10.0   102.0    12.0   101.0    14.0   100.0\n"
                             "    16.0   101.0    26.0   103.0\n",
                             "10,16"));
  EXPECT_EQ(json_of({"--level", "101", "--slope", "1", left_wall})[0]["bank_left"], 102);
}

TEST(ModelSections, LeftOutNamesOnlyWhatTheRulesLeaveOut) {
  ScratchDir dir;
  const std::string file = dir.write(
      "w.g01", geometry_file("     0.0   103.0    10.0   101.0    12.0   100.0    14.0   100.0    16.0   101.0\n"
                             "    26.0   103.0\n",
                             "10,16",
                             "Levee=-1,5,102\n#XS Ineff= 1 ,-1\n      20      26     102\nIce Thickness=0.2\n"
                             "#Block Obstruct= 1 ,-1\n       0       3     102\n"));
  const auto left_out = [&](const char* rules) {
    std::vector<std::string> messages;
    const json r = json_of({"--rules", rules, "-q", "10", "--slope", "1", file})[0];
    for (const json& w : r["warnings"])
      if (w["code"] == "left_out") messages.push_back(w["message"]);
    return messages;
  };
  const std::string tail = " are not modelled: the section is computed without them";
  EXPECT_EQ(left_out("model"), (std::vector<std::string>{"ice covers" + tail}));
  EXPECT_EQ(left_out("divided"), (std::vector<std::string>{"levees" + tail, "ineffective flow areas" + tail,
                                                           "ice covers" + tail, "blocked obstructions" + tail}));
}

TEST(ModelSections, EachInputHasItsDefaultRulesAndEitherCanBeAsked) {
  ScratchDir dir;
  const std::string data = dir.write("t.txt", testing::trapezoid_file());
  const struct {
    std::vector<std::string> arguments;
    const char* rules;
  } cases[] = {
      {{data}, "divided"},
      {{"--rules", "model", data}, "model"},
      {{"--section", "13859.04", "-q", "5000", "--slope", "1", kMuncie}, "model"},
      {{"--rules", "divided", "--section", "13859.04", "-q", "5000", "--slope", "1", kMuncie}, "divided"},
  };
  for (const auto& c : cases) EXPECT_EQ(json_of(c.arguments)[0]["rules"], c.rules) << c.arguments.back();
  const testing::CliRun wrong = run_cli({"--rules", "hec", data});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.err, "normlevel: option '--rules': 'hec' is not one of model, divided\n");
}

// The picture shows the records where they stand; the water held behind the
// levee below its crest is left untinted, the ineffective area's above its
// elevation is not.
TEST(ModelSections, ThePictureDrawsTheRecordsAndLeavesHeldWaterUntinted) {
  const struct {
    const char* discharge;
    std::vector<std::string> holds;
    std::size_t untinted;
  } cases[] = {
      {"300", {"wa\u0142 103.00", "przeszkoda 102.00", "strefa martwa poni\u017Cej 102.50", "url(#ineffective)"}, 1},
      {"1500", {"z tarciem"}, 0},  // over both ends, against walls with friction
      {"20", {"wa\u0142 103.00"}, 0},  // below the ground behind the levee: nothing held there
  };
  for (const auto& c : cases) {
    const testing::CliRun run = run_cli({"--svg", "-q", c.discharge, "--slope", "1", "--section", "100", kLevees});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& words : c.holds) EXPECT_NE(run.out.find(words), std::string::npos) << words;
    std::size_t untinted = 0;
    for (std::size_t at = 0; (at = run.out.find("<path fill=\"#ffffff\" stroke=\"none\"", at)) != std::string::npos; ++at)
      ++untinted;
    EXPECT_EQ(untinted, c.untinted) << c.discharge;
  }
}

std::vector<double> levels_of(const std::vector<CriticalLevel>& found) {
  std::vector<double> levels;
  for (const CriticalLevel& c : found) levels.push_back(c.level);
  return levels;
}

// Whether ground inside a floodplain's subdivision can stand above the water
// on both sides of it, parting it into stretches.
bool some_floodplain_may_part(const CrossSection& d) {
  for (const Subdivision& part : d.parts) {
    if (part.zone == kChannel) continue;
    for (std::int32_t b = part.first + 1; b <= part.last; ++b) {
      const double left = *std::min_element(d.z.begin() + part.first, d.z.begin() + b);
      const double right = *std::min_element(d.z.begin() + b + 1, d.z.begin() + part.last + 2);
      if (d.z[b] > std::max(left, right)) return true;
    }
  }
  return false;
}

// Nothing held back: the sweep's polynomials carry the model rules, the end
// walls and each floodplain's stretches joining as the ground between them
// goes under. Its normal levels are those the plain sums give level by level;
// so are its critical levels where no floodplain parts (where one does, the
// plain sums' E, summed level by level, may turn on rounding alone).
TEST(ModelSections, TheSweepAgreesWithThePlainSums) {
  std::mt19937 random(1848);
  int compared = 0, unparted = 0;
  for (int section = 0; section < 600; ++section) {
    CrossSection d = testing::random_section(random, 2 + section % 20);
    if (section % 2 == 1) testing::vary_roughness(d, random);
    d.rules = Rules::model;
    measure_segments(d);
    ASSERT_FALSE(d.plain_sums);
    ++compared;
    const bool parted = some_floodplain_may_part(d);
    unparted += parted ? 0 : 1;
    std::uniform_real_distribution<double> depth(0.05, d.zmax - d.zmin + 1);
    const double Q = std::max(0.01, -balance(d, 0, d.zmin + depth(random))), top = search_top(d);
    const std::vector<double> swept = levels_of(critical_levels(d, Q, top));
    const std::vector<NormalLevel> normal = normal_levels(d, Q, top);
    d.plain_sums = true;
    const std::vector<double> summed = levels_of(critical_levels(d, Q, top));
    const std::vector<NormalLevel> normal_summed = normal_levels(d, Q, top);
    const std::string where = "section " + std::to_string(section) + " Q " + std::to_string(Q);
    ASSERT_EQ(normal.size(), normal_summed.size()) << where;
    for (std::size_t k = 0; k < normal.size(); ++k) EXPECT_NEAR(normal[k].level, normal_summed[k].level, 1e-6) << where;
    if (parted) continue;
    ASSERT_EQ(swept.size(), summed.size()) << where;
    for (std::size_t k = 0; k < swept.size(); ++k) EXPECT_NEAR(swept[k], summed[k], 1e-5) << where;
  }
  EXPECT_GE(unparted, 60);
  EXPECT_GE(compared - unparted, 200);
}

// The header's example: what the model rules take in leaves the warning.
TEST(ModelSections, LeftOutNamesOnlyWhatTheModelRulesDoNotTakeIn) {
  EXPECT_EQ(left_out_by_model({"levees", "ice covers"}), std::vector<std::string>{"ice covers"});
  EXPECT_EQ(left_out_by_model({"ineffective flow areas", "blocked obstructions", "vertical variations of n"}),
            std::vector<std::string>{"vertical variations of n"});
}

}  // namespace
}  // namespace normlevel
