#include "cli/runs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <variant>

#include "core/CSdata.h"
#include "base/byte_blocks.h"
#include "base/Failure.h"
#include "base/FreeForm.h"
#include "readers/flow_file.h"
#include "readers/geometry_file.h"
#include "output/output.h"
#include "base/parallel.h"
#include "output/picture.h"
#include "output/plots.h"
#include "base/platform.h"
#include "results/rating.h"
#include "results/results.h"
#include "readers/station_table.h"

namespace normlevel {

namespace {

std::string place_of(const std::string& file, const SectionName& section) {
  return section_place(file, section, ": ");
}

// An input opened for reading, "-" being standard input.
struct OpenInput {
  FileHandle file;  // none for standard input
  std::FILE* stream = stdin;
};

OpenInput open_input(const std::string& name) {
  OpenInput input;
  if (name != "-") {
    int code = 0;
    input.file = open_for_reading(name, code);
    if (!input.file) throw Failure(kSystemError, system_error_text(code), kOpenDataFile, open_error_words(code));
    input.stream = input.file.get();
  }
  return input;
}

// The whole of an input.
std::string whole_input(const std::string& name) {
  const OpenInput input = open_input(name);
  // Read straight into the string, as big as the file where its size is known.
  std::string bytes;
  std::error_code ec;
  const auto size = name == "-" ? 0 : std::filesystem::file_size(native_path(name), ec);
  bytes.resize(ec || size == 0 ? std::size_t{1} << 16 : static_cast<std::size_t>(size) + 1);
  std::size_t used = 0;
  for (;;) {  // a short read is the end, or a failure: nothing more is asked of the stream
    used += read_up_to(input.stream, bytes.data() + used, bytes.size() - used);
    if (used < bytes.size()) break;
    bytes.resize(2 * bytes.size());
  }
  if (std::ferror(input.stream)) throw ReadError();
  bytes.resize(used);
  return bytes;
}

// A data file named on the command line, read as the dialogue reads the
// name it is given: blanks around it are not part of it.
CrossSection read_data_file(const std::string& name) {
  if (name == "-") {
    FileSource source(stdin);
    return read_section(source, 1 << 16);
  }
  return read_section_file(name);
}

// A river model keeps its units in its project file, NAME.prj beside NAME.g01.
const Units* project_units(const std::string& geometry) {
  if (geometry == "-") return nullptr;
  const std::filesystem::path project = std::filesystem::path(native_path(geometry)).replace_extension(".prj");
  int code = 0;
  const FileHandle file = open_for_reading(project.string(), code);
  if (!file) return nullptr;
  FileSource source(file.get());
  for (std::string line; source.next(line);) {
    if (line.starts_with("SI Units")) return &kSI;
    if (line.starts_with("English Units")) return &kUS;
  }
  return nullptr;
}

[[noreturn]] void needs(const std::string& file, const std::string& what, const std::string& option) {
  throw UsageError(file + ": the input holds no " + what + ": give " + option);
}

bool any_roughness_given(const Options& o) { return o.nc.given || o.nf.given || o.nl.given || o.nr.given; }

// One n for the segments of a zone, the others keeping theirs.
void set_zone_roughness(CrossSection& d, Zone zone, double n) {
  if (d.roughness.empty()) {
    std::vector<double> by_zone(static_cast<std::size_t>(d.N), 0.0);
    for (const Subdivision& part : d.parts)
      for (std::int32_t i = part.first; i <= part.last; ++i) by_zone[static_cast<std::size_t>(i)] = roughness_of(d, part);
    d.roughness = std::move(by_zone);
  }
  const std::int32_t bounds[] = {1, d.il, d.ip, d.N};
  for (std::int32_t i = bounds[zone]; i < bounds[zone + 1]; ++i) d.roughness[static_cast<std::size_t>(i)] = n;
}

// What one task leaves to be written, in the order a run on one thread
// writes it: a section's warnings, results and failure, or what the reading
// of an input says between its sections.
struct Pieces {
  struct Line {  // a whole line for stderr
    std::string text;
  };
  struct Failed {
    std::string file;
    SectionName section;
    Failure failure;
  };
  struct Draw {  // --svg: the input's picture, once it is read through
    std::string file;
  };
  // A CrossSection: --svg's section as settled, for the picture of the input.
  using Piece = std::variant<Line, LevelResult, RatingTable, Failed, CrossSection, Draw>;

