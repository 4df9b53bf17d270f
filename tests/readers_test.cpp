// The station-table and geometry-file readers: what they accept, how they
// name what they refuse, and the real geometry file of a whole reach.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "base/byte_blocks.h"
#include "base/platform.h"
#include "readers/geometry_file.h"
#include "readers/station_table.h"
#include "readers/survey.h"
#include "test_support.h"

namespace normlevel {
namespace {

TEST(Readers, HeaderExamples) {
  double v = 0;
  const struct {
    const char* text;
    bool comma;
    bool ok;
    double value;
  } decimals[] = {{"12.5", false, true, 12.5}, {"-.5", false, true, -0.5},  {"405591.", false, true, 405591},
                  {"1e3", false, true, 1000},  {"12,5", true, true, 12.5},  {"12,5", false, false, 0},
                  {"1.5D3", false, false, 0},  {"+7", false, true, 7},      {".", false, false, 0},
                  {"", false, false, 0},       {"1e400", false, false, 0}, {"0.1", false, true, 0.1}};
  for (const auto& d : decimals) {
    EXPECT_EQ(parse_decimal(d.text, d.comma, v), d.ok) << d.text;
    if (d.ok) {
      EXPECT_EQ(v, d.value) << d.text;
    }
  }
  EXPECT_EQ(table_separator("station;elevation"), ';');
  EXPECT_EQ(table_separator("odleglosc\trzedna\tn"), '\t');
  EXPECT_EQ(table_separator("x,z"), ',');
  EXPECT_EQ(column_key("Station [m]"), "station");
  EXPECT_EQ(column_key("\"Rz\xC4\x99" "dna\""), "rzedna");
  EXPECT_EQ(column_key(" N "), "n");
  EXPECT_EQ(column_key("ODLEG\xC5\x81O\xC5\x9A\xC4\x86 (m)"), "odleglosc");
  std::vector<double> values;
  std::string bad;
  EXPECT_TRUE(fixed_fields("    27.2  963.04", 2, values, bad));
  EXPECT_EQ(values, (std::vector<double>{27.2, 963.04}));
  EXPECT_TRUE(fixed_fields("  808.43 1381.62952.5518", 3, values, bad)) << "fields that touch";
  EXPECT_EQ(values.back(), 952.5518);
  EXPECT_FALSE(fixed_fields("   12.5    abc", 2, values, bad));
  EXPECT_EQ(bad, "abc");
  EXPECT_EQ(section_place("reach.g01", {"Creek", "Upper", "105.5"}, ", "), "reach.g01, Creek Upper 105.5");
  EXPECT_EQ(section_place("reach.g01", {"", "", "7"}, ": "), "reach.g01: 7");
  EXPECT_EQ(section_place("table.csv", {}, ": "), "table.csv");
}

SurveyedSection table(const std::string& bytes) {
  SurveyedSection s;
  read_station_table(bytes, s);
  return s;
}

TEST(StationTable, ReadsEveryExportAlike) {
  const std::string exports[] = {
      "station,elevation\n0,103\n10,101\n12,100\n",
      "\xEF\xBB\xBFOdleg\xC5\x82o\xC5\x9B\xC4\x87 [m];Rz\xC4\x99" "dna [m];opis\r\n0;103;lewy\r\n10;101;\r\n12;100;\r\n",
      "x\tnr\tELEVATION\tSTATION\n\t1\t103\t0\n\t2\t101\t10,0\n\t3\t100\t12\n",
      "\"station\",\"elevation\"\n\"0\",\"103\"\n\n\"10\",\"101\"\n\"12\",\"100\"\n",
  };
  for (const std::string& bytes : exports) {
    const SurveyedSection s = table(bytes);
    EXPECT_EQ(s.x, (std::vector<double>{0, 10, 12})) << bytes;
    EXPECT_EQ(s.z, (std::vector<double>{103, 101, 100})) << bytes;
    EXPECT_TRUE(s.n.empty());
  }
}

// The bytes of a UTF-16 text with its byte-order mark, in either order.
std::string utf16(std::u16string_view text, bool big_endian) {
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST(StationTable, ReadsEveryEncodingAndColumnNameAlike) {
  const std::string tables[] = {
      "Odleg\xB3o\x9C\xE6 [m];Rz\xEA" "dna [m n.p.m.]\r\n0;103\r\n10;101\r\n12;100\r\n",
      "Wysoko\x9C\xE6;Odl\n103;0\n101;10\n100;12\n",
      utf16(u"Odleg\u0142o\u015B\u0107;Rz\u0119dna\r\n0;103\r\n10;101\r\n12;100\r\n", false),
      utf16(u"Distance,Elev\n0,103\n10,101\n12,100", true),
      "Dist,H\n0,103\n10,101\n12,100\n",
      "CrossM;Z\n0;103\n10;101\n12;100\n",
      "Offset (ft)\tElevation (ft)\n0\t103\n10\t101\n12\t100\n",
      "Chainage,elevation\n0,103\n10,101\n12,100\n",
      "x,z\n0,103\n10,101\n12,100\n",
  };
  for (const std::string& bytes : tables) {
    const SurveyedSection s = table(bytes);
    EXPECT_EQ(s.x, (std::vector<double>{0, 10, 12})) << bytes;
    EXPECT_EQ(s.z, (std::vector<double>{103, 101, 100})) << bytes;
  }
}

TEST(StationTable, RecodesOnlyWhatIsNotUtf8) {
  const struct {
    std::string bytes;
    bool recoded;
    std::string text;
  } cases[] = {
      {"station;elevation\n", false, ""},
      {"Rz\xC4\x99" "dna", false, ""},
      {"Rz\xEA" "dna \x80", true, "Rz\xC4\x99" "dna \xE2\x82\xAC"},
      {"\xC4", true, "\xC3\x84"},
      {"a\x81", true, "a\xEF\xBF\xBD"},
      {utf16(u"\U0001F30A\xB3", false), true, "\xF0\x9F\x8C\x8A\xC2\xB3"},
      {utf16(u"a", false) + "b", true, "a\xEF\xBF\xBD"},
      {utf16(u"\xD800" "a", true), true, "\xEF\xBF\xBD" "a"},
  };
  for (const auto& c : cases) {
    std::string decoded;
    EXPECT_EQ(recoded_to_utf8(c.bytes, decoded), c.recoded) << c.bytes;
    EXPECT_EQ(decoded, c.text) << c.bytes;
  }
}

TEST(StationTable, AnNColumnGoesOnWhereACellIsEmpty) {
  const SurveyedSection s = table("station;elevation;n\n0;103;0,05\n10;101;0,03\n12;100;\n14;100;\n16;101;0,05\n26;103;\n");
  EXPECT_EQ(s.point_n, (std::vector<double>{0.05, 0.03, 0.03, 0.03, 0.05, 0.05}));
}

TEST(StationTable, NamesTheRowOfWhatItCannotRead) {
  const struct {
    const char* bytes;
    const char* message;
  } cases[] = {
      {"", "line 1: the table is empty: expected a header row naming the columns"},
      {"y;height\n1;2\n", "line 1: the header names no 'station' (or 'odleglosc') column"},
      {"x;y;height\n1;2;3\n", "line 1: the header names no 'elevation' (or 'rzedna') column"},
      {"e;height;z\n1;2;3\n", "line 1: the header names an easting but no 'northing' (or 'n', 'y') column"},
      {"Location: Odra\nUnit: m\n\nx;y;z\n1;2;3\n", "line 5: the table holds 1 points; a section needs 2"},
      {"x;height\n1;2\n", "line 1: the header names no 'elevation' (or 'rzedna') column"},
      {"dist;sta;z\n", "line 1: the header names the column 'sta' twice"},
      {"station,elevation,station\n", "line 1: the header names the column 'station' twice"},
      {"station,elevation\n0,103\n10,5,101\n",
       "line 3: 3 fields where the header names 2: a decimal comma? With ',' between fields numbers take '.'; or "
       "separate them by ';'"},
      {"station;elevation\n0;103\n10;abc\n", "line 3: 'abc' is not a number (elevation)"},
      {"station;elevation\n0;103\n;101\n", "line 3: no station"},
      {"station;elevation\n0;103\n1;,\n", "line 3: ',' is not a number (elevation)"},
      {"station;elevation\n0;103\n1;1,5,\n", "line 3: '1,5,' is not a number (elevation)"},
      {"station;elevation\n0;103\n1;abcdefghijabcdefghijabcdefghijabcdefghijabcdefghij\n",
       "line 3: 'abcdefghijabcdefghijabcdefghijabcdefghij...' is not a number (elevation)"},
      {"station;elevation\n0;103\n1;ab\x01" "c\n", "line 3: 'ab?c' is not a number (elevation)"},
      // byte 40 falls inside a character: the cut comes before it
      {"station;elevation\n0;103\n1;x\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82"
       "\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\n",
       "line 3: 'x\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82"
       "\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82\xc5\x82...' is not a number (elevation)"},
      {"station;elevation\n14;103\n12.5;101\n", "line 3: stations must not decrease (12.5 after 14)"},
      {"station;elevation;n\n0;103;\n10;101;0.03\n", "line 3: the first point has no n, though this one has"},
      {"station;elevation;n\n0;103;0\n", "line 2: n = 0 is not positive"},
      {"station;elevation\n0;103\n", "line 2: the table holds 1 points; a section needs 2"},
  };
  for (const auto& c : cases) {
    try {
      table(c.bytes);
      ADD_FAILURE() << "accepted: " << c.bytes;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.plain(), c.message) << c.bytes;
    }
  }
}

// A cross section as the model writes it, with what it leaves out.
std::string geometry_section(const char* station, const char* points, const char* extra = "") {
  return std::string("Type RM Length L Ch R = 1 ,") + station + ",10,10,10\n#Sta/Elev= 6 \n" + points +
         "#Mann= 3 ,0,0\n       0     .05       0      10     .03       0      16     .05       0\n" +
         "Bank Sta=10,16\n" + extra;
}

const char* kTrapezoidPoints =
    "       0     103      10     101      12     100      14     100      16     101\n      26     103\n";

TEST(GeometryFile, SectionsWithTheirReachAndWhatIsLeftOut) {
  const std::string bytes = "Geom Title=test\nRiver Reach=Creek           ,Upper           \n" +
                            geometry_section("105.5", kTrapezoidPoints, "#XS Ineff= 1 ,-1\n  1 2 3\nLevee=-1,5,102\n") +
                            "Type RM Length L Ch R = 3 ,100,,,\nRiver Reach=Creek,Lower\n" +
                            geometry_section("90*", kTrapezoidPoints);
  GeometryFile file(bytes);
  SurveyedSection s;
  ASSERT_TRUE(file.next(s));
  EXPECT_EQ(s.name.text(), "Creek Upper 105.5");
  EXPECT_EQ(s.line, 3u);
  EXPECT_EQ(s.x, (std::vector<double>{0, 10, 12, 14, 16, 26}));
  EXPECT_EQ(s.n, (std::vector<double>{0.05, 0.03, 0.05}));
  EXPECT_EQ(s.bank_right, 16);
  EXPECT_EQ(s.left_out, (std::vector<std::string>{"ineffective flow areas", "levees"}));
  ASSERT_TRUE(file.next(s));
  EXPECT_EQ(s.name.text(), "Creek Lower 90*");
  EXPECT_TRUE(s.left_out.empty());
  EXPECT_FALSE(file.next(s));
  GeometryFile iced(geometry_section("7", kTrapezoidPoints,
                                     "Ice Thickness=0.2\nVertical n Elevations= 1 ,0\nIce Thickness=0.3\n"));
  ASSERT_TRUE(iced.next(s));
  EXPECT_EQ(s.left_out, (std::vector<std::string>{"ice covers", "vertical variations of n"}));
  EXPECT_EQ(file.others(), 1u) << "the bridge";
}

TEST(GeometryFile, ABadSectionIsNamedAndTheNextOneRead) {
  const std::string bytes = "River Reach=R,r\n" +
                            geometry_section("3", "       0     103      10     101      12     abc\n") +
                            geometry_section("2", kTrapezoidPoints) +
                            "Type RM Length L Ch R = 1 ,1,10,10,10\n#Sta/Elev= 2 \n       0       1       1       0\n";
  GeometryFile file(bytes);
  SurveyedSection s;
  try {
    file.next(s);
    ADD_FAILURE() << "a section with a word among its points";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.plain(), "line 4: 'abc' is not a number (a field of #Sta/Elev=)");
  }
  ASSERT_TRUE(file.next(s));
  EXPECT_EQ(s.name.station, "2");
  try {
    file.next(s);
    ADD_FAILURE() << "a section without banks";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.plain(), "line 15: the cross section has no Bank Sta= record");
  }
  EXPECT_FALSE(file.next(s));
}

