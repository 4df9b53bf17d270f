// Command-line runs: the options, the blocks that must equal the dialogue's,
// the zone breakdown and the machine formats.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "base/FreeForm.h"
#include "cli/command_line.h"
#include "dialogue/dialogue.h"
#include "core/func.h"
#include "output/output.h"
#include "output/report.h"
#include "cli/runs.h"
#include "test_support.h"
#include "hydraulics/zones.h"

namespace normlevel {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ScratchDir;
using testing::trapezoid_file;

const std::string kPrompt = "plik z danymi: ";
const std::string kClosing = " \r\nNacisnij <ENTER>, aby zakonczyc ...   ";

std::string cli(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  EXPECT_EQ(run_command_line(parse_command_line(arguments), out, err), 0);
  return out.str();
}

std::vector<std::string> input_names(const Options& o) {
  std::vector<std::string> names;
  for (const Input& input : o.inputs) names.push_back(input.name);
  return names;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// What the dialogue prints between the blank line after the name and the
// blank line before the closing prompt.
std::string dialogue_block(const std::string& transcript) {
  const std::string head = kPrompt + " \r\n";
  EXPECT_TRUE(transcript.starts_with(head) && transcript.ends_with(kClosing)) << transcript;
  return transcript.substr(head.size(), transcript.size() - head.size() - kClosing.size());
}

std::string dialogue_on(const std::string& path) {
  std::istringstream typed("'" + path + "'\n\n");
  std::ostringstream out;
  dialogue(typed, out);
  return dialogue_block(out.str());
}

// ---- parsing ---------------------------------------------------------

struct BadLine {
  std::vector<std::string> arguments;
  const char* message;
};

TEST(CommandLine, RefusesWhatCannotBeRun) {
  const BadLine cases[] = {
      {{}, "no data file given"},
      {{"--details"}, "no data file given"},
      {{"--bogus", "a.txt"}, "unknown option '--bogus'"},
      {{"-x", "a.txt"}, "unknown option '-x'"},
      {{"a.txt", "-q"}, "option '-q' needs a value"},
      {{"a.txt", "--nc"}, "option '--nc' needs a value"},
      {{"-q", "abc", "a.txt"}, "option '-q': cannot read 'abc' as a number"},
      {{"--discharge=", "a.txt"}, "option '--discharge': cannot read '' as a number"},
      {{"--slope", "1..5", "a.txt"}, "option '--slope': cannot read '1..5' as a number"},
      {{"--slope", "1.5-3", "a.txt"}, "option '--slope': cannot read '1.5-3' as a number"},
      {{"-q", "+", "a.txt"}, "option '-q': cannot read '+' as a number"},
      {{"-q", "1.5D3", "a.txt"}, "option '-q': cannot read '1.5D3' as a number"},
      {{"-q", "3*2", "a.txt"}, "option '-q': cannot read '3*2' as a number"},
      {{"-q", "2x", "a.txt"}, "option '-q': cannot read '2x' as a number"},
      {{"-q", ".", "a.txt"}, "option '-q': cannot read '.' as a number"},
      {{"-q", "1e", "a.txt"}, "option '-q': cannot read '1e' as a number"},
      {{"--level", "inf", "a.txt"}, "option '--level': 'inf' is not a finite number"},
      {{"--format", "xml", "a.txt"}, "option '--format': 'xml' is not one of text, csv, json"},
      {{"--details=yes", "a.txt"}, "option '--details' takes no value"},
      {{"--rating", "0", "a.txt"}, "option '--rating': the step must be positive, not '0'"},
      {{"--rating", "-1", "a.txt"}, "option '--rating': the step must be positive, not '-1'"},
      {{"--svg", "--format", "json", "a.txt"}, "option '--svg' writes SVG and takes no '--format'"},
      {{"--svg", "--rating", "1", "a.txt"}, "options '--svg' and '--rating' cannot be combined"},
      {{"--rating", "1", "-q", "5", "a.txt"}, "option '--rating' takes no '--discharge' or '--level': it covers every level"},
      {{"--svg", "a.txt", "b.txt"}, "option '--svg' draws one file, not 2"},
      {{"--plot", "energy", "a.txt", "b.txt"}, "option '--plot' draws one file, not 2"},
      {{"--plot", "rating", "--format", "csv", "a.txt"}, "option '--plot' writes SVG and takes no '--format'"},
      {{"--plot", "section", "--rating", "1", "a.txt"}, "options '--plot' and '--rating' cannot be combined"},
      {{"--plot", "rating", "--solve", "n", "--level", "1", "a.txt"},
       "option '--solve' cannot be combined with '--plot' or '--rating'"},
      {{"--flow", "r.f01", "--level", "5", "r.g01"},
       "options '--flow' and '--level' cannot be combined but with '--solve': a level asks for no discharge"},
      {{"--flow", "r.f01", "--rating", "1", "r.g01"},
       "options '--flow' and '--rating' cannot be combined: a rating table asks for no discharge"},
      {{"--flow", "r.f01", "r.g01", "a.txt"},
       "option '--flow' gives discharges to the sections of geometry files, not to a.txt"},
      {{"--flow=", "r.g01"}, "option '--flow' needs a file name"},
      // Values no data file may hold are refused before any file is read.
      {{"--nc", "0", "a.txt"}, "option '--nc': '0' is not a positive number"},
      {{"--nf", "-0.1", "a.txt"}, "option '--nf': '-0.1' is not a positive number"},
      {{"--kc", "5e-324", "a.txt"}, "option '--kc': '5e-324' is so small a k that n = 1/k is not finite"},
      {{"--nl", "inf", "a.txt"}, "option '--nl': 'inf' is not a finite number"},
      {{"--slope", "-1", "a.txt"}, "option '--slope': '-1' is negative (the slope is in per mille, 0 or more)"},
      {{"-q", "nan", "a.txt"}, "option '-q': 'nan' is not a finite number"},
      {{"-q", "1e400", "a.txt"}, "option '-q': '1e400' is not a finite number"},
      {{"--banks", "10", "a.csv"}, "option '--banks': expected two stations L,R (as in 10,16.5), not '10'"},
      {{"--banks", "16,10", "a.csv"}, "option '--banks': the left bank station must be less than the right one, not '16,10'"},
      {{"--units", "imperial", "a.txt"}, "option '--units': 'imperial' is not one of si, us"},
      {{"--solve", "K", "--level", "1", "a.txt"}, "option '--solve': 'K' is not one of n, slope"},
      {{"--solve", "n", "a.txt"}, "option '--solve' needs a '--level': where the discharge is to stand"},
      {{"--solve", "n", "-q", "1", "-q", "2", "--level", "1", "a.txt"},
       "option '--solve' takes one '--discharge', the one to carry at each level"},
      {{"--solve", "slope", "--level", "1", "--svg", "a.txt"}, "option '--solve' cannot be combined with '--svg' or '--rating'"},
      {{"--table"}, "option '--table' needs a value"},
  };
  for (const BadLine& c : cases) {
    try {
      parse_command_line(c.arguments);
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const UsageError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

TEST(CommandLine, ReadsValuesInEveryForm) {
  const std::vector<std::vector<std::string>> spellings = {
      {"-q", "50", "a.txt"}, {"-q50", "a.txt"}, {"--discharge=50", "a.txt"}, {"a.txt", "--discharge", "5E1"},
      {"-q", "500e-1", "a.txt"}, {"-q", "+50.", "a.txt"}, {"-q", "0.5E+2", "a.txt"}};
  for (const auto& arguments : spellings) {
    const Options o = parse_command_line(arguments);
    ASSERT_EQ(o.queries.size(), 1u);
    EXPECT_EQ(o.queries[0].kind, Query::Kind::discharge);
    EXPECT_EQ(o.queries[0].value, 50);
    EXPECT_EQ(input_names(o), std::vector<std::string>{"a.txt"});
  }
  const Options o = parse_command_line({"--level", "101.5", "-q", "3", "--", "-q", "--nc=0.04", "--slope", ".5"});
  EXPECT_EQ(input_names(o), (std::vector<std::string>{"-q", "--nc=0.04", "--slope", ".5"})) << "after -- only files";
  ASSERT_EQ(o.queries.size(), 2u);
  EXPECT_EQ(o.queries[0].kind, Query::Kind::level);
  EXPECT_EQ(o.queries[1].value, 3);
  EXPECT_FALSE(o.slope_per_mille.given);
  EXPECT_EQ(input_names(parse_command_line({"-"})), std::vector<std::string>{"-"});
  EXPECT_EQ(parse_command_line({"-h"}).action, Options::Action::help) << "help needs no file";
  EXPECT_EQ(parse_command_line({"--version", "--help"}).action, Options::Action::help);
}

TEST(CommandLine, HelpFitsAScreen) {
  const std::string help = help_text();
  ASSERT_TRUE(help.ends_with("\n"));
  std::istringstream lines(help);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) EXPECT_LT(line.size(), 80u) << line;
  EXPECT_LE(count, 24);
  EXPECT_EQ(cli({"--version"}), version_text());
}

// ---- the blocks equal the dialogue's ---------------------------------

// The name typed in an end-to-end case, read as the dialogue reads it.
std::string typed_name(const fs::path& case_dir) {
  std::istringstream typed(read_file(case_dir / "stdin"));
  StreamSource source(typed);
  ListReader console(source, kReadConsole);
  std::array<char, 100> name;
  name.fill(' ');
  try {
    console.read({CharField(name)});
  } catch (const Failure&) {
    return "";
  }
  std::string text(name.data(), name.size());
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

// The case's data files laid out as the end-to-end runner lays them out.
void lay_out(const fs::path& case_dir, const fs::path& work) {
  if (std::ifstream uses{case_dir / "uses"}; uses)
    for (std::string path; std::getline(uses, path);)
      if (!path.empty()) fs::copy(fs::path(NORMLEVEL_REPO) / path, work / fs::path(path).filename());
  if (fs::exists(case_dir / "files")) fs::copy(case_dir / "files", work, fs::copy_options::recursive);
}

// A case whose dialogue went as far as the closing prompt printed the
// file's block; one that stopped right after the name refused the file.
TEST(CommandLineBlocks, EqualTheDialogueInEveryEndToEndCase) {
  int blocks = 0, refusals = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(NORMLEVEL_REPO) / "tests/e2e/cases")) {
    const fs::path case_dir = entry.path();
    const std::string name = typed_name(case_dir);
    ScratchDir work;
    lay_out(case_dir, work.path(""));
    const fs::path file = work.path(name);
    if (name.empty() || fs::exists(case_dir / "setup") || !fs::is_regular_file(file)) continue;
    const std::string transcript = read_file(case_dir / "stdout");
    std::string printed, diagnostic;
    try {
      printed = cli({file.string()});
    } catch (const Failure& failure) {
      diagnostic = failure.diagnostic();
    }
    if (transcript.ends_with(kClosing)) {
      EXPECT_EQ(printed, dialogue_block(transcript)) << case_dir;
      EXPECT_EQ(diagnostic, "") << case_dir;
      ++blocks;
    } else if (transcript == kPrompt + " \r\n") {
      EXPECT_EQ(printed, "") << case_dir;
      EXPECT_EQ(diagnostic, read_file(case_dir / "stderr")) << case_dir;
      ++refusals;
    }
  }
  EXPECT_GE(blocks, 12);
  EXPECT_GE(refusals, 15);
}

std::vector<fs::path> real_sections() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(NORMLEVEL_TEST_DATA) / "sections"))
    files.push_back(entry.path());
  return files;
}

