#include "cli/command_line.h"

#include <cctype>
#include <cmath>
#include <functional>
#include <string_view>

#include "base/FreeForm.h"

#ifndef NORMLEVEL_VERSION
#define NORMLEVEL_VERSION "unknown"
#endif

namespace normlevel {

namespace {

[[noreturn]] void refuse(const std::string& message) { throw UsageError(message); }

std::string_view trimmed_text(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::size_t digits_from(std::string_view text, std::size_t at) {
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
  return at;
}

// A command line takes plain decimals only: the data file's list-directed
// forms (1.5-3, 1.5D3, 3*2, a lone +) would read a typo as a number.
bool plain_decimal(std::string_view text) {
  std::size_t at = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  std::string word(text.substr(at));
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (word == "inf" || word == "infinity" || word == "nan") return true;  // refused as not finite
  const std::size_t whole = digits_from(text, at);
  std::size_t end = whole;
  if (end < text.size() && text[end] == '.') end = digits_from(text, end + 1);
  if (end - at == 0 || (end - at == 1 && whole == at)) return false;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    at = end + 1;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    end = digits_from(text, at);
    if (end == at) return false;
  }
  return end == text.size();
}

double number(const std::string& option, const std::string& text) {
  if (!plain_decimal(text)) refuse("option '" + option + "': cannot read '" + text + "' as a number");
  double value = 0;
  const ConvertResult result = parse_real(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size())
    refuse("option '" + option + "': cannot read '" + text + "' as a number");
  return value;
}

double finite_number(const std::string& option, const std::string& text) {
  const double value = number(option, text);
  if (!std::isfinite(value)) refuse("option '" + option + "': '" + text + "' is not a finite number");
  return value;
}

// More threads than this only wait for one another on any machine the
// program runs on; a typo of -j 40000 would start them all.
constexpr unsigned kMostJobs = 1024;

unsigned thread_count(const std::string& option, const std::string& text) {
  const double value = number(option, text);
  if (!(value >= 1 && value <= kMostJobs) || value != std::floor(value))
    refuse("option '" + option + "': '" + text + "' is not a number of threads from 1 to " + std::to_string(kMostJobs));
  return static_cast<unsigned>(value);
}

// What every data file's roughness must be, refused here rather than at run time.
Override roughness(const std::string& option, const std::string& text) {
  const double value = finite_number(option, text);
  if (!(value > 0)) refuse("option '" + option + "': '" + text + "' is not a positive number");
  return {true, value};
}

Override slope(const std::string& option, const std::string& text) {
  const double value = finite_number(option, text);
  if (value < 0) refuse("option '" + option + "': '" + text + "' is negative (the slope is in per mille, 0 or more)");
  return {true, value};
}

void banks(Options& o, const std::string& option, const std::string& text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos)
    refuse("option '" + option + "': expected two stations L,R (as in 10,16.5), not '" + text + "'");
  o.bank_left = {true, finite_number(option, text.substr(0, comma))};
  o.bank_right = {true, finite_number(option, text.substr(comma + 1))};
  if (!(o.bank_left.value < o.bank_right.value))
    refuse("option '" + option + "': the left bank station must be less than the right one, not '" + text + "'");
}

void bank_codes(Options& o, const std::string& option, const std::string& text) {
  const std::size_t comma = text.find(',');
  const auto code = [&](std::size_t from, std::size_t to) { return std::string(trimmed_text(text.substr(from, to))); };
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos || code(0, comma).empty() ||
      code(comma + 1, std::string::npos).empty())
    refuse("option '" + option + "': expected two codes L,R (as in LB,RB), not '" + text + "'");
  o.left_code = code(0, comma);
  o.right_code = code(comma + 1, std::string::npos);
}

Format format_named(const std::string& text) {
  if (text == "text") return Format::text;
  if (text == "csv") return Format::csv;
  if (text == "json") return Format::json;
  refuse("option '--format': '" + text + "' is not one of text, csv, json");
}

const Units* units_named(const std::string& text) {
  if (text == "si") return &kSI;
  if (text == "us") return &kUS;
  refuse("option '--units': '" + text + "' is not one of si, us");
}

