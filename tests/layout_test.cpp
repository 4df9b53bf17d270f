// The source tree's layers: each folder under src/ may include only its own
// headers and those of the folders below it, and the classic dialogue's
// data set stays in the classic units.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// Bottom up: a folder may include from any folder of its rank or below.
const std::map<std::string, int> kRank = {
    {"base", 0},    {"core", 1},   {"readers", 2},  {"hydraulics", 2},
    {"results", 3}, {"output", 4}, {"dialogue", 5}, {"cli", 5}, {"library", 5},
};

struct Source {
  std::string folder;  ///< "" for src/ itself
  std::string path;    ///< from src/
  std::string text;
};

std::vector<Source> sources() {
  const fs::path src = fs::path(NORMLEVEL_REPO) / "src";
  std::vector<Source> all;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const fs::path relative = fs::relative(entry.path(), src);
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::string folder = relative.has_parent_path() ? relative.begin()->string() : "";
    all.push_back({folder, relative.generic_string(), text});
  }
  return all;
}

TEST(Layout, EveryFolderIsALayer) {
  for (const Source& s : sources()) {
    if (s.folder.empty()) {
      EXPECT_EQ(s.path, "program.cpp") << "only main stands outside the layers";
      continue;
    }
    EXPECT_TRUE(kRank.contains(s.folder)) << s.path << ": folder " << s.folder << " is no known layer";
  }
}

// The quoted includes of a source, as written between the quotes.
std::vector<std::string> quoted_includes(const std::string& text) {
  static const std::string kDirective = "#include \"";
  std::vector<std::string> found;
  for (std::size_t at = text.find(kDirective); at != std::string::npos; at = text.find(kDirective, at + 1)) {
    const std::size_t from = at + kDirective.size();
    found.push_back(text.substr(from, text.find('"', from) - from));
  }
  return found;
}

TEST(Layout, IncludesPointDownward) {
  int checked = 0;
  for (const Source& s : sources()) {
    for (const std::string& header : quoted_includes(s.text)) {
      const std::size_t slash = header.find('/');
      ASSERT_NE(slash, std::string::npos) << s.path << ": #include \"" << header << "\" without its folder";
      if (s.folder.empty() || !kRank.contains(s.folder)) continue;
      const std::string to = header.substr(0, slash);
      ASSERT_TRUE(kRank.contains(to)) << s.path << " includes from " << to << ", no known layer";
      EXPECT_LE(kRank.at(to), kRank.at(s.folder)) << s.path << " includes " << header << ", a layer above its own";
      if (to != s.folder) {
        EXPECT_NE(kRank.at(to), kRank.at(s.folder)) << s.path << " includes its sibling layer " << to;
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 100);
}

// The classic units: the loader and its data set, the balance, the dialogue.
TEST(Layout, ClassicDataSetOnlyInTheClassicUnits) {
  const std::vector<std::string> classic = {"core/CSdata.h", "core/CSdata.cpp", "core/func.h", "core/func.cpp",
                                            "dialogue/dialogue.h", "dialogue/dialogue.cpp"};
  for (const Source& s : sources()) {
    const bool allowed = std::find(classic.begin(), classic.end(), s.path) != classic.end();
    if (!allowed) {
      EXPECT_EQ(s.text.find("CSDATA"), std::string::npos) << s.path << " uses the classic data set";
    }
  }
}

}  // namespace