TEST(CommandLineBlocks, EqualTheDialogueOnRealSections) {
  for (const fs::path& file : real_sections()) EXPECT_EQ(cli({file.string()}), dialogue_on(file.string())) << file;
}

// The data file's 5th line is its flow record "Q s nc nf".
std::string with_discharge(const std::string& bytes, double Q) {
  std::istringstream lines(bytes);
  std::string out, line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (number == 5) {
      const std::string rest = line.substr(line.find_first_not_of(' '));
      line = shortest_number(Q) + rest.substr(rest.find(' '));
    }
    out += line + "\n";
  }
  return out;
}

TEST(CommandLineBlocks, ADischargeAskedForEqualsTheDialogueOnAFileHoldingIt) {
  ScratchDir dir;
  struct Sample {
    fs::path file;
    std::vector<double> discharges;
  };
  std::vector<Sample> samples = {{dir.write("t.txt", trapezoid_file()), {0.5, 3.0592406, 10, 47.25, 1e6, 0, -1}}};
  for (const fs::path& file : real_sections()) samples.push_back({file, {1.0, 123.456, 3333.3}});
  for (const Sample& sample : samples) {
    const std::string bytes = read_file(sample.file);
    for (const double Q : sample.discharges) {
      const std::string rewritten = dir.write("q.txt", with_discharge(bytes, Q));
      std::string expected;
      try {
        expected = dialogue_on(rewritten);
      } catch (const Failure&) {
        continue;  // a discharge no data file may hold is refused alike (below)
      }
      const std::string block = cli({"-q", shortest_number(Q), sample.file.string()});
      const std::size_t heading = block.find("\r\n \r\n") + 5;  // the heading names Q, s and n
      EXPECT_EQ(block.substr(heading), expected) << sample.file << " Q " << Q;
    }
  }
  EXPECT_THROW(cli({"-q", "nan", dir.path("t.txt")}), UsageError);
}

