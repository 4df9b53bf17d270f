// -j: a run on several threads prints, byte for byte, what it prints on one.

#include <cstdio>
#include <map>
#include <ostream>
#include <random>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace normlevel::testing {
namespace {

// A reach of `count` valleys of noisy ground, 12 to 40 points each. Some
// sections have a fault a run meets (a word among the points, stations
// going back, an n of 0), some ice or levees the rules may leave out, so
// that the run computes, warns and fails in turn, in no regular pattern.
std::string generated_reach(int count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> points_of(12, 40), kind_of(0, 24);
  std::uniform_real_distribution<double> noise(-0.3, 0.3);
  std::string bytes = "Geom Title=generated\nProgram Version=6.50\nRiver Reach=Gen,Reach\n";
  char field[32];
  for (int k = 0; k < count; ++k) {
    const int n = points_of(random), left = n / 3, right = 2 * n / 3;
    const int kind = k < 5 ? 99 : kind_of(random);  // the first few sound: a run without -k prints some
    bytes += "\nType RM Length L Ch R = 1 ," + std::to_string(10000 - k) + ",100,100,100\n";
    bytes += "#Sta/Elev= " + std::to_string(n) + " \n";
    for (int i = 0; i < n; ++i) {
      const double x = kind == 0 && i == n / 2 ? 0.5 : 2.0 * i;
      const double t = i < left ? left - i : i > right ? i - right : 0;
      const double across = (i - (left + right) / 2.0) / (right - left);
      const double bed = i < left || i > right ? 100 + 0.4 * t : 96 + 4 * across * across;
      std::snprintf(field, sizeof field, "%8.2f%8.2f", x, bed + noise(random) - 0.01 * k);
      bytes += kind == 1 && i == 3 ? "       6     abc" : field;
      if (i % 5 == 4 || i + 1 == n) bytes += "\n";
    }
    std::snprintf(field, sizeof field, "%8.2f%8.3f%8d", 2.0 * left, kind == 2 ? 0.0 : 0.035, 0);
    bytes += "#Mann= 3 ,0,0\n       0     .06       0" + std::string(field);
    std::snprintf(field, sizeof field, "%8.2f%8.3f%8d", 2.0 * right, 0.06, 0);
    bytes += field + std::string("\nBank Sta=") + std::to_string(2 * left) + "," + std::to_string(2 * right) + "\n";
    if (kind == 3) bytes += "Ice Thickness=0.2\n";
    if (kind == 4) bytes += "Levee=-1," + std::to_string(2 * (left - 2)) + ",102\n";
  }
  return bytes;
}

struct SameBytesCase {
  const char* what;
  std::vector<std::string> arguments;  // "REACH", "DATA" ...: the files below
  int status;
  const char* err_holds;  // shows the run went where it was meant to
};

TEST(Jobs, ManyThreadsPrintWhatOneDoes) {
  ScratchDir dir;
  const std::string reach = dir.write("reach.g01", generated_reach(300, 7));
  const std::string other = dir.write("other.g02", generated_reach(40, 8));
  const std::string examples = NORMLEVEL_EXAMPLES;
  const SameBytesCase cases[] = {
      {"text, several discharges",
       {"-k", "--slope", "1", "-q", "5", "-q", "80", "-q", "1e5", "REACH"}, 1, ": warning: "},
      {"csv", {"-k", "--slope", "1", "-q", "20", "-q", "300", "--format", "csv", "REACH"}, 1, ": warning: "},
      {"json with details, divided",
       {"-k", "--rules", "divided", "--details", "--format", "json", "-q", "40", "--slope", "0.5", "REACH"}, 1,
       ": warning: "},
      {"the first failure ends the run",
       {"--slope", "1", "-q", "5", "-q", "80", "REACH"}, 255, "Gen Reach 9989: line 136: 'abc' is not a number"},
      {"a batch", {"-k", "--slope", "1", "-q", "20", "REACH", "DATA", "NONE", "OTHER", "DATA"}, 1, ": warning: "},
      {"a batch ended by a missing file",
       {"--slope", "1", "-q", "20", "DATA", "NONE", "REACH"}, 255, "none.txt: cannot open"},
      {"rating tables", {"-k", "--slope", "1", "--rating", "0.5", "--format", "csv", "OTHER"}, 1, ": warning: "},
      {"levels asked", {"-k", "--slope", "1", "--level", "99", "--level", "103.5", "REACH"}, 1, ": warning: "},
      {"a usage error after a file computed", {"-q", "20", "DATA", "REACH"}, 2, "the input holds no bed slope"},
      {"one section drawn", {"--svg", "--section", "9990", "--slope", "1", "-q", "20", "REACH"}, 0, ": note: "},
      {"profiles of a flow file", {"-k", "--flow", "FLOW", "--slope", "1", "--format", "json", "MODEL"}, 0, ": note: "},
  };
  for (const SameBytesCase& c : cases) {
    const std::map<std::string, std::string> files = {
        {"REACH", reach},
        {"OTHER", other},
        {"DATA", examples + "/trapezoid.txt"},
        {"NONE", dir.path("none.txt")},
        {"MODEL", examples + "/reach.g01"},
        {"FLOW", examples + "/reach.f01"}};
    std::vector<std::string> arguments;
    for (const std::string& a : c.arguments) arguments.push_back(files.contains(a) ? files.at(a) : a);
    std::vector<std::string> alone = arguments;
    alone.insert(alone.begin(), {"-j", "1"});
    const CliRun one = run_cli(alone);
    ASSERT_EQ(one.status, c.status) << c.what << "\n" << one.err;
    EXPECT_NE(one.out, "") << c.what;
    EXPECT_NE(one.err.find(c.err_holds), std::string::npos) << c.what << "\n" << one.err;
    for (const char* jobs : {"2", "3", "16"}) {
      std::vector<std::string> shared = arguments;
      shared.insert(shared.begin(), {"--jobs", jobs});
      const CliRun many = run_cli(shared);
      EXPECT_EQ(many.status, one.status) << c.what << ", -j " << jobs;
      EXPECT_EQ(many.out, one.out) << c.what << ", -j " << jobs;
      EXPECT_EQ(many.err, one.err) << c.what << ", -j " << jobs;
    }
  }
}

// One file that both streams go to (2>&1): through `held`, what is written
// waits in a buffer until flushed, as a file's stdout does; through `at_once`
// it lands as it comes, as stderr does.
class OneFile {
 public:
  std::ostream held{&held_}, at_once{&at_once_};
  std::string bytes;

