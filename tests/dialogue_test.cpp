#include "dialogue/dialogue.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/Failure.h"
#include "test_support.h"

namespace normlevel {
namespace {

using testing::ScratchDir;
using testing::trapezoid_file;

const std::string kPrompt = "plik z danymi: ";
const std::string kClosing = " \r\nNacisnij <ENTER>, aby zakonczyc ...   ";
const std::string kExampleReport =
    "zw. wody:          101.64045   m\r\n"
    " \r\n"
    "min rzedna:        100.00000   m\r\n"
    "max rzedna:        103.00000   m\r\n"
    "brzeg lewy:        101.00000   m\r\n"
    "brzeg prawy:       101.00000   m\r\n"
    " \r\n"
    "pred.(korto):        1.19810 m/s\r\n";

struct Transcript {
  std::string out;
  std::string diagnostic;  // empty when the dialogue ended normally
};

Transcript run(const std::string& typed) {
  std::istringstream in(typed);
  std::ostringstream out;
  Transcript t;
  try {
    dialogue(in, out);
  } catch (const Failure& failure) {
    t.diagnostic = failure.diagnostic();
  }
  t.out = out.str();
  return t;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

TEST(Dialogue, TheExampleSectionFromPromptToEnter) {
  ScratchDir dir;
  const std::string name = quoted(dir.write("t.txt", trapezoid_file()));
  for (const std::string& typed : {name + "\n\n", "\n\n   " + name + "\r\nanything typed\r\n", name + "\nx"}) {
    const Transcript t = run(typed);
    EXPECT_EQ(t.diagnostic, "") << typed;
    EXPECT_EQ(t.out, kPrompt + " \r\n" + kExampleReport + kClosing) << typed;
  }
}

TEST(Dialogue, NoticeWhenNoLevelCarriesTheDischarge) {
  for (const char* flow : {"1000000 1 0.03 0.05", "0 1 0.03 0.05", "-3 1 0.03 0.05", "10 0 0.03 0.05"}) {
    ScratchDir dir;
    const Transcript t = run(quoted(dir.write("t.txt", trapezoid_file(flow))) + "\n\n");
    EXPECT_EQ(t.diagnostic, "") << flow;
    EXPECT_EQ(t.out, kPrompt + " \r\n nieudana lokalizacja !!!\r\n" + kClosing) << flow;
  }
}

TEST(Dialogue, EndOfInputAtEitherPrompt) {
  const std::string past_end = "? Run-time Error:\r\n? Attempt to read past end of file\r\n? READ(UNIT=*,...\n";
  const Transcript at_name = run("\n\n");
  EXPECT_EQ(at_name.out, kPrompt);
  EXPECT_EQ(at_name.diagnostic, past_end);
  ScratchDir dir;
  const Transcript at_enter = run(quoted(dir.write("t.txt", trapezoid_file())) + "\n");
  EXPECT_EQ(at_enter.out, kPrompt + " \r\n" + kExampleReport + kClosing);
  EXPECT_EQ(at_enter.diagnostic, past_end);
}

TEST(Dialogue, ALeadingCommaOrSlashIsNoName) {
  for (const char* typed : {",name.txt\n\n", "/name.txt\n\n"}) {
    const Transcript t = run(typed);
    EXPECT_EQ(t.out, kPrompt + " \r\n");
    EXPECT_EQ(t.diagnostic, "? Run-time Error:\r\n? Bad file specification\r\n? OPEN(UNIT=1011,...\n");
  }
}

TEST(Dialogue, DryChannelAtTheLevelFoundHasNoVelocity) {
  // The right floodplain lies below the channel bed, so the water never
  // reaches the channel before the discharge is carried.
  ScratchDir dir;
  const std::string file = dir.write(
      "t.txt", "1\n2\n3\n4\n0.01 1 0.03 0.05\n\n\n5 1 3\n\n0 10\n1 5\n2 10\n3 0\n4 10\n");
  const Transcript t = run(quoted(file) + "\n\n");
  EXPECT_EQ(t.diagnostic, "");
  EXPECT_NE(t.out.find("pred.(korto):        0.00000 m/s\r\n"), std::string::npos) << t.out;
}

}  // namespace
}  // namespace normlevel