  std::vector<Piece> pieces;
  std::exception_ptr thrown;  // what ended the task, thrown where it stands among the pieces

  void line(std::string text) { pieces.emplace_back(Line{std::move(text)}); }
};

// Ends the reading at a failure that ends the run: it is handed on, and
// the sections read before it are still written first.
struct StopReading {};

// What a task's writing threw: it passes through the reading's own catches
// to the end of the run.
struct Ended {
  std::exception_ptr thrown;
};

class Run {
 public:
  Run(const Options& o, std::ostream& out, std::ostream& err)
      : o_(o),
        out_(out),
        err_(err),
        writer_(make_writer(layout(), out)),
        computation_{o.connected, o.solve, o.solve_discharge},
        tasks_(o.jobs > 0 ? o.jobs : default_jobs(), [this](Outcome<Pieces>& done) { write(done); }) {}

  int all() {
    try {
      try {
        if (o_.flow.empty() || read_flows())
          for (const Input& input : o_.inputs) read(input);
      } catch (const StopReading&) {
      } catch (const Ended&) {
        throw;
      } catch (...) {  // after what the sections read before it have to say
        Pieces last;
        last.thrown = std::current_exception();
        hand_on(std::move(last));
      }
      tasks_.finish();
    } catch (const Ended& ended) {
      writer_->finish();
      std::rethrow_exception(ended.thrown);
    } catch (...) {
      writer_->finish();
      throw;
    }
    writer_->finish();
    return failed_ ? 1 : 0;
  }

 private:
  // ---- the reading: in order, on the run's own thread -------------------

  // Every input needs the flow file: with --keep-going its failure is said
  // and stands in the document, and nothing is left to compute.
  bool read_flows() {
    try {
      flows_ = read_flow_file(whole_input(o_.flow));
      return true;
    } catch (Failure& failure) {
      failed_later(o_.flow, {}, failure);
      return false;
    }
  }

  Layout layout() const {
    const bool overrides = !o_.queries.empty() || o_.slope_per_mille.given || any_roughness_given(o_) ||
                           o_.rating_step > 0 || o_.units != nullptr || o_.rules_given;
    bool surveyed = false;
    for (const Input& input : o_.inputs) surveyed = surveyed || reader_for(input) != Reader::data_file;
    Layout l;
    l.format = o_.format;
    l.details = o_.details;
    l.rating = o_.rating_step > 0;
    l.solve = o_.solve != Solve::none;
    l.profiles = !o_.flow.empty();
    l.name_values = overrides || surveyed;
    l.headings = l.name_values || o_.inputs.size() > 1;
    return l;
  }

  // A picture is drawn once its input is read through: a geometry file
  // must hold no second section it would have to leave out.
  void read(const Input& input) {
    strickler_ = o_.strickler;
    try {
      switch (reader_for(input)) {
        case Reader::table: table(input.name); break;
        case Reader::geometry: geometry(input.name); break;
        default: data_file(input.name); break;
      }
      if (o_.svg) {
        Pieces draw;
        draw.pieces.emplace_back(Pieces::Draw{input.name});
        hand_on(std::move(draw));
      }
    } catch (Failure& failure) {
      failed_later(input.name, {}, failure);
    }
  }

  // Standard input is read here, where no other input can be reading it.
  void data_file(const std::string& name) {
    std::optional<CrossSection> given;
    if (name == "-") given = read_data_file(name);
    compute_later([this, name, given = std::move(given), strickler = strickler_](Pieces& p) mutable {
      try {
        CrossSection d = given ? std::move(*given) : read_data_file(name);
        d.rules = rules_for(Reader::data_file);
        d.units = o_.units ? o_.units : &kSI;
        compute(p, d, {name, {}, strickler, nullptr}, {}, true);
      } catch (Failure& failure) {
        p.pieces.emplace_back(Pieces::Failed{name, {}, failure});
      }
    });
  }

