// What a level rests on: a warning for each assumption, water that ponds
// behind a levee with and without --connected, and the roughness or slope
// solved for from a flood mark.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "results/assumptions.h"
#include "output/output.h"
#include "test_support.h"

namespace normlevel {
namespace {

using nlohmann::json;
using testing::run_cli;
using testing::ScratchDir;

// A floodplain pond behind a levee crest at 102.4 m, left of a channel
// 2 m deep between banks at 101 m.
std::string levee_file(const std::string& flow = "27.8666 1.0 0.03 0.05") {
  return "A pond behind a levee\nx\nx\nx\n" + flow +
         "\nx\nx\n9 5 8\nx\n0 103\n4 100.2\n8 100.2\n10 102.4\n12 101\n14 99\n18 99\n20 101\n30 103\n";
}

json result(const std::vector<std::string>& arguments, std::string* err = nullptr) {
  std::vector<std::string> all = {"--format", "json"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  const testing::CliRun run = run_cli(all);
  EXPECT_EQ(run.status, 0) << run.err;
  if (err != nullptr) *err = run.err;
  return json::parse(run.out)[0];
}

std::set<std::string> codes(const json& r) {
  std::set<std::string> all;
  for (const json& w : r["warnings"]) all.insert(w["code"]);
  return all;
}

TEST(Assumptions, HeaderExamples) {
  EXPECT_EQ(figure(0.9), "0.9");
  EXPECT_EQ(figure(101.640452), "101.64");
  EXPECT_EQ(figure(1e6), "1000000");
  EXPECT_EQ(figure(0.0004), "0.0004");
  EXPECT_EQ(figure(1e308), "1e+308");
  EXPECT_EQ(figure(-2.5e17), "-2.5e+17");
  EXPECT_EQ(figure(1e14), "100000000000000");
}

TEST(Assumptions, EachWarningWhereItsAssumptionHolds) {
  ScratchDir dir;
  const std::string t = dir.write("t.txt", testing::trapezoid_file());
  const std::string low_left = dir.write("l.txt", "x\nx\nx\nx\n10 1 0.03 0.05\nx\nx\n6 2 5\nx\n"
                                                  "0 101.5\n10 101\n12 100\n14 100\n16 101\n26 103\n");
  const std::string levee = dir.write("levee.txt", levee_file());
  const std::string steep = dir.write("s.txt", testing::trapezoid_file("10.0 60 0.03 0.05"));
  const struct {
    std::vector<std::string> arguments;
    std::set<std::string> codes;
  } cases[] = {
      {{t}, {}},
      {{"--level", "104", t}, {"wall_left", "wall_right", "above_section"}},
      {{"--level", "102", low_left}, {"wall_left"}},
      {{levee}, {"ponded"}},
      {{"--level", "102.5", levee}, {}},
      {{steep}, {"supercritical"}},
      {{"--nc", "0.35", t}, {"input_n"}},
      {{"--nf", "0.5", t}, {"input_n"}},
      {{"--slope", "150", "--level", "101", t}, {"input_slope", "supercritical"}},
      {{"--slope", "0.005", "--level", "101", t}, {"input_slope"}},
      {{"--slope", "0.005", t}, {"input_slope", "wall_left", "wall_right", "above_section"}},
      {{"-q", "0", t}, {"notice_reason"}},
      {{"--slope", "0", t}, {"notice_reason"}},
      {{"-q", "1e6", t}, {"notice_reason"}},
      {{"--level", "99", t}, {"below_bed"}},
  };
  for (const auto& c : cases) {
    std::string err;
    const json r = result(c.arguments, &err);
    EXPECT_EQ(codes(r), c.codes) << c.arguments[0] << " " << c.arguments.back();
    EXPECT_EQ(static_cast<std::size_t>(std::count(err.begin(), err.end(), '\n')), r["warnings"].size())
        << "one line on stderr each: " << err;
  }
}

TEST(Assumptions, WarningsSayWhatAndHowMuch) {
  ScratchDir dir;
  const std::string t = dir.write("t.txt", testing::trapezoid_file());
  std::string err;
  result({"--level", "104", t}, &err);
  EXPECT_EQ(err, "normlevel: " + t + ": warning: the water stands 1 m above the left end point (station 0): an assumed "
                 "frictionless wall holds it\n"
                 "normlevel: " + t + ": warning: the water stands 1 m above the right end point (station 26): an assumed "
                 "frictionless wall holds it\n"
                 "normlevel: " + t + ": warning: the level stands 1 m above the section's highest point (103 m)\n");
  const json under = result({"--level", "99.9999", t});  // not rounded to the lowest point's 100 m
  EXPECT_EQ(under["warnings"][0]["message"],
            "the level 99.9999 m lies below the lowest point (100 m): nothing is wet and the discharge is 0");
  const json notice = result({"-q", "1e6", t});
  EXPECT_EQ(notice["warnings"][0]["message"], "the section carries at most 3087.272 m3/s at 123 m, 20 m above its highest point");
  const json fraction = result({"--slope", "0.001", "--level", "101", t});
  EXPECT_EQ(fraction["warnings"][0]["message"],
            "a slope of 0.001 per mille is very flat: did you mean a fraction? As a fraction 0.001 is 1 per mille");
  const testing::CliRun csv = run_cli({"--format", "csv", "--level", "104", t});
  EXPECT_TRUE(csv.out.ends_with(",wall_left;wall_right;above_section\r\n")) << csv.out;
}

// The pond holds water 0.9 m below the levee's crest: counted as flowing
// it lowers the level, the unsafe side; --connected leaves it out until
// the water overtops the crest.
TEST(Ponding, APondBehindALeveeWithAndWithoutConnected) {
  ScratchDir dir;
  const std::string levee = dir.write("levee.txt", levee_file());
  const json divided = result({levee}), connected = result({"--connected", levee});
  EXPECT_NEAR(divided["level"], 101.5, 5e-4);
  EXPECT_EQ(divided["warnings"][0]["message"],
            "water from station 2.143 to 9.182 is not connected to the channel's: ground at 102.4 m, 0.9 m above the "
            "level, parts them; it is counted as carrying 15.1% of the flow");
  EXPECT_GT(connected["level"].get<double>(), divided["level"].get<double>() + 0.01);
  EXPECT_LT(connected["zones"]["left"]["area"].get<double>(), divided["zones"]["left"]["area"].get<double>());
  EXPECT_TRUE(connected["warnings"][0]["message"].get<std::string>().ends_with("it carries nothing (--connected)"));
  for (const char* level : {"102.41", "102.5"}) {  // over the crest
    const json over = result({"--level", level, levee}), joined = result({"--connected", "--level", level, levee});
    EXPECT_EQ(joined["discharge"], over["discharge"]) << level;
    EXPECT_TRUE(joined["warnings"].empty()) << level;
  }
  EXPECT_EQ(codes(result({"--level", "102.4", levee})), std::set<std::string>{"ponded"}) << "level with the crest";
}

// A hole beside a dry channel carries all the flow: the ground it must rise
// over is the highest point between it and the channel's lowest, on its own
// side, not the section's highest.
TEST(Ponding, AHoleBesideADryChannelNamesTheGroundBetween) {
  const struct {
    const char* points;  // N il ip, then the points
    const char* message;
  } cases[] = {
      {"8 4 7\nx\n0 103\n5 95\n8 101\n10 101\n12 100\n14 100\n16 101\n26 103\n",
       "water from station 3.691 to 6.047 is not connected to the channel's: ground at 101 m, 3.906 m above the "
       "level, parts them; it is counted as carrying 100.0% of the flow"},
      {"8 2 5\nx\n0 103\n10 101\n12 100\n14 100\n16 101\n18 102\n21 95\n26 103\n",
       "water from station 20.068 to 22.359 is not connected to the channel's: ground at 102 m, 4.825 m above the "
       "level, parts them; it is counted as carrying 100.0% of the flow"},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    const std::string file = dir.write("hole.txt", std::string("t\nt\nt\nt\n1 1 0.03 0.05\nx\nx\n") + c.points);
    const json r = result({file});
    ASSERT_EQ(r["warnings"].size(), 1u) << c.points;
    EXPECT_EQ(r["warnings"][0]["message"], c.message);
  }
}

// The trapezoid of a river model with held water below 102 m: outside the
// channel (mode 0), or across the whole section.
std::string held_water_model(const std::string& blocks) {
  return "Geom Title=t\nRiver Reach=R,A\nType RM Length L Ch R = 1 ,1,10,10,10\n#Sta/Elev= 6 \n"
         "       0     103      10     101      12     100      14     100      16     101\n      26     103\n"
         "#Mann= 3 ,0,0\n       0    0.05       0      10    0.03       0      16    0.05       0\n"
         "Bank Sta=10,16\n" + blocks + "Permanent Ineff=\n       F       F\n";
}

// Where held water begins to flow, what the section carries rises at once:
// a discharge inside that rise is carried at no level, and the warning says
// so; one the section carries smoothly, or a level asked, draws none.
TEST(DischargeJump, ADischargeInsideARiseAtOnceIsCarriedAtNoLevel) {
  const std::string outside = "#XS Ineff= 2 ,0 \n      10     102      16     102\n";
  const std::string across = "#XS Ineff= 1 ,-1 \n    -100     200     102\n";
  const struct {
    const std::string& blocks;
    std::vector<std::string> arguments;
    const char* message;  // "": no such warning
  } cases[] = {
      {outside, {"-q", "15", "--slope", "1"},
       "at 102 m what the section carries rises at once from 14.088 to 16.054 m3/s, past the 15 m3/s sought: no "
       "level there carries it, and the report gives the level of the rise, where it carries 14.086 m3/s"},
      {across, {"-q", "15", "--slope", "1"},
       "at 102 m what the section carries rises at once from 0 to 16.054 m3/s, past the 15 m3/s sought: no level "
       "there carries it, and the report gives the level of the rise, where it carries 0 m3/s"},
      {outside, {"-q", "30", "--slope", "1"}, ""},
      {outside, {"-q", "3.0669", "--slope", "1"}, ""},  // 1 mm above the banks' points, smoothly
      {outside, {"-q", "15", "--slope", "1", "--rules", "divided"}, ""},
      {outside, {"--level", "101.9999", "--slope", "1"}, ""},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    std::vector<std::string> arguments = c.arguments;
    arguments.push_back(dir.write("held.g01", held_water_model(c.blocks)));
    std::string said;
    const json r = result(arguments);
    for (const json& w : r["warnings"])
      if (w["code"] == "discharge_jump") said = w["message"];
    EXPECT_EQ(said, c.message) << arguments[1];
  }
}

// Calibration from a flood mark: the n factor or the slope with which the
// section carries Q at the mark's level; the answer, put back, carries Q.
TEST(Solve, TheAnswerCarriesTheDischargeAtTheLevel) {
  ScratchDir dir;
  const std::string t = dir.write("t.txt", testing::trapezoid_file());
  const json n = result({"--solve", "n", "--level", "101.9", "-q", "12", t});
  const double f = n["n_factor"];
  EXPECT_EQ(n["solve"], "n");
  EXPECT_EQ(n["nc"], 0.03 * f);
  EXPECT_EQ(n["nf"], 0.05 * f);
  EXPECT_NEAR(n["zones"]["total"]["discharge"], 12, 1e-12);
  const json back = result({"--level", "101.9", "--nc", shortest_number(0.03 * f), "--nf", shortest_number(0.05 * f), t});
  EXPECT_NEAR(back["discharge"], 12, 1e-12);
  const json s = result({"--solve", "slope", "--level", "101.9", t});
  EXPECT_NEAR(s["zones"]["total"]["discharge"], 10, 1e-12) << "the file's discharge";
  EXPECT_EQ(result({"--solve", "slope", "--level", "101.9", "--slope", "0", t})["slope_per_mille"], s["slope_per_mille"])
      << "the file's slope plays no part";
  const json slope_back = result({"--level", "101.9", "--slope", shortest_number(s["slope_per_mille"]), t});
  EXPECT_NEAR(slope_back["discharge"], 10, 1e-12);
  const testing::CliRun text = run_cli({"--solve", "n", "--level", "101.9", "-q", "12", t});
  EXPECT_NE(text.out.find("mnoznik n:   "), std::string::npos) << text.out;
  const struct {
    std::vector<std::string> arguments;
    const char* error;
  } impossible[] = {
      {{"--solve", "n", "--level", "100", t}, "--solve: the level 100 is not above the lowest point 100"},
      {{"--solve", "slope", "--level", "101", "-q", "0", t}, "--solve: the discharge 0 is not positive"},
      {{"--solve", "n", "--level", "101", "--slope", "0", t}, "--solve: the section carries nothing at 101 (a slope of 0?)"},
  };
  for (const auto& c : impossible) {
    const testing::CliRun run = run_cli(c.arguments);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, "normlevel: " + t + ": " + c.error + "\n");
  }
}

}  // namespace
}  // namespace normlevel