TEST(CommandLineBlocks, SeveralFilesAndDischargesAreHeadedAndParted) {
  ScratchDir dir;
  const std::string t = dir.write("t.txt", trapezoid_file());
  const std::string one = cli({t});
  EXPECT_EQ(cli({t, t}), kPrompt + t + "\r\n \r\n" + one + " \r\n" + kPrompt + t + "\r\n \r\n" + one);
  const std::string values = ", s = 1 promil, nc = 0.03, nf = 0.05\r\n \r\n";
  const std::string two = cli({"-q", "10", "-q", "1e6", t});
  EXPECT_EQ(two, kPrompt + t + ", Q = 10 m3/s" + values + one + " \r\n" + kPrompt + t + ", Q = 1000000 m3/s" + values +
                     kNotice);
  // One block says what it was computed with once an option changed it.
  EXPECT_EQ(cli({"--nc", "0.03", t}), kPrompt + t + ", Q = 10 m3/s" + values + one);
  EXPECT_TRUE(cli({"--slope", "2", "--nl", "0.04", "--nr", "0.06", t})
                  .starts_with(kPrompt + t + ", Q = 10 m3/s, s = 2 promil, nc = 0.03, nl = 0.04, nr = 0.06\r\n"));
  // So does a rule set asked for: the model's named, the divided ones as always unsaid.
  EXPECT_TRUE(cli({"--rules", "model", t}).starts_with(kPrompt + t + ", zasady modelu, Q = 10 m3/s" + values));
  EXPECT_EQ(cli({"--rules", "divided", t}), kPrompt + t + ", Q = 10 m3/s" + values + one);
}

