#include "platform/program_arguments.h"

namespace pinvale {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace pinvale