Rules rules_named(const std::string& text) {
  if (text == "model") return Rules::model;
  if (text == "divided") return Rules::divided;
  refuse("option '--rules': '" + text + "' is not one of model, divided");
}

Solve solve_named(const std::string& text) {
  if (text == "n") return Solve::n;
  if (text == "slope") return Solve::slope;
  refuse("option '--solve': '" + text + "' is not one of n, slope");
}

PlotKind plot_named(const std::string& text) {
  if (text == "section") return PlotKind::section;
  if (text == "rating") return PlotKind::rating;
  if (text == "energy") return PlotKind::energy;
  refuse("option '--plot': '" + text + "' is not one of section, rating, energy");
}

using Setter = std::function<void(Options&, const std::string& option, const std::string& value)>;

struct OptionRule {
  std::string_view short_name;
  std::string_view long_name;
  bool takes_value;
  Setter set;
};

Setter flag(bool Options::*member) {
  return [member](Options& o, const std::string&, const std::string&) { o.*member = true; };
}

Setter input_as(Reader reader) {
  return [reader](Options& o, const std::string&, const std::string& v) { o.inputs.push_back({v, reader}); };
}

Setter roughness_of(Override Options::*member) {
  return [member](Options& o, const std::string& n, const std::string& v) { o.*member = roughness(n, v); };
}

// Strickler's k, as European practice gives roughness: n = 1/k.
Setter strickler_of(Override Options::*member) {
  return [member](Options& o, const std::string& name, const std::string& text) {
    const double n = 1 / roughness(name, text).value;
    if (!std::isfinite(n)) refuse("option '" + name + "': '" + text + "' is so small a k that n = 1/k is not finite");
    o.*member = {true, n};
    o.strickler = true;
  };
}

const std::vector<OptionRule>& rules() {
  static const std::vector<OptionRule> table = {
      {"-q", "--discharge", true,
       [](Options& o, const std::string& n, const std::string& v) {
         o.queries.push_back({Query::Kind::discharge, finite_number(n, v)});
       }},
      {"", "--level", true,
       [](Options& o, const std::string& n, const std::string& v) {
         o.queries.push_back({Query::Kind::level, finite_number(n, v)});
       }},
      {"", "--slope", true,
       [](Options& o, const std::string& n, const std::string& v) { o.slope_per_mille = slope(n, v); }},
      {"", "--nc", true, roughness_of(&Options::nc)},
      {"", "--nf", true, roughness_of(&Options::nf)},
      {"", "--nl", true, roughness_of(&Options::nl)},
      {"", "--nr", true, roughness_of(&Options::nr)},
      {"", "--kc", true, strickler_of(&Options::nc)},
      {"", "--kf", true, strickler_of(&Options::nf)},
      {"", "--banks", true, banks},
      {"", "--bank-codes", true, bank_codes},
      {"", "--units", true,
       [](Options& o, const std::string&, const std::string& v) { o.units = units_named(v); }},
      {"", "--rules", true,
       [](Options& o, const std::string&, const std::string& v) {
         o.rules = rules_named(v);
         o.rules_given = true;
       }},
      {"", "--table", true, input_as(Reader::table)},
      {"", "--geometry", true, input_as(Reader::geometry)},
      {"", "--flow", true,
       [](Options& o, const std::string&, const std::string& v) {
         if (v.empty()) refuse("option '--flow' needs a file name");
         o.flow = v;
       }},
      {"", "--section", true,
       [](Options& o, const std::string&, const std::string& v) { o.sections.push_back(v); }},
      {"", "--section-column", true,
       [](Options& o, const std::string&, const std::string& v) { o.section_column = v; }},
      {"", "--xy-order", true,
       [](Options& o, const std::string&, const std::string& v) {
         if (v != "xy" && v != "yx") refuse("option '--xy-order': '" + v + "' is not one of xy, yx");
         o.y_first = v == "yx";
       }},
      {"", "--connected", false, flag(&Options::connected)},
      {"", "--solve", true,
       [](Options& o, const std::string&, const std::string& v) { o.solve = solve_named(v); }},
      {"", "--details", false, flag(&Options::details)},
      {"", "--format", true,
       [](Options& o, const std::string&, const std::string& v) { o.format = format_named(v); }},
      {"", "--rating", true,
       [](Options& o, const std::string& n, const std::string& v) {
         o.rating_step = finite_number(n, v);
         if (!(o.rating_step > 0)) refuse("option '--rating': the step must be positive, not '" + v + "'");
       }},
      {"", "--svg", false,
       [](Options& o, const std::string& n, const std::string&) {
         o.svg = true;
         o.picture_option = n;
       }},
      {"", "--plot", true,
       [](Options& o, const std::string& n, const std::string& v) {
         o.svg = true;
         o.picture_option = n;
         o.plot = plot_named(v);
       }},
      {"-k", "--keep-going", false, flag(&Options::keep_going)},
      {"-j", "--jobs", true,
       [](Options& o, const std::string& n, const std::string& v) { o.jobs = thread_count(n, v); }},
      {"-h", "--help", false,
       [](Options& o, const std::string&, const std::string&) { o.action = Options::Action::help; }},
      {"", "--version", false,
       [](Options& o, const std::string&, const std::string&) {
         if (o.action == Options::Action::run) o.action = Options::Action::version;
       }},
  };
  return table;
}