// What reading the next section is refused with; empty where it is read.
std::string refusal(GeometryFile& file, SurveyedSection& s) {
  try {
    file.next(s);
    return "";
  } catch (const Failure& failure) {
    return failure.plain();
  }
}

// A record's fields end where the next record begins (a line holding '='
// beyond the fields it gives) or the file does; the next section is read.
TEST(GeometryFile, FieldsEndWhereARecordOrTheFileBegins) {
  const char* kFivePoints = "       0     103      10     101      12     100      14     100      16     101\n";
  const struct {
    std::string points;
    const char* message;
  } cases[] = {
      {kFivePoints, "line 3: #Sta/Elev= expected 12 values, found 10"},
      {std::string(kFivePoints) + "      26     103 Levee=-1,5,102\n", "line 3: #Sta/Elev= expected 12 values, found 10"},
      {std::string(kFivePoints) + "      26 Bank Sta=10,16\n", "line 3: #Sta/Elev= expected 12 values, found 10"},
  };
  for (const auto& c : cases) {
    GeometryFile file("River Reach=R,r\n" + geometry_section("3", c.points.c_str()) +
                      geometry_section("2", kTrapezoidPoints));
    SurveyedSection s;
    EXPECT_EQ(refusal(file, s), c.message) << c.points;
    ASSERT_TRUE(file.next(s)) << c.points;
    EXPECT_EQ(s.name.station, "2") << c.points;
    EXPECT_EQ(s.x, (std::vector<double>{0, 10, 12, 14, 16, 26})) << c.points;
  }
  GeometryFile cut("River Reach=R,r\nType RM Length L Ch R = 1 ,3,10,10,10\n#Sta/Elev= 6 \n" + std::string(kFivePoints));
  SurveyedSection s;
  EXPECT_EQ(refusal(cut, s), "line 3: #Sta/Elev= expected 12 values, found 10") << "a file ending among the points";
  EXPECT_FALSE(cut.next(s));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The public example model of a reach of the White River: 61 cross
// sections, 16 of them with ineffective flow areas, three other structures.
TEST(GeometryFile, TheWhiteRiverAtMuncie) {
  GeometryFile file(read_file(std::string(NORMLEVEL_TEST_DATA) + "/geometry/Muncie.g05"));
  SurveyedSection s;
  int sections = 0, left_out = 0;
  while (file.next(s)) {
    ++sections;
    left_out += s.left_out.empty() ? 0 : 1;
    EXPECT_EQ(s.name.river, "White");
    CrossSection d;
    install_section(d, s, BankRule::insert);
    EXPECT_GE(d.N, 2);
    if (sections == 1) {
      EXPECT_EQ(s.name.station, "15696.24");
      EXPECT_EQ(d.N, 134);
      EXPECT_EQ(d.x[d.il], 250.23);
      EXPECT_EQ(d.x[d.ip], 401.13);
      EXPECT_EQ(d.parts.size(), 3u) << "n changes at the banks only";
    }
  }
  EXPECT_EQ(sections, 61);
  EXPECT_EQ(left_out, 16);
  EXPECT_EQ(file.others(), 3u);
}

// A text handed out in blocks of `size`, each a copy of its own. A block
// released is overwritten at once, so that a reader still looking at it
// reads something else.
class PoisonedBlocks : public ByteBlocks {
 public:
  PoisonedBlocks(std::string text, std::size_t size) : text_(std::move(text)), size_(size) {}
  std::string_view next() override {
    if (at_ >= text_.size()) return {};
    given_.push_back(text_.substr(at_, size_));
    at_ += size_;
    return given_.back();
  }
  void release_before(const char* from) override {
    std::size_t keep = given_.empty() ? 0 : given_.size() - 1;
    for (std::size_t k = 0; from != nullptr && k < given_.size(); ++k)
      if (from >= given_[k].data() && from < given_[k].data() + given_[k].size()) keep = k;
    for (std::size_t k = 0; k < keep; ++k) std::fill(given_[k].begin(), given_[k].end(), '#');
  }

 private:
  std::string text_;
  std::size_t size_, at_ = 0;
  std::deque<std::string> given_;
};

// The blocks still looked at keep their bytes while those released are
// filled again; the end is told once and after.
TEST(StreamBlocks, KeepTheBlocksStillLookedAtAndFillTheRestAgain) {
  const testing::ScratchDir dir;
  for (const std::string tail : {"gg", "gggg"}) {
    int code = 0;
    FileHandle file = open_for_reading(dir.write("blocks", "aaaabbbbccccddddeeeeffff" + tail), code);
    std::FILE* stream = file.get();
    StreamBlocks blocks(std::move(file), stream, 4);
    const std::string_view a = blocks.next(), b = blocks.next(), c = blocks.next(), d = blocks.next();
    EXPECT_EQ(a, "aaaa");
    blocks.release_before(b.data() + 2);
    const std::string_view e = blocks.next();
    EXPECT_EQ(std::string(b) + std::string(c) + std::string(d) + std::string(e), "bbbbccccddddeeee");
    blocks.release_before(nullptr);
    const std::string_view f = blocks.next(), g = blocks.next();
    EXPECT_EQ(std::string(e) + std::string(f) + std::string(g), "eeeeffff" + tail);
    EXPECT_EQ(blocks.next(), "");
    EXPECT_EQ(blocks.next(), "");
  }
}

// Each line is read while the one before it is still looked at (as a
// geometry file's record that waits for the next call), everything before
// that released.
TEST(Lines, InBlocksOfAnySizeTheSameAsTheWholeText) {
  const std::string long_line(2500, 'x');
  const std::string texts[] = {"", "\xEF\xBB\xBF", "\xEF\xBB\xBF" "a\r\nb", "\xEF\xBB", "a\nb\n", "a\r\n\r\nb\r",
                               "no line end", long_line + "\r\n" + long_line + "\nz\n", "\n\n\n", "\r", "a\r\r\nb"};
  for (const std::string& text : texts) {
    for (const std::size_t size : {1, 2, 3, 4, 7, 64, 4096}) {
      SCOPED_TRACE(::testing::Message() << "text of " << text.size() << " bytes in blocks of " << size);
      Lines whole(text), blocks(std::make_unique<PoisonedBlocks>(text, size));
      std::string_view expected, line, previous_expected, previous;
      for (;;) {
        const bool more = whole.next(expected);
        ASSERT_EQ(blocks.next(line), more);
        if (!more) break;
        blocks.release_before(previous);
        EXPECT_EQ(line, expected);
        EXPECT_EQ(previous, previous_expected);
        EXPECT_EQ(blocks.number(), whole.number());
        previous = line;
        previous_expected = expected;
      }
    }
  }
}

// What a section holds, for comparing two reads of it.
std::string described(const SurveyedSection& s) {
  std::ostringstream out;
  out.precision(17);
  out << s.name.text() << " line " << s.line << " banks " << s.bank_left << ' ' << s.bank_right;
  for (const auto* values : {&s.x, &s.z, &s.n_station, &s.n, &s.point_n}) {
    out << " |";
    for (const double v : *values) out << ' ' << v;
  }
  for (const auto* words : {&s.left_out, &s.notes, &s.bent})
    for (const std::string& w : *words) out << " '" << w << "'";
  for (const auto* areas : {&s.still, &s.obstructions})
    for (const StillWater& w : *areas) out << " [" << w.from << ' ' << w.to << ' ' << w.elevation << w.permanent << ']';
  for (const Levee& l : s.levees) out << " levee " << l.station << ' ' << l.crest << l.left;
  return out.str();
}

// Every section, or the failure in its place, as a file reads them.
std::vector<std::string> sections_of(GeometryFile& file) {
  std::vector<std::string> read;
  for (SurveyedSection s;;) {
    try {
      if (!file.next(s)) return read;
      read.push_back(described(s));
    } catch (const Failure& failure) {
      read.push_back(failure.plain());
    }
  }
}

// A file read a block at a time, the blocks of the sections read used
// again for the rest, gives what the whole text gives.
TEST(GeometryFile, ReadInBlocksOfAnySizeTheSameAsWhole) {
  const std::string bytes = read_file(std::string(NORMLEVEL_TEST_DATA) + "/geometry/Muncie.g05") +
                            "River Reach=R,r\r\n" + geometry_section("3", "       0     103      10     abc\n") +
                            geometry_section("2", kTrapezoidPoints, "Levee=-1,5,102\n#XS Ineff= 1 ,-1\n  1 2 3\n");
  GeometryFile whole(bytes);
  const std::vector<std::string> expected = sections_of(whole);
  ASSERT_EQ(expected.size(), 63u);
  const testing::ScratchDir dir;
  const std::string path = dir.write("blocks.g01", bytes);
  for (const std::size_t size : {1, 10, 100, 4096, 1 << 20}) {
    int code = 0;
    FileHandle file = open_for_reading(path, code);
    ASSERT_TRUE(file);
    std::FILE* stream = file.get();
    GeometryFile streamed(std::make_unique<StreamBlocks>(std::move(file), stream, size));
    EXPECT_EQ(sections_of(streamed), expected) << "a file in blocks of " << size;
    GeometryFile poisoned(std::make_unique<PoisonedBlocks>(bytes, size));
    EXPECT_EQ(sections_of(poisoned), expected) << "blocks of " << size << " overwritten once released";
  }
}

#ifdef __GLIBC__
// A stream that gives a text's first `good` bytes and then fails, as a
// disk or a network share may part way through a file.
struct FailingStream {
  std::string text;
  std::size_t good, at = 0;
};

std::FILE* failing_after(FailingStream& source) {
  cookie_io_functions_t io{};
  io.read = [](void* cookie, char* buffer, std::size_t size) -> ssize_t {
    auto& s = *static_cast<FailingStream*>(cookie);
    if (s.at >= s.good) return s.good < s.text.size() ? -1 : 0;
    const std::size_t n = std::min(size, s.good - s.at);
    std::memcpy(buffer, s.text.data() + s.at, n);
    s.at += n;
    return static_cast<ssize_t>(n);
  };
  io.close = [](void*) { return 0; };
  return fopencookie(&source, "rb", io);
}

// A read that fails is not the end of the file: the sections before it
// are read as ever, and then the failure ends the input instead of being
// taken for its end or laid at one section's door.
TEST(ReadErrors, EndTheInputAfterWhatWasReadBeforeThem) {
  const std::string first = geometry_section("3", kTrapezoidPoints), second = geometry_section("2", kTrapezoidPoints);
  const std::string bytes = "River Reach=R,r\r\n" + first + second;
  const struct {
    std::size_t good;      // bytes read before the failure
    std::size_t sections;  // read before it
    bool fails;
  } cases[] = {{0, 0, true},
               {bytes.size() - second.size() + 10, 0, true},  // the first ends where the second's record is read whole
               {bytes.size() - second.size() + 40, 1, true},
               {bytes.size() - 1, 1, true},
               {bytes.size(), 2, false}};
  for (const auto& c : cases) {
    for (const std::size_t block : {7, 1 << 20}) {
      SCOPED_TRACE(::testing::Message() << c.good << " good bytes, blocks of " << block);
      FailingStream source{bytes, c.good};
      std::FILE* stream = failing_after(source);
      ASSERT_NE(stream, nullptr);
      auto blocks = std::make_unique<StreamBlocks>(FileHandle(stream), stream, block);
      std::size_t read = 0;
      SurveyedSection s;
      try {  // the file's first bytes are read as it is opened
        for (GeometryFile file(std::move(blocks)); file.next(s);) ++read;
        EXPECT_FALSE(c.fails) << "the failure taken for the end";
      } catch (const ReadError& error) {
        EXPECT_TRUE(c.fails);
        EXPECT_EQ(error.plain(), "cannot read: the system reported an error");
      }
      EXPECT_EQ(read, c.sections);
    }
  }
}
#endif

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

SurveyedSection walled() {
  SurveyedSection s;
  s.x = {0, 10, 10, 16, 16, 26};
  s.z = {103, 101, 100, 100, 101, 103};
  return s;
}

// A bank at a vertical wall takes the wall into the channel; a station a
// little off a point snaps to it; one farther off is a point of its own in
// a geometry file, an error naming its neighbours in a table.
TEST(Banks, ThePointOfEachBankStation) {
  const struct {
    double station;
    bool left;
    BankRule rule;
    std::size_t point;  // 0-based; SIZE_MAX: refused
    const char* refusal;
  } cases[] = {
      {10, true, BankRule::point, 1, ""},
      {16, false, BankRule::point, 4, ""},
      {10.0004, true, BankRule::point, 1, ""},
      {15.9996, false, BankRule::point, 4, ""},
      {10.01, true, BankRule::point, SIZE_MAX,
       "the left bank station 10.01 is not a point of the section: the nearest points are point 3 (10) and point 4 (16)"},
      {-1, true, BankRule::point, SIZE_MAX,
       "the left bank station -1 is not a point of the section: it lies left of the first point, point 1 (0)"},
      {30, false, BankRule::insert, SIZE_MAX,
       "the right bank station 30 is not a point of the section: it lies right of the last point, point 6 (26)"},
      {13, false, BankRule::insert, 3, ""},
  };
  for (const auto& c : cases) {
    SurveyedSection s = walled();
    try {
      EXPECT_EQ(bank_point(s, c.station, c.left, c.rule), c.point) << c.station;
      EXPECT_EQ(c.point == 3 ? s.z[3] : 100.0, 100.0) << "a point put on the bed between its neighbours";
    } catch (const Failure& failure) {
      EXPECT_EQ(c.point, SIZE_MAX) << c.station;
      EXPECT_EQ(failure.plain(), c.refusal);
    }
  }
}

TEST(Banks, InstallingASectionItsBanksAndItsRoughness) {
  SurveyedSection s = walled();
  s.bank_left = 10;
  s.bank_right = 16;
  s.n_station = {0, 13};  // n changes in the middle of the bed
  s.n = {0.03, 0.05};
  CrossSection d;
  install_section(d, s, BankRule::insert);
  EXPECT_EQ(d.N, 7);
  EXPECT_EQ(d.il, 2);
  EXPECT_EQ(d.ip, 6);
  EXPECT_EQ(d.x[4], 13);
  ASSERT_EQ(d.parts.size(), 4u) << "left; the channel in two; right";
  EXPECT_EQ(roughness_of(d, d.parts[1]), 0.03);
  EXPECT_EQ(roughness_of(d, d.parts[2]), 0.05);
  const struct {
    void (*spoil)(SurveyedSection&);
    const char* refusal;
  } bad[] = {
      {[](SurveyedSection& t) { t.bank_left = 16, t.bank_right = 10; },
       "the left bank station 16 is not left of the right bank station 10"},
      {[](SurveyedSection& t) { t.x[3] = 9; }, "point 4: stations must not decrease (9 after 10)"},
      {[](SurveyedSection& t) { t.n = {0.03, 0}; }, "n = 0 from station 13 is not a positive number"},
      {[](SurveyedSection& t) { t.x.resize(1), t.z.resize(1); }, "the section needs at least 2 points, but has 1"},
  };
  for (const auto& b : bad) {
    SurveyedSection t = walled();
    t.bank_left = 10;
    t.bank_right = 16;
    t.n_station = {0, 13};
    t.n = {0.03, 0.05};
    b.spoil(t);
    try {
      CrossSection refused;
      install_section(refused, t, BankRule::insert);
      ADD_FAILURE() << b.refusal;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.plain(), b.refusal);
    }
  }
}

}  // namespace
}  // namespace normlevel