TEST(CommandLineBlocks, TheFirstBadFileEndsTheRunKeepingWhatWasPrinted) {
  ScratchDir dir;
  const std::string good = dir.write("t.txt", trapezoid_file());
  const std::string bad = dir.write("bad.txt", trapezoid_file("10 -1 0.03 0.05"));
  std::ostringstream out, err;
  try {
    run_command_line(parse_command_line({good, bad, good}), out, err);
    ADD_FAILURE() << "the bad file was accepted";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.diagnostic(), "? Run-time Error:\r\n? slope s = -1 per mille is negative\r\n");
    EXPECT_EQ(failure.plain(), bad + ": slope s = -1 per mille is negative");
  }
  EXPECT_EQ(out.str(), kPrompt + good + "\r\n \r\n" + cli({good}));
}

// ---- the zone breakdown ----------------------------------------------

json json_of(const std::vector<std::string>& arguments) {
  std::vector<std::string> with_format = {"--format", "json"};
  with_format.insert(with_format.end(), arguments.begin(), arguments.end());
  return json::parse(cli(with_format));
}

// Each zone's discharge is the very term the balance subtracts.
TEST(ZoneBreakdown, DischargesAreTheBalancesOwnTerms) {
  ScratchDir dir;
  std::vector<std::string> files = {dir.write("t.txt", trapezoid_file())};
  for (const fs::path& file : real_sections()) files.push_back(file.string());
  for (const std::string& file : files) {
    const json results = json_of({"-q", "0.7", "-q", "25", "-q", "4070", "--level", "101.3", file});
    for (const json& r : results) {
      // Below the lowest point the balance keeps the geometry of its last call.
      if (!r["found"] || r["level"] < r["zmin"]) continue;
      const json& zones = r["zones"];
      const double QL = zones["left"]["discharge"], Q0 = zones["channel"]["discharge"],
                   QP = zones["right"]["discharge"], Q = r["discharge"];
      EXPECT_EQ(Q - QL - Q0 - QP, balance(testing::section_from_file(file), Q, r["level"].get<double>())) << file << " Q " << Q;
      EXPECT_EQ(zones["total"]["discharge"].get<double>(), QL + Q0 + QP) << file;
      EXPECT_EQ(r["channel_velocity"], zones["channel"]["velocity"]) << file;
    }
  }
}

struct Pinned {
  const char* zone;
  double area, perimeter, top_width, velocity;
};

// Hand computation: V = R^(2/3) sqrt(s) / n with R = A / P, s = 0.001.
double manning(double A, double P, double n) { return std::pow(A / P, 2.0 / 3.0) * std::sqrt(0.001) / n; }

TEST(ZoneBreakdown, TheTrapezoidAndTheVByHand) {
  ScratchDir dir;
  const std::string trapezoid = dir.write("t.txt", trapezoid_file());
  const std::string v = dir.write("v.txt", "V\r\n\r\n\r\n---\r\n5 1 0.03 0.05\r\n\r\n---\r\n5 2 4\r\n\r\n"
                                            "0 104\r\n4 102\r\n8 100\r\n12 102\r\n16 104\r\n");
  struct Case {
    std::string file;
    double level;
    std::vector<Pinned> zones;
  };
  const double s5 = std::sqrt(5.0), s20 = std::sqrt(20.0), s26 = std::sqrt(26.0);
  const Case cases[] = {
      // At 102 m the trapezoid's floodplains are 5 m wide and 0.5 m deep at the banks.
      {trapezoid, 102,
       {{"left", 2.5, s26, 5, manning(2.5, s26, 0.05)},
        {"channel", 10, 2 + 2 * s5, 6, manning(10, 2 + 2 * s5, 0.03)},
        {"right", 2.5, s26, 5, manning(2.5, s26, 0.05)}}},
      {trapezoid, 101, {{"left", 0, 0, 0, 0}, {"channel", 4, 2 + 2 * s5, 6, manning(4, 2 + 2 * s5, 0.03)}}},
      {v, 103, {{"left", 1, s5, 2, manning(1, s5, 0.05)}, {"channel", 16, 2 * s20, 8, manning(16, 2 * s20, 0.03)},
                {"right", 1, s5, 2, manning(1, s5, 0.05)}}},
      {v, 101, {{"channel", 2, 2 * s5, 4, manning(2, 2 * s5, 0.03)}, {"right", 0, 0, 0, 0}}},
  };
  for (const Case& c : cases) {
    const json r = json_of({"--level", shortest_number(c.level), c.file})[0];
    for (const Pinned& p : c.zones) {
      const json& z = r["zones"][p.zone];
      const std::string where = c.file + " at " + std::to_string(c.level) + " " + p.zone;
      EXPECT_NEAR(z["area"], p.area, 1e-12) << where;
      EXPECT_NEAR(z["perimeter"], p.perimeter, 1e-12) << where;
      EXPECT_NEAR(z["top_width"], p.top_width, 1e-12) << where;
      EXPECT_NEAR(z["velocity"], p.velocity, 1e-6 * p.velocity) << where;
      EXPECT_NEAR(z["discharge"], p.velocity * p.area, 1e-6 * p.velocity * p.area) << where;
    }
    double shares = 0;
    for (const char* zone : {"left", "channel", "right"}) shares += r["zones"][zone]["share"].get<double>();
    EXPECT_NEAR(shares, 1, 1e-15) << c.file;
  }
}