  void table(const std::string& name) {
    const TableOptions options = table_options();
    SurveyTable survey = read_survey_table(whole_input(name), options);
    strickler_ = o_.strickler || survey.strickler;
    const Units* units = o_.units ? o_.units : survey.units ? survey.units : &kSI;
    std::vector<SectionName> names;
    for (const TableSection& t : survey.sections) names.push_back(t.section.name);
    exact_ = named_exactly(names);
    std::size_t chosen = 0;
    for (TableSection& t : survey.sections) {
      const SectionName section_name = t.section.name;
      if (!section_name.empty() && !chosen_by_name(section_name)) continue;
      if (chosen++ > 0 && o_.svg)
        throw UsageError("option '" + o_.picture_option + "' draws one section: choose it in " + name + " with --section");
      compute_later([this, name, section_name, t = std::move(t), options, units,
                     strickler = strickler_](Pieces& p) mutable {
        try {
          table_section(p, {name, section_name, strickler, nullptr}, t, options, *units);
        } catch (Failure& failure) {
          p.pieces.emplace_back(Pieces::Failed{name, section_name, failure});
        }
      });
    }
    if (chosen == 0) throw Failure(kRunTimeError, "no section's name holds what --section asks for", "");
  }

  TableOptions table_options() const {
    TableOptions options;
    options.section_column = o_.section_column;
    options.y_first = o_.y_first;
    options.left_code = o_.left_code;
    options.right_code = o_.right_code;
    options.banks_by_code = !o_.bank_left.given;
    return options;
  }

  // A section of a geometry file, or why its records could not be read.
  struct ReadSection {
    SurveyedSection section;
    std::optional<Failure> failure;
  };

  void geometry(const std::string& name) {
    const Units* units = o_.units ? o_.units : project_units(name);
    if (!units) note_units_assumed(name);
    OpenInput input = open_input(name);
    GeometryFile file(std::make_unique<StreamBlocks>(std::move(input.file), input.stream));
    exact_.clear();
    // Whether a --section TEXT means its exact name or any name holding it is
    // known once every name is read, so the sections it may choose wait.
    std::vector<ReadSection> held;
    std::size_t sections = 0, chosen = 0;
    for (ReadSection read; next_section(file, read); ++sections) {
      if (o_.sections.empty())
        take(name, units, read, chosen);
      else if (may_be_chosen(read.section.name))
        held.push_back(std::move(read));
    }
    for (ReadSection& read : held)
      if (chosen_by_name(read.section.name)) take(name, units, read, chosen);
    if (file.others() > 0) {
      Pieces note;
      note.line("normlevel: " + name + ": note: " + std::to_string(file.others()) +
                (file.others() == 1 ? " record" : " records") +
                " of other types than cross sections (bridges, culverts, weirs) passed over\n");
      hand_on(std::move(note));
    }
    if (sections == 0) throw Failure(kRunTimeError, "the file holds no cross section (Type RM Length L Ch R = 1 ,...)", "");
    if (chosen == 0 && sections > 0)
      throw Failure(kRunTimeError, "no section's name holds what --section asks for", "");
  }

  static bool next_section(GeometryFile& file, ReadSection& read) {
    read.failure.reset();
    try {
      return file.next(read.section);
    } catch (const ReadError&) {
      throw;  // the input's failure, after the sections read before it
    } catch (const Failure& failure) {  // the section's name was read all the same
      read.failure = failure;
      return true;
    }
  }

  void take(const std::string& name, const Units* units, ReadSection& read, std::size_t& chosen) {
    if (read.failure) {
      ++chosen;
      failed_later(name, read.section.name, *read.failure);
      return;
    }
    if (chosen++ > 0 && o_.svg)
      throw UsageError("option '" + o_.picture_option + "' draws one section: choose it in " + name + " with --section");
    compute_later([this, name, units, section = std::move(read.section),
                   strickler = strickler_](Pieces& p) mutable {
      try {
        CrossSection d;
        d.rules = rules_for(Reader::geometry);
        stand_in_for_unusable_n(section);
        install_section(d, section, BankRule::insert);
        d.units = units ? units : &kSI;
        const FlowChange* change = flows_ ? &flow_change_for(*flows_, section.name) : nullptr;
        compute(p, d, {name, section.name, strickler, change}, still_left_out(d, section.left_out), false);
      } catch (Failure& failure) {
        p.pieces.emplace_back(Pieces::Failed{name, section.name, failure});
      }
    });
  }

  // Four feet models read as metres would be silently wrong by a factor of 3.3.
  void note_units_assumed(const std::string& name) {
    const std::filesystem::path file(name);
    const std::string project = std::filesystem::path(file.filename()).replace_extension(".prj").string();
    const bool beside = name != "-" && std::filesystem::exists(std::filesystem::path(native_path(name)).replace_extension(".prj"));
    Pieces note;
    note.line("normlevel: " + name + ": note: " +
              (name == "-" ? std::string("a geometry file from standard input")
               : beside    ? project + " names no units"
                           : "no " + project + " beside " + file.filename().string()) +
              ": SI units assumed, see --units\n");
    hand_on(std::move(note));
  }

