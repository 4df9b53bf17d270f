// Speed of the hot paths on generated valley sections of 10^3 to 10^6
// points: loading the data file, one wetted-geometry evaluation, and the
// whole search and report.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "core/CSdata.h"
#include "cli/command_line.h"
#include "dialogue/dialogue.h"
#include "hydraulics/critical_sweep.h"
#include "hydraulics/energy.h"
#include "results/rating.h"
#include "core/search.h"
#include "cli/runs.h"
#include "section_generator.h"
#include "readers/flow_file.h"
#include "readers/station_table.h"

namespace {

// The generated file for a size and depth, written once per process.
const std::string& section_file(std::int32_t points, double depth) {
  static std::map<std::pair<std::int32_t, double>, std::string> files;
  auto& path = files[{points, depth}];
  if (path.empty()) {
    path = (std::filesystem::temp_directory_path() /
            ("normlevel_bench_" + std::to_string(points) + "_" + std::to_string(int(depth * 10)) + ".txt"))
               .string();
    normlevel::bench::write_valley(path, points, depth);
  }
  return path;
}

std::string name_field(const std::string& path) {
  std::string field = path;
  field.resize(std::max<std::size_t>(100, path.size()), ' ');
  return field;
}

void Load(benchmark::State& state) {
  const auto points = static_cast<std::int32_t>(state.range(0));
  const std::string name = name_field(section_file(points, 2.0));
  for (auto _ : state) {
    normlevel::setdata(name);
    normlevel::finishdata();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(section_file(points, 2.0))));
}

void Basichydro(benchmark::State& state) {
  const auto points = static_cast<std::int32_t>(state.range(0));
  normlevel::setdata(name_field(section_file(points, 2.0)));
  double AFL, A0, AFP, PFL, P0, PFP;
  const double h = normlevel::CSDATA.zmax + 1;  // every segment under water: the costliest level
  for (auto _ : state) {
    benchmark::DoNotOptimize(normlevel::basichydro(h, AFL, A0, AFP, PFL, P0, PFP));
    benchmark::DoNotOptimize(A0);
  }
  state.counters["per_segment"] = benchmark::Counter(static_cast<double>(state.iterations()) * (points - 1),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  normlevel::finishdata();
}

// Load, search and report, as the dialogue does after the name.
void run_whole(benchmark::State& state, const std::string& name) {
  for (auto _ : state) {
    normlevel::setdata(name);
    std::ostringstream out;
    normlevel::search_and_report(out);
    normlevel::finishdata();
    benchmark::DoNotOptimize(out.str());
  }
}

void WholeRun(benchmark::State& state, double depth) {
  run_whole(state, name_field(section_file(static_cast<std::int32_t>(state.range(0)), depth)));
}

void WholeRunToReport(benchmark::State& state) { WholeRun(state, 2.0); }
void WholeRunToNotice(benchmark::State& state) { WholeRun(state, 0.0); }

// The V spanning -1e5 m to 1e5 m: some two million steps to the notice,
// most of them, with few points, between two that add no segment.
void WholeRunWideVToNotice(benchmark::State& state) {
  const auto points = static_cast<std::int32_t>(state.range(0));
  static std::map<std::int32_t, std::string> files;
  std::string& path = files[points];
  if (path.empty()) {
    path = (std::filesystem::temp_directory_path() / ("normlevel_bench_v_" + std::to_string(points) + ".txt")).string();
    normlevel::bench::write_wide_v(path, points);
  }
  run_whole(state, name_field(path));
}

// The rating table of 1000 rows from the lowest point to the valley top.
void RatingTable1000Rows(benchmark::State& state) {
  const auto points = static_cast<std::int32_t>(state.range(0));
  normlevel::setdata(name_field(section_file(points, 2.0)));
  const double step = (normlevel::CSDATA.zmax - normlevel::CSDATA.zmin) / 1000;
  for (auto _ : state) benchmark::DoNotOptimize(normlevel::rating_table(normlevel::CSDATA, step).rows.size());
  normlevel::finishdata();
}

// A station table of the same valley, read and put into the data set.
void LoadTable(benchmark::State& state) {
  const auto points = static_cast<std::int32_t>(state.range(0));
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("normlevel_bench_table_" + std::to_string(points) + ".csv")).string();
  double left = 0, right = 0;
  normlevel::bench::write_table(path, points, left, right);
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  for (auto _ : state) {
    normlevel::SurveyedSection section;
    normlevel::read_station_table(bytes, section);
    section.bank_left = left;
    section.bank_right = right;
    normlevel::CrossSection d;
    normlevel::install_section(d, section, normlevel::BankRule::point);
    benchmark::DoNotOptimize(d.N);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

// Every critical level of the 10^6-point valley for its design discharge.
void CriticalLevels(benchmark::State& state) {
  const auto points = static_cast<std::int32_t>(state.range(0));
  normlevel::setdata(name_field(section_file(points, 2.0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(normlevel::critical_levels(normlevel::CSDATA, normlevel::CSDATA.Q, normlevel::search_top(normlevel::CSDATA)).size());
  normlevel::finishdata();
}

// A river model of 10,000 sections of 300 points to the CSV of their
// normal levels (and every other figure) for one discharge.
void GeometryToCsv(benchmark::State& state) {
  const std::string path = (std::filesystem::temp_directory_path() / "normlevel_bench_reach.g01").string();
  static const double Q = normlevel::bench::write_geometry(path, 10000, 300);
  const normlevel::Options options =
      normlevel::parse_command_line({"-q", std::to_string(Q), "--slope", "0.8", "--format", "csv", path});
  for (auto _ : state) {
    std::ostringstream out, err;
    benchmark::DoNotOptimize(normlevel::run_command_line(options, out, err));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// A station table whose header follows a row of many fields (a title row,
// a row of units): each row above the header is tried as one.
void TableWideRowAboveHeader(benchmark::State& state) {
  std::string bytes;
  for (std::int64_t k = 0; k < state.range(0); ++k) bytes.append("c").append(std::to_string(k)).append(",");
  bytes += "\nstation,elevation\n0,103\n10,101\n12,100\n14,100\n16,101\n26,103\n";
  for (auto _ : state) {
    normlevel::SurveyedSection section;
    normlevel::read_station_table(bytes, section);
    benchmark::DoNotOptimize(section.x.size());
  }
  state.SetComplexityN(state.range(0));
}

// A steady-flow file of many flow change locations, each checked against
// those before it for a second one at the same place.
void FlowFileLocations(benchmark::State& state) {
  std::string bytes = "Number of Profiles= 1\nProfile Names=PF1\n";
  for (std::int64_t k = state.range(0); k > 0; --k)
    bytes.append("River Rch & RM=R,A,").append(std::to_string(k)).append("\n      10\n");
  for (auto _ : state) benchmark::DoNotOptimize(normlevel::read_flow_file(bytes).changes.size());
  state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(TableWideRowAboveHeader)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(FlowFileLocations)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(LoadTable)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(CriticalLevels)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
// Wall time: the sections are computed on -j's threads, not the one timed.
BENCHMARK(GeometryToCsv)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(Load)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Basichydro)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(WholeRunToReport)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(WholeRunToNotice)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(WholeRunWideVToNotice)->Arg(21)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(RatingTable1000Rows)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