TEST(ZoneBreakdown, FroudeAndBankfullOfTheTrapezoid) {
  ScratchDir dir;
  const json r = json_of({"--level", "101", dir.write("t.txt", trapezoid_file())})[0];
  const double V0 = manning(4, 2 + 2 * std::sqrt(5.0), 0.03);
  EXPECT_NEAR(r["froude_channel"], V0 / std::sqrt(9.81 * 4 / 6), 1e-6);
  EXPECT_NEAR(r["froude_section"], V0 / std::sqrt(9.81 * 4 / 6), 1e-6) << "only the channel is wet";
  EXPECT_EQ(r["bankfull_level"], 101);
  EXPECT_EQ(r["bankfull_discharge"], r["discharge"]);
  EXPECT_EQ(r["discharge"], 3.059240632992441);
}

TEST(ZoneBreakdown, ADryOrUnfoundLevelHoldsNoNumberJsonCannotRead) {
  ScratchDir dir;
  const std::string t = dir.write("t.txt", trapezoid_file());
  const json dry = json_of({"--level", "99", t})[0];
  for (const char* zone : {"left", "channel", "right", "total"})
    for (const char* figure : {"area", "radius", "velocity", "discharge", "share"})
      EXPECT_EQ(dry["zones"][zone][figure], 0) << zone << " " << figure;
  EXPECT_EQ(dry["froude_channel"], 0);
  const json notice = json_of({"-q", "1e6", t})[0];
  EXPECT_EQ(notice["found"], false);
  for (const char* key : {"level", "channel_velocity", "zones", "froude_channel", "froude_section"})
    EXPECT_TRUE(notice[key].is_null()) << key;
  EXPECT_EQ(notice["zmax"], 103);
}

// A ditch in the left floodplain, then its 48 m flat going under at 1 m.
TEST(NormalLevelsReported, EveryLevelListedTheWalksAmongThemSeveralNamedInAWarning) {
  ScratchDir dir;
  const std::string step = dir.write("step.txt", "step\r\n\r\n\r\n---\r\n10 1 0.03 0.05\r\n\r\n---\r\n8 5 7\r\n\r\n"
                                                 "0 3\r\n0 1\r\n48 1\r\n48 0.5\r\n50 0.5\r\n50 0\r\n52 0\r\n52 3\r\n");
  const json three = json_of({"-q", "2", step})[0];
  ASSERT_EQ(three["normal_levels"].size(), 3u);
  EXPECT_EQ(three["normal_levels"][1], 1);
  EXPECT_EQ(three["normal_levels"][2], three["level"]);
  ASSERT_EQ(three["warnings"].size(), 1u);
  EXPECT_EQ(three["warnings"][0]["code"], "several_levels");
  EXPECT_EQ(three["warnings"][0]["message"],
            "the section carries 2 m3/s at 3 levels (0.96, 1, 1.017 m): its conveyance falls between 0.96 and 1 as a "
            "flat gets wet; the report gives 1.017 m, the first the 0.1 m steps from the lowest point bracket");
  const json one = json_of({"-q", "10", step})[0];
  EXPECT_EQ(one["normal_levels"], json::array({one["level"]}));
  EXPECT_TRUE(one["warnings"].empty());
  EXPECT_TRUE(json_of({"--level", "1.5", step})[0]["normal_levels"].empty());
  const testing::CliRun csv = testing::run_cli({"-q", "2", "--format", "csv", step});
  EXPECT_NE(csv.out.find(",0.9601731463335454;1;1.01701564018731,"), std::string::npos) << csv.out;
}

// ---- the machine formats ---------------------------------------------

TEST(MachineFormats, JsonRoundTripsEveryKeyAndName) {
  ScratchDir dir;
  const std::string t = dir.write("a&b <c> \"d\".txt", trapezoid_file());
  const json all = json_of({"--slope", "2", "--nc", "0.04", t, t});
  ASSERT_EQ(all.size(), 2u);
  const json& r = all[0];
  EXPECT_EQ(r["file"], t);
  EXPECT_EQ(r["slope_per_mille"], 2);
  EXPECT_FALSE(r.contains("slope")) << "the slope is per mille everywhere";
  EXPECT_EQ(r["nc"], 0.04);
  EXPECT_EQ(r["nf"], 0.05);
  for (const char* key : {"discharge", "found", "level", "zmin", "zmax", "bank_left", "bank_right",
                          "channel_velocity", "zones", "froude_channel", "froude_section", "bankfull_level",
                          "bankfull_discharge"})
    EXPECT_TRUE(r.contains(key)) << key;
  for (const char* key : {"area", "perimeter", "radius", "top_width", "velocity", "discharge", "share"})
    EXPECT_TRUE(r["zones"]["total"].contains(key)) << key;
}