  // A name that is the start of another's (5.0 and 5.065) can be chosen
  // alone only if a TEXT equal to a station or whole name means that one.
  static bool exactly(const std::string& pattern, const SectionName& name) {
    return pattern == name.station || pattern == name.text();
  }

  std::vector<std::string> named_exactly(const std::vector<SectionName>& names) const {
    std::vector<std::string> exact;
    for (const SectionName& name : names)
      for (const std::string& pattern : o_.sections)
        if (exactly(pattern, name) && std::find(exact.begin(), exact.end(), pattern) == exact.end())
          exact.push_back(pattern);
    return exact;
  }

  // Notes the --section TEXTs the name equals; true where it holds one.
  bool may_be_chosen(const SectionName& name) {
    const std::string text = name.text();
    bool holds = false;
    for (const std::string& pattern : o_.sections) {
      if (exactly(pattern, name) && std::find(exact_.begin(), exact_.end(), pattern) == exact_.end())
        exact_.push_back(pattern);
      holds = holds || text.find(pattern) != std::string::npos;
    }
    return holds;
  }

  bool chosen_by_name(const SectionName& name) const {
    if (o_.sections.empty()) return true;
    const std::string text = name.text();
    for (const std::string& pattern : o_.sections) {
      const bool exact = std::find(exact_.begin(), exact_.end(), pattern) != exact_.end();
      if (exact ? exactly(pattern, name) : text.find(pattern) != std::string::npos) return true;
    }
    return false;
  }

  // Without --keep-going the reading ends here: the sections before it are
  // still written, then the failure ends the run.
  void failed_later(const std::string& file, const SectionName& section, const Failure& failure) {
    Pieces failed;
    failed.pieces.emplace_back(Pieces::Failed{file, section, failure});
    hand_on(std::move(failed));
    if (!o_.keep_going) throw StopReading{};
  }

  void hand_on(Pieces pieces) {
    tasks_.add([pieces = std::move(pieces)]() mutable { return std::move(pieces); });
  }

  // A section's computation, on any thread: what it throws past its own
  // failures is thrown when its place in the run is reached.
  template <class Work>
  void compute_later(Work work) {
    tasks_.add([work = std::move(work)]() mutable {
      Pieces pieces;
      try {
        work(pieces);
      } catch (...) {
        pieces.thrown = std::current_exception();
      }
      return pieces;
    });
  }

  // ---- a section's computation: on any thread, from o_ and flows_ alone --

  // Where a section's results come from, and what they carry of it.
  struct Source {
    std::string file;
    SectionName name;
    bool strickler;            // the input's roughness is given as Strickler's k
    const FlowChange* change;  // --flow: the one whose discharges reach the section
  };

  void table_section(Pieces& p, const Source& source, TableSection& t, const TableOptions& options,
                     const Units& units) const {
    shape_section(t, options, units.length);
    SurveyedSection& section = t.section;
    if (o_.bank_left.given) {
      section.bank_left = o_.bank_left.value;
      section.bank_right = o_.bank_right.value;
    } else if (t.left_bank == SIZE_MAX) {
      needs(source.file, "bank points", "their stations with --banks L,R, or mark them with bank codes");
    }
    CrossSection d;
    d.rules = rules_for(Reader::table);
    install_section(d, section, BankRule::point);
    d.units = &units;
    for (const std::string& note : section.notes)
      p.line("normlevel: " + place_of(source.file, section.name) + ": note: " + note + "\n");
    compute(p, d, source, section.left_out, false, section.bent);
  }

  // A river model's sections are computed as the model defines them, other
  // inputs as the divided channel always has been.
  Rules rules_for(Reader reader) const {
    if (o_.rules_given) return o_.rules;
    return reader == Reader::geometry ? Rules::model : Rules::divided;
  }

  // What the rules in force leave out of what the file holds.
  static std::vector<std::string> still_left_out(const CrossSection& d, const std::vector<std::string>& left_out) {
    return d.rules == Rules::model ? left_out_by_model(left_out) : left_out;
  }

  bool replaced(Zone zone) const {
    if (zone == kChannel) return o_.nc.given;
    return o_.nf.given || (zone == kLeft ? o_.nl.given : o_.nr.given);
  }

