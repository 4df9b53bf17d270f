// Station tables as surveyors deliver them: metadata above the header,
// several sections, raw map points, banks by code, Strickler's k; and what
// each of these refuses.

#include <gtest/gtest.h>

#include <cmath>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "readers/section_line.h"
#include "readers/station_table.h"
#include "test_support.h"

namespace normlevel {
namespace {

struct Shaped {
  std::string name;
  std::vector<double> x;
  double bank_left = 0, bank_right = 0;
};

struct FormCase {
  const char* label;
  std::string bytes;
  TableOptions options;
  std::vector<Shaped> sections;
  const Units* units = nullptr;
};

class SurveyForms : public ::testing::TestWithParam<FormCase> {};

// Stations within a micrometre: projected ones carry the fit's rounding.
TEST_P(SurveyForms, ReadAsTheSurveyorMeantThem) {
  const FormCase& c = GetParam();
  SurveyTable table = read_survey_table(c.bytes, c.options);
  EXPECT_EQ(table.units, c.units);
  ASSERT_EQ(table.sections.size(), c.sections.size());
  for (std::size_t k = 0; k < c.sections.size(); ++k) {
    TableSection& t = table.sections[k];
    shape_section(t, c.options, "m");
    EXPECT_EQ(t.section.name.station, c.sections[k].name);
    ASSERT_EQ(t.section.x.size(), c.sections[k].x.size()) << t.section.name.station;
    for (std::size_t i = 0; i < t.section.x.size(); ++i) EXPECT_NEAR(t.section.x[i], c.sections[k].x[i], 1e-6) << i;
    EXPECT_EQ(t.section.bank_left, c.sections[k].bank_left);
    EXPECT_EQ(t.section.bank_right, c.sections[k].bank_right);
  }
}

const char* const kPlain = "station;elevation\n0;103\n10;101\n12;100\n";
TableOptions codes(const char* left, const char* right) { return {"", false, left, right, true}; }
TableOptions section_column(const char* name) { return {name, false, "", "", true}; }
TableOptions y_first() { return {"", true, "", "", true}; }

INSTANTIATE_TEST_SUITE_P(
    Table, SurveyForms,
    ::testing::Values(
        FormCase{"gauging export", std::string("Location: Mill Creek\nStation ID, 0123\nUnit: ft\n\n") + kPlain, {},
                 {{"", {0, 10, 12}}}, &kUS},
        FormCase{"jednostka", std::string("Rzeka;Odra\njednostka;m\n") + kPlain, {}, {{"", {0, 10, 12}}}, &kSI},
        FormCase{"GIS export, order shuffled",
                 "XS_ID,Point Index,station,elevation\nA,2,10,101\nA,1,0,103\nB,1,5,9\nA,3,12,100\nB,2,6,8\n", {},
                 {{"A", {0, 10, 12}}, {"B", {5, 6}}}},
        FormCase{"a named section column", "reach_id;Lp.;dist;z\nR1;1;0;3\n;2;4;1\nR2;1;0;2\nR2;2;1;1\n",
                 section_column("Reach_ID"), {{"R1", {0, 4}}, {"R2", {0, 1}}}},
        FormCase{"E/N/Z on a 3-4-5 line", "E;N;Z;kod\n100;200;103;\n103;204;101;BL\n106;208;100;\n109;212;101;BP\n",
                 {}, {{"", {0, 5, 10, 15}, 5, 15}}},
        FormCase{"x/y, northing first", "x,y,h,code\n200,100,103,\n204,103,101,lb\n208,106,100,rb\n", y_first(),
                 {{"", {0, 5, 10}, 5, 10}}},
        FormCase{"own bank codes", "Easting,Northing,Elevation,Description\n0,0,3,L\n4,0,1,lb\n8,0,3,R\n",
                 codes("l", "r"), {{"", {0, 4, 8}, 0, 8}}},
        FormCase{"codes passed over", "e,n,z,code\n0,0,3,LB\n4,0,1,RB\n8,0,3,RB\n", {"", false, "", "", false},
                 {{"", {0, 4, 8}}}}),
    [](const auto& info) {
      std::string name = info.param.label;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST(SurveyTable, StricklerKIsTakenAsOneOverN) {
  SurveyTable table = read_survey_table("station;elevation;kst\n0;103;20\n10;101;40\n12;100;\n", {});
  shape_section(table.sections[0], {}, "m");
  EXPECT_TRUE(table.strickler);
  EXPECT_EQ(table.sections[0].section.point_n, (std::vector<double>{0.05, 0.025, 0.025}));
}

TEST(SurveyTable, ANoteNamesTheFarthestPointAWarningABentLine) {
  SurveyTable table = read_survey_table("e;n;z\n0;0;3\n5;0.1;1\n10;0;3\n", {});
  shape_section(table.sections[0], {}, "ft");
  ASSERT_EQ(table.sections[0].section.notes.size(), 1u);
  EXPECT_EQ(table.sections[0].section.notes[0],
            "stations measured along the straight line fitted to the points; the farthest, point 2 (line 3), lies "
            "0.067 ft off it");
  EXPECT_TRUE(table.sections[0].section.bent.empty());
  table = read_survey_table("e;n;z\n0;0;3\n5;2;1\n10;0;3\n", {});
  shape_section(table.sections[0], {}, "m");
  ASSERT_EQ(table.sections[0].section.bent.size(), 1u);
  EXPECT_EQ(table.sections[0].section.bent[0],
            "the section line is bent: point 2 (line 3) lies 1.333 m off the straight line fitted to the points, more "
            "than a tenth of the section's width (10.000 m)");
}

TEST(SectionLine, FitsTheLineOfLeastPerpendicularDistances) {
  // Along y = x, each point a quarter off it, two on either side, paired about the middle: the fit is y = x.
  const SectionLine line = project_on_fitted_line({-0.25, 1.25, 2.25, 2.75}, {0.25, 0.75, 1.75, 3.25});
  const double r = std::sqrt(2.0);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_NEAR(line.stations[i], static_cast<double>(i) * r, 1e-12) << i;
  EXPECT_NEAR(line.farthest, 0.25 * r, 1e-12);
  // Coordinates of a national grid: the same stations, no digits lost.
  const SectionLine far = project_on_fitted_line({5'400'000, 5'400'003, 5'400'006}, {7'300'000, 7'300'004, 7'300'008});
  EXPECT_NEAR(far.stations[2], 10, 1e-9);
  // Spread so wide that the squares of the distances overflow: still the line, not NaN.
  const SectionLine wide = project_on_fitted_line({0, 3e200, 6e200}, {0, 4e200, 8e200});
  EXPECT_NEAR(wide.stations[1] / 5e200, 1, 1e-15);
  EXPECT_NEAR(wide.stations[2] / 1e201, 1, 1e-15);
}

struct Refusal {
  std::string bytes;
  TableOptions options;
  const char* message;
};

class SurveyRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(SurveyRefusals, NameWhatIsWrong) {
  try {
    SurveyTable table = read_survey_table(GetParam().bytes, GetParam().options);
    for (TableSection& t : table.sections) shape_section(t, GetParam().options, "m");
    ADD_FAILURE() << "accepted: " << GetParam().bytes;
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.plain(), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SurveyRefusals,
    ::testing::Values(
        Refusal{"e;n;z;code\n0;0;3;LB\n4;0;1;RB\n6;0;1;lb\n8;0;3;\n", {},
                "point 1 (line 2) and point 3 (line 4) both mark the left bank (codes LB and LB)"},
        Refusal{"e;n;z;code\n0;0;3;LB\n4;0;1;BL\n8;0;3;RB\n", {},
                "point 1 (line 2) and point 2 (line 3) both mark the left bank (codes LB and BL)"},
        Refusal{"e;n;z;code\n0;0;3;\n4;0;1;RB\n8;0;3;\n", {},
                "the codes mark the right bank only, at point 2 (line 3): code the left one too, or give both with "
                "--banks L,R"},
        Refusal{"e;n;z\n0;0;3\n4;0;1\n3;0;1\n8;0;3\n", {},
                "point 2 (line 3) and point 3 (line 4) go backwards along the section line (station 3.000 after "
                "4.000): a section is surveyed across once, in order"},
        Refusal{"e;n;z\n2;2;3\n2;2;1\n", {}, "the points all stand at one place: no section line runs through them"},
        Refusal{"xs;station;z\nA;0;1\nA;4;1\nB;0;1\n", {}, "line 4: the section holds 1 points; a section needs 2"},
        Refusal{"xs;point;station;z\nA;2;0;1\nA;1;4;1\n", {}, "line 2: stations must not decrease (0 after 4)"},
        Refusal{"station;z;n;k\n0;1;;\n", {}, "line 1: the header names both an 'n' and a 'k' column"},
        Refusal{"station;z;k\n0;1;0\n", {}, "line 2: k = 0 is not positive"},
        Refusal{"Odleg\xC5\x82o\xC5\x9B\xC4\x87;Rzedna\n0;1\n4;1\xB3\n", {},
                "line 1: the header names no 'station' (or 'odleglosc') column; its bytes C5 82 C5 9B C4 87 are UTF-8 "
                "in a file that is not UTF-8 throughout (mixed encodings)"},
        Refusal{"Odleg\x81o;Rz\x98" "dna\n0;1\n", {},
                "line 1: the header names no 'station' (or 'odleglosc') column; its bytes 81 98 could not be decoded "
                "(neither UTF-8 nor Windows-1250)"}));

TEST(SurveyCommandLine, OptionsRefuseWhatTheyCannotTake) {
  const struct {
    std::vector<std::string> arguments;
    const char* error;
  } cases[] = {
      {{"--bank-codes", "LB", "a.csv"}, "option '--bank-codes': expected two codes L,R (as in LB,RB), not 'LB'"},
      {{"--bank-codes", "LB,", "a.csv"}, "option '--bank-codes': expected two codes L,R (as in LB,RB), not 'LB,'"},
      {{"--xy-order", "ne", "a.csv"}, "option '--xy-order': 'ne' is not one of xy, yx"},
      {{"--kc", "0", "a.csv"}, "option '--kc': '0' is not a positive number"},
  };
  for (const auto& c : cases) {
    try {
      parse_command_line(c.arguments);
      ADD_FAILURE() << c.error;
    } catch (const UsageError& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
  }
  const Options o = parse_command_line({"--kc", "40", "--kf", "20", "--bank-codes", " L , R", "a.csv"});
  EXPECT_EQ(o.nc.value, 0.025);
  EXPECT_EQ(o.nf.value, 0.05);
  EXPECT_EQ(o.left_code + "|" + o.right_code, "L|R");
}

// Each section a result of its own, named by its cell; the roughness
// given as k stands as k beside each n in JSON.
TEST(SurveyCommandLine, SectionsOfOneTableAreResultsOfTheirOwn) {
  testing::ScratchDir dir;
  const std::string rows = "xs;E;N;Z;code;kst\n";
  std::string bytes = rows;
  for (const char* xs : {"Upper", "Upper 2"})
    for (const char* point : {"0;0;103;;20", "10;0;101;LB;33", "12;0;100;;", "14;0;100;;", "16;0;101;RB;20", "26;0;103;;"})
      bytes += std::string(xs) + ";" + point + "\n";
  const std::string table = dir.write("reach.csv", bytes);
  const testing::CliRun both = testing::run_cli({"-q", "10", "--slope", "1", "--format", "csv", table});
  EXPECT_EQ(both.status, 0) << both.err;
  EXPECT_NE(both.out.find(",,,Upper,"), std::string::npos) << both.out;
  EXPECT_NE(both.out.find(",,,Upper 2,"), std::string::npos) << both.out;
  const testing::CliRun one = testing::run_cli({"-q", "10", "--slope", "1", "--format", "json", "--section", "Upper", table});
  EXPECT_EQ(one.out.find("Upper 2"), std::string::npos) << "an exact name first";
  EXPECT_NE(one.out.find("\"n\": 0.030303030303030304, \"strickler\": 33,"), std::string::npos) << one.out;
  EXPECT_NE(one.out.find("\"kl\": 20,"), std::string::npos) << one.out;
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

// What a table read today says, whichever reader takes it: a code column
// beside (or an order column in order) sends the rows through the reader of
// the survey forms, and must change neither the points nor the refusals.
std::string outcome(const std::string& bytes) {
  try {
    SurveyedSection s;
    read_station_table(bytes, s);
    std::string text;
    for (std::size_t i = 0; i < s.x.size(); ++i)
      text += shortest_real(s.x[i]) + "/" + shortest_real(s.z[i]) + "/" + (s.point_n.empty() ? "-" : shortest_real(s.point_n[i])) + " ";
    return text;
  } catch (const Failure& failure) {
    return failure.plain();
  }
}

// Each row with a field added: a code, or its place in order.
std::string with_column(const std::string& bytes, const char* name, bool numbered) {
  std::string out;
  std::size_t row = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
    out += bytes.substr(at, end - at) + ";" + (row == 0 ? name : numbered ? std::to_string(row) : "skarpa") + "\n";
    ++row;
    at = end + 1;
  }
  return out;
}

TEST(SurveyTable, ATableReadTodaySaysTheSameThroughEitherReader) {
  const char* const tables[] = {
      "station;elevation;n\n0;103;0,05\n10;101;0,03\n12;100;\n14;100;\n16;101;0,05\n26;103;",
      "station;elevation\n14;103\n12.5;101",
      "station;elevation;n\n0;103;\n10;101;0.03",
      "station;elevation;n\n0;103;0\n1;2;0.03",
      "station;elevation;n\n0;103;0.03\n-1;101;abc",
      "station;elevation\n0;103\n10;abc",
      "station;elevation\n0;103\n;101",
      "station;elevation\n0;103",
      "Odleg\xB3o\x9C\xE6;Rz\xEA" "dna\n0;103\n10;101",
  };
  for (const char* table : tables) {
    const std::string plain = outcome(table);
    EXPECT_EQ(outcome(with_column(table, "opis", false)), plain) << table;
    EXPECT_EQ(outcome(with_column(table, "nr", true)), plain) << table;
  }
}

}  // namespace
}  // namespace normlevel
