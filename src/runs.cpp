#include "runs.h"

#include <cmath>
#include <ostream>

#include "CSdata.h"
#include "dialogue.h"
#include "output.h"
#include "picture.h"
#include "platform.h"
#include "rating.h"
#include "zones.h"

namespace normlevel {

namespace {

void apply_overrides(const Options& options) {
  CrossSection& d = CSDATA;
  if (options.slope_per_mille.given) {
    d.s_per_mille = options.slope_per_mille.value;
    d.s = d.s_per_mille / 1000;
  }
  if (options.nc.given) d.nc = options.nc.value;
  if (options.nf.given) d.nf = options.nf.value;
}

std::vector<Query> queries_of(const Options& options) {
  if (!options.queries.empty()) return options.queries;
  return {Query{}};
}

LevelResult result_for(const std::string& file, const Query& query) {
  const CrossSection& d = CSDATA;
  LevelResult r;
  r.file = file;
  r.query = query;
  r.slope = d.s;
  r.nc = d.nc;
  r.nf = d.nf;
  r.zmin = d.zmin;
  r.zmax = d.zmax;
  r.bank_left = d.z[d.il];
  r.bank_right = d.z[d.ip];
  if (query.kind == Query::Kind::level) {
    r.found = true;
    r.level = query.value;
    r.discharge = discharge_carried(r.level);
  } else {
    r.discharge = d.Q;
    const LevelSearch search = find_level();
    r.found = search.found;
    r.level = search.found ? search.level : 0;
  }
  r.zones = breakdown(r.level);
  if (r.found) r.channel_velocity = channel_velocity(r.level);
  return r;
}

// Every query's discharge passes the checks a data file's would.
void run_queries(const Options& options, const std::string& file, const double file_discharge,
                 ResultWriter& writer, std::vector<LevelResult>& results) {
  for (const Query& query : queries_of(options)) {
    CSDATA.Q = query.kind == Query::Kind::discharge ? query.value : file_discharge;
    check_flow_values();
    results.push_back(result_for(file, query));
    if (!options.svg) writer.write(results.back());
  }
}

std::size_t block_count(const Options& options) { return options.files.size() * queries_of(options).size(); }

}  // namespace

int run_command_line(const Options& options, std::ostream& out) {
  if (options.action == Options::Action::help) {
    out << help_text();
    return 0;
  }
  if (options.action == Options::Action::version) {
    out << version_text();
    return 0;
  }
  take_names_from_arguments();
  Layout layout{options.format, options.details, block_count(options) > 1, queries_of(options).size() > 1};
  const std::unique_ptr<ResultWriter> writer = make_writer(layout, out);
  for (const std::string& file : options.files) {
    setdata(file);
    apply_overrides(options);
    check_flow_values();
    std::vector<LevelResult> results;
    if (options.rating_step > 0)
      writer->write(rating_table(file, options.rating_step));
    else
      run_queries(options, file, CSDATA.Q, *writer, results);
    if (options.svg) write_picture(out, results);
    finishdata();
    out << std::flush;
  }
  writer->finish();
  return 0;
}

}  // namespace normlevel
