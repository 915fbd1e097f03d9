#include <cstddef>
#include <span>

#include "vantrel_command.h"

int main(int argc, char** argv) {
  vantrel::VantrelCommand::main(
      std::span<const char* const>(argv, static_cast<std::size_t>(argc)));
  return 0;
}
