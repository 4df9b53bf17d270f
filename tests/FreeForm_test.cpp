#include "base/FreeForm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/Failure.h"

namespace normlevel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kUnset = -999.25;  // a value no case reads
constexpr std::int32_t kUnsetInt = -999;

double real(const std::string& text) {
  double value = kUnset;
  const auto result = parse_real(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(result.ec, std::errc{}) << text;
  return value;
}

TEST(ParseReal, ReadsTheHeaderExamplesAndFortranForms) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"12.5", 12.5},     {".5", 0.5},      {"5.", 5.0},        {"125", 125.0},   {"1.5D3", 1500.0},
      {"1.5d3", 1500.0},  {"1.5E3", 1500.0}, {"1.5e+3", 1500.0}, {"1.5-3", 0.0015}, {"2+4", 20000.0},
      {"1.2.3", 1.2},     {"1.5Q3", 1.5},   {"+", 0.0},         {".", 0.0},       {"e5", 0.0},
      {"1e", 1.0},        {"1e+", 1.0},     {"1D-", 1.0},       {"1.5e3.7", 1500.0}, {"-2.5", -2.5},
      {"+7", 7.0},        {"0.1", 0.1},     {"1e999", kInf},    {"-1d999", -kInf}, {"1e-400", 0.0},
      {"1d-400", 0.0},    {"-Inf", -kInf},  {"iNFINITY", kInf}, {"Ixyz", kInf},   {"4.9e-324", 4.9e-324},
      {"4.9d-324", 4.9e-324}, {"1.7976931348623157D308", 1.7976931348623157e308},
      {"0.1000000000000000055511151231257827021181583404541015625", 0.1},
      {"9007199254740993", 9007199254740992.0},     // a tie goes to even
      {"9007199254740993D0", 9007199254740992.0},
      {"9007199254740993.0000000000001d0", 9007199254740994.0},
      {"000000000000000000000000000123.4500000000000000000000-2", 1.2345},
  };
  for (const auto& c : cases) EXPECT_EQ(real(c.text), c.value) << c.text;
}

TEST(ParseReal, KeepsASticky1BeyondEightHundredDigits) {
  // 2^53 + 1 followed by 900 zeros and a 1: just above the tie, so it
  // rounds up, though the deciding digit lies far beyond those kept.
  const std::string text = "9007199254740993" + std::string(900, '0') + "1d-901";
  EXPECT_EQ(real(text), 9007199254740994.0);
  EXPECT_EQ(real("9007199254740993" + std::string(900, '0') + "d-900"), 9007199254740992.0);
}

TEST(ParseReal, SignsOfZeroAndNaN) {
  EXPECT_TRUE(std::signbit(real("-0")));
  EXPECT_TRUE(std::signbit(real("-")));
  EXPECT_FALSE(std::signbit(real("0")));
  EXPECT_TRUE(std::isnan(real("NaN")));
  EXPECT_TRUE(std::isnan(real("nonsense")));
  EXPECT_TRUE(std::signbit(real("-nan")));
}

TEST(ParseReal, RejectsCharactersNoNumberHolds) {
  for (const char* text : {"12a", "0x10", "'1'", "1,5", "1 5", "*", "1.5f", "$3", "Q-1x", "\t1"}) {
    double value = kUnset;
    const auto result = parse_real(text, text + std::strlen(text), value);
    EXPECT_EQ(result.ec, std::errc::invalid_argument) << text;
    EXPECT_EQ(value, kUnset) << text;
  }
}

TEST(ParseInteger, SignAndDigitsOnly) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {{"-7", -7}, {"+12", 12}, {"40", 40}, {"+", 0}, {"-", 0}, {"007", 7},
               {"4294967297", 1}, {"2147483648", INT32_MIN}, {"-2147483649", INT32_MAX}};
  for (const auto& c : cases) {
    std::int32_t value = kUnsetInt;
    EXPECT_EQ(parse_integer(c.text, c.text + std::strlen(c.text), value).ec, std::errc{}) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  for (const char* text : {"7.0", "10.0", "1e1", "40.", "--5", "5-", "1 2", "I", "N"}) {
    std::int32_t value = kUnsetInt;
    EXPECT_EQ(parse_integer(text, text + std::strlen(text), value).ec, std::errc::invalid_argument) << text;
  }
}

