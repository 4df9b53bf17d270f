// Feeds arbitrary bytes to the program as a data file and as typed input:
// anything may be rejected with a Failure, nothing may crash, hang or leak.

#include <array>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "core/CSdata.h"
#include "base/Failure.h"
#include "base/FreeForm.h"
#include "base/NumberField.h"
#include "dialogue/dialogue.h"

namespace {

void read_mixed_targets(const std::string& text) {
  std::istringstream in(text);
  normlevel::StreamSource source(in);
  normlevel::ListReader reader(source, normlevel::kReadConsole);
  std::array<char, 100> name{};
  double a = 0, b = 0;
  std::int32_t n = 0;
  try {
    reader.read({normlevel::CharField(name)});
    reader.read({&a, &n, &b});
    reader.read({});
    reader.read({&n, normlevel::CharField(name), &a});
  } catch (const normlevel::Failure&) {
  }
  normlevel::format_value(a);
  normlevel::format_value(b);
}

void load_and_report(const std::string& text) {
  std::istringstream in(text);
  normlevel::StreamSource source(in);
  try {
    normlevel::setdata_from(source, text.size() / 3 + 1);
    std::ostringstream out;
    normlevel::search_and_report(out);
  } catch (const normlevel::Failure&) {
  }
  normlevel::finishdata();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  read_mixed_targets(text);
  load_and_report(text);
  return 0;
}