 private:
  class Appending : public std::streambuf {
   public:
    Appending(std::string& to, bool holds) : to_(to), holds_(holds) {}

   protected:
    int_type overflow(int_type c) override {
      if (traits_type::eq_int_type(c, traits_type::eof())) return c;
      const char one = traits_type::to_char_type(c);
      xsputn(&one, 1);
      return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      (holds_ ? waiting_ : to_).append(s, static_cast<std::size_t>(n));
      return n;
    }
    int sync() override {
      to_ += waiting_;
      waiting_.clear();
      return 0;
    }

   private:
    std::string& to_;
    bool holds_;
    std::string waiting_;
  };
  Appending held_{bytes, true}, at_once_{bytes, false};
};

// A section's warnings stand before its report in one file, and a failure
// after the sections before it: stdout is flushed before each line on stderr.
TEST(Jobs, BothStreamsKeepTheirOrderInOneFile) {
  ScratchDir dir;
  const std::string reach = dir.write("reach.g01", generated_reach(120, 9));
  const std::vector<std::vector<std::string>> runs = {
      {"-k", "--slope", "1", "-q", "5", "-q", "1e5", reach},
      {"-k", "--slope", "1", "-q", "300", "--format", "csv", reach},
  };
  for (const std::vector<std::string>& arguments : runs)
    for (const char* jobs : {"1", "2"}) {
      std::vector<std::string> with_jobs = arguments;
      with_jobs.insert(with_jobs.begin(), {"-j", jobs});
      OneFile file, unbuffered;
      EXPECT_EQ(run_command_line(parse_command_line(with_jobs), file.held, file.at_once), 1);
      file.held.flush();
      run_command_line(parse_command_line(with_jobs), unbuffered.at_once, unbuffered.at_once);
      EXPECT_NE(file.bytes.find(": warning: "), std::string::npos);
      EXPECT_EQ(file.bytes, unbuffered.bytes) << arguments[6] << ", -j " << jobs;
    }
}

TEST(Jobs, ANumberOfThreadsOrAUsageError) {
  EXPECT_EQ(parse_command_line({"-j", "3", "a.txt"}).jobs, 3u);
  EXPECT_EQ(parse_command_line({"-j4", "a.txt"}).jobs, 4u);
  EXPECT_EQ(parse_command_line({"--jobs=1", "a.txt"}).jobs, 1u);
  EXPECT_EQ(parse_command_line({"a.txt"}).jobs, 0u) << "0: one a core";
  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } refused[] = {
      {{"-j", "0", "a.txt"}, "normlevel: option '-j': '0' is not a number of threads from 1 to 1024\n"},
      {{"--jobs", "x", "a.txt"}, "normlevel: option '--jobs': cannot read 'x' as a number\n"},
      {{"-j", "2.5", "a.txt"}, "normlevel: option '-j': '2.5' is not a number of threads from 1 to 1024\n"},
      {{"a.txt", "-j"}, "normlevel: option '-j' needs a value\n"},
  };
  for (const auto& r : refused) {
    const CliRun run = run_cli(r.arguments);
    EXPECT_EQ(run.status, 2) << r.message;
    EXPECT_EQ(run.err, r.message);
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
}  // namespace normlevel::testing
