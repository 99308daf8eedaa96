#pragma once

// Collects the debug channel's lines for the life of the object.

#include <mutex>
#include <string>
#include <vector>

namespace pinvale::test {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::vector<std::string> Lines() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace pinvale::test