// A console or file holding `text`, read by the free-form rules.
struct Source {
  explicit Source(const std::string& text) : in(text), source(in), reader(source, kReadDataFile) {}
  std::string next_record() {
    std::array<char, 20> field;
    field.fill('#');
    reader.read({CharField(field)});
    return std::string(field.data(), field.size());
  }
  std::istringstream in;
  StreamSource source;
  ListReader reader;
};

std::vector<double> read_reals(const std::string& text, std::size_t count) {
  Source s(text);
  std::vector<double> values(count, kUnset);
  std::vector<Target> targets;
  for (double& v : values) targets.emplace_back(&v);
  s.reader.read(targets);
  return values;
}

TEST(ListReader, SeparatorsNullsSlashAndRepeatCounts) {
  const double U = kUnset;
  const struct {
    const char* text;
    std::vector<double> expected;
  } cases[] = {
      {"12.5 0.8 0.035 0.06\n", {12.5, 0.8, 0.035, 0.06}},
      {"12.5,0.8,0.035,0.06", {12.5, 0.8, 0.035, 0.06}},
      {"12.5 , 0.8 ,0.035, 0.06\n", {12.5, 0.8, 0.035, 0.06}},
      {"1.0 2.0 word\n", {1.0, 2.0}},
      {"5,,7\n", {5, U, 7}},
      {"5 /\n", {5, U, U}},
      {"5/7\n", {5, U}},
      {",5\n", {U, 5}},
      {"1 ,, 2\n", {1, U, 2}},
      {"1.0\n,2.0\n", {1.0, 2.0}},
      {"1.0  \n  ,2.0\n", {1.0, 2.0}},
      {"1.0\n\n\n,,2.0\n", {1.0, U, 2.0}},
      {"\n\n   1\n\n 2\n", {1, 2}},
      {"3*5\n", {5, 5, 5}},
      {"3* 5\n", {5, 5, 5}},
      {"3*\n\n5\n", {5, 5, 5}},
      {"2*,7\n", {U, U, 7}},
      {"2* ,7\n", {U, U, 7}},
      {"2*/7\n", {U, U, U}},
      {"2* /7\n", {U, U, U}},
      {"0*4 9\n", {4, 9}},
      {"x*4 9\n", {4, 9}},
      {"5*1 9\n", {1, 1}},
      {"2*1.5,8\n", {1.5, 1.5, 8}},
      {"1\t2\n", {1, 2}},
      {"1\r2 3\r\n", {12, 3}},
      {"1 2", {1, 2}},
  };
  for (const auto& c : cases) EXPECT_EQ(read_reals(c.text, c.expected.size()), c.expected) << c.text;
}

TEST(ListReader, EveryReadStartsAtANewRecord) {
  Source s("1 2 3\n\nnext\n");
  double a = kUnset;
  s.reader.read({&a});
  EXPECT_EQ(a, 1);
  s.reader.read({});  // a blank record is consumed like any other
  EXPECT_EQ(s.next_record(), "next                ");
}

TEST(ListReader, IntegersThreeFromTwoLines) {
  Source s("40\n5 31\nrest\n");
  std::int32_t n = 0, il = 0, ip = 0;
  s.reader.read({&n, &il, &ip});
  EXPECT_EQ(n, 40);
  EXPECT_EQ(il, 5);
  EXPECT_EQ(ip, 31);
  EXPECT_EQ(s.next_record(), "rest                ");
}

std::string read_name(const std::string& text) {
  Source s(text);
  std::array<char, 100> field;
  field.fill('.');
  s.reader.read({CharField(field)});
  std::string name(field.data(), field.size());
  const auto end = name.find_last_not_of(' ');
  return end == std::string::npos ? "" : name.substr(0, end + 1);
}