std::vector<std::string> csv_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    EXPECT_NE(end, std::string::npos) << "every row ends in CR LF";
    if (end == std::string::npos) break;
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

TEST(MachineFormats, CsvHasOneHeaderAndOneRowPerFileAndQuery) {
  ScratchDir dir;
  const std::string t = dir.write("x,y.txt", trapezoid_file());
  const std::vector<std::string> lines = csv_lines(cli({"--format", "csv", "-q", "10", "-q", "1e6", t}));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].starts_with("file,river,reach,station,found,error,units,rules,discharge,slope_per_mille,nc,nf,nl,nr,"
                                   "level,zmin,zmax,bank_left,bank_right,left_area,left_perimeter,"))
      << lines[0];
  EXPECT_TRUE(lines[0].ends_with(",regime,bankfull_level,bankfull_discharge,warnings"));
  const json r = json_of({"-q", "10", t})[0];
  EXPECT_TRUE(lines[1].starts_with(csv_field(t) + ",,,,true,,si,divided,10,1,0.03,0.05,0.05,0.05," +
                                   shortest_number(r["level"].get<double>()) + ",100,"))
      << lines[1];
  EXPECT_TRUE(lines[2].starts_with(csv_field(t) + ",,,,false,,si,divided,1e+06,1,0.03,0.05,0.05,0.05,,100,")) << lines[2];
  const auto commas = [](const std::string& line) { return std::count(line.begin(), line.end(), ','); };
  EXPECT_EQ(commas(lines[1]), commas(lines[0]) + 1) << "the name's own comma is quoted";
  EXPECT_EQ(commas(lines[2]), commas(lines[1]));
}