namespace normlevel {
namespace {

struct UnitsNote {
  const char* project;  // the NAME.prj's bytes; nullptr: none
  const char* note;     // what stderr says of the units; "" none
};

class GeometryUnits : public ::testing::TestWithParam<UnitsNote> {};

TEST_P(GeometryUnits, AssumingSIIsNotedUnlessTheProjectFileNamesTheUnits) {
  testing::ScratchDir dir;
  const std::string g = dir.write("reach.g01", "River Reach=R,r\n" + geometry_section("1", kTrapezoidPoints));
  if (GetParam().project) dir.write("reach.prj", GetParam().project);
  const testing::CliRun run = testing::run_cli({"-q", "10", "--slope", "1", g});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string expected = *GetParam().note ? "normlevel: " + g + ": note: " + GetParam().note + "\n" : "";
  EXPECT_EQ(run.err, expected);
}

struct Choice {
  std::vector<std::string> texts;
  std::vector<std::string> stations;  // the sections computed, in file order
};

class SectionChoice : public ::testing::TestWithParam<Choice> {};

TEST_P(SectionChoice, AnExactStationOrNameFirstThenSubstrings) {
  testing::ScratchDir dir;
  std::string bytes = "River Reach=Creek,Upper\n";
  for (const char* station : {"5.0", "5.065*", "272", "2724"}) bytes += geometry_section(station, kTrapezoidPoints);
  std::vector<std::string> run = {"-q", "10", "--slope", "1", "--units", "si", "--format", "csv"};
  for (const std::string& text : GetParam().texts) run.insert(run.end(), {"--section", text});
  run.push_back(dir.write("creek.g01", bytes));
  const testing::CliRun result = testing::run_cli(run);
  std::vector<std::string> stations;
  std::istringstream rows(result.out);
  std::string row;
  std::getline(rows, row);
  while (std::getline(rows, row)) {
    std::vector<std::string> cells;
    std::istringstream cell(row);
    for (std::string c; std::getline(cell, c, ',');) cells.push_back(c);
    stations.push_back(cells.at(3));
  }
  EXPECT_EQ(stations, GetParam().stations) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Table, SectionChoice,
                         ::testing::Values(Choice{{"5.0"}, {"5.0"}}, Choice{{"272"}, {"272"}},
                                           Choice{{"Creek Upper 2724"}, {"2724"}}, Choice{{"5.06"}, {"5.065*"}},
                                           Choice{{"27"}, {"272", "2724"}}, Choice{{"5.0", "27"}, {"5.0", "272", "2724"}},
                                           Choice{{}, {"5.0", "5.065*", "272", "2724"}}));

struct RoughnessCase {
  const char* mann;  // the #Mann= record's values
  std::vector<std::string> options;
  int status;
  const char* error;  // after "normlevel: FILE: Creek Upper 1: "; "" none
};

class GeometryRoughness : public ::testing::TestWithParam<RoughnessCase> {};

TEST_P(GeometryRoughness, StationsGoingBackRefusedAFilesNOfZeroOnlyWhereNoOptionReplacesIt) {
  testing::ScratchDir dir;
  const std::string section = std::string("Type RM Length L Ch R = 1 ,1,10,10,10\n#Sta/Elev= 6 \n") + kTrapezoidPoints +
                              "#Mann= 3 ,0,0\n" + GetParam().mann + "\nBank Sta=10,16\n";
  const std::string g = dir.write("c.g01", "River Reach=Creek,Upper\n" + section + geometry_section("2", kTrapezoidPoints));
  std::vector<std::string> run = {"-k", "-q", "10", "--slope", "1", "--units", "si", "--format", "csv"};
  run.insert(run.end(), GetParam().options.begin(), GetParam().options.end());
  run.push_back(g);
  const testing::CliRun result = testing::run_cli(run);
  EXPECT_EQ(result.status, GetParam().status);
  EXPECT_EQ(result.err, *GetParam().error ? "normlevel: " + g + ": Creek Upper 1: " + GetParam().error + "\n" : "");
  EXPECT_NE(result.out.find(",Creek,Upper,2,true,"), std::string::npos) << "the run goes on: " << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, GeometryRoughness,
    ::testing::Values(
        RoughnessCase{"       0     .05       0      16     .03       0      10     .05       0", {}, 1, "the n stations must not decrease (10 after 16)"},
        RoughnessCase{"       0     .05       0      16     .03       0      10     .05       0", {"--nc", "0.03", "--nf", "0.05"}, 1,
                      "the n stations must not decrease (10 after 16)"},
        RoughnessCase{"       0     .05       0      10       0       0      16     .05       0", {}, 1, "n = 0 from station 10 is not a positive number"},
        RoughnessCase{"       0     .05       0      10       0       0      16     .05       0", {"--nc", "0.03", "--nf", "0.05"}, 0, ""},
        RoughnessCase{"       0       0       0      10     .03       0      16       0       0", {"--nc", "0.03", "--nl", "0.05", "--nr", "0.06"}, 0, ""},
        RoughnessCase{"       0       0       0      10     .03       0      16     .05       0", {"--nl", "0.05"}, 0, ""},
        RoughnessCase{"       0       0       0      10     .03       0      16     .05       0", {"--nr", "0.05"}, 1,
                      "n = 0 from station 0 is not a positive number"},
        RoughnessCase{"       0     .05       0      10       0       0      16     .05       0", {"--nf", "0.05"}, 1,
                      "n = 0 from station 10 is not a positive number"},
        RoughnessCase{"       0     .05       0      10       0       0      16     .05       0", {"--nc", "0.03"}, 0, ""},
        RoughnessCase{"       0     .05       0      12       0       0      16     .05       0", {"--nc", "0.03"}, 0, ""},
        RoughnessCase{"       0     .05       0       8       0       0      16     .05       0", {"--nc", "0.03"}, 1,
                      "n = 0 from station 8 is not a positive number"},
        RoughnessCase{"       0     .05       0      10     .03       0      16     .05       0", {}, 0, ""}));

INSTANTIATE_TEST_SUITE_P(Table, GeometryUnits,
                         ::testing::Values(UnitsNote{nullptr, "no reach.prj beside reach.g01: SI units assumed, see --units"},
                                           UnitsNote{"Proj Title=reach\n", "reach.prj names no units: SI units assumed, see --units"},
                                           UnitsNote{"Proj Title=reach\nEnglish Units\n", ""},
                                           UnitsNote{"SI Units\n", ""}));

}  // namespace
}  // namespace normlevel
