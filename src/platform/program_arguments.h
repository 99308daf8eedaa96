#pragma once

// The program's arguments in UTF-8, the program path first. On Windows they are
// split from the process's wide command line with CommandLineToArgvW, since the
// argv of a narrow main() is in the ANSI code page and loses characters; on
// Linux they are argv as given.

#include <string>
#include <vector>

namespace pinvale {

std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace pinvale
