#include "CSdata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "Failure.h"
#include "test_support.h"

namespace normlevel {
namespace {

using testing::name_field;
using testing::ScratchDir;
using testing::set_classic_section;
using testing::trapezoid_file;

// The diagnostic setdata fails with, or "" when it loads.
std::string load_failure(const std::string& name) {
  try {
    setdata(name_field(name));
    return "";
  } catch (const Failure& failure) {
    return failure.diagnostic();
  }
}

TEST(Setdata, LoadsTheTrapezoidalExample) {
  ScratchDir dir;
  setdata(name_field(dir.write("t.txt", trapezoid_file())));
  EXPECT_EQ(CSDATA.Q, 10);
  EXPECT_EQ(CSDATA.s, 0.001);
  EXPECT_EQ(CSDATA.nc, 0.03);
  EXPECT_EQ(CSDATA.nf, 0.05);
  EXPECT_EQ(CSDATA.N, 6);
  EXPECT_EQ(CSDATA.il, 2);
  EXPECT_EQ(CSDATA.ip, 5);
  EXPECT_EQ(CSDATA.zmin, 100);
  EXPECT_EQ(CSDATA.zmax, 103);
  EXPECT_EQ(CSDATA.x[4], 14);
  EXPECT_EQ(CSDATA.z[4], 100);
  finishdata();
  EXPECT_TRUE(CSDATA.x.empty());
  EXPECT_TRUE(CSDATA.z.empty());
}

TEST(Setdata, SameDataSetFromOtherLayouts) {
  const std::string variants[] = {
      // commas instead of blanks, comments after the values, LF only
      "a\nb\nc\nd\n10.0,1.0,0.03,0.05\n\n\n6,2,5 points\n\n0,103 left\n10,101\n12,100\n14,100\n16,101\n26,103\n",
      // groups spread over lines, blank lines inside them, no final line end
      "a\r\nb\r\nc\r\nd\r\n\r\n10 1\r\n\r\n 0.03\t0.05\r\nx\r\ny\r\n6\r\n2 5\r\n-\r\n0 103\r\n10 101\r\n12 100\r\n"
      "14 100\r\n16 101\r\n26 103",
      // records after the last point are never read
      trapezoid_file() + "not a number at all\r\n'unclosed\r\n",
  };
  for (const std::string& text : variants) {
    ScratchDir dir;
    setdata(name_field(dir.write("t.txt", text)));
    EXPECT_EQ(CSDATA.Q, 10) << text;
    EXPECT_EQ(CSDATA.s, 0.001) << text;
    EXPECT_EQ(CSDATA.nf, 0.05) << text;
    EXPECT_EQ(CSDATA.N, 6) << text;
    EXPECT_EQ(CSDATA.ip, 5) << text;
    EXPECT_EQ(CSDATA.x[6], 26) << text;
    EXPECT_EQ(CSDATA.z[6], 103) << text;
    EXPECT_EQ(CSDATA.zmin, 100) << text;
  }
}

TEST(Setdata, SlopeIsGivenPerMille) {
  ScratchDir dir;
  setdata(name_field(dir.write("t.txt", trapezoid_file("12.5 0.8 0.035 0.06"))));
  EXPECT_EQ(CSDATA.Q, 12.5);
  EXPECT_EQ(CSDATA.s, 0.8 / 1000);
  EXPECT_EQ(CSDATA.nc, 0.035);
  EXPECT_EQ(CSDATA.nf, 0.06);
}

TEST(Setdata, ExtremesWhenTheHighestPointComesFirst) {
  ScratchDir dir;
  setdata(name_field(dir.write("t.txt", "1\n2\n3\n4\n1 1 0.03 0.05\n\n\n3 1 3\n\n0 9\n1 2\n2 5\n")));
  EXPECT_EQ(CSDATA.zmax, 9);
  EXPECT_EQ(CSDATA.zmin, 2);
}

TEST(Setdata, ReadFailuresNameTheDataFile) {
  const std::string past_end = "? Run-time Error:\r\n? Attempt to read past end of file\r\n? READ(UNIT=1011,...\n";
  const std::string illegal = "? Run-time Error:\r\n? Illegal character in numeric input\r\n? READ(UNIT=1011,...\n";
  const std::string full = trapezoid_file();
  const struct {
    std::string text;
    std::string diagnostic;
  } cases[] = {
      {"", past_end},
      {full.substr(0, full.size() - 8), past_end},  // the last point is missing
      {full.substr(0, full.find("0 103")), past_end},
      {"1\n2\n3\n4\n10 1 0.03\n", past_end},
      {"1\n2\n3\n4\n10 1 0.03 0.05\n\n\n2000000000 1 2\n\n0 1\n1 0\n", past_end},  // no memory for N spent
      {trapezoid_file("10.0 1.0 0.03 O.05"), illegal},
      {"1\n2\n3\n4\n10 1 0.03 0.05\n\n\n6.0 2 5\n", illegal},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    EXPECT_EQ(load_failure(dir.write("t.txt", c.text)), c.diagnostic) << c.text;
  }
}

TEST(Setdata, OpenFailuresCreateNothing) {
  ScratchDir dir;
  dir.write("plain.txt", trapezoid_file());
  std::filesystem::create_directory(dir.path("folder"));
  const auto system_error = [](const std::string& text) {
    return "? System Error:\r\n? " + text + "\r\n? OPEN(UNIT=1011,...\n";
  };
  const struct {
    std::string name;
    std::string diagnostic;
  } cases[] = {
      {"", "? Run-time Error:\r\n? Bad file specification\r\n? OPEN(UNIT=1011,...\n"},
      {dir.path("missing.txt"), system_error("The system cannot find the file specified.")},
      {dir.path("nowhere/missing.txt"), system_error("The system cannot find the path specified.")},
      {dir.path("plain.txt/inside.txt"), system_error("The system cannot find the path specified.")},
      {dir.path("folder"), system_error("Access Denied.")},
      {dir.path("bad") + std::string(1, '\0') + "name",
       system_error("The file name, directory name, or volume label is not syntactically correct.")},
  };
  for (const auto& c : cases) EXPECT_EQ(load_failure(c.name), c.diagnostic) << c.name;
  EXPECT_FALSE(std::filesystem::exists(dir.path("missing.txt")));
  EXPECT_FALSE(std::filesystem::exists(dir.path("nowhere")));
}

TEST(Setdata, NameIsTrimmedOfBlanks) {
  ScratchDir dir;
  setdata(name_field("   " + dir.write("t.txt", trapezoid_file())));
  EXPECT_EQ(CSDATA.N, 6);
}

TEST(Setdata, RejectsDataThatDescribeNoSection) {
  const auto points = [](const std::string& header, const std::string& counts, const std::string& rows) {
    return "1\n2\n3\n4\n" + header + "\n\n\n" + counts + "\n\n" + rows;
  };
  const std::string flow = "10 1 0.03 0.05";
  const std::string rows = "0 103\n10 101\n12 100\n14 100\n16 101\n26 103\n";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {points(flow, "1 1 1", "0 0\n"), "the section needs at least 2 points, but N = 1"},
      {points(flow, "-4 1 2", ""), "the section needs at least 2 points, but N = -4"},
      {points(flow, "6 5 2", rows), "bank points il = 5 and ip = 2 do not satisfy 1 <= il < ip <= N = 6"},
      {points(flow, "6 0 5", rows), "bank points il = 0 and ip = 5 do not satisfy 1 <= il < ip <= N = 6"},
      {points(flow, "6 2 7", rows), "bank points il = 2 and ip = 7 do not satisfy 1 <= il < ip <= N = 6"},
      {points(flow, "6 3 3", rows), "bank points il = 3 and ip = 3 do not satisfy 1 <= il < ip <= N = 6"},
      {points("Inf 1 0.03 0.05", "6 2 5", rows), "discharge Q = inf is not a finite number"},
      {points("10 NaN 0.03 0.05", "6 2 5", rows), "slope s = nan per mille is not a finite number"},
      {points("10 -1 0.03 0.05", "6 2 5", rows), "slope s = -1 per mille is negative"},
      {points("10 1 0 0.05", "6 2 5", rows), "roughness nc = 0 is not positive"},
      {points("10 1 0.03 -0.05", "6 2 5", rows), "roughness nf = -0.05 is not positive"},
      {points("10 1 0.03,,", "6 2 5", rows), "roughness nf = 0 is not positive"},
      {points("10 1 1e-320 0.05", "6 2 5", rows), "roughness nc = 1e-320 is too small for the slope of 1 per mille"},
      {points("10 1 0.03 Infinity", "6 2 5", rows), "roughness nf = inf is not a finite number"},
      {points(flow, "6 2 5", "0 103\n10 101\n9.99 100\n14 100\n16 101\n26 103\n"),
       "point 3: station x = 9.99 is smaller than the station of point 2 (10)"},
      {points(flow, "6 2 5", "0 103\n10 101\n12 -inf\n14 100\n16 101\n26 103\n"),
       "point 3: elevation z = -inf is not a finite number"},
      {points(flow, "6 2 5", "0 103\n10 101\n12 100\n,100\n16 101\n26 103\n"),
       "point 4: station x = nan is not a finite number"},
      {points(flow, "6 2 5", "0 103\n10 101\n12 100\n14 100\n16 101\n26 1.00001e5\n"),
       "point 6: elevation z = 100001 lies beyond 1e5 m"},
      {points(flow, "6 2 5", "-2e9 103\n10 101\n12 100\n14 100\n16 101\n26 103\n"),
       "point 1: station x = -2e+09 lies beyond 1e9 m"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    EXPECT_EQ(load_failure(dir.write("t.txt", c.text)), "? Run-time Error:\r\n? " + c.message + "\r\n") << c.text;
  }
}

TEST(Setdata, AcceptsWhatStillGivesAnAnswerOrTheNotice) {
  const char* headers[] = {"0 1 0.03 0.05", "-5 1 0.03 0.05", "10 0 0.03 0.05", "10 1 1e-300 1e300"};
  for (const char* header : headers) {
    ScratchDir dir;
    EXPECT_EQ(load_failure(dir.write("t.txt", trapezoid_file(header))), "") << header;
  }
  ScratchDir dir;  // vertical walls: equal stations are fine
  EXPECT_EQ(load_failure(dir.write("t.txt", "1\n2\n3\n4\n1 1 0.03 0.05\n\n\n4 1 4\n\n0 5\n0 0\n3 0\n3 5\n")), "");
}

// Wetted geometry --------------------------------------------------------

struct Geometry {
  std::int32_t flag;
  double AFL, A0, AFP, PFL, P0, PFP;
};

Geometry wetted(double h) {
  Geometry g{0, -1, -2, -3, -4, -5, -6};
  g.flag = basichydro(h, g.AFL, g.A0, g.AFP, g.PFL, g.P0, g.PFP);
  return g;
}

TEST(Basichydro, BelowAndAtTheLowestPoint) {
  set_classic_section({{0, 2}, {1, 0}, {2, 2}}, 1, 3);
  const Geometry below = wetted(-0.001);
  EXPECT_EQ(below.flag, 0);
  EXPECT_EQ(below.AFL, -1);  // untouched
  EXPECT_EQ(below.A0, -2);
  EXPECT_EQ(below.PFP, -6);
  const Geometry at = wetted(0);
  EXPECT_EQ(at.flag, 1);
  for (double v : {at.AFL, at.A0, at.AFP, at.PFL, at.P0, at.PFP}) EXPECT_EQ(v, 0);
}

TEST(Basichydro, VSectionAsTheWholeChannel) {
  set_classic_section({{0, 2}, {1, 0}, {2, 2}}, 1, 3);
  const Geometry g = wetted(1);
  EXPECT_EQ(g.A0, 0.5);
  EXPECT_NEAR(g.P0, 2.2360680, 1e-7);
  EXPECT_EQ(g.P0, 2 * std::sqrt(1.25));
  EXPECT_EQ(g.AFL, 0);
  EXPECT_EQ(g.PFL, 0);
  EXPECT_EQ(g.AFP, 0);
  EXPECT_EQ(g.PFP, 0);
}

TEST(Basichydro, AboveTheHighestPointEverySegmentIsFull) {
  set_classic_section({{0, 103}, {10, 101}, {12, 100}, {14, 100}, {16, 101}, {26, 103}}, 2, 5);
  const double h = 104.5;
  const Geometry g = wetted(h);
  // width times level minus the trapezoidal integral of the bed
  const double bed = 10 * 102 + 2 * 100.5 + 2 * 100 + 2 * 100.5 + 10 * 102;
  EXPECT_NEAR(g.AFL + g.A0 + g.AFP, 26 * h - bed, 1e-9);
  EXPECT_NEAR(g.AFL, 10 * (h - 102), 1e-12);
  EXPECT_NEAR(g.PFL, std::sqrt(104), 1e-12);
  EXPECT_NEAR(g.P0, 2 * std::sqrt(5) + 2, 1e-12);
}

TEST(Basichydro, ZonesWithNoSegments) {
  set_classic_section({{0, 3}, {1, 0}, {2, 3}}, 1, 3);
  const Geometry g = wetted(5);
  EXPECT_EQ(g.AFL, 0);
  EXPECT_EQ(g.PFL, 0);
  EXPECT_EQ(g.AFP, 0);
  EXPECT_EQ(g.PFP, 0);
  EXPECT_EQ(g.A0, 2 * 0.5 * 7);  // each segment: width 1, mean depth 3.5
}

TEST(Basichydro, EndExactlyAtTheLevelCountsItsTriangle) {
  // The middle two segments each have one end exactly at h = 1.
  set_classic_section({{0, 2}, {1, 1}, {2, 0}, {3, 1}, {4, 2}}, 1, 5);
  const Geometry g = wetted(1);
  EXPECT_EQ(g.A0, 1.0);
  EXPECT_EQ(g.P0, 2 * std::sqrt(2.0));
  // and the area grows smoothly through that level
  EXPECT_NEAR(wetted(1 - 1e-9).A0, 1.0, 1e-8);
  EXPECT_NEAR(wetted(1 + 1e-9).A0, 1.0, 1e-8);
}

TEST(Basichydro, LevelSegmentExactlyAtTheLevelAddsNothing) {
  set_classic_section({{0, 1}, {1, 1}, {2, 0}, {3, 1}, {4, 1}}, 2, 4);
  const Geometry g = wetted(1);
  EXPECT_EQ(g.AFL, 0);
  EXPECT_EQ(g.PFL, 0);
  EXPECT_EQ(g.AFP, 0);
  EXPECT_EQ(g.A0, 1.0);
}

TEST(Basichydro, VerticalWallsNeverGiveNegativeArea) {
  for (const double wall : {10.966, 20.2, 0.1, 1e-300, 123456.789}) {
    const double right = wall + 9.234;
    set_classic_section({{0, 5}, {wall, 5}, {wall, 0}, {right, 0}, {right, 5}, {right + 10, 5}}, 2, 5);
    for (double h = 0.0001; h < 5; h += 0.0137) {
      const Geometry g = wetted(h);
      EXPECT_GE(g.A0, 0) << wall << " " << h;
      EXPECT_NEAR(g.A0, (right - wall) * h, 1e-9 * right) << wall << " " << h;
      EXPECT_NEAR(g.P0, 2 * h + (right - wall), 1e-9 * right) << wall << " " << h;
      EXPECT_EQ(g.AFL, 0);
    }
  }
}

TEST(Basichydro, PartlyWetSegmentsInterpolateTheWatersEdge) {
  // One slope 4 m wide and 2 m high: at h = 0.5 the edge lies 1 m in.
  set_classic_section({{0, 2}, {4, 0}, {8, 2}}, 1, 3);
  const Geometry g = wetted(0.5);
  EXPECT_EQ(g.A0, 2 * 0.5 * 1 * 0.5);
  EXPECT_EQ(g.P0, 2 * std::sqrt(1 + 0.25));
}

}  // namespace
}  // namespace normlevel