TEST(MachineFormats, HeaderExamples) {
  EXPECT_EQ(shortest_number(0.1), "0.1");
  EXPECT_EQ(shortest_number(1e21), "1e+21");
  EXPECT_EQ(shortest_number(NAN), "null");
  EXPECT_EQ(shortest_number(-INFINITY), "null");
  EXPECT_EQ(json_string("a\"b"), "\"a\\\"b\"");
  EXPECT_EQ(json_string("\t"), "\"\\t\"");
  EXPECT_EQ(json_string("\xE9"), "\"\\u00e9\"");
  EXPECT_EQ(json_string("\xC3\xA9\x01\\"), "\"\xC3\xA9\\u0001\\\\\"");
  EXPECT_EQ(csv_field("a,b"), "\"a,b\"");
  EXPECT_EQ(csv_field("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(csv_field("plain"), "plain");
  EXPECT_EQ(discharge_line("Q brzegowe:", 3.5), "Q brzegowe:          3.50000 m3/s\r\n");
  EXPECT_EQ(discharge_line("Q brzegowe:", 3.5, "cfs"), "Q brzegowe:          3.50000 cfs\r\n");
  EXPECT_EQ(roughness_text(0.035, 0.035), "0.035");
  EXPECT_EQ(roughness_text(0.035, 0.1), "0.035...0.1");
  for (const double value : {0.1, 1.0 / 3, 5e-324, 1.7976931348623157e308, 101.64045411}) {
    EXPECT_EQ(json::parse(shortest_number(value)).get<double>(), value);
  }
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

using testing::run_cli;

// ---- batch runs -------------------------------------------------------

struct Batch {
  ScratchDir dir;
  std::string good, missing, bad;
  Batch() {
    good = dir.write("a.txt", trapezoid_file());
    missing = dir.path("nosuch.txt");
    bad = dir.write("b.txt", trapezoid_file("10 -1 0.03 0.05"));
  }
  std::vector<std::string> with(std::vector<std::string> options) const {
    for (const std::string& file : {good, missing, bad, good}) options.push_back(file);
    return options;
  }
};

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(Batch, WithoutKeepGoingTheFirstFailureEndsAWholeDocument) {
  const Batch b;
  for (const char* format : {"json", "csv", "text"}) {
    const testing::CliRun run = run_cli(b.with({"--format", format}));
    EXPECT_EQ(run.status, 255) << format;
    EXPECT_EQ(run.err, "normlevel: " + b.missing + ": cannot open: no such file\n") << format;
    if (std::string(format) == "json") {
      EXPECT_EQ(json::parse(run.out).size(), 1u);
    } else if (std::string(format) == "csv") {
      EXPECT_EQ(csv_lines(run.out).size(), 2u);
    }
  }
  EXPECT_EQ(run_cli({b.dir.path("")}).err, "normlevel: " + b.dir.path("") + ": is a directory\n");
}

// A file that opens but cannot be read is said to be so, not taken for an
// empty one, whichever reader reads it.
TEST(Batch, AFileThatCannotBeReadIsSaidToBe) {
  const std::string unreadable = "/proc/self/mem";  // opens, and fails at its first byte
  if (!std::filesystem::exists(unreadable)) GTEST_SKIP() << "no " << unreadable << " here";
  const std::string said = "normlevel: " + unreadable + ": cannot read: the system reported an error\n";
  const std::string geometry = std::string(NORMLEVEL_EXAMPLES) + "/reach.g01";
  const std::vector<std::string> runs[] = {{"--geometry", unreadable, "-q", "1", "--slope", "1"},
                                           {"--table", unreadable, "-q", "1", "--slope", "1", "--nc", "0.03", "--nf", "0.05"},
                                           {"--geometry", geometry, "--flow", unreadable}};
  for (const std::vector<std::string>& arguments : runs) {
    const testing::CliRun run = run_cli(arguments);
    EXPECT_EQ(run.status, 255) << arguments[0];
    EXPECT_TRUE(run.err.ends_with(said)) << run.err;
  }
}

TEST(Batch, KeepGoingRecordsEachFailureAndEndsWithStatusOne) {
  const Batch b;
  const std::string slope = "slope s = -1 per mille is negative";
  const testing::CliRun js = run_cli(b.with({"-k", "--format", "json"}));
  EXPECT_EQ(js.status, 1);
  EXPECT_EQ(js.err, "normlevel: " + b.missing + ": cannot open: no such file\nnormlevel: " + b.bad + ": " + slope + "\n");
  const json all = json::parse(js.out);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[1], (json{{"file", b.missing}, {"section", {{"river", ""}, {"reach", ""}, {"station", ""}}},
                          {"error", "cannot open: no such file"}}));
  EXPECT_EQ(all[2]["error"], slope);
  EXPECT_EQ(all[3]["level"], all[0]["level"]);
  const std::vector<std::string> rows = csv_lines(run_cli(b.with({"--keep-going", "--format", "csv"})).out);
  ASSERT_EQ(rows.size(), 5u);
  const auto commas = [](const std::string& line) { return std::count(line.begin(), line.end(), ','); };
  for (const std::string& row : rows) EXPECT_EQ(commas(row), commas(rows[0])) << row;
  EXPECT_TRUE(rows[2].starts_with(b.missing + ",,,,,cannot open: no such file,,,")) << rows[2];
  const testing::CliRun text = run_cli(b.with({"-k"}));
  EXPECT_EQ(count_of(text.out, " blad: "), 2u);
  EXPECT_NE(text.out.find(kPrompt + b.bad + "\r\n \r\n blad: " + slope + "\r\n"), std::string::npos) << text.out;
  EXPECT_EQ(run_cli({"-k", b.good}).status, 0);
}

// ---- outputs that cannot be misread -----------------------------------

TEST(MachineFormats, EveryCsvColumnNameIsUniqueInEveryLayout) {
  for (const bool rating : {false, true})
    for (const Solve solve : {Solve::none, Solve::n, Solve::slope})
      for (const bool details : {false, true}) {
        Layout layout;
        layout.format = Format::csv;
        layout.rating = rating;
        layout.solve = solve != Solve::none;
        layout.details = details;
        const std::vector<std::string> names = csv_columns(layout);
        const std::set<std::string> unique(names.begin(), names.end());
        EXPECT_EQ(unique.size(), names.size()) << "rating " << rating << " solve " << int(solve);
        EXPECT_FALSE(unique.contains("slope")) << "the slope is per mille: slope_per_mille";
        EXPECT_TRUE(unique.contains("slope_per_mille"));
      }
  ScratchDir dir;
  const std::string t = dir.write("t.txt", trapezoid_file());
  for (const std::vector<std::string>& run : std::vector<std::vector<std::string>>{
           {"--format", "csv", t}, {"--format", "csv", "--rating", "1", t},
           {"--format", "csv", "--solve", "n", "--level", "102", t}, {"--format", "csv", "--connected", t}}) {
    Layout layout;
    layout.rating = run[2] == "--rating";
    layout.solve = run[2] == "--solve";
    std::string header;
    for (const std::string& name : csv_columns(layout)) header += (header.empty() ? "" : ",") + name;
    EXPECT_EQ(csv_lines(run_cli(run).out)[0], header) << run[2];
  }
}

// A wide, deep valley carries millions of m3/s at its top: each column of
// the rating table widens for its numbers, and a blank always parts them.
TEST(RatingText, ColumnsWidenAndNeverRunTogether) {
  ScratchDir dir;
  const std::string big = dir.write("big.txt", "big river\nx\nx\nx\n1 2 0.025 0.035\nx\nx\n4 2 3\nx\n"
                                               "0 80\n2000 20\n18000 0\n40000 80\n");
  const testing::CliRun run = run_cli({"--rating", "5", big});
  const std::vector<std::string> lines = csv_lines(run.out);
  ASSERT_GT(lines.size(), 5u);  // a heading, a blank line, the column headings and units
  double most = 0;
  for (std::size_t k = 4; k < lines.size(); ++k) {
    std::istringstream row(lines[k]);
    std::vector<double> values;
    for (double v; row >> v;) values.push_back(v);
    ASSERT_EQ(values.size(), 9u) << lines[k];
    EXPECT_EQ(lines[k].size(), lines[2].size()) << "columns stand under their headings";
    most = std::max(most, values[7]);
  }
  EXPECT_GT(most, 1e7);
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

// Every data file the dialogue refuses, refused on the command line in
// plain words that say where: the dialogue's own diagnostics stay as they
// were (the end-to-end cases pin those).
TEST(PlainDiagnostics, EveryRefusedDataFileSaysWhatAndWhere) {
  const struct {
    const char* e2e_case;
    const char* words;
  } cases[] = {
      {"reject_bank_beyond_last_point", "line 8: bank points il = 2 and ip = 9 do not satisfy 1 <= il < ip <= N = 6"},
      {"reject_elevation_too_far", "line 10: point 1: elevation 1e+06 lies more than 1e5 from the datum"},
      {"reject_infinite_discharge", "discharge Q = inf is not a finite number"},
      {"reject_nan_elevation", "line 11: point 2: elevation nan is not a finite number"},
      {"reject_negative_slope", "slope s = -1 per mille is negative"},
      {"reject_one_point", "line 8: the section needs at least 2 points, but N = 1"},
      {"reject_station_backwards", "line 13: point 4: stations must not decrease (11 after 12)"},
      {"reject_station_too_far", "line 15: point 6: station 5e+09 lies more than 1e9 from the datum"},
      {"short_file", "line 13: expected 2 numbers (station, elevation), but the file ends after line 12"},
      {"empty_file", "line 1: expected a heading line, but the file is empty"},
      {"n_written_as_real", "line 8: '6.0' is not a whole number (N)"},
      {"letter_in_a_point", "line 12: 'l00' is not a number (elevation)"},
  };
  for (const auto& c : cases) {
    const std::string file = std::string(NORMLEVEL_REPO) + "/tests/e2e/cases/" + c.e2e_case + "/files/section.txt";
    const testing::CliRun run = run_cli({file});
    EXPECT_EQ(run.status, 255) << c.e2e_case;
    EXPECT_EQ(run.err, "normlevel: " + file + ": " + c.words + "\n") << c.e2e_case;
    EXPECT_EQ(run.out, "") << c.e2e_case;
  }
}

TEST(CommandLine, InputsTakeTheirReaderFromTheOptionOrTheName) {
  const Options o = parse_command_line({"--table", "a.txt", "b.CSV", "--geometry", "-", "c.g05", "d.g5", "e.tsv",
                                        "--section", "Upper", "--section", "12.5", "--units", "us", "--connected"});
  const Reader expected[] = {Reader::table, Reader::table, Reader::geometry, Reader::geometry, Reader::data_file,
                             Reader::table};
  ASSERT_EQ(o.inputs.size(), std::size(expected));
  for (std::size_t i = 0; i < o.inputs.size(); ++i) EXPECT_EQ(reader_for(o.inputs[i]), expected[i]) << o.inputs[i].name;
  EXPECT_EQ(o.sections, (std::vector<std::string>{"Upper", "12.5"}));
  EXPECT_EQ(o.units, &kUS);
  EXPECT_TRUE(o.connected);
  const Options banks = parse_command_line({"--banks=10.5,16", "a.csv"});
  EXPECT_EQ(banks.bank_left.value, 10.5);
  EXPECT_EQ(banks.bank_right.value, 16);
  const Options solve = parse_command_line({"--solve", "slope", "-q", "7", "--level", "101", "--level", "102", "a.txt"});
  EXPECT_EQ(solve.solve_discharge.value, 7);
  EXPECT_EQ(solve.queries.size(), 2u) << "the levels; the discharge is the one they carry";
}

// A river model with a section that cannot be read between two that can:
// --keep-going names it and computes the others.
TEST(Batch, KeepGoingPastABadSectionOfARiverModel) {
  ScratchDir dir;
  std::string model = testing::read_text(std::string(NORMLEVEL_EXAMPLES) + "/reach.g01");
  const std::size_t second = model.find("Type RM Length L Ch R = 1 ,90");
  model.insert(second, "Type RM Length L Ch R = 1 ,95,10,10,10\n#Sta/Elev= 2\n       0     103      10     abc\n");
  const std::string file = dir.write("reach.g01", model);
  const testing::CliRun run = run_cli({"--rules", "divided", "-k", "--format", "json", "-q", "10", "--slope", "1", file});
  EXPECT_EQ(run.status, 1);
  const json all = json::parse(run.out);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[1]["section"]["station"], "95");
  EXPECT_EQ(all[1]["error"], "line 15: 'abc' is not a number (a field of #Sta/Elev=)");
  EXPECT_EQ(all[2]["section"]["station"], "90");
  EXPECT_TRUE(all[2]["found"]);
  EXPECT_NE(run.err.find("normlevel: " + file + ": Creek Upper 95: line 15: 'abc'"), std::string::npos) << run.err;
  EXPECT_EQ(all[0]["warnings"][0]["code"], "left_out");
}

}  // namespace
}  // namespace normlevel