// "--name=value" and "-qvalue" carry their value; otherwise it is the next argument.
const OptionRule* rule_for(const std::string& argument, std::string& attached, bool& has_attached) {
  has_attached = false;
  for (const OptionRule& rule : rules()) {
    if (argument == rule.long_name || (!rule.short_name.empty() && argument == rule.short_name)) return &rule;
    const std::string with_equals = std::string(rule.long_name) + "=";
    if (argument.starts_with(with_equals)) {
      attached = argument.substr(with_equals.size());
      has_attached = true;
      return &rule;
    }
    if (rule.takes_value && !rule.short_name.empty() && argument.size() > 2 && argument.starts_with(rule.short_name)) {
      attached = argument.substr(2);
      has_attached = true;
      return &rule;
    }
  }
  return nullptr;
}

// With --solve, -q gives the discharge to carry at each --level.
void take_solve_discharge(Options& o) {
  if (o.solve == Solve::none) return;
  std::vector<Query> levels;
  for (const Query& q : o.queries) {
    if (q.kind == Query::Kind::level)
      levels.push_back(q);
    else if (o.solve_discharge.given)
      refuse("option '--solve' takes one '--discharge', the one to carry at each level");
    else
      o.solve_discharge = {true, q.value};
  }
  if (levels.empty()) refuse("option '--solve' needs a '--level': where the discharge is to stand");
  o.queries = levels;
}

// The flow file gives every discharge; one given beside it would leave the
// reader guessing which of the two a result carries.
void check_flow_combination(const Options& o) {
  for (const Query& q : o.queries) {
    if (q.kind == Query::Kind::discharge)
      refuse("options '--flow' and '--discharge' (-q) cannot be combined: the flow file gives the discharges");
    if (o.solve == Solve::none)
      refuse("options '--flow' and '--level' cannot be combined but with '--solve': a level asks for no discharge");
  }
  if (o.rating_step > 0) refuse("options '--flow' and '--rating' cannot be combined: a rating table asks for no discharge");
  for (const Input& input : o.inputs)
    if (reader_for(input) != Reader::geometry)
      refuse("option '--flow' gives discharges to the sections of geometry files, not to " + input.name);
}

void check_combination(Options& o) {
  if (o.action != Options::Action::run) return;
  if (o.inputs.empty()) refuse("no data file given");
  const std::string& picture = o.picture_option;
  if (o.svg && o.format != Format::text) refuse("option '" + picture + "' writes SVG and takes no '--format'");
  if (o.svg && o.inputs.size() > 1)
    refuse("option '" + picture + "' draws one file, not " + std::to_string(o.inputs.size()));
  if (o.svg && o.rating_step > 0) refuse("options '" + picture + "' and '--rating' cannot be combined");
  if (o.rating_step > 0 && !o.queries.empty())
    refuse("option '--rating' takes no '--discharge' or '--level': it covers every level");
  if (o.solve != Solve::none && (o.svg || o.rating_step > 0))
    refuse("option '--solve' cannot be combined with '" + picture + "' or '--rating'");
  if (!o.flow.empty()) check_flow_combination(o);
  take_solve_discharge(o);
}

