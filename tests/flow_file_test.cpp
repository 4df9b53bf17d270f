// The steady-flow reader: what it takes from a model's flow file, how it
// names what it refuses, and which change location reaches a section.

#include <gtest/gtest.h>

#include "base/Failure.h"
#include "readers/flow_file.h"
#include "readers/geometry_file.h"
#include "test_support.h"

namespace normlevel {
namespace {

std::string flow_data(const std::string& name) { return testing::read_text(std::string(NORMLEVEL_TEST_DATA) + "/flow/" + name); }

std::string refusal(const std::string& bytes) {
  try {
    read_flow_file(bytes);
  } catch (const Failure& failure) {
    return failure.plain();
  }
  return "accepted";
}

// Ten fields a line over CRLF lines; an interpolated section's '*' kept in
// the name, not in the value.
TEST(FlowFile, TakesProfilesAndChangeLocations) {
  const SteadyFlows flows = read_flow_file(flow_data("twelve_months.f02"));
  ASSERT_EQ(flows.profiles.size(), 12u);
  EXPECT_EQ(flows.profiles.back(), "Dec");
  ASSERT_EQ(flows.changes.size(), 2u);
  EXPECT_EQ(flows.changes[0].discharges, (std::vector<double>{4.5, 6, 9.25, 12, 8, 5, 3.5, 2.75, 2.5, 3, 4, 5.5}));
  const FlowChange& lower = flows.changes[1];
  EXPECT_EQ(lower.river + "|" + lower.reach + "|" + lower.station, "Creek|Upper|95*");
  EXPECT_EQ(lower.river_station, 95);
  EXPECT_EQ(lower.line, 7u);
}

const std::string kHead = "Number of Profiles= 2\nProfile Names=A,B\n";
const std::string kPlace = "River Rch & RM=R,X,10\n";

struct Refused {
  const char* what;
  std::string bytes;
  const char* message;
};

void PrintTo(const Refused& r, std::ostream* os) { *os << r.what; }

class FlowFileRefuses : public ::testing::TestWithParam<Refused> {};

TEST_P(FlowFileRefuses, NamingTheLine) { EXPECT_EQ(refusal(GetParam().bytes), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(
    Malformed, FlowFileRefuses,
    ::testing::Values(
        Refused{"short", flow_data("short_discharges.f03"), "line 4: River Rch & RM= expected 3 discharges, found 2"},
        Refused{"letters", kHead + kPlace + "      1.      x2\n", "line 4: 'x2' is not a discharge (a number)"},
        Refused{"blank field", kHead + kPlace + "      1.        \n", "line 4: a blank field where a discharge goes"},
        Refused{"blank line", kHead + kPlace + "\n", "line 4: a blank line where the discharges of line 3 go on"},
        Refused{"end of file", kHead + kPlace + "       5", "line 3: River Rch & RM= expected 2 discharges, found 1"},
        Refused{"no count", "Profile Names=A\n", "line 1: Profile Names= before Number of Profiles="},
        Refused{"location first", kPlace, "line 1: River Rch & RM= before Number of Profiles="},
        Refused{"zero", "Number of Profiles= 0\n", "line 1: '0' is not a number of profiles (1 or more)"},
        Refused{"two counts", "Number of Profiles= 1\nNumber of Profiles= 1\n", "line 2: a second Number of Profiles= record"},
        Refused{"names", "Number of Profiles= 3\nProfile Names=A,B\n", "line 2: Profile Names= gives 2 names for 3 profiles"},
        Refused{"place", kHead + "River Rch & RM=R,10\n", "line 3: River Rch & RM= expected river, reach and station, found 2 values"},
        Refused{"station", kHead + "River Rch & RM=R,X,ten\n", "line 3: 'ten' is not a river station (a number)"},
        Refused{"twice", kHead + kPlace + "       1       2\n" + kPlace + "       1       2\n",
                "line 5: a second flow change location at R X 10 (the first on line 3)"},
        Refused{"no names", "Number of Profiles= 1\n", "the file has no Profile Names= record"},
        Refused{"not a flow file", "Geom Title=x\n", "the file has no Number of Profiles= record: is it a steady-flow file?"},
        Refused{"no location", kHead, "the file has no flow change location (River Rch & RM=river,reach,station)"}));

struct Reached {
  SectionName section;
  const char* reaching;  ///< the change location's station, or the refusal
};

void PrintTo(const Reached& r, std::ostream* os) { *os << r.section.text(); }

class FlowReachesSection : public ::testing::TestWithParam<Reached> {};

// White River: changes at 15696.24 and 9000, a second reach's at 50 and 40.
TEST_P(FlowReachesSection, FromTheNearestLocationUpstream) {
  SteadyFlows flows = read_flow_file(flow_data("white_river.f01"));
  flows.changes.push_back({"White", "Below", "50", 50, {1, 2}, 20});
  flows.changes.push_back({"White", "Below", "40", 40, {3, 4}, 22});
  std::string found;
  try {
    found = flow_change_for(flows, GetParam().section).station;
  } catch (const Failure& failure) {
    found = failure.plain();
  }
  EXPECT_EQ(found, GetParam().reaching);
}

INSTANTIATE_TEST_SUITE_P(
    ReachOrder, FlowReachesSection,
    ::testing::Values(
        Reached{{"White", "Muncie", "15696.24"}, "15696.24"}, Reached{{"White", "Muncie", "15485.51"}, "15696.24"},
        Reached{{"White", "Muncie", "9000"}, "9000"}, Reached{{"White", "Muncie", "8999.5*"}, "9000"},
        Reached{{"White", "Muncie", "237.6455"}, "9000"}, Reached{{"White", "Below", "45"}, "50"},
        Reached{{"White", "Below", "12"}, "40"},
        Reached{{"White", "Muncie", "16000"},
                "the flow file gives no discharge here: the section lies upstream of every flow change location of its "
                "reach (the uppermost at 15696.24)"},
        Reached{{"White", "Above", "1"},
                "the flow file gives no discharge here: it has no flow change location on river 'White', reach 'Above'"},
        Reached{{"White", "Muncie", "km 3"},
                "the flow file cannot place the section: its river station 'km 3' is not a number"}));

// Every section of the Muncie model is reached, from one location or the other.
TEST(FlowFile, ReachesEveryMuncieSection) {
  const SteadyFlows flows = read_flow_file(flow_data("white_river.f01"));
  GeometryFile file(testing::read_text(std::string(NORMLEVEL_TEST_DATA) + "/geometry/Muncie.g05"));
  std::size_t reached[2] = {0, 0};
  for (SurveyedSection section; file.next(section);) ++reached[flow_change_for(flows, section.name).line == 5 ? 0 : 1];
  EXPECT_EQ(reached[0] + reached[1], 61u);
  EXPECT_TRUE(reached[0] > 0 && reached[1] > 0);
}

}  // namespace
}  // namespace normlevel
