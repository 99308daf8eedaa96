#include "log_capture.h"

#include "platform/debug_log.h"

namespace pinvale::test {

LogCapture::LogCapture() {
  SetDebugSink([this](std::string_view line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(line);
  });
}

LogCapture::~LogCapture() {
  SetDebugSink({});
}

std::vector<std::string> LogCapture::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

}  // namespace pinvale::test