  // Whether the n that applies from n_station[k] on lies only where the
  // command line gives n of its own.
  bool n_replaced(const SurveyedSection& s, std::size_t k) const {
    const double from = k == 0 ? -HUGE_VAL : s.n_station[k];
    const double to = k + 1 < s.n_station.size() ? s.n_station[k + 1] : HUGE_VAL;
    return (from >= s.bank_left || replaced(kLeft)) && (to <= s.bank_left || from >= s.bank_right || replaced(kChannel)) &&
           (to <= s.bank_right || replaced(kRight));
  }

  // An n the command line replaces is never used, so a file's n of 0 there
  // need not stop the run: a stand-in of its own keeps the subdivisions
  // where the file has them.
  void stand_in_for_unusable_n(SurveyedSection& section) const {
    for (std::size_t k = 0; k < section.n.size(); ++k)
      if ((!(section.n[k] > 0) || !std::isfinite(section.n[k])) && n_replaced(section, k))
        section.n[k] = 1000.0 + static_cast<double>(k);
  }

  // The values the command line gives in place of the input's, and those
  // an input without them must be given.
  void settle_values(CrossSection& d, const std::string& file, bool holds_flow) const {
    if (o_.slope_per_mille.given) {
      d.s_per_mille = o_.slope_per_mille.value;
      d.s = d.s_per_mille / 1000;
    } else if (!holds_flow && o_.solve != Solve::slope) {
      needs(file, "bed slope", "it with --slope S (per mille)");
    }
    const bool discharge_needed = !flows_ && ((o_.queries.empty() && o_.rating_step == 0) ||
                                              (o_.solve != Solve::none && !o_.solve_discharge.given));
    if (!holds_flow && discharge_needed) needs(file, "discharge", "it with -q Q");
    settle_roughness(d, file, holds_flow);
  }

  void settle_roughness(CrossSection& d, const std::string& file, bool holds_flow) const {
    const bool own_n = holds_flow || !d.roughness.empty();
    if (!own_n) {
      if (!o_.nc.given) needs(file, "n", "the channel's with --nc N and the floodplains' with --nf N");
      if (!o_.nf.given && !(o_.nl.given && o_.nr.given))
        needs(file, "n", "the floodplains' with --nf N (or --nl N and --nr N)");
    }
    const bool by_zone = d.roughness.empty() && !o_.nl.given && !o_.nr.given;
    if (by_zone) {  // one n a zone, as the data file has it
      if (o_.nc.given) d.nc = o_.nc.value;
      if (o_.nf.given) d.nf = o_.nf.value;
      return;
    }
    const struct {
      Zone zone;
      const Override& n;
    } zones[] = {{kChannel, o_.nc}, {kLeft, o_.nf}, {kRight, o_.nf}, {kLeft, o_.nl}, {kRight, o_.nr}};
    bool overridden = false;
    for (const auto& z : zones)
      if (z.n.given) {
        set_zone_roughness(d, z.zone, z.n.value);
        overridden = true;
      }
    if (overridden) measure_segments(d);  // measured as installed: again only with an n of the command line's
  }

  void compute(Pieces& p, CrossSection& d, const Source& source, const std::vector<std::string>& left_out,
               bool holds_flow, const std::vector<std::string>& bent = {}) const {
    settle_values(d, source.file, holds_flow);
    check_flow_values(d);
    d.units = units_under(d.units, d.rules);
    if (o_.svg) p.pieces.emplace_back(d);  // drawn on, even should a later query fail
    const std::string place = place_of(source.file, source.name);
    std::vector<Warning> left_out_warnings;
    for (const std::string& what : left_out) {
      left_out_warnings.push_back({"left_out", what + " are not modelled: the section is computed without them"});
      p.line("normlevel: " + place + ": warning: " + left_out_warnings.back().message + "\n");
    }
    for (const std::string& what : bent) {
      left_out_warnings.push_back({"bent_section_line", what});
      p.line("normlevel: " + place + ": warning: " + what + "\n");
    }
    if (o_.rating_step > 0) {
      RatingTable table = rating_table(d, o_.rating_step, o_.connected);
      table.file = source.file;
      table.section = source.name;
      p.pieces.emplace_back(std::move(table));
      return;
    }
    const std::vector<double> file_discharges = flows_ ? source.change->discharges : std::vector<double>{d.Q};
    for (const Query& query : queries())
      for (std::size_t profile = 0; profile < file_discharges.size(); ++profile) {
        const double Q = query.kind == Query::Kind::discharge ? query.value : file_discharges[profile];
        LevelResult r = result_for(d, computation_, query, Q);
        r.file = source.file;
        r.section = source.name;
        if (flows_) r.profile = flows_->profiles[profile];
        report(p, place, source, left_out_warnings, std::move(r));
      }
  }