TEST(ListReader, CharacterValues) {
  const struct {
    std::string text;
    std::string name;
  } cases[] = {
      {"plain.txt\n", "plain.txt"},
      {"\n\n  plain.txt\n", "plain.txt"},
      {"my file.txt\n", "my"},
      {"'my file.txt'\n", "my file.txt"},
      {"\"my file.txt\"\n", "my file.txt"},
      {"'it''s'\n", "it's"},
      {"\"it's\"\n", "it's"},
      {"'ab\ncd'\n", "abcd"},
      {"''\n", ""},
      {"dir/file.txt\n", "dir"},
      {"'dir/file.txt'\n", "dir/file.txt"},
      {"a,b\n", "a"},
      {"C:\\data\\x.txt\n", "C:\\data\\x.txt"},
      {"ab*cd\n", "cd"},
      {"*abc\n", "*abc"},
      {"2* 'x y'\n", "x y"},
      {"'a\tb'\n", "a      b"},
      {"a\tb\n", "a"},
      {"ab'c\n", "ab'c"},
      {",x\n", std::string(100, '.')},
      {"/x\n", std::string(100, '.')},
      {std::string(150, 'n') + "\n", std::string(100, 'n')},
      {std::string(1, '\'').append(150, 'q').append("'\n"), std::string(100, 'q')},
  };
  for (const auto& c : cases) EXPECT_EQ(read_name(c.text), c.name) << c.text;
}

void expect_failure(const std::string& text, const std::function<void(ListReader&)>& read, const char* message) {
  Source s(text);
  try {
    read(s.reader);
    ADD_FAILURE() << "no failure for " << text;
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.diagnostic(), std::string("? Run-time Error:\r\n? ") + message + "\r\n? READ(UNIT=1011,...\n")
        << text;
  }
}

TEST(ListReader, Failures) {
  double a = 0, b = 0;
  std::int32_t n = 0;
  std::array<char, 100> name;
  const auto two_reals = [&](ListReader& r) { r.read({&a, &b}); };
  const auto one_integer = [&](ListReader& r) { r.read({&n}); };
  expect_failure("", [](ListReader& r) { r.read({}); }, kPastEndOfFile);
  expect_failure("1\n", two_reals, kPastEndOfFile);
  expect_failure("1\n\n\n", two_reals, kPastEndOfFile);
  expect_failure("3*\n", two_reals, kPastEndOfFile);
  expect_failure("'abc\n", [&](ListReader& r) { r.read({CharField(name)}); }, kPastEndOfFile);
  expect_failure("7.0\n", one_integer, kIllegalCharacter);
  expect_failure("40.0\n", one_integer, kIllegalCharacter);
  expect_failure("'7'\n", one_integer, kIllegalCharacter);
  expect_failure("1 x\n", two_reals, kIllegalCharacter);
  expect_failure("1* 2*10\n", two_reals, kIllegalCharacter);
}

TEST(FileSource, ReadsRecordsAcrossBlocksLikeAStream) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += std::to_string(i) + (i % 3 ? " x\r\n" : "\n");
  text += std::string(200000, 'L') + "\n\nlast line without end";
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  FileSource from_file(file);
  std::istringstream in(text);
  StreamSource from_stream(in);
  std::string a, b;
  int records = 0;
  for (;;) {
    const bool more = from_file.next(a);
    ASSERT_EQ(more, from_stream.next(b));
    if (!more) break;
    ASSERT_EQ(a, b);
    ++records;
  }
  EXPECT_EQ(records, 20003);
  EXPECT_EQ(a, "");
  std::fclose(file);
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

// Every decimal the reader converts must be the correctly rounded double,
// whether it is short enough for one exact multiplication or division, or
// needs the general conversion; the C library's strtod is the judge.
TEST(ParseReal, AgreesWithCorrectlyRoundedStrtod) {
  std::mt19937_64 random(42);
  const auto digits = [&](int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += static_cast<char>('0' + random() % 10);
    return text;
  };
  for (int i = 0; i < 20000; ++i) {
    const int whole = static_cast<int>(random() % 12), fraction = static_cast<int>(random() % 22);
    std::string text = digits(whole) + "." + digits(fraction);
    if (whole + fraction == 0) text = "7";
    const int exponent = static_cast<int>(random() % 80) - 40;
    if (random() % 2) text += "e" + std::to_string(exponent);
    double value = 0;
    ASSERT_EQ(parse_real(text.data(), text.data() + text.size(), value).ec, std::errc{}) << text;
    ASSERT_EQ(value, std::strtod(text.c_str(), nullptr)) << text;
    std::string fortran = text;  // a D exponent reads like an E
    if (const auto e = fortran.find('e'); e != std::string::npos) fortran[e] = 'D';
    ASSERT_EQ(parse_real(fortran.data(), fortran.data() + fortran.size(), value).ec, std::errc{}) << fortran;
    ASSERT_EQ(value, std::strtod(text.c_str(), nullptr)) << fortran;
  }
}

}  // namespace
}  // namespace normlevel