bool ends_with_folded(const std::string& name, std::string_view ending) {
  if (name.size() < ending.size()) return false;
  for (std::size_t i = 0; i < ending.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[name.size() - ending.size() + i])) != ending[i]) return false;
  return true;
}

bool geometry_name(const std::string& name) {
  const std::size_t n = name.size();
  return n > 4 && name[n - 4] == '.' && std::tolower(static_cast<unsigned char>(name[n - 3])) == 'g' &&
         std::isdigit(static_cast<unsigned char>(name[n - 2])) && std::isdigit(static_cast<unsigned char>(name[n - 1]));
}

}  // namespace

Options parse_command_line(const std::vector<std::string>& arguments) {
  Options options;
  bool only_files = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (only_files || argument.size() < 2 || argument[0] != '-') {
      options.inputs.push_back({argument, Reader::by_name});
      continue;
    }
    if (argument == "--") {
      only_files = true;
      continue;
    }
    std::string value;
    bool has_value = false;
    const OptionRule* rule = rule_for(argument, value, has_value);
    if (rule == nullptr) refuse("unknown option '" + argument + "'");
    const std::string name = has_value ? std::string(rule->long_name) : argument;
    if (rule->takes_value && !has_value) {
      if (i + 1 == arguments.size()) refuse("option '" + name + "' needs a value");
      value = arguments[++i];
    } else if (!rule->takes_value && has_value) {
      refuse("option '" + name + "' takes no value");
    }
    rule->set(options, name, value);
  }
  check_combination(options);
  return options;
}

Reader reader_for(const Input& input) {
  if (input.reader != Reader::by_name) return input.reader;
  if (ends_with_folded(input.name, ".csv") || ends_with_folded(input.name, ".tsv")) return Reader::table;
  if (geometry_name(input.name)) return Reader::geometry;
  return Reader::data_file;
}

std::string version_text() { return std::string("normlevel ") + NORMLEVEL_VERSION + "\n"; }

std::string help_text() {
  return std::string("normlevel ") + NORMLEVEL_VERSION + " - the normal water level of a river cross-section\n" +
         "usage: normlevel                      the dialogue: asks for the data file\n"
         "       normlevel [OPTION]... FILE...  each file's report, no questions\n\n"
         "  -q, --discharge Q    the level for discharge Q instead of the file's Q\n"
         "      --level H        no search: Q at level H; --slope S  bed slope, per mille\n"
         "      --nc N, --nf N   n of the channel, the floodplains; Strickler: --kc, --kf\n"
         "      --nl N, --nr N   Manning's n of the left, of the right floodplain\n"
         "      --banks L,R      a table's bank stations; --bank-codes L,R: their codes\n"
         "      --units si|us    metres and m3/s (the default), or feet and cfs\n"
         "      --table F, --geometry F  a station table (*.csv), a geometry file (*.g01)\n"
         "      --rules R        model: as the river model (geometry files), or divided\n"
         "      --section TEXT   sections named TEXT (station or name), else holding it\n"
         "      --section-column NAME  a table's section names; --xy-order yx: x north\n"
         "      --flow FILE      each profile's Q from a model's steady-flow file (*.f01)\n"
         "      --connected      only water connected to the channel's carries flow\n"
         "      --solve n|slope  the n factor or slope that carries Q at each --level\n"
         "      --details        zones, energy and critical levels after each report\n"
         "      --rating STEP    the rating table: zmin + STEP, zmin + 2 STEP, ...\n"
         "      --plot KIND      an SVG: section (or --svg), rating or energy\n"
         "      --format F       text (the default), csv or json\n"
         "  -k, --keep-going     go on past a failing input; -j N  N threads (one a core)\n"
         "  -h, --help           this text, --version the version\n"
         "FILE - is stdin. Exit: 0 done, 1 an input failed (-k), 2 usage, 255 error\n";
}

}  // namespace normlevel
