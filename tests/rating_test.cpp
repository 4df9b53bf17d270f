// The rating table: its levels, its rows by hand, and the one-pass geometry
// that must give every level exactly the sums of the level-by-level one.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>

#include "base/Failure.h"
#include "core/CSdata.h"
#include "core/func.h"
#include "results/rating.h"
#include "test_support.h"
#include <nlohmann/json.hpp>

namespace normlevel {
namespace {

struct LevelsCase {
  double zmin, zmax, step;
  std::vector<double> levels;
};

TEST(RatingLevels, StepUpToTheFirstLevelAtOrAboveTheTop) {
  const LevelsCase cases[] = {
      {100, 103, 1, {101, 102, 103}},
      {100, 103, 2, {102, 104}},
      {100, 100, 1, {101}},
      {-1, 0.5, 0.5, {-0.5, 0, 0.5}},
      {0, 0.3, 0.1, {0.1, 0.2, 0.30000000000000004}},
  };
  for (const LevelsCase& c : cases) EXPECT_EQ(rating_levels(c.zmin, c.zmax, c.step), c.levels) << c.step;
}

TEST(RatingLevels, EachLevelIsAProductNotARunningSum) {
  const std::vector<double> levels = rating_levels(17.3, 1017.3, 0.01);
  double running = 17.3;
  bool differs = false;
  for (std::size_t k = 0; k < levels.size(); ++k) {
    EXPECT_EQ(levels[k], 17.3 + static_cast<double>(k + 1) * 0.01);
    running += 0.01;
    differs = differs || running != levels[k];
  }
  EXPECT_TRUE(differs) << "the sample must tell the two apart";
  EXPECT_GE(levels.back(), 1017.3);
  EXPECT_LT(levels[levels.size() - 2], 1017.3);
}

TEST(RatingLevels, RefusesMoreThanAHundredThousandRows) {
  EXPECT_EQ(rating_levels(0, 1e5, 1).size(), 100000u);
  for (const double step : {0.5, 1e-300, 0.99999})
    try {
      rating_levels(0, 1e5, step);
      ADD_FAILURE() << step;
    } catch (const Failure& error) {
      EXPECT_EQ(std::string(error.what()).find("option '--rating': a step of "), 0u) << error.what();
    }
}

double manning(double A, double P, double n) { return std::pow(A / P, 2.0 / 3.0) * std::sqrt(0.001) / n; }

TEST(RatingTable, TheTrapezoidByHand) {
  const CrossSection d = testing::trapezoid();
  struct Row {
    double area, width, left_area, left_perimeter, channel_area, channel_perimeter;
  };
  const double s5 = std::sqrt(5.0), s26 = std::sqrt(26.0), s104 = std::sqrt(104.0);
  const Row hand[] = {{4, 6, 0, 0, 4, 2 + 2 * s5}, {15, 16, 2.5, s26, 10, 2 + 2 * s5}, {36, 26, 10, s104, 16, 2 + 2 * s5}};
  const RatingTable table = rating_table(d, 1);
  ASSERT_EQ(table.rows.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    const RatingRow& row = table.rows[k];
    const Row& h = hand[k];
    const double QL = h.left_area == 0 ? 0 : manning(h.left_area, h.left_perimeter, 0.05) * h.left_area;
    const double Q0 = manning(h.channel_area, h.channel_perimeter, 0.03) * h.channel_area;
    EXPECT_EQ(row.level, 101.0 + static_cast<double>(k));
    EXPECT_EQ(row.depth, 1.0 + static_cast<double>(k));
    EXPECT_NEAR(row.area, h.area, 1e-12);
    EXPECT_NEAR(row.top_width, h.width, 1e-12);
    EXPECT_NEAR(row.left_discharge, QL, 1e-6 * (QL + 1));
    EXPECT_EQ(row.right_discharge, row.left_discharge) << "the trapezoid is symmetric";
    EXPECT_NEAR(row.channel_discharge, Q0, 1e-6 * Q0);
    EXPECT_NEAR(row.channel_velocity, Q0 / h.channel_area, 1e-6);
    EXPECT_EQ(row.discharge, row.left_discharge + row.channel_discharge + row.right_discharge);
  }
}

TEST(GeometryAtLevels, EveryLevelGetsTheLevelByLevelSums) {
  std::mt19937 random(2026);
  for (int section = 0; section < 300; ++section) {
    CrossSection d = testing::random_section(random, 2 + section % 40);
    if (section % 2 == 1) testing::vary_roughness(d, random);
    // Levels on the elevation grid land exactly on survey points and flats.
    std::vector<double> levels;
    for (double h = d.zmin - 0.25; h <= d.zmax + 1; h += 0.0625) levels.push_back(h);
    const std::vector<PartGeometry> all = geometry_at_levels(d, levels);
    const std::size_t parts = d.parts.size();
    std::vector<PartGeometry> one(parts);
    for (std::size_t k = 0; k < levels.size(); ++k) {
      std::fill(one.begin(), one.end(), PartGeometry{});
      wetted_parts(d, levels[k], one);
      for (std::size_t p = 0; p < parts; ++p) {
        const PartGeometry& got = all[k * parts + p];
        const std::string where = "section " + std::to_string(section) + " level " + std::to_string(levels[k]) +
                                  " part " + std::to_string(p);
        ASSERT_EQ(got.A, one[p].A) << where;
        ASSERT_EQ(got.P, one[p].P) << where;
        ASSERT_EQ(got.B, one[p].B) << where;
        ASSERT_EQ(got.dP, one[p].dP) << where;
      }
    }
  }
}

TEST(RatingTable, EachTotalIsTheDischargeLessTheBalance) {
  std::mt19937 random(7);
  for (int section = 0; section < 50; ++section) {
    const CrossSection d = testing::random_section(random, 3 + section);
    const double Q = 25;
    for (const RatingRow& row : rating_table(d, 0.3).rows) {
      ASSERT_EQ(Q - row.left_discharge - row.channel_discharge - row.right_discharge, balance(d, Q, row.level))
          << "section " << section << " level " << row.level;
      ASSERT_EQ(row.depth, row.level - d.zmin);
    }
  }
}

// However few subdivisions' geometries a batch may hold, down to one level
// at a time, every row is the one the whole table gets in one pass.
TEST(RatingTable, TheRowsAreTheSameInBatchesOfAnySize) {
  std::mt19937 random(11);
  for (int k = 0; k < 80; ++k) {
    const CrossSection d = testing::varied_section(random, k, k % 4 < 2 ? Rules::divided : Rules::model);
    const std::vector<RatingRow> whole = rating_table(d, 0.125).rows;
    for (const std::size_t entries : {std::size_t{1}, d.parts.size() + 1, 3 * d.parts.size() - 1}) {
      const std::vector<RatingRow> batched = rating_table(d, 0.125, false, entries).rows;
      ASSERT_EQ(batched.size(), whole.size()) << "section " << k;
      for (std::size_t r = 0; r < whole.size(); ++r) {
        const auto figures = [](const RatingRow& row) {  // by their bits: a dry channel's velocity may be NaN
          std::vector<std::uint64_t> bits;
          for (const double v : {row.level, row.depth, row.area, row.top_width, row.left_discharge,
                                 row.channel_discharge, row.right_discharge, row.discharge, row.channel_velocity})
            bits.push_back(std::bit_cast<std::uint64_t>(v));
          return bits;
        };
        ASSERT_EQ(figures(batched[r]), figures(whole[r])) << "section " << k << " row " << r << " entries " << entries;
      }
    }
  }
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

// The rating table in feet, and with ponded water left out: below the
// levee's crest the pond carries nothing, above it all water flows.
TEST(RatingTable, UnitsAndConnectedWater) {
  const std::string examples = NORMLEVEL_EXAMPLES;
  const testing::CliRun feet = testing::run_cli({"--rating", "1", "--units", "us", examples + "/trapezoid.txt"});
  EXPECT_NE(feet.out.find("     [ft]    [ft]    [ft2]    [ft]    [cfs]    [cfs]    [cfs]    [cfs]   [ft/s]\r\n"),
            std::string::npos)
      << feet.out;
  const auto rows = [](const std::vector<std::string>& arguments) {
    return nlohmann::json::parse(testing::run_cli(arguments).out)[0]["rating"];
  };
  const std::string levee = examples + "/levee.txt";
  const nlohmann::json divided = rows({"--format", "json", "--rating", "0.5", levee});
  const nlohmann::json connected = rows({"--format", "json", "--rating", "0.5", "--connected", levee});
  ASSERT_EQ(divided.size(), connected.size());
  for (std::size_t k = 0; k < divided.size(); ++k) {
    const double level = divided[k]["level"];
    if (level > 100.2 && level <= 102.4)  // the pond wet, the crest not overtopped
      EXPECT_LT(connected[k]["left_discharge"].get<double>(), divided[k]["left_discharge"].get<double>()) << level;
    else
      EXPECT_EQ(connected[k]["discharge"], divided[k]["discharge"]) << level;
  }
}

}  // namespace
}  // namespace normlevel
