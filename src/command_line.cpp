#include "command_line.h"

#include <cmath>
#include <functional>
#include <string_view>

#include "FreeForm.h"

#ifndef NORMLEVEL_VERSION
#define NORMLEVEL_VERSION "unknown"
#endif

namespace normlevel {

namespace {

[[noreturn]] void refuse(const std::string& message) { throw UsageError(message); }

double number(const std::string& option, const std::string& text) {
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

Format format_named(const std::string& text) {
  if (text == "text") return Format::text;
  if (text == "csv") return Format::csv;
  if (text == "json") return Format::json;
  refuse("option '--format': '" + text + "' is not one of text, csv, json");
}

using Setter = std::function<void(Options&, const std::string& option, const std::string& value)>;

struct OptionRule {
  std::string_view short_name;
  std::string_view long_name;
  bool takes_value;
  Setter set;
};

const std::vector<OptionRule>& rules() {
  static const std::vector<OptionRule> table = {
      {"-q", "--discharge", true,
       [](Options& o, const std::string& n, const std::string& v) {
         o.queries.push_back({Query::Kind::discharge, number(n, v)});
       }},
      {"", "--level", true,
       [](Options& o, const std::string& n, const std::string& v) {
         o.queries.push_back({Query::Kind::level, finite_number(n, v)});
       }},
      {"", "--slope", true,
       [](Options& o, const std::string& n, const std::string& v) { o.slope_per_mille = {true, number(n, v)}; }},
      {"", "--nc", true, [](Options& o, const std::string& n, const std::string& v) { o.nc = {true, number(n, v)}; }},
      {"", "--nf", true, [](Options& o, const std::string& n, const std::string& v) { o.nf = {true, number(n, v)}; }},
      {"", "--details", false, [](Options& o, const std::string&, const std::string&) { o.details = true; }},
      {"", "--format", true,
       [](Options& o, const std::string&, const std::string& v) { o.format = format_named(v); }},
      {"", "--rating", true,
       [](Options& o, const std::string& n, const std::string& v) {
         o.rating_step = finite_number(n, v);
         if (!(o.rating_step > 0)) refuse("option '--rating': the step must be positive, not '" + v + "'");
       }},
      {"", "--svg", false, [](Options& o, const std::string&, const std::string&) { o.svg = true; }},
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

void check_combination(const Options& o) {
  if (o.action != Options::Action::run) return;
  if (o.files.empty()) refuse("no data file given");
  if (o.svg && o.format != Format::text) refuse("option '--svg' writes SVG and takes no '--format'");
  if (o.svg && o.files.size() > 1)
    refuse("option '--svg' draws one file, not " + std::to_string(o.files.size()));
  if (o.svg && o.rating_step > 0) refuse("options '--svg' and '--rating' cannot be combined");
  if (o.rating_step > 0 && !o.queries.empty())
    refuse("option '--rating' takes no '--discharge' or '--level': it covers every level");
}

}  // namespace

Options parse_command_line(const std::vector<std::string>& arguments) {
  Options options;
  bool only_files = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (only_files || argument.size() < 2 || argument[0] != '-') {
      options.files.push_back(argument);
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

std::string version_text() { return std::string("normlevel ") + NORMLEVEL_VERSION + "\n"; }

std::string help_text() {
  return std::string("normlevel ") + NORMLEVEL_VERSION + " - the normal water level of a river cross-section\n\n" +
         "usage: normlevel                      the dialogue: asks for the data file\n"
         "       normlevel [OPTION]... FILE...  the report of each file, no questions\n\n"
         "  -q, --discharge Q  the level for discharge Q (m3/s) instead of the file's Q\n"
         "      --level H      no search: the discharge carried at level H (m)\n"
         "      --slope S      bed slope in per mille instead of the file's\n"
         "      --nc N         Manning's n of the main channel instead of the file's\n"
         "      --nf N         Manning's n of the floodplains instead of the file's\n"
         "      --details      the flow split between the zones at each level\n"
         "      --rating STEP  the rating table: zmin + STEP, zmin + 2 STEP, ... to zmax\n"
         "      --svg          a picture of the section and its water (SVG on stdout)\n"
         "      --format F     text (the default), csv or json\n"
         "  -h, --help         this text\n"
         "      --version      name and version\n\n"
         "-q and --level may be repeated. Values are read like the data file's:\n"
         "50, 1.5e3, 1.5D3. Exit status: 0 done, 2 a wrong command line, 255 (-1) a\n"
         "file that cannot be read or holds no valid section (diagnostic on stderr).\n";
}

}  // namespace normlevel
