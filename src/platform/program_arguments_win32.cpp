#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "platform/program_arguments.h"
#include "platform/wide_text_win32.h"

namespace pinvale {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  struct ArgumentsFreer {
    void operator()(LPWSTR* list) const { ::LocalFree(list); }
  };
  std::unique_ptr<LPWSTR, ArgumentsFreer> list(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!list) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(WideToUtf8(list.get()[i]));
  return arguments;
}

}  // namespace pinvale