  void report(Pieces& p, const std::string& place, const Source& source, const std::vector<Warning>& left_out_warnings,
              LevelResult r) const {
    r.strickler = source.strickler;
    r.warnings.insert(r.warnings.end(), left_out_warnings.begin(), left_out_warnings.end());
    for (const Warning& w : r.warnings)
      if (w.code != "left_out" && w.code != "bent_section_line")
        p.line("normlevel: " + place + (r.profile.empty() ? "" : ", profile " + r.profile) + ": warning: " + w.message +
               "\n");
    p.pieces.emplace_back(std::move(r));
  }

  std::vector<Query> queries() const {
    if (!o_.queries.empty()) return o_.queries;
    return {Query{}};
  }

  // ---- the writing: in order, on the run's own thread -------------------

  void write(Outcome<Pieces>& done) {
    try {
      Pieces& pieces = done.get();
      for (Pieces::Piece& piece : pieces.pieces) write(piece);
      if (pieces.thrown) std::rethrow_exception(pieces.thrown);
    } catch (...) {
      throw Ended{std::current_exception()};
    }
  }

  void write(Pieces::Piece& piece) {
    if (auto* line = std::get_if<Pieces::Line>(&piece)) {
      said(line->text);
    } else if (auto* result = std::get_if<LevelResult>(&piece)) {
      if (o_.svg)
        pictured_.push_back(std::move(*result));
      else
        writer_->write(*result);
    } else if (auto* table = std::get_if<RatingTable>(&piece)) {
      writer_->write(*table);
    } else if (auto* failure = std::get_if<Pieces::Failed>(&piece)) {
      failed(failure->file, failure->section, failure->failure);
    } else if (auto* section = std::get_if<CrossSection>(&piece)) {
      pictured_section_ = std::move(*section);
    } else if (auto* draw = std::get_if<Pieces::Draw>(&piece)) {
      drawn(draw->file);
    }
  }

  void drawn(const std::string& file) {
    try {
      if (!pictured_.empty()) {
        switch (o_.plot) {
          case PlotKind::rating: write_rating_plot(out_, pictured_section_, pictured_, o_.connected); break;
          case PlotKind::energy: write_energy_plot(out_, pictured_section_, pictured_); break;
          default: write_picture(out_, pictured_section_, pictured_, o_.connected); break;
        }
      }
    } catch (Failure& failure) {
      failed(file, {}, failure);
    }
    pictured_.clear();
    pictured_section_ = CrossSection{};
  }

  // Said on stderr after all that stdout holds so far, so that the two keep
  // their order where they go to one file (2>&1).
  void said(const std::string& text) {
    out_ << std::flush;
    err_ << text;
  }

  // Without --keep-going the first failure ends the run; with it, the
  // failure is said, stands in the document, and the run goes on.
  void failed(const std::string& file, const SectionName& section, Failure& failure) {
    failure.name_place(place_of(file, section));
    if (!o_.keep_going) throw failure;
    said("normlevel: " + failure.plain() + "\n");
    if (!o_.svg) writer_->write(FailedInput{file, section, failure.plain_words()});  // no text inside a picture
    failed_ = true;
  }

  const Options& o_;
  std::ostream& out_;
  std::ostream& err_;
  std::unique_ptr<ResultWriter> writer_;
  const Computation computation_;
  std::optional<SteadyFlows> flows_;     // --flow: the profiles' discharges; set before any section is read
  std::vector<std::string> exact_;       // the --section texts some section of the file is named exactly
  bool strickler_ = false;               // the input's roughness is given as Strickler's k
  std::vector<LevelResult> pictured_;    // --svg: the section's results, drawn once its input is read
  CrossSection pictured_section_;        // --svg: the section they are drawn on
  bool failed_ = false;
  OrderedTasks<Pieces> tasks_;  // last: its threads end before what they read goes
};

}  // namespace

int run_command_line(const Options& options, std::ostream& out, std::ostream& err) {
  if (options.action == Options::Action::help) {
    out << help_text();
    return 0;
  }
  if (options.action == Options::Action::version) {
    out << version_text();
    return 0;
  }
  take_names_from_arguments();
  return Run(options, out, err).all();
}

}  // namespace normlevel
