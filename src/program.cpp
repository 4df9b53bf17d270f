// normlevel: the normal (uniform-flow) water level of a river cross-section.

#include <iostream>

#include "Failure.h"
#include "dialogue.h"
#include "platform.h"

int main() {
  normlevel::prepare_console();
  try {
    normlevel::dialogue(std::cin, std::cout);
  } catch (const normlevel::Failure& failure) {
    std::cout.flush();
    std::cerr << failure.diagnostic() << std::flush;
    return -1;
  }
  return 0;
}
