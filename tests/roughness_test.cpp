// A section given as a data file, a station table or a geometry file is one
// section; roughness that changes across it is summed subdivision by
// subdivision; US units scale Manning's formula by 1.486.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "CSdata.h"
#include "output.h"
#include "test_support.h"

namespace normlevel {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::json_of;
using testing::run_cli;
using testing::ScratchDir;


// A number in an 8-character field, or "" where it does not fit.
std::string field(double value) {
  const std::string text = shortest_number(value);
  return text.size() > 8 ? "" : std::string(8 - text.size(), ' ') + text;
}

// A section written as a station table and as a geometry file.
struct Forms {
  std::string table, table_comma, geometry;
};

Forms forms_of(const CrossSection& d) {
  Forms f{"station,elevation\n", "Odleg\xC5\x82o\xC5\x9B\xC4\x87;Rz\xC4\x99" "dna\r\n", ""};
  std::string points;
  for (int i = 1; i <= d.N; ++i) {
    f.table += shortest_number(d.x[i]) + "," + shortest_number(d.z[i]) + "\n";
    std::string row = shortest_number(d.x[i]) + ";" + shortest_number(d.z[i]) + "\r\n";
    std::replace(row.begin(), row.end(), '.', ',');
    f.table_comma += row;
    const std::string x = field(d.x[i]), z = field(d.z[i]);
    if (x.empty() || z.empty()) return {f.table, f.table_comma, ""};
    points += x + z + (i % 5 == 0 || i == d.N ? "\n" : "");
  }
  const std::string left = field(d.x[d.il]), right = field(d.x[d.ip]);
  f.geometry = "River Reach=River,Reach\nType RM Length L Ch R = 1 ,1,1,1,1\n#Sta/Elev= " + std::to_string(d.N) + "\n" +
               points + "#Mann= 3 ,0,0\n" + field(d.x[1]) + field(d.nf) + "       0" + left + field(d.nc) + "       0" +
               right + field(d.nf) + "       0\nBank Sta=" + shortest_number(d.x[d.il]) + "," +
               shortest_number(d.x[d.ip]) + "\n";
  return f;
}

std::vector<fs::path> real_sections() {
  std::vector<fs::path> files = {fs::path(NORMLEVEL_EXAMPLES) / "trapezoid.txt"};
  for (const auto& entry : fs::directory_iterator(fs::path(NORMLEVEL_TEST_DATA) / "sections"))
    files.push_back(entry.path());
  return files;
}

// With its n at the banks a section's subdivisions are its zones: the
// level comes out the same to the last bit, however the points came in.
TEST(OneSectionThreeWays, TheSameLevelToTheLastBit) {
  ScratchDir dir;
  int geometries = 0;
  for (const fs::path& file : real_sections()) {
    const CrossSection d = testing::section_from_file(file.string());
    const std::string Q = shortest_number(d.Q), s = shortest_number(d.s_per_mille);
    const std::string banks = shortest_number(d.x[d.il]) + "," + shortest_number(d.x[d.ip]);
    const std::string nc = shortest_number(d.nc), nf = shortest_number(d.nf);
    const Forms f = forms_of(d);
    const json classic = json_of({file.string()})[0];
    std::vector<std::vector<std::string>> runs = {
        {"--banks", banks, "-q", Q, "--slope", s, "--nc", nc, "--nf", nf, dir.write("t.csv", f.table)},
        {"--banks", banks, "-q", Q, "--slope", s, "--nc", nc, "--nf", nf, dir.write("t.tsv", f.table_comma)}};
    if (!f.geometry.empty()) runs.push_back({"--rules", "divided", "-q", Q, "--slope", s, dir.write("t.g01", f.geometry)});
    geometries += f.geometry.empty() ? 0 : 1;
    for (const auto& run : runs) {
      const json r = json_of(run)[0];
      EXPECT_EQ(r["level"], classic["level"]) << file << " as " << run.back();
      EXPECT_EQ(r["channel_velocity"], classic["channel_velocity"]) << file << " as " << run.back();
      EXPECT_EQ(r["zones"]["total"]["discharge"], classic["zones"]["total"]["discharge"]) << file;
    }
  }
  EXPECT_GE(geometries, 10);
}

// Hand computation: Q = A R^(2/3) sqrt(s) / n with R = A / P, s = 0.001.
double manning(double A, double P, double n) { return A * std::pow(A / P, 2.0 / 3.0) * std::sqrt(0.001) / n; }

struct HandPart {
  const char* zone;
  double n, area, perimeter;
};

// A compound channel at 1.5 m: a strip of brush (n 0.1) on the left
// floodplain from station 5 to 10, so n changes in mid-water; on the right
// one it changes again where the ground stands dry above the level.
TEST(VaryingRoughness, EachSubdivisionCarriesItsOwnFlow) {
  ScratchDir dir;
  const std::string table = dir.write("c.csv",
                                      "station,elevation,n\n0,2,0.05\n0,1,0.05\n5,1,0.1\n10,1,0.03\n10,0,0.03\n"
                                      "14,0,0.03\n14,1,0.05\n24,1,0.05\n30,3,0.08\n40,3,\n");
  const json r = json_of({"--banks", "10,14", "--level", "1.5", "--slope", "1", table})[0];
  const double s30 = std::sqrt(36 + 4);
  // Wall 0.5 m and floor 5 m at 0.05; brush 5 m at 0.1; the channel's walls
  // and bed; the right floor, the wet foot of its slope, its dry top.
  const HandPart parts[] = {{"left", 0.05, 2.5, 5.5},
                            {"left", 0.1, 2.5, 5},
                            {"channel", 0.03, 6, 6},
                            {"right", 0.05, 5 + 0.5 * 1.5 * 0.5, 10 + s30 / 4},
                            {"right", 0.08, 0, 0}};
  std::map<std::string, double> zone_discharge;
  std::map<std::string, std::size_t> next;
  for (const HandPart& p : parts) {
    const json& got = r["zones"][p.zone]["parts"][next[p.zone]++];
    const double Q = p.area == 0 ? 0 : manning(p.area, p.perimeter, p.n);
    EXPECT_EQ(got["n"], p.n) << p.zone;
    EXPECT_NEAR(got["area"], p.area, 1e-12) << p.zone << " n " << p.n;
    EXPECT_NEAR(got["perimeter"], p.perimeter, 1e-12) << p.zone << " n " << p.n;
    EXPECT_NEAR(got["discharge"], Q, 1e-7 * Q) << p.zone << " n " << p.n;
    zone_discharge[p.zone] += got["discharge"].get<double>();
  }
  for (const char* zone : {"left", "channel", "right"}) {
    const json& z = r["zones"][zone];
    EXPECT_EQ(z["discharge"], zone_discharge[zone]) << zone << ": the sum of its subdivisions'";
    EXPECT_NEAR(z["velocity"], z["discharge"].get<double>() / z["area"].get<double>(), 1e-15) << zone;
  }
  EXPECT_EQ(r["zones"]["right"]["parts"][1]["from"], 30);
  EXPECT_TRUE(r["nl"].is_null()) << "the left floodplain has two n";
  EXPECT_EQ(r["nc"], 0.03);
  // --nc and --nf set whole zones, subdivisions and all.
  const json one = json_of({"--banks", "10,14", "--level", "1.5", "--slope", "1", "--nf", "0.05", table})[0];
  EXPECT_EQ(one["zones"]["left"]["parts"].size(), 1u);
  EXPECT_EQ(one["nf"], 0.05);
}

// In feet and cubic feet per second Manning's formula takes k = 1.486.
TEST(Units, UsUnitsScaleTheFormulaAndLabelTheOutput) {
  ScratchDir dir;
  const std::string t = dir.write("t.txt", testing::trapezoid_file());
  const json si = json_of({"--level", "102", t})[0], us = json_of({"--units", "us", "--level", "102", t})[0];
  EXPECT_EQ(us["units"], "us");
  EXPECT_NEAR(us["discharge"], 1.486 * si["discharge"].get<double>(), 1e-13 * us["discharge"].get<double>());
  EXPECT_NEAR(us["zones"]["channel"]["shear"], 62.4 * 1.545084971874737 * 0.001, 1e-12);
  const testing::CliRun text = run_cli({"--units", "us", "--details", t});
  EXPECT_NE(text.out.find("zw. wody:          101.38811  ft\r\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("pred.(korto):        1.54315 ft/s\r\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("przep. [cfs]"), std::string::npos);
  EXPECT_NE(text.out.find("Q brzegowe:          4.54603 cfs\r\n"), std::string::npos) << text.out;
  EXPECT_TRUE(text.out.starts_with("plik z danymi: " + t + ", Q = 10 cfs,"));
  // A river model's project file says which units its geometry is in.
  const std::string geometry = "River Reach=R,r\nType RM Length L Ch R = 1 ,1,1,1,1\n#Sta/Elev= 6\n"
                               "       0     103      10     101      12     100      14     100      16     101\n"
                               "      26     103\nBank Sta=10,16\n";
  dir.write("reach.g02", geometry);
  dir.write("reach.prj", "Proj Title=reach\nEnglish Units\n");
  const std::vector<std::string> run = {"-q", "10", "--slope", "1", "--nc", "0.03", "--nf", "0.05", dir.path("reach.g02")};
  EXPECT_EQ(json_of(run)[0]["level"], json_of({"--units", "us", t})[0]["level"]);
  std::vector<std::string> as_si = run;
  as_si.insert(as_si.begin(), {"--units", "si"});
  EXPECT_EQ(json_of(as_si)[0]["units"], "si") << "--units decides over the project file";
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

// The White River at Muncie, its first cross section checked by hand: the
// wetted polygon's area and the conveyance (1.486 / n) A R^(2/3) of its
// three zones (n 0.07, 0.04, 0.07) at the level found.
TEST(RiverModel, TheWhiteRiverAtMunciePinned) {
  const std::string model = std::string(NORMLEVEL_TEST_DATA) + "/geometry/Muncie.g05";
  const json first =
      json_of({"--rules", "divided", "-q", "5000", "--slope", "0.5", "--units", "us", "--section", "15696.24", model})[0];
  EXPECT_EQ(first["section"]["station"], "15696.24");
  EXPECT_NEAR(first["level"], 948.83827, 5e-6);
  EXPECT_NEAR(first["zones"]["total"]["area"], 2520.9159207617, 1e-9);
  EXPECT_NEAR(first["zones"]["total"]["conveyance"], 223593.95869, 223593.95869 * 1e-7);
  const testing::CliRun all =
      run_cli({"--rules", "divided", "-q", "5000", "--slope", "0.5", "--units", "us", "--format", "csv", model});
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 62) << "a header and 61 sections";
  std::size_t left_out = 0;
  for (std::size_t at = all.err.find("ineffective flow areas are not modelled"); at != std::string::npos;
       at = all.err.find("ineffective flow areas are not modelled", at + 1))
    ++left_out;
  EXPECT_EQ(left_out, 16u);
  EXPECT_NE(all.err.find("normlevel: " + model + ": note: 3 records of other types"), std::string::npos);
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

TEST(VaryingRoughness, DetailsListEachZonesSubdivisions) {
  const std::string table = std::string(NORMLEVEL_EXAMPLES) + "/przekroj.csv";
  const testing::CliRun run = run_cli({"--banks", "36.2,50.1", "-q", "60", "--slope", "0.8", "--details", table});
  EXPECT_NE(run.out.find(", nc = 0.035, nl = 0.045...0.1, nr = 0.045...0.06\r\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("podzialy             od         do          n       pole      obwod     przep.\r\n"),
            std::string::npos)
      << run.out;
  for (const char* row : {"teren lewy        31.00      36.20     0.1000", "koryto            36.20      50.10     0.0350",
                          "teren prawy       67.00      74.00     0.0600"})
    EXPECT_NE(run.out.find(row), std::string::npos) << row;
}

}  // namespace
}  // namespace normlevel
