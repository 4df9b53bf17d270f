// normlevel: the normal (uniform-flow) water level of a river cross-section.
// Without arguments the console dialogue; with arguments a run driven by
// the command line.

#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "cli/command_line.h"
#include "dialogue/dialogue.h"
#include "output/report.h"
#include "base/platform.h"
#include "cli/runs.h"

namespace {

// A console window opened just for this run closes when it ends: keep the
// results on screen until Enter.
void hold_window() {
  if (!normlevel::console_closes_with_us()) return;
  std::cout << normlevel::kBlankLine << normlevel::kClosingPrompt << std::flush;
  std::string line;
  std::getline(std::cin, line);
}

int run(int argc, char** argv) {
  if (argc <= 1) {
    normlevel::dialogue(std::cin, std::cout);
    return 0;
  }
  normlevel::buffer_standard_output();  // a long CSV or JSON in a few writes
  try {
    const int status = normlevel::run_command_line(
        normlevel::parse_command_line(std::vector<std::string>(argv + 1, argv + argc)), std::cout, std::cerr);
    hold_window();
    return status;
  } catch (...) {
    std::cout.flush();
    hold_window();
    throw;
  }
}

}  // namespace

int main(int argc, char** argv) {
  normlevel::prepare_console();
  try {
    return run(argc, argv);
  } catch (const normlevel::UsageError& error) {
    std::cout.flush();
    std::cerr << "normlevel: " << error.what() << "\n" << normlevel::kUsageLine << "\n" << std::flush;
    return 2;
  } catch (const normlevel::Failure& failure) {
    std::cout.flush();
    if (argc <= 1)
      std::cerr << failure.diagnostic() << std::flush;
    else
      std::cerr << "normlevel: " << failure.plain() << "\n" << std::flush;
    return -1;
  } catch (const std::bad_alloc&) {
    // Last resort: whatever ran out was not caught where it was known.
    std::cout.flush();
    std::cerr << "normlevel: not enough memory for this run\n" << std::flush;
    return -1;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "normlevel: internal error: " << error.what() << "\n" << std::flush;
    return -1;
  }
}
