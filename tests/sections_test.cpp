// Real surveyed river sections, each with its exact normal water level
// computed independently (a fine scan and a root finder to 1e-12). The
// search stops once the bracket is 1 mm wide, so the printed level must lie
// within half a millimetre of the exact one.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "dialogue/dialogue.h"

namespace normlevel {
namespace {

struct RealSection {
  const char* file;
  double level;
  double velocity;
};

const RealSection kSections[] = {
    {"bald_eagle_81849.41.txt", 617.484008, 2.928859}, {"bald_eagle_22982.97.txt", 557.657925, 4.131505},
    {"bald_eagle_138154.4.txt", 678.202584, 5.463095}, {"bogue_chitto_56.97.txt", 351.303291, 3.291903},
    {"bogue_chitto_51.15.txt", 332.300738, 3.168358},  {"bogue_chitto_52.36.txt", 337.916522, 3.765184},
    {"beaver_creek_5.99.txt", 222.435327, 4.445742},   {"beaver_creek_5.41.txt", 217.847142, 4.526312},
    {"napa_creek_2100.txt", 20.154670, 7.550973},      {"napa_creek_300.txt", 11.265336, 6.850255},
    {"thames_40180.txt", 176.305117, 0.879614},        {"wailupe_0.72.txt", 53.367442, 12.106890},
    {"wailupe_1.59.txt", 218.530065, 14.919562},       {"wailupe_0.12.txt", 8.244729, 11.007090},
    {"mississippi_733.65.txt", 660.199930, 3.383348},  {"meerlustkloof_3905.txt", 289.471482, 4.941786},
    {"meerlustkloof_1905.txt", 254.358429, 5.295128},  {"meerlustkloof_405.txt", 240.829129, 3.982383},
};

double reported(const std::string& report, const std::string& label) {
  const auto at = report.find(label);
  EXPECT_NE(at, std::string::npos) << report;
  return std::stod(report.substr(at + 13, 15));
}

// A name fits the 100-character field however deep the checkout lies.
std::string typed_name(const std::string& file) {
  const std::filesystem::path path = std::filesystem::path(NORMLEVEL_TEST_DATA) / "sections" / file;
  const std::string relative = std::filesystem::proximate(path).generic_string();
  return relative.size() < path.string().size() ? relative : path.string();
}

// The whole console dialogue, from the typed name to Enter.
TEST(RealSections, LevelWithinHalfAMillimetreOfTheExactOne) {
  for (const RealSection& section : kSections) {
    std::istringstream typed(std::string(1, '\'').append(typed_name(section.file)).append("'\n\n"));
    std::ostringstream screen;
    dialogue(typed, screen);
    const std::string report = screen.str();
    EXPECT_NEAR(reported(report, "zw. wody:"), section.level, 0.0005) << section.file;
    EXPECT_NEAR(reported(report, "pred.(korto)"), section.velocity, 0.002 * section.velocity) << section.file;
  }
}

}  // namespace
}  // namespace normlevel
