// JSON: an array of one object a result, closed by finish().

#include <memory>
#include <ostream>

#include "output/output_parts.h"

namespace normlevel {

namespace {

using namespace output_parts;

Fields part_fields(const PartFigures& p) {
  return {{"from", number(p.from)},     {"to", number(p.to)},
          {"n", number(p.n)},           {"area", number(p.area)},
          {"perimeter", number(p.perimeter)}, {"discharge", number(p.discharge)}};
}

// Strickler's k = 1/n, for roughness given as k (European practice).
Fields strickler_fields(const ZoneRoughness& n) {
  return {{"kc", number(1 / n.nc)}, {"kf", number(1 / n.nf)}, {"kl", number(1 / n.nl)}, {"kr", number(1 / n.nr)}};
}

std::string json_value(const Value& v) {
  switch (v.kind) {
    case Value::Kind::number: return shortest_number(v.number);
    case Value::Kind::text: return json_string(v.text);
    case Value::Kind::flag: return v.yes ? "true" : "false";
    case Value::Kind::absent: break;
  }
  return "null";
}

std::string json_members(const Fields& fields, const char* separator) {
  std::string members;
  for (const Field& f : fields) {
    if (!members.empty()) members += separator;
    members.append(json_string(f.name)).append(": ").append(json_value(f.value));
  }
  return members;
}

// The members a helper of output_parts hands out, e.g. json_members_of(", ", zone_fields<Fields>, z, true).
template <class AddFields, class... Args>
std::string json_members_of(const char* separator, AddFields add_fields, const Args&... args) {
  Fields fields;
  add_fields(fields, args...);
  return json_members(fields, separator);
}

std::string section_object(const SectionName& s) {
  return "{\"river\": " + json_string(s.river) + ", \"reach\": " + json_string(s.reach) +
         ", \"station\": " + json_string(s.station) + "}";
}

std::string zone_object(const ZoneFigures& z, bool with_parts, bool strickler) {
  std::string object(1, '{');
  object += json_members_of(", ", zone_fields<Fields>, z, true);
  if (with_parts) {
    object += ", \"parts\": [";
    for (std::size_t i = 0; i < z.parts.size(); ++i) {
      if (i > 0) object += ", ";
      Fields part = part_fields(z.parts[i]);
      if (strickler) part.insert(part.begin() + 3, {"strickler", number(1 / z.parts[i].n)});
      object.append(1, '{').append(json_members(part, ", ")).append(1, '}');
    }
    object += "]";
  }
  return object + "}";
}

class JsonWriter final : public ResultWriter {
 public:
  JsonWriter(const Layout& layout, std::ostream& out) : layout_(layout), out_(out) {}

  void write(const LevelResult& r) override {
    begin_object(r.file, r.section);
    const char* next = ",\n    ";
    if (layout_.profiles) out_ << next << "\"profile\": " << json_string(r.profile);
    out_ << next << "\"units\": " << json_string(r.units->name) << next << "\"rules\": " << json_string(rules_name(r.rules))
         << next << json_members_of(next, head_fields<Fields>, r, layout_.solve)
         << (r.strickler ? next + json_members(strickler_fields(r.n), next) : "")
         << next << "\"found\": " << (r.found ? "true" : "false")
         << next << json_members_of(next, section_fields<Fields>, r)
         << next << "\"channel_velocity\": " << json_value(number(r.channel_velocity, r.found)) << next << "\"zones\": ";
    if (!r.found) {
      out_ << "null";
    } else {
      out_ << "{";
      for (int i = 0; i < 4; ++i)
        out_ << (i ? "," : "") << "\n      " << json_string(kZoneNames[i]) << ": " << zone_object(zone_of(r.zones, i), i < 3, r.strickler);
      out_ << "\n    }";
    }
    out_ << next << json_members_of(next, energy_fields<Fields>, r) << next << "\"critical_levels\": [";
    for (std::size_t i = 0; i < r.critical_levels.size(); ++i) {
      const CriticalLevel& c = r.critical_levels[i];
      out_ << (i ? ", " : "") << "{\"level\": " << shortest_number(c.level) << ", \"energy\": "
           << shortest_number(c.energy) << ", \"at_end\": " << (c.at_end ? "true" : "false") << "}";
    }
    out_ << "]" << next << json_members_of(next, critical_fields<Fields>, r) << next << "\"normal_levels\": [";
    for (std::size_t i = 0; i < r.normal_levels.size(); ++i)
      out_ << (i ? ", " : "") << shortest_number(r.normal_levels[i].level);
    out_ << "]" << next << json_members_of(next, tail_fields<Fields>, r) << next
         << "\"warnings\": [";
    for (std::size_t i = 0; i < r.warnings.size(); ++i)
      out_ << (i ? "," : "") << "\n      {\"code\": " << json_string(r.warnings[i].code)
           << ", \"message\": " << json_string(r.warnings[i].message) << "}";
    out_ << (r.warnings.empty() ? "]" : "\n    ]") << "\n  }";
  }

  void write(const RatingTable& table) override {
    begin_object(table.file, table.section);
    const char* next = ",\n    ";
    Fields head = {{"units", text(table.units->name)}, {"slope_per_mille", number(table.slope_per_mille)}};
    roughness_fields(head, table.n);
    out_ << next << json_members(head, next) << next << "\"rating\": [";
    for (std::size_t i = 0; i < table.rows.size(); ++i)
      out_ << (i ? "," : "") << "\n      {" << json_members_of(", ", rating_fields<Fields>, table.rows[i]) << "}";
    out_ << (table.rows.empty() ? "]" : "\n    ]") << "\n  }";
  }

  void write(const FailedInput& failed) override {
    begin_object(failed.file, failed.section);
    out_ << ",\n    \"error\": " << json_string(failed.error) << "\n  }";
  }

  void finish() override {
    if (finished_) return;
    out_ << (objects_ == 0 ? "[" : "\n") << "]\n";
    finished_ = true;
  }

 private:
  void begin_object(const std::string& file, const SectionName& section) {
    out_ << (objects_++ == 0 ? "[\n" : ",\n") << "  {\n    \"file\": " << json_string(file)
         << ",\n    \"section\": " << section_object(section);
  }

  Layout layout_;
  std::ostream& out_;
  int objects_ = 0;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<ResultWriter> output_parts::json_writer(const Layout& layout, std::ostream& out) {
  return std::make_unique<JsonWriter>(layout, out);
}

}  // namespace normlevel
